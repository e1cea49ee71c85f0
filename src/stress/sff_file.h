// Stress factor files (*.sff): stress factors measured or calculated elsewhere for a set of
// directions and several levels of plastic strain. Each level becomes one data set of worksheet
// rows in the Fij layout, ready for the stress evaluation once the spacings are entered.
//
//   line 1     free word, then one name per level (the ODF of that level)
//   lines 2-4  free word, then the number of levels, of outer and of inner direction steps
//   line 5     free word, then one data-set label per level
//   line 6     column headings (not read)
//   lines 7..  one line per direction, outer step slowest: per level the nine words
//              phi psi F11 F22 F33 F23 F13 F12 eps0, copied into the cells as they are
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "core/input_error.h"
#include "core/types.h"

namespace polydec::stress {

inline constexpr const char* kSffCountMessage = "Error 0 reading stress factor file!";
// More worksheet rows than this are no measurement anybody typed in: such counts are refused
// rather than allocated.
inline constexpr long long kMaxSffRows = 100000;

struct SffLoad {
  std::optional<core::InputError> error;
  int levels = 0, outer = 0, inner = 0;
  int linesPlaced = 0;  // data lines placed (each fills one row per level)
  bool sheetChanged = false;
};

// Loads the file into g, which must be in the Fij layout. reflection: the text the "h k l"
// cells start with (the reflection, the model code and the grain shape, blank-separated); the
// level's name is appended. A count that is no positive integer leaves g untouched. A file
// that ends before its announced data lines keeps the rows filled from the lines it has, and
// the error says which rows those are.
SffLoad LoadStressFactorFile(const std::string& path, core::CellTable& g,
                             const std::string& reflection);

// The in-memory form of a stress-factor collection: values per point, uncertainties of the
// factors, and the counts. Nothing in the program fills one yet.
struct FijDataRec {
  std::vector<core::Real> F11, F22, F33, F23, F13, F12, phi, psi, eps0, eps0_sig, epspxx, epspyy;
  std::vector<core::Real> Fij_sig[3][3];
  int nphi = 0, npsi = 0, nstrlvls = 0;
  bool Empty() const { return nstrlvls <= 0 || F11.empty(); }
};

// The strain-level step after a load: stress factors of the record's levels brought to the
// plastic strain. How the levels would be interpolated is not settled, so no record changes
// the worksheet (an empty one, the only kind there is, certainly not); returns whether
// anything was written.
bool FillFij(const FijDataRec& record, core::Real strain, core::CellTable& g);

}  // namespace polydec::stress

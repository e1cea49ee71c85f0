// Readers of orientation lists: tables of Euler angles with or without a weight per row, and the
// orientation maps of EBSD (.ang and .ctf). Each leaves a weighted grain set in the context's
// GOrient (Bunge angles in radians), as the grains-file reader does; what is read is a set of
// orientations, not an ODF on the grid.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "texture/odf_readers.h"

namespace polydec::texture {

// Points of an EBSD map beyond this are refused (each costs 64 bytes held).
inline constexpr std::size_t kMaxMapPoints = 4'000'000;

enum class AngleUnit { kAuto, kDegrees, kRadians };

struct OrientationListOptions {
  // Table: the angles' unit; kAuto reads the header ("rad", "deg") and else takes a table
  // whose angles all lie within 0..2pi as radians.
  AngleUnit unit = AngleUnit::kAuto;
  // Table: the values of a column named value, intensity, f(g), ... are ODF values at points of
  // an equispaced grid (each point the centre of a cell of equal volume), and so are weights;
  // a table whose points are plainly not equispaced is refused unless this says the values
  // are weights all the same.
  bool valuesAreWeights = false;
  // EBSD map: the phase read (its number in the file); 0: the only phase indexed.
  int phase = 0;
  // EBSD map: points of lower quality are left out: the confidence index of an .ang, the band
  // contrast of a .ctf.
  std::optional<Real> minQuality;
  // .ctf: points whose mean angular deviation (degrees) exceeds this are left out.
  std::optional<Real> maxMad;
  std::size_t maxPoints = kMaxMapPoints;
};

// What a read found beside the grains.
struct OrientationListInfo {
  long long skipped = 0;        // points left out (not indexed, other phase, below threshold)
  std::vector<int> phases;      // phases indexed in a map
  bool hexagonalGrid = false;   // a map scanned on a hexagonal grid
  bool valuesWereWeights = false;  // a table's value column taken as the weights
};

// The table's header: the line within the first 10 that names phi1, Phi and phi2 (in any order
// and spelling), with an optional weight column (weight, weights, w) or value column (value,
// intensity, f(g), odf, density); without either every row weighs 1.
ODFReadResult ReadOrientationTable(const std::string& fileName, OrientationsRec& ctx,
                                   const OrientationListOptions& options = {},
                                   OrientationListInfo* info = nullptr);

// An EDAX/TSL .ang map: '#' header lines, then "phi1 Phi phi2 x y IQ CI phase ..." (radians).
ODFReadResult ReadAngMap(const std::string& fileName, OrientationsRec& ctx,
                         const OrientationListOptions& options = {},
                         OrientationListInfo* info = nullptr);

// An Oxford .ctf map: "key<TAB>value" header lines up to the column line "Phase X Y Bands
// Error Euler1 Euler2 Euler3 MAD BC BS", then TAB-separated points (degrees).
ODFReadResult ReadCtfMap(const std::string& fileName, OrientationsRec& ctx,
                         const OrientationListOptions& options = {},
                         OrientationListInfo* info = nullptr);

// Whether a file's header (first 10 lines) makes it an orientation table rather than an ODF
// on the grid: it names the angles and then a weight column, or the angles alone.
bool LooksLikeOrientationTable(const std::string& fileName);

}  // namespace polydec::texture

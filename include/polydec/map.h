// Maps: the stress evaluation of every data set of a large measurement table (thousands of
// points of a scan, each measured along the same directions), with the worksheet's fit. The
// stress factors of each distinct reflection and direction are computed once and shared by
// every data set, the data sets are fitted in parallel, and a table on disk is read and its
// results delivered chunk by chunk, so that its length never decides the memory it takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/stress.h"
#include "polydec/texture.h"
#include "polydec/types.h"

namespace polydec {

struct MapOptions {
  // The stress factors: the model of every row, the grain shape and the fibre intervals, as
  // the worksheet's "Calc DEC" takes them (textured when a texture is given).
  ModelCode model = kKroener;
  GrainShape grainShape;
  int intervals = kDefaultFibreIntervals;
  // Which parameters are fitted; held stress components are held at 0.
  FitChoice fit;
  // Worker threads of the fits; 0: one per core. The results do not depend on it.
  unsigned threads = 0;
  // Data sets read, fitted and delivered together.
  std::size_t chunkSets = 128;
};

// One data set of a map: its fit, or why it was not evaluated.
struct MapSetResult {
  std::string label;
  std::size_t index = 0;  // 0-based position among the data sets, in table order
  int firstLine = 0;      // table line (file) or row index + 1 (columns) of its first row
  int rows = 0;           // measurements fitted
  // The carried columns of its first row: the cell texts of a file's unread columns, or the
  // values of the record's extra columns.
  std::vector<std::string> extra;
  std::vector<Real> extraValues;
  // The fit (rows and dCalc name table lines, or row indices + 1); empty when refused.
  std::optional<StressSetResult> fit;
  std::optional<InputError> refusal;  // why the data set was not evaluated
};

// ---- A table on disk ----

// The table as a measurement table file is read for the worksheet (docs/worksheets.md); the
// rows of a data set follow each other. A data set whose label reappears after other data sets
// is refused naming the line, as is one with a row that does not read.
struct MapTableOptions {
  std::optional<Real> wavelength;  // for a 2theta column, where the table gives none
  std::string setColumn;           // the column of data-set labels, where not set/point/...
  bool skipIncompleteRows = false;  // leave out rows without d instead of refusing their set
};

struct MapChunk {
  const std::vector<std::string>* columns = nullptr;  // header names of the carried columns
  std::vector<MapSetResult> sets;                      // in table order
};

struct MapProgress {
  std::size_t setsDone = 0;
  std::uintmax_t bytesRead = 0, bytesTotal = 0;
};

struct MapSummary {
  std::size_t sets = 0, refused = 0;
  std::size_t droppedRows = 0;  // rows without d left out (skipIncompleteRows)
  std::size_t factorsComputed = 0;  // distinct stress factors computed
  std::vector<std::string> columns;  // the carried columns
};

// Evaluates every data set of the table. sink receives each chunk's results as soon as they are
// fitted, in table order. progress runs after each chunk; returning false stops the run, which
// then returns a refusal saying after how many data sets it stopped (the chunks before it were
// delivered). A table refused as a whole (no file, no header) is refused before any chunk.
Result<MapSummary> EvaluateMapFile(const std::string& path, const Phase& phase,
                                   const MapOptions& options, const MapTableOptions& table,
                                   const Texture* texture,
                                   const std::function<void(const MapChunk&)>& sink,
                                   const std::function<bool(const MapProgress&)>& progress = {});

// ---- Columns in memory ----

// A measurement table as columns of equal length (one entry per row). Uncertainties may be
// left empty (the fit is then unweighted, or d0's part left out); a NaN marks a row without it.
// The rows of a data set need not follow each other: data sets are taken in the order of their
// first rows, as in the worksheet.
struct MapColumns {
  std::vector<std::string> label;
  std::vector<Miller> hkl;
  std::vector<Real> phi, psi;  // degrees
  std::vector<Real> d, dErr;
  std::vector<Real> d0, d0Err;
  // Carried columns: their names, and one column of values each (the first row's value of each
  // data set goes into its result).
  std::vector<std::string> extraNames;
  std::vector<std::vector<Real>> extra;
};

// Evaluates every data set of the columns. progress(setsDone, setsTotal) runs after each chunk;
// returning false stops the run, which then returns a refusal saying where it stopped. Columns
// of unequal length are refused naming the column.
Result<std::vector<MapSetResult>> EvaluateMap(
    const MapColumns& columns, const Phase& phase, const MapOptions& options,
    const Texture* texture = nullptr,
    const std::function<bool(std::size_t setsDone, std::size_t setsTotal)>& progress = {});

// The column a measurement table reads under a header name ("psi (deg)", "D0_err", "φ", ...),
// as the table reader recognises it: "label", "hkl", "h", "k", "i", "l", "phi", "psi", "d",
// "d_err", "d0", "d0_err", "2theta", "2theta_err", "wavelength"; empty for a column the tables
// do not read (a map carries such columns through).
std::string MeasurementColumnOf(const std::string& header);

}  // namespace polydec

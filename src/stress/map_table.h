// Measurement tables of maps, read in chunks of data sets: a table of a million rows is never
// held whole. The columns are recognised and the rows read exactly as the whole-file reader does
// (MeasurementTableParser); the rows of one data set follow each other in a map file.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/input_error.h"
#include "core/text_lines.h"
#include "core/types.h"
#include "stress/measurement_table.h"
#include "stress/stress_evaluation.h"

namespace polydec::stress {

// One data set of a map table: its rows in order and the cells of the unread columns of its
// first row (the map's x, y, position, ...).
struct MapTableSet {
  std::string label;
  int firstLine = 0;  // table line of its first row
  // The rows as the fit takes them (stress factors not yet set; reflection: the "h k l" text).
  std::vector<StressMeasurement> rows;
  std::vector<std::string> extra;
  // Set: this data set cannot be evaluated (a row that does not read, a row without d, a label
  // that reappears after other data sets); the rest of the table goes on.
  std::optional<core::InputError> error;
};

// Runs job(i) for every i < count, on as many threads as the caller has; returns when all are
// done. Each job writes only its own slot.
using ParallelFor = std::function<void(std::size_t count, const std::function<void(std::size_t)>&)>;

class MapTableReader {
 public:
  // Opens the table and reads its header. skipIncompleteRows leaves out rows without d (or
  // 2theta), else such a row refuses its data set.
  MapTableReader(const std::string& path, std::optional<Real> wavelength,
                 std::string_view setColumn, bool skipIncompleteRows);
  ~MapTableReader();

  // Set: the table is refused as a whole (no file, no measurement table, a refused header, a
  // line beyond any a table holds); Next then gives nothing more.
  const std::optional<core::InputError>& Error() const { return error_; }
  const std::vector<std::string>& ExtraColumns() const { return parser_.UnreadColumns(); }

  // The next data sets, at most maxSets of them, in table order (out is cleared first). False
  // when the table holds no more (or was refused).
  // The lines are read in batches and their cells parsed through parallel (one after the other
  // when empty).
  bool Next(std::size_t maxSets, std::vector<MapTableSet>& out, const ParallelFor& parallel = {});

  std::uintmax_t BytesRead();
  std::uintmax_t BytesTotal() const { return size_; }
  std::size_t DroppedRows() const { return dropped_; }

 private:
  // A line after the header as the parallel stage leaves it.
  struct ParsedLine {
    int line = 0;
    MeasurementTableParser::RowStep split = MeasurementTableParser::RowStep::kSkip;
    MeasurementTableParser::RowStep read = MeasurementTableParser::RowStep::kSkip;
    std::string label;
    std::vector<std::string> extra;
    // Kept only without a label column, for the check of repeated directions.
    std::optional<std::pair<std::vector<std::string>, MeasurementCells>> row;
    StressMeasurement m;
    std::optional<core::InputError> error;
  };
  // Parses the line into p, whose strings and vectors keep their memory from the last batch.
  void Parse(ParsedLine& p, std::string_view text) const;
  void AddRow(ParsedLine& p, std::vector<MapTableSet>& out);
  void Finish(std::vector<MapTableSet>& out);
  // The data set a row of this label belongs to: the one being read, or a new one (the one
  // being read then goes to out, the new one takes the row's carried cells).
  MapTableSet& Enter(ParsedLine& p, std::vector<MapTableSet>& out);

  std::string path_;
  MeasurementTableParser parser_;
  bool skipIncomplete_;
  std::filebuf file_;
  std::unique_ptr<core::LineSource> lines_;
  std::uintmax_t size_ = 0;
  std::optional<core::InputError> error_;
  std::optional<MapTableSet> current_;  // the data set whose rows are being read
  std::unordered_map<std::string, int> finished_;  // label -> first line of its data set
  std::size_t dropped_ = 0;
  bool ended_ = false;        // no line left to read
  // The batch of lines parsed last; those from parsedAt_ on are not yet given to a data set.
  std::vector<ParsedLine> parsed_;
  std::size_t parsedAt_ = 0;
  // The text of the batch's lines one after the other, where each begins, and their numbers.
  std::string batch_;
  std::vector<std::size_t> starts_;
  std::vector<int> numbers_;
  std::string lineBuffer_;
};

}  // namespace polydec::stress

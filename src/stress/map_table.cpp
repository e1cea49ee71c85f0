#include "stress/map_table.h"

#include <filesystem>

#include "core/input_file.h"
#include "core/text_fields.h"

namespace polydec::stress {

namespace {

// A line longer than this is no line of a measurement table (a binary file, a file without
// line ends): the reader refuses it rather than hold it.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;

}  // namespace

MapTableReader::MapTableReader(const std::string& path, std::optional<Real> wavelength,
                               std::string_view setColumn, bool skipIncompleteRows)
    : path_(path), parser_(path, wavelength, setColumn), skipIncomplete_(skipIncompleteRows) {
  const auto refuse = [&](std::string message, int line = 0) {
    error_ = core::InputError{path, line, 0, {}, std::move(message)};
    ended_ = true;
  };
  if (auto problem = core::InputFileProblem(path)) {
    refuse(*problem);
    return;
  }
  std::error_code ec;
  size_ = std::filesystem::file_size(path, ec);
  if (!file_.open(path, std::ios::in | std::ios::binary)) {
    refuse("the file cannot be opened");
    return;
  }
  lines_ = std::make_unique<core::LineSource>(file_, kLongestLine);
  std::string line;
  for (;;) {
    const core::LineRead read = lines_->Next(line);
    if (read == core::LineRead::kTooLong) {
      refuse("the line is longer than any of a measurement table", lines_->Number());
      return;
    }
    const auto step = read == core::LineRead::kEnd
                          ? MeasurementTableParser::HeaderStep::kNoTable
                          : parser_.FeedHeaderLine(line, lines_->Number());
    if (step == MeasurementTableParser::HeaderStep::kMore) continue;
    if (step == MeasurementTableParser::HeaderStep::kNoTable) {
      refuse(
          "no measurement table: no header line naming the columns (set, hkl, phi, psi, d, ...) "
          "was found within the first lines");
      return;
    }
    if (step == MeasurementTableParser::HeaderStep::kRefused) {
      error_ = parser_.HeaderError();
      ended_ = true;
    }
    return;
  }
}

MapTableReader::~MapTableReader() = default;

std::uintmax_t MapTableReader::BytesRead() {
  if (!file_.is_open()) return 0;
  const auto at = file_.pubseekoff(0, std::ios::cur, std::ios::in);
  return at < 0 ? 0 : static_cast<std::uintmax_t>(at);
}

void MapTableReader::Finish(std::vector<MapTableSet>& out) {
  if (!current_) return;
  finished_.try_emplace(current_->label, current_->firstLine);
  out.push_back(std::move(*current_));
  current_.reset();
}

MapTableSet& MapTableReader::Enter(ParsedLine& p, std::vector<MapTableSet>& out) {
  // A row that does not read belongs to the data set its label cell names; without a label it
  // is taken as a row of the data set being read.
  std::string label = p.label;
  if (label.empty() && current_) label = current_->label;
  if (current_ && current_->label == label) return *current_;
  Finish(out);
  current_.emplace();
  current_->label = label;
  current_->firstLine = p.line;
  current_->extra = std::move(p.extra);
  current_->rows.reserve(32);
  if (const auto seen = finished_.find(label); seen != finished_.end())
    current_->error = core::InputError{
        path_, p.line, 0, {},
        "data set \"" + label + "\" starts again at line " + std::to_string(p.line) +
            " after other data sets (it began at line " + std::to_string(seen->second) +
            "): the rows of a data set must follow each other in a map table; sort the "
            "table by its set column"};
  return *current_;
}

namespace {

// The numbers of a row as the fit takes them; empty, or why the row cannot enter a fit.
std::string FitRow(const MeasurementCells& cells, StressMeasurement& m) {
  m.label = cells.label;
  m.row = cells.line;
  m.reflection = cells.hkl;
  m.phi = cells.phiValue;
  m.psi = cells.psiValue;
  m.d = cells.dValue;
  m.F = {};  // set with the stress factors of the map
  m.eps0 = 0;
  if (!(m.d > 0)) return "d " + cells.d + " is no lattice spacing: a spacing is positive";
  if (cells.d0.empty())
    return "the row gives no d0: the fit needs the strain-free spacing (as the start of its "
           "correction when d0 is fitted); add a d0 column";
  m.d0 = cells.d0Value;
  if (!(m.d0 > 0)) return "d0 " + cells.d0 + " is no lattice spacing: a spacing is positive";
  m.sdGiven = !cells.dErr.empty();
  m.sd = m.sdGiven ? cells.dErrValue : 0;
  m.sd0Given = !cells.d0Err.empty();
  m.sd0 = m.sd0Given ? cells.d0ErrValue : 0;
  if (m.sd < 0 || m.sd0 < 0) return "an uncertainty is negative: an uncertainty is not negative";
  return {};
}

}  // namespace

void MapTableReader::Parse(ParsedLine& p, std::string_view text) const {
  using Step = MeasurementTableParser::RowStep;
  p.split = p.read = Step::kSkip;
  p.label.clear();
  p.row.reset();
  p.error.reset();
  // The cells of the row: views into the batch's text, their memory kept per thread.
  thread_local RowCells cells;
  p.split = parser_.SplitRow(text, p.line, cells, p.error);
  if (p.split == Step::kSkip) return;
  parser_.UnreadCellsInto(cells, p.extra);
  if (p.split == Step::kError) {
    p.label = parser_.LabelOf(cells);
    return;
  }
  thread_local MeasurementCells m;
  p.read = parser_.ReadRow(cells, p.line, m, p.error);
  p.label = p.read == Step::kRow ? m.label : parser_.LabelOf(cells);
  if (p.read != Step::kRow) return;
  if (std::string why = FitRow(m, p.m); !why.empty()) {
    p.read = Step::kError;
    p.error = core::InputError{path_, p.line, 0, {}, std::move(why)};
    return;
  }
  if (!parser_.HasLabelColumn()) p.row.emplace(cells.Strings(), m);
}

void MapTableReader::AddRow(ParsedLine& p, std::vector<MapTableSet>& out) {
  using Step = MeasurementTableParser::RowStep;
  if (p.split == Step::kSkip) return;
  if (p.split == Step::kCells && p.read == Step::kNoSpacing && skipIncomplete_) {
    ++dropped_;
    return;
  }
  MapTableSet& set = Enter(p, out);
  if (set.error) return;
  if (p.split == Step::kError || p.read == Step::kError) {
    set.error = p.error;
  } else if (p.read == Step::kNoSpacing) {
    set.error = core::InputError{path_, p.line, 0, {},
                                 "the row has no d (empty or NaN: a peak fit that failed?); "
                                 "leave such rows out with --skip-incomplete-rows"};
  } else if (auto twice = p.row ? parser_.RepeatedDirection(p.row->second, p.row->first)
                                : std::nullopt) {
    set.error = std::move(twice);
  } else {
    set.rows.push_back(std::move(p.m));
  }
  if (set.error) set.rows.clear();
}

bool MapTableReader::Next(std::size_t maxSets, std::vector<MapTableSet>& out,
                          const ParallelFor& parallel) {
  // Lines parsed together: enough to keep every thread busy, few enough to bound the memory.
  constexpr std::size_t kBatchLines = 1024;
  out.clear();
  if (maxSets == 0) maxSets = 1;
  while (out.size() < maxSets) {
    if (parsedAt_ == parsed_.size()) {
      if (ended_) break;
      // The lines of the batch go into one buffer, which keeps its memory batch after batch.
      batch_.clear();
      starts_.clear();
      numbers_.clear();
      std::string& line = lineBuffer_;
      while (numbers_.size() < kBatchLines) {
        const core::LineRead read = lines_->Next(line);
        if (read == core::LineRead::kEnd) {
          ended_ = true;
          break;
        }
        if (read == core::LineRead::kTooLong) {
          error_ = core::InputError{path_, lines_->Number(), 0, {},
                                    "the line is longer than any of a measurement table"};
          ended_ = true;
          current_.reset();
          out.clear();
          return false;
        }
        starts_.push_back(batch_.size());
        batch_ += line;
        numbers_.push_back(lines_->Number());
      }
      starts_.push_back(batch_.size());
      // The slots of the last batch are reused, their memory with them.
      parsed_.resize(numbers_.size());
      parsedAt_ = 0;
      const auto job = [&](std::size_t k) {
        parsed_[k].line = numbers_[k];
        Parse(parsed_[k], std::string_view(batch_).substr(starts_[k], starts_[k + 1] - starts_[k]));
      };
      if (parallel) {
        parallel(numbers_.size(), job);
      } else {
        for (std::size_t k = 0; k < numbers_.size(); ++k) job(k);
      }
      continue;
    }
    AddRow(parsed_[parsedAt_++], out);
  }
  if (ended_ && parsedAt_ == parsed_.size() && out.size() < maxSets) Finish(out);
  return !out.empty();
}

}  // namespace polydec::stress

// `polydec map`: the stresses of every data set of a map table, one result line per data set,
// written as they are fitted. The lines go to RESULTS.partial as each chunk finishes and into
// RESULTS (through the atomic writer) only when the whole table is done, so that a stopped or
// failed run never leaves a RESULTS file that looks complete.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/atomic_file.h"
#include "material_options.h"
#include "polydec/map.h"
#include "texture_option.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;

// Exit status of a run that refused data sets (the other lines are written), and of one stopped
// by Ctrl-C (128 + SIGINT, as the shell reports it).
constexpr int kSetsRefused = 3;
constexpr int kInterrupted = 130;

struct MapCliOptions {
  std::string table;
  MaterialOptions material;
  std::string model;
  std::string grainShape;
  int intervals = 0;
  std::string freeList;
  std::string odf;
  std::string odfFormat = "mtex";
  std::string grains;
  OrientationListOptions list;
  std::string setColumn;
  double wavelength = 0;
  bool skipIncompleteRows = false;
  unsigned threads = 0;
  std::size_t chunk = 128;
  std::string output;
  bool jsonLines = false;
};

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

const char* const kComponents[] = {"xx", "yy", "zz", "yz", "xz", "xy"};

// Full double precision: the shortest text that reads back as the same double.
void AppendNumber(std::string& out, Real x) {
  char buffer[40];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(x)).ptr;
  out.append(buffer, end);
}

// A CSV cell: quoted when it holds the separator, a quote or a line end.
void AppendCell(std::string& out, const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string Status(const MapSetResult& r) {
  return r.refusal ? "refused: " + OneLine(r.refusal->Describe()) : std::string("ok");
}

std::string CsvHeader(const std::vector<std::string>& columns) {
  std::string line = "label";
  for (const std::string& c : columns) {
    line += ',';
    AppendCell(line, c);
  }
  for (const char* k : kComponents)
    line += std::string(",sig_") + k + ",sig_" + k + "_err,sig_" + k + "_err_scaled";
  return line + ",d0,d0_err,d0_correction,d0_correction_err,chisq,dof,rows,status\n";
}

// The result line of a data set, appended to line (a chunk's lines are written together).
void AppendCsvLine(const MapSetResult& r, std::string& line) {
  AppendCell(line, r.label);
  for (const std::string& e : r.extra) {
    line += ',';
    AppendCell(line, e);
  }
  const StressSetResult* f = r.fit ? &*r.fit : nullptr;
  const auto put = [&](bool has, Real x) {
    line += ',';
    if (has) AppendNumber(line, x);
  };
  for (int p = 0; p < 6; ++p) {
    put(f, f ? f->sig[p] : 0);
    put(f, f ? f->sigErr[p] : 0);
    put(f, f ? f->sigErrScaled[p] : 0);
  }
  const bool d0 = f && f->d0Fitted;
  put(d0, d0 ? f->d0 : 0);
  put(d0, d0 ? f->d0Err : 0);
  put(d0, d0 ? f->d0Correction : 0);
  put(d0, d0 ? f->d0CorrectionErr : 0);
  put(f, f ? f->chisq : 0);
  line += ',';
  if (f) line += std::to_string(f->dof);
  // No line number: the results of a table split into pieces join into those of the whole.
  line += ',';
  line += std::to_string(r.rows);
  line += ',';
  AppendCell(line, Status(r));
  line += '\n';
}

std::string JsonLine(const MapSetResult& r, const std::vector<std::string>& columns) {
  nlohmann::json j = {{"label", r.label}, {"line", r.firstLine}, {"rows", r.rows}};
  nlohmann::json extra = nlohmann::json::object();
  for (std::size_t k = 0; k < columns.size() && k < r.extra.size(); ++k)
    extra[columns[k]] = r.extra[k];
  j["columns"] = extra;
  if (r.fit) {
    const StressSetResult& f = *r.fit;
    nlohmann::json sig, err, scaled;
    for (int p = 0; p < 6; ++p) {
      sig[kComponents[p]] = JsonNumber(f.sig[p]);
      err[kComponents[p]] = JsonNumber(f.sigErr[p]);
      scaled[kComponents[p]] = JsonNumber(f.sigErrScaled[p]);
    }
    j["sig"] = sig;
    j["sig_err"] = err;
    j["sig_err_scaled"] = scaled;
    if (f.d0Fitted) {
      j["d0"] = JsonNumber(f.d0);
      j["d0_err"] = JsonNumber(f.d0Err);
      j["d0_correction"] = JsonNumber(f.d0Correction);
      j["d0_correction_err"] = JsonNumber(f.d0CorrectionErr);
    }
    j["chisq"] = JsonNumber(f.chisq);
    j["dof"] = f.dof;
  }
  j["status"] = Status(r);
  // Labels and cells come from users' files: whatever bytes they hold, the line stays JSON.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Progress on standard error: a bar on a terminal, else a line every few seconds.
class ProgressReport {
 public:
  ProgressReport() : terminal_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), last_(start_) {}

  void Show(const MapProgress& p) {
    const auto now = Clock::now();
    const double fraction =
        p.bytesTotal > 0 ? static_cast<double>(p.bytesRead) / static_cast<double>(p.bytesTotal)
                         : 0;
    if (terminal_) {
      const int width = 30, filled = static_cast<int>(fraction * width + 0.5);
      std::cerr << "\r[" << std::string(static_cast<std::size_t>(std::min(filled, width)), '#')
                << std::string(static_cast<std::size_t>(width - std::min(filled, width)), ' ')
                << "] " << static_cast<int>(fraction * 100) << " %, " << p.setsDone
                << " data sets" << std::flush;
      shown_ = true;
    } else if (now - last_ >= std::chrono::seconds(3)) {
      std::cerr << "polydec: map: " << p.setsDone << " data sets, "
                << static_cast<int>(fraction * 100) << " % of the table read\n";
      last_ = now;
    }
  }
  void End() {
    if (shown_) std::cerr << "\n";
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool terminal_;
  Clock::time_point start_, last_;
  bool shown_ = false;
};

void RunMap(const MapCliOptions& o) {
  if (!fs::exists(o.table)) throw Failure("map table " + o.table + " does not exist");
  const ResolvedMaterial material = ResolveMaterial(o.material);
  MapOptions options;
  if (!o.model.empty()) options.model = ParseModelOption(o.model);
  if (!o.grainShape.empty()) {
    const auto shape = ReadNumberList(o.grainShape, 3, "--grain-shape");
    options.grainShape = {shape[0], shape[1], shape[2]};
  }
  if (o.intervals != 0) options.intervals = o.intervals;
  if (!o.freeList.empty()) options.fit = Take(ParseFreeParameters(o.freeList), "--free");
  options.threads = o.threads;
  options.chunkSets = o.chunk;
  MapTableOptions table;
  if (o.wavelength > 0) table.wavelength = o.wavelength;
  table.setColumn = o.setColumn;
  table.skipIncompleteRows = o.skipIncompleteRows;
  std::optional<Texture> texture;
  if (!o.odf.empty() && !o.grains.empty())
    throw Failure("--grains cannot be combined with --odf: the texture is one or the other");
  if (!o.odf.empty()) texture = LoadOdfOption(o.odf, o.odfFormat, material, o.list);
  if (!o.grains.empty()) texture = LoadOdfOption(o.grains, "grains-auto", material, o.list);

  NoteInputFile(o.table);
  RefuseInputAsOutput(o.output);
  const std::string partialPath = o.output + ".partial";
  RefuseInputAsOutput(partialPath);
  // From here on Ctrl-C stops the run between chunks, keeping what is finished.
  interrupted = 0;
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  core::AtomicWriter writer(fs::absolute(o.output).string());
  if (!writer.ok()) throw Failure(o.output + ": the results cannot be written: " + writer.Error());
  std::ofstream partial(partialPath, std::ios::binary | std::ios::trunc);
  if (!partial) throw Failure(partialPath + ": the file cannot be written");

  ProgressReport report;
  std::size_t refused = 0;
  bool headerWritten = false;
  const auto write = [&](const std::string& text) {
    writer.Write(text);
    partial << text;
  };
  std::string text;  // the lines of a chunk; its memory serves every chunk
  const auto sink = [&](const MapChunk& chunk) {
    if (!headerWritten && !o.jsonLines) write(CsvHeader(*chunk.columns));
    headerWritten = true;
    text.clear();
    for (const MapSetResult& r : chunk.sets) {
      if (o.jsonLines)
        text += JsonLine(r, *chunk.columns);
      else
        AppendCsvLine(r, text);
      if (!r.refusal) continue;
      ++refused;
      report.End();
      std::cerr << "polydec: data set \"" << r.label << "\" (line " << r.firstLine
                << ") refused: " << OneLine(r.refusal->Describe()) << "\n";
    }
    write(text);
    partial.flush();
  };

  const Result<MapSummary> summary = EvaluateMapFile(
      o.table, material, options, table, texture ? &*texture : nullptr, sink,
      [&](const MapProgress& p) {
        report.Show(p);
        return interrupted == 0;
      });
  sigaction(SIGINT, &previous, nullptr);
  report.End();
  partial.close();

  if (!summary) {
    if (interrupted) {
      std::cerr << "polydec: map stopped (Ctrl-C); the finished lines are in " << partialPath
                << ", " << o.output << " was not written\n";
      throw ExitStatus{kInterrupted};
    }
    std::error_code ec;
    fs::remove(partialPath, ec);
    throw Failure(OneLine(summary.error().Describe()));
  }
  if (!headerWritten && !o.jsonLines) write(CsvHeader(summary->columns));
  if (const auto error = writer.Commit())
    throw Failure(o.output + ": the results could not be written: " + *error);
  std::error_code ec;
  fs::remove(partialPath, ec);
  if (summary->droppedRows > 0)
    std::cerr << "polydec: " << o.table << ": " << summary->droppedRows
              << " rows without d left out (--skip-incomplete-rows)\n";
  if (refused > 0) {
    std::cerr << "polydec: " << refused << " of " << summary->sets
              << " data sets refused (their lines say why); the others are in " << o.output
              << "\n";
    throw ExitStatus{kSetsRefused};
  }
}

}  // namespace

void AddMapCommand(CLI::App& app) {
  auto o = std::make_shared<MapCliOptions>();
  auto* cmd = app.add_subcommand(
      "map", "Stresses of every data set of a map table, one result line per data set");
  cmd->add_option("table", o->table,
                  "Measurement table (CSV, semicolon or TAB separated) whose rows of a data set "
                  "follow each other")
      ->required();
  o->material.AddTo(cmd);
  cmd->add_option("--model", o->model,
                  "voigt, mvoigt, reuss, hill, kroener, inverse-kroener (default kroener)");
  cmd->add_option("--grain-shape", o->grainShape, "Semi-axes \"a b c\" of the grain ellipsoid")
      ->default_str("1 1 1");
  cmd->add_option("--intervals", o->intervals, "Simpson half-intervals N of the fibre average")
      ->check(CLI::Range(1, 100000))
      ->default_str(std::to_string(kDefaultFibreIntervals));
  cmd->add_option("--free", o->freeList,
                  "Fitted parameters, e.g. \"sig_xx sig_yy sig_xy d0\"; the other components "
                  "are held at 0")
      ->default_str("sig_xx sig_yy d0");
  cmd->add_option("--odf", o->odf, "ODF file used to weight the stress factors");
  cmd->add_option("--odf-format", o->odfFormat,
                  "auto, popla, mtex, grains, orientations, ang or ctf")
      ->check(CLI::IsMember(TextureFormatNames()))
      ->capture_default_str();
  cmd->add_option("--grains", o->grains,
                  "Orientation list weighting the stress factors: a grains file, an Euler table, "
                  "an .ang or .ctf map");
  AddOrientationListOptions(cmd, o->list);
  cmd->add_option("--set-column", o->setColumn,
                  "Column that names each row's data set (in place of set, label, point, ...)");
  cmd->add_option("--wavelength", o->wavelength,
                  "Wavelength (Angstrom) that turns a 2theta column into d, where the table "
                  "gives none")
      ->check(CLI::PositiveNumber);
  cmd->add_flag("--skip-incomplete-rows", o->skipIncompleteRows,
                "Leave out rows whose d (or 2theta) is empty or NaN instead of refusing their "
                "data set");
  cmd->add_option("--threads", o->threads, "Threads of the fits (the results do not depend on it)")
      ->check(CLI::Range(1u, 1024u))
      ->default_str("one per core");
  cmd->add_option("--chunk", o->chunk, "Data sets read, fitted and written together")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  cmd->add_option("-o", o->output, "Results file (CSV; JSON lines with --json-lines)")
      ->required();
  cmd->add_flag("--json-lines", o->jsonLines, "Write one JSON object per data set and line");
  cmd->callback([o] { RunMap(*o); });
}

}  // namespace polydec::cli

// `polydec twins`: twin fractions from an ODF for the tasks of a table file laid out like the
// window's twin table: per line, TAB-separated, "phi psi, h k l", "habit plane, shear direction"
// and "phi_start phi_end psi_start psi_end" (degrees). Blank lines, lines starting with '#' and
// a first line holding the table's headers are skipped.
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common.h"
#include "polydec/special.h"
#include "api/texture_data.h"
#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "crystal/lattice.h"
#include "material_options.h"
#include "special/twin_fraction.h"
#include "texture/odf_readers.h"

namespace polydec::cli {

namespace {

struct TwinOptions {
  MaterialOptions material;
  std::string odf;
  std::string odfFormat = "auto";
  std::string table;
  bool json = false;
};

constexpr std::size_t kMaxTableLine = 10000;
constexpr int kMaxTasks = 10000;

struct Task {
  int line;
  special::TwinTask task;
};

std::vector<Task> ReadTable(const std::string& path) {
  NoteInputFile(path);
  if (const auto problem = core::InputFileProblem(path)) throw Failure(path + ": " + *problem);
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Failure(path + ": cannot be opened");
  core::LineSource source(*file.rdbuf(), kMaxTableLine);
  std::vector<Task> tasks;
  std::string line;
  for (;;) {
    const core::LineRead got = source.Next(line);
    if (got == core::LineRead::kEnd) break;
    if (got == core::LineRead::kTooLong)
      throw Failure(path + ", line " + std::to_string(source.Number()) + ": longer than " +
                       std::to_string(kMaxTableLine) + " characters");
    if (core::GetWord(line, 1).empty() || line.find_first_not_of(" \t") == std::string::npos ||
        line[line.find_first_not_of(" \t")] == '#')
      continue;
    if (tasks.empty() && line.find("(phi,psi)") != std::string::npos) continue;
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() < 3)
      throw Failure(path + ", line " + std::to_string(source.Number()) +
                       ": three TAB-separated fields expected (reflection, habit plane, window)");
    special::TwinTaskRead r =
        special::ReadTwinTask(fields[0], fields[1], fields[2], source.Number());
    if (!r.task) {
      r.error.file = path;
      throw Failure(r.error.Describe());
    }
    if (static_cast<int>(tasks.size()) >= kMaxTasks)
      throw Failure(path + ": more than " + std::to_string(kMaxTasks) + " tasks");
    tasks.push_back({source.Number(), *r.task});
  }
  return tasks;
}

void RunTwins(const TwinOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
  CrystalOf(m, 1);  // an unsound cell is refused naming the material
  const std::vector<Task> tasks = ReadTable(o.table);

  TextureSource source;
  source.path = o.odf;
  source.cell = m.cell;
  source.axisSetting = 1;
  source.crystalClass = m.crystalClass;
  source.format = Take(ParseTextureFormat(o.odfFormat), "--odf-format");
  if (source.format == TextureFormat::kGrains)
    throw Failure("--odf-format: unknown format \"" + o.odfFormat + "\" (popla, mtex)");
  NoteInputFile(o.odf);
  const Texture odf = Take(LoadTexture(source));
  if (!special::HasODF(api::ContextOf(odf)))
    throw Failure(o.odf + ": " + texture::kODFNotReadMessage);

  std::vector<TwinFractions> results;
  for (const Task& t : tasks) {
    const special::TwinTask& task = t.task;
    TwinTask request;
    request.hkl = {task.hkl(1), task.hkl(2), task.hkl(3)};
    request.habitPlane = {task.habitPlane(1), task.habitPlane(2), task.habitPlane(3)};
    request.shearDirection = {task.shearDirection(1), task.shearDirection(2), task.shearDirection(3)};
    request.phiFrom = task.window[0];
    request.phiTo = task.window[1];
    request.psiFrom = task.window[2];
    request.psiTo = task.window[3];
    results.push_back(
        Take(ComputeTwinFractions(odf, request), o.table + ", line " + std::to_string(t.line)));
  }

  if (o.json) {
    nlohmann::json rows = nlohmann::json::array();
    for (std::size_t i = 0; i < tasks.size(); ++i) {
      const special::TwinTask& t = tasks[i].task;
      rows.push_back({{"line", tasks[i].line},
                      {"hkl", {JsonNumber(t.hkl(1)), JsonNumber(t.hkl(2)), JsonNumber(t.hkl(3))}},
                      {"habit_plane",
                       {JsonNumber(t.habitPlane(1)), JsonNumber(t.habitPlane(2)),
                        JsonNumber(t.habitPlane(3))}},
                      {"window",
                       {JsonNumber(t.window[0]), JsonNumber(t.window[1]), JsonNumber(t.window[2]),
                        JsonNumber(t.window[3])}},
                      {"twin_angle", JsonNumber(results[i].twinAngle)},
                      {"fraction", JsonNumber(results[i].fraction)},
                      {"twin_fraction", JsonNumber(results[i].twinFraction)}});
    }
    std::cout << JsonOutput(nlohmann::json{{"rows", rows}});
    return;
  }
  std::cout << "Material: " << m.name << "; ODF " << o.odf
            << "\nline  twin angle [deg]  fraction  twin fraction\n";
  for (std::size_t i = 0; i < tasks.size(); ++i)
    std::cout << core::FormatPadded(tasks[i].line, 4, 0) << "  "
              << core::FormatPadded(results[i].twinAngle, 16, 3) << "  "
              << core::FormatPadded(results[i].fraction, 8, 3) << "  "
              << core::FormatPadded(results[i].twinFraction, 13, 3) << "\n";
}

}  // namespace

void AddTwinsCommand(CLI::App& app) {
  auto o = std::make_shared<TwinOptions>();
  auto* cmd = app.add_subcommand(
      "twins", "Fractions of crystals and of their twins with hkl in a window of directions");
  o->material.AddTo(cmd);
  cmd->add_option("--odf", o->odf, "ODF file (popla or MTEX table)")->required();
  cmd->add_option("--odf-format", o->odfFormat, "ODF file format: popla, mtex or auto")
      ->capture_default_str();
  cmd->add_option("--table", o->table,
                  "Task table: per line, TAB-separated, \"phi psi, h k l\", \"habit plane h k l, "
                  "shear direction\", \"phi_start phi_end psi_start psi_end\"")
      ->required();
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunTwins(*o); });
}

}  // namespace polydec::cli

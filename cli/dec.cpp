#include <array>
#include <cstdio>
#include <iostream>
#include <optional>
#include <nlohmann/json.hpp>

#include "common.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "polydec/dec.h"
#include "polydec/reflections.h"

namespace polydec::cli {

namespace {

struct DecCommandOptions {
  MaterialOptions material;
  std::vector<std::string> hkl;
  std::string model = "kroener";
  std::string grainShape = "1 1 1";
  std::string direction;
  int axes = 1;
  int intervals = kDefaultFibreIntervals;
  bool matrixSelfConsistent = false;
  bool json = false;
  // The table of every reflection family.
  bool all = false;
  int maxIndex = 4;
  double wavelength = 1.5406;
  bool csv = false;
};

// The grain shape and, when given, the measurement direction of the options.
void ReadShapeAndDirection(const DecCommandOptions& o, GrainShape& shape,
                           std::optional<std::array<Real, 2>>& direction) {
  const auto v = ReadNumberList(o.grainShape, 3, "--grain-shape");
  shape = {v[0], v[1], v[2]};
  if (!o.direction.empty()) {
    const auto d = ReadNumberList(o.direction, 2, "--direction");
    direction = std::array<Real, 2>{d[0], d[1]};
  }
}

// An ellipsoidal grain fixed in the sample couples differently to each measurement direction:
// one pair s1, 1/2 s2 without its direction would be a number for no measurement.
void RequireDirection(const DecCommandOptions& o, ModelCode code, const GrainShape& shape,
                      bool hasDirection) {
  // Unsound semi-axes are refused by the calculation, which names them.
  if (hasDirection || !models::CheckAxes({shape.a, shape.b, shape.c}).empty() ||
      !DecDependsOnDirection(code, shape))
    return;
  throw Failure("--grain-shape \"" + o.grainShape + "\": with a grain that is not a sphere, s1 " +
                "and 1/2 s2 of the " + ModelName(code) +
                " model depend on the measurement direction; give it with --direction "
                "\"phi psi\" (degrees)");
}

nlohmann::json ReflectionRowJson(const ReflectionRow& r, CrystalClass c) {
  nlohmann::json models = nlohmann::json::object();
  for (const ReflectionModelDec& m : r.models)
    models[std::string(models::ModelOptionName(m.model))] = {{"s1", JsonNumber(m.s1)},
                                                             {"half_s2", JsonNumber(m.halfS2)},
                                                             {"E", JsonNumber(m.E)},
                                                             {"nu", JsonNumber(m.nu)}};
  nlohmann::json row = {
      {"hkl", {JsonNumber(r.hkl[0]), JsonNumber(r.hkl[1]), JsonNumber(r.hkl[2])}},
      {"hkl_text", MillerText(r.hkl, c)},
      {"multiplicity", r.multiplicity},
      {"d", JsonNumber(r.d)},
      {"two_theta", r.twoTheta ? nlohmann::json(JsonNumber(*r.twoTheta)) : nlohmann::json()},
      {"gamma3", JsonNumber(r.gamma3)},
      {"angle_to_c", JsonNumber(r.angleToC)},
      {"models", models}};
  return row;
}

std::string CsvNumber(Real x) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", JsonNumber(x));
  return buffer;
}

std::string ReflectionCsv(const ReflectionTable& t, CrystalClass c) {
  std::string out = "hkl,h,k,l,multiplicity,d,two_theta,gamma3,angle_to_c";
  for (ModelCode m : kReflectionTableModels) {
    const std::string name = ReflectionColumnPrefix(m);
    for (const char* q : {"_s1", "_half_s2", "_E", "_nu"}) out += "," + name + q;
  }
  out += "\n";
  for (const ReflectionRow& r : t.rows) {
    out += MillerText(r.hkl, c);
    for (Real x : r.hkl) out += "," + CsvNumber(x);
    out += "," + std::to_string(r.multiplicity) + "," + CsvNumber(r.d) + "," +
           (r.twoTheta ? CsvNumber(*r.twoTheta) : std::string()) + "," + CsvNumber(r.gamma3) +
           "," + CsvNumber(r.angleToC);
    for (const ReflectionModelDec& m : r.models)
      for (Real x : {m.s1, m.halfS2, m.E, m.nu}) out += "," + CsvNumber(x);
    out += "\n";
  }
  return out;
}

std::string Padded(std::string text, std::size_t width) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

void RunReflectionTable(const DecCommandOptions& o) {
  const ModelCode code = ParseModelOption(o.model);
  ResolvedMaterial m = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(m);
  ReflectionTableOptions options;
  options.maxIndex = o.maxIndex;
  options.wavelength = o.wavelength;
  options.axisSetting = o.axes;
  ReadShapeAndDirection(o, options.grainShape, options.direction);
  for (ModelCode c : kReflectionTableModels)
    RequireDirection(o, c, options.grainShape, options.direction.has_value());
  const ReflectionTable table = Take(ComputeReflectionTable(m, options));
  for (const ReflectionRow& r : table.rows)
    for (const ReflectionModelDec& d : r.models)
      RequireFinite(d.E, "E of " + MillerText(r.hkl, m.crystalClass));

  if (o.json) {
    nlohmann::json rows = nlohmann::json::array();
    for (const ReflectionRow& r : table.rows) rows.push_back(ReflectionRowJson(r, m.crystalClass));
    nlohmann::json out = {{"material", m.name},
                          {"symmetry", CrystalClassName(m.crystalClass)},
                          {"wavelength", JsonNumber(options.wavelength)},
                          {"max_index", options.maxIndex},
                          {"orientation_parameter",
                           table.orientationIsGamma ? "gamma3" : "angle_to_c"},
                          {"unit", "1e-6/MPa"},
                          {"reflection_count", table.reflectionCount},
                          {"rows", rows}};
    if (options.direction)
      out["direction"] = {{"phi", JsonNumber((*options.direction)[0])},
                          {"psi", JsonNumber((*options.direction)[1])}};
    std::cout << JsonOutput(out);
    return;
  }
  if (o.csv) {
    std::cout << ReflectionCsv(table, m.crystalClass);
    return;
  }
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < kReflectionTableModels.size(); ++i)
    if (kReflectionTableModels[i] == code) chosen = i;
  std::cout << "Material: " << m.name << " (" << CrystalClassName(m.crystalClass)
            << "), every reflection up to index " << options.maxIndex << " ("
            << table.reflectionCount << " with their equivalents, " << table.rows.size()
            << " families)\nWavelength " << core::FormatGeneral(options.wavelength)
            << " A; matrix E = " << core::FormatGeneral(m.E)
            << " GPa, nu = " << core::FormatGeneral(m.nu) << ", grain shape "
            << core::FormatGeneral(options.grainShape.a) << " "
            << core::FormatGeneral(options.grainShape.b) << " "
            << core::FormatGeneral(options.grainShape.c) << "\n"
            << "s1, 1/2 s2 in 1e-6/MPa; E_hkl [GPa] and nu_hkl of the "
            << models::ModelName(kReflectionTableModels[chosen]) << " model\n\n";
  std::string header1 = Padded("", 51), header2 = Padded(crystal::UsesMillerBravais(m.crystalClass) ? "h k i l" : "h k l", 13) + "mult     d [A]   2theta";
  header2 += table.orientationIsGamma ? "    3Gamma" : "  angle(c)";
  for (ModelCode c : kReflectionTableModels) header1 += Padded(models::ModelName(c), 22);
  for (std::size_t i = 0; i < kReflectionTableModels.size(); ++i) header2 += "        s1    1/2 s2";
  header2 += "   E_hkl  nu_hkl";
  header1.erase(header1.find_last_not_of(' ') + 1);
  std::cout << header1 << "\n" << header2 << "\n";
  for (const ReflectionRow& r : table.rows) {
    std::string line = Padded(MillerText(r.hkl, m.crystalClass), 11) +
                       core::FormatPadded(r.multiplicity, 6, 0) + core::FormatPadded(r.d, 10, 5) +
                       (r.twoTheta ? core::FormatPadded(*r.twoTheta, 9, 3) : "        -") +
                       core::FormatPadded(table.orientationIsGamma ? r.gamma3 : r.angleToC, 10, 4);
    for (const ReflectionModelDec& d : r.models)
      line += core::FormatPadded(d.s1, 10, 4) + core::FormatPadded(d.halfS2, 10, 4);
    line += core::FormatPadded(r.models[chosen].E, 8, 1) + core::FormatPadded(r.models[chosen].nu, 8, 4);
    std::cout << line << "\n";
  }
}

void RunDec(const DecCommandOptions& o) {
  if (o.all) return RunReflectionTable(o);
  if (o.hkl.empty()) throw CLI::RequiredError("--hkl or --all");
  if (o.csv) throw CLI::ValidationError("--csv", "goes with --all");
  const ModelCode code = ParseModelOption(o.model);
  ResolvedMaterial m = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(m);
  polydec::DecOptions options;
  options.model = code;
  options.axisSetting = o.axes;
  options.intervals = o.intervals;
  ReadShapeAndDirection(o, options.grainShape, options.direction);
  RequireDirection(o, code, options.grainShape, options.direction.has_value());
  std::vector<Miller> reflections;
  for (const std::string& text : o.hkl) reflections.push_back(Take(ReadMiller(text, m.crystalClass), "--hkl \"" + text + "\""));
  const std::vector<Dec> decs = Take(ComputeDecs(m, reflections, options));

  nlohmann::json rows = nlohmann::json::array();
  std::string table;
  for (const Dec& r : decs) {
    const std::string hkl = core::FormatGeneral(r.hkl[0]) + " " + core::FormatGeneral(r.hkl[1]) +
                            " " + core::FormatGeneral(r.hkl[2]);
    rows.push_back({{"hkl", {JsonNumber(r.hkl[0]), JsonNumber(r.hkl[1]), JsonNumber(r.hkl[2])}},
                    {"d", JsonNumber(r.d)},
                    {"s1", JsonNumber(r.s1)},
                    {"half_s2", JsonNumber(r.halfS2)}});
    std::string line = hkl;
    line.resize(std::max<std::size_t>(line.size(), 10), ' ');
    table += line + core::FormatPadded(r.d, 10, 5) + "  " + core::FormatPadded(r.s1, 12, 6) +
             "  " + core::FormatPadded(r.halfS2, 12, 6) + "\n";
  }

  if (o.json) {
    nlohmann::json out = {{"model", o.model}, {"unit", "1e-6/MPa"}, {"rows", rows}};
    if (options.direction)
      out["direction"] = {{"phi", JsonNumber((*options.direction)[0])},
                          {"psi", JsonNumber((*options.direction)[1])}};
    std::cout << JsonOutput(out);
    return;
  }
  std::cout << "Material: " << m.name << " (" << CrystalClassName(m.crystalClass)
            << ")\nModel: " << models::ModelName(code)
            << ", matrix E = " << core::FormatGeneral(m.E)
            << " GPa, nu = " << core::FormatGeneral(m.nu) << ", grain shape "
            << core::FormatGeneral(options.grainShape.a) << " "
            << core::FormatGeneral(options.grainShape.b) << " "
            << core::FormatGeneral(options.grainShape.c) << "\n"
            << (options.direction
                    ? "Measured along phi = " + core::FormatGeneral((*options.direction)[0]) +
                          ", psi = " + core::FormatGeneral((*options.direction)[1]) +
                          " degrees (grains of the fibre averaged)\n"
                    : std::string())
            << "\n"
            << "h k l      d [A]       s1 [1e-6/MPa]  1/2 s2 [1e-6/MPa]\n"
            << table;
}

}  // namespace

void AddDecCommand(CLI::App& app) {
  auto o = std::make_shared<DecCommandOptions>();
  auto* cmd = app.add_subcommand(
      "dec", "Diffraction elastic constants s1, 1/2 s2 of reflections of an untextured sample");
  o->material.AddTo(cmd);
  auto* hkl = cmd->add_option("--hkl", o->hkl, "Reflection \"h k l\" (or \"h k i l\" for hexagonal and trigonal phases); repeat for several");
  cmd->add_flag("--all", o->all,
                "Every reflection family up to --max-index with d, 2theta, multiplicity, the "
                "orientation parameter and s1, 1/2 s2, E_hkl, nu_hkl under every model")
      ->excludes(hkl);
  cmd->add_option("--max-index", o->maxIndex,
                  "With --all: the largest index (h k i l for hexagonal and trigonal phases)")
      ->check(CLI::Range(1, 20))
      ->capture_default_str();
  cmd->add_option("--wavelength", o->wavelength, "With --all: the wavelength for 2theta, Angstrom")
      ->capture_default_str();
  cmd->add_flag("--csv", o->csv, "With --all: print the table as comma-separated values");
  cmd->add_option("--model", o->model,
                  "Grain-interaction model: voigt, mvoigt, reuss, hill, kroener, "
                  "inverse-kroener")
      ->capture_default_str();
  cmd->add_option("--grain-shape", o->grainShape,
                  "Semi-axes \"a b c\" of the grain ellipsoid along the sample x, y, z")
      ->capture_default_str();
  cmd->add_option("--direction", o->direction,
                  "Measurement direction \"phi psi\" in degrees: s1, 1/2 s2 of the grains "
                  "diffracting along it; required for a grain that is not a sphere under the "
                  "Kroener models");
  cmd->add_option("--axes", o->axes,
                  "Cartesian frame of the crystal: 0 \"X || a, Y || b*, Z=X x Y\", 1 \"X || "
                  "a*, Y || b, Z=X x Y\", 2 \"X=Y x Z, Y || b*, Z || a\"")
      ->check(CLI::Range(0, 2))
      ->capture_default_str();
  cmd->add_option("--intervals", o->intervals,
                  "Simpson half-intervals N of the fibre average (2N intervals), for mvoigt")
      ->check(CLI::Range(1, 10000))
      ->capture_default_str();
  cmd->add_flag("--matrix-self-consistent", o->matrixSelfConsistent,
                "Matrix: the self-consistent aggregate of the crystal instead of --matrix")
      ->excludes(cmd->get_option("--matrix"));
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunDec(*o); });
}

}  // namespace polydec::cli

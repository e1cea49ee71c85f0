#include <array>
#include <iostream>
#include <optional>
#include <nlohmann/json.hpp>

#include "common.h"
#include "crystal/lattice.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "polydec/dec.h"

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
};

void RunDec(const DecCommandOptions& o) {
  const ModelCode code = ParseModelOption(o.model);
  ResolvedMaterial m = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(m);
  const auto shape = ReadNumberList(o.grainShape, 3, "--grain-shape");
  polydec::DecOptions options;
  options.model = code;
  options.grainShape = {shape[0], shape[1], shape[2]};
  options.axisSetting = o.axes;
  options.intervals = o.intervals;
  // An ellipsoidal grain fixed in the sample couples differently to each measurement direction:
  // one pair s1, 1/2 s2 without its direction would be a number for no measurement.
  if (!o.direction.empty()) {
    const auto v = ReadNumberList(o.direction, 2, "--direction");
    options.direction = std::array<Real, 2>{v[0], v[1]};
  } else if (models::CheckAxes({shape[0], shape[1], shape[2]}).empty() &&
             DecDependsOnDirection(code, options.grainShape)) {
    // Unsound semi-axes are refused by the calculation below, which names them.
    throw Failure("--grain-shape \"" + o.grainShape + "\": with a grain that is not a sphere, s1 " +
                  "and 1/2 s2 of the " + ModelName(code) +
                  " model depend on the measurement direction; give it with --direction "
                  "\"phi psi\" (degrees)");
  }
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
  cmd->add_option("--hkl", o->hkl, "Reflection \"h k l\" (or \"h k i l\" for hexagonal and trigonal phases); repeat for several")->required();
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

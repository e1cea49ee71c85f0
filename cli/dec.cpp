#include <array>
#include <iostream>
#include <optional>
#include <nlohmann/json.hpp>

#include "common.h"
#include "crystal/lattice.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/aggregate.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"

namespace polydec::cli {

namespace {

struct DecOptions {
  MaterialOptions material;
  std::vector<std::string> hkl;
  std::string model = "kroener";
  std::string grainShape = "1 1 1";
  std::string direction;
  int axes = 1;
  int intervals = models::kDefaultFibreIntervals;
  bool matrixSelfConsistent = false;
  bool json = false;
};

void RunDec(const DecOptions& o) {
  const int code = ParseModelOption(o.model);
  if (!models::ReflectionModelAvailable(code))
    throw InputError("the " + models::ModelName(code) +
                     " model is not available for this calculation");

  ResolvedMaterial m = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(m);
  models::UntexturedInputs in = UntexturedInputsOf(m);
  in.axisSetting = o.axes;
  const auto shape = ReadNumberList(o.grainShape, 3, "--grain-shape");
  in.grainShape = {shape[0], shape[1], shape[2]};

  std::vector<std::array<core::Real, 3>> reflections;
  for (const std::string& text : o.hkl) {
    const auto v = ReadMillerIndices(text, m.crystalClass, "--hkl");
    reflections.push_back({v[0], v[1], v[2]});
  }
  std::copy(reflections[0].begin(), reflections[0].end(), in.hkl);

  core::OrientationsRec ctx;
  const std::string problem = models::BuildUntexturedContext(in, ctx);
  if (!problem.empty()) throw InputError(problem);
  ctx.SYMMETRY = 0;
  ctx.IIntervls = o.intervals;

  // An ellipsoidal grain fixed in the sample couples differently to each measurement direction:
  // one pair s1, 1/2 s2 without its direction would be a number for no measurement.
  std::optional<std::array<core::Real, 2>> direction;
  if (!o.direction.empty()) {
    const auto v = ReadNumberList(o.direction, 2, "--direction");
    direction = std::array<core::Real, 2>{v[0], v[1]};
  } else if (models::DecDependsOnDirection(code, in.grainShape)) {
    throw InputError("--grain-shape \"" + o.grainShape + "\": with a grain that is not a sphere, s1 " +
                     "and 1/2 s2 of the " + models::ModelName(code) +
                     " model depend on the measurement direction; give it with --direction "
                     "\"phi psi\" (degrees)");
  }

  nlohmann::json rows = nlohmann::json::array();
  std::string table;
  for (const auto& r : reflections) {
    ctx.hkl(1) = r[0];
    ctx.hkl(2) = r[1];
    ctx.hkl(3) = r[2];
    if (direction) {
      models::CalcDirectionalDEC(ctx, code, (*direction)[0] * core::kPi / 180,
                                 (*direction)[1] * core::kPi / 180, ctx.s1, ctx.s2);
    } else {
      core::CijklVector t21{};
      models::CalcReflectionDEC(ctx, t21, code);
    }
    const core::Real d = crystal::DSpacing(ctx.Cryst, r[0], r[1], r[2]);
    // Compliances are 1/GPa inside the engine; 1/GPa = 1000 x 1e-6/MPa.
    const core::Real s1 = 1000 * ctx.s1, halfS2 = 1000 * ctx.s2;
    const std::string hkl = core::FormatGeneral(r[0]) + " " + core::FormatGeneral(r[1]) +
                            " " + core::FormatGeneral(r[2]);
    RequireFinite(s1, "s1 of " + hkl);
    RequireFinite(halfS2, "1/2 s2 of " + hkl);
    rows.push_back({{"hkl", {JsonNumber(r[0]), JsonNumber(r[1]), JsonNumber(r[2])}},
                    {"d", JsonNumber(d)},
                    {"s1", JsonNumber(s1)},
                    {"half_s2", JsonNumber(halfS2)}});
    std::string line = hkl;
    line.resize(std::max<std::size_t>(line.size(), 10), ' ');
    table += line + core::FormatPadded(d, 10, 5) + "  " + core::FormatPadded(s1, 12, 6) +
             "  " + core::FormatPadded(halfS2, 12, 6) + "\n";
  }

  if (o.json) {
    nlohmann::json out = {{"model", o.model}, {"unit", "1e-6/MPa"}, {"rows", rows}};
    if (direction)
      out["direction"] = {{"phi", JsonNumber((*direction)[0])}, {"psi", JsonNumber((*direction)[1])}};
    std::cout << JsonOutput(out);
    return;
  }
  std::cout << "Material: " << m.name << " (" << crystal::CrystalClassNames[m.crystalClass]
            << ")\nModel: " << models::ModelName(code)
            << ", matrix E = " << core::FormatGeneral(m.E)
            << " GPa, nu = " << core::FormatGeneral(m.nu) << ", grain shape "
            << core::FormatGeneral(in.grainShape.a) << " "
            << core::FormatGeneral(in.grainShape.b) << " "
            << core::FormatGeneral(in.grainShape.c) << "\n"
            << (direction ? "Measured along phi = " + core::FormatGeneral((*direction)[0]) +
                                ", psi = " + core::FormatGeneral((*direction)[1]) +
                                " degrees (grains of the fibre averaged)\n"
                          : std::string())
            << "\n"
            << "h k l      d [A]       s1 [1e-6/MPa]  1/2 s2 [1e-6/MPa]\n"
            << table;
}

}  // namespace

void AddDecCommand(CLI::App& app) {
  auto o = std::make_shared<DecOptions>();
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

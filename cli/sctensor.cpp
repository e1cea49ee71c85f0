// `polydec sctensor`: the single-crystal stiffness in a sample frame given by a crystal
// direction along x, one along z and a turn about the crystal z axis, optionally made
// transversely isotropic about z, with its engineering constants; or with --plot the map of
// Young's modulus or the linear compressibility over the crystal directions as a picture, with
// the extremes and the anisotropy indices.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "common.h"
#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "models/macro_stiffness.h"
#include "polydec/anisotropy.h"
#include "polydec/special.h"

namespace polydec::cli {

namespace {

struct SCTensorOptions {
  MaterialOptions material;
  std::string x = "1 0 0";
  std::string z = "0 0 1";
  double turn = 0;
  bool transverse = false;
  bool json = false;
  std::string plot;    // "young" or "compressibility"
  std::string output;  // the picture, .png or .svg
  int size = 181;
};

std::array<core::Real, 3> Triple(const std::string& text, const std::string& what) {
  const std::vector<core::Real> v = ReadNumberList(text, 3, what);
  return {v[0], v[1], v[2]};
}

nlohmann::json ExtremeJson(const DirectionalExtreme& e) {
  nlohmann::json j = {{"value", JsonNumber(e.value)},
                      {"direction", {JsonNumber(e.direction[0]), JsonNumber(e.direction[1]),
                                     JsonNumber(e.direction[2])}}};
  if (!e.lattice.empty()) j["lattice"] = e.lattice;
  return j;
}

std::string ExtremeText(const DirectionalExtreme& e, const std::string& unit) {
  std::string where = e.lattice;
  if (where.empty())
    where = "(" + core::FormatFixed(e.direction[0], 6, 4) + " " +
            core::FormatFixed(e.direction[1], 6, 4) + " " +
            core::FormatFixed(e.direction[2], 6, 4) + ") Cartesian";
  return core::FormatGeneral(e.value) + " " + unit + " along " + where;
}

void RunPlot(const SCTensorOptions& o, const ResolvedMaterial& m) {
  if (o.output.empty()) throw CLI::RequiredError("-o (the picture, .png or .svg)");
  const DirectionalQuantity q = Take(ParseDirectionalQuantity(o.plot), "--plot");
  SurveyOptions options;
  options.size = o.size;
  const DirectionalSurvey survey = Take(SurveyDirections(m, q, options));
  RequireFinite(survey.minimum.value, "the minimum");
  RequireFinite(survey.maximum.value, "the maximum");
  RefuseInputAsOutput(o.output);
  Take(WriteDirectionalPicture(survey, o.output));
  if (o.json) {
    nlohmann::json j = {{"quantity", o.plot},
                        {"unit", survey.unit},
                        {"minimum", ExtremeJson(survey.minimum)},
                        {"maximum", ExtremeJson(survey.maximum)},
                        {"universal_anisotropy", JsonNumber(survey.universalAnisotropy)},
                        {"picture", o.output}};
    if (survey.zenerRatio) j["zener"] = JsonNumber(*survey.zenerRatio);
    std::cout << JsonOutput(j);
    return;
  }
  std::vector<std::pair<std::string, std::string>> rows = {
      {q == DirectionalQuantity::kYoungsModulus ? "Young's modulus" : "Linear compressibility",
       "over every crystal direction"},
      {"minimum", ExtremeText(survey.minimum, survey.unit)},
      {"maximum", ExtremeText(survey.maximum, survey.unit)},
      {"max / min", core::FormatGeneral(survey.maximum.value / survey.minimum.value)},
      {"universal anisotropy A_U", core::FormatGeneral(survey.universalAnisotropy)}};
  if (survey.zenerRatio) rows.push_back({"Zener ratio 2 C44/(C11 - C12)", core::FormatGeneral(*survey.zenerRatio)});
  rows.push_back({"picture", o.output});
  std::cout << "Material: " << m.name << " (" << CrystalClassName(m.crystalClass) << ")\n";
  PrintFieldTable(std::cout, rows);
}

void RunSCTensor(const SCTensorOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
  if (!o.plot.empty()) return RunPlot(o, m);
  CrystalFrame frame;
  frame.x = Triple(o.x, "--x");
  frame.z = Triple(o.z, "--z");
  frame.turnDegrees = o.turn;
  frame.transverse = o.transverse;
  Result<Matrix6> rotated = StiffnessInFrame(m, frame);
  if (!rotated)
    throw Failure(rotated.error().message + " (--x \"" + o.x + "\", --z \"" + o.z + "\")");
  const Matrix6 C = *rotated;
  auto constants = EngineeringConstantsOf(C, kTriclinicSample);
  if (!constants) throw Failure("an engineering constant of the rotated stiffness is not a finite number for this input");
  if (o.json) {
    std::cout << JsonOutput(StiffnessJson(C, *constants));
    return;
  }
  std::cout << "Material: " << m.name << " (" << CrystalClassName(m.crystalClass)
            << ")\nFrame: x || <" << o.x << ">, z || <" << o.z << ">, turned by " << o.turn
            << " deg about the crystal z axis" << (o.transverse ? "; averaged about z" : "")
            << "\n\n";
  PrintStiffness(std::cout, C, *constants);
}

}  // namespace

void AddSCTensorCommand(CLI::App& app) {
  auto o = std::make_shared<SCTensorOptions>();
  auto* cmd = app.add_subcommand(
      "sctensor", "Single-crystal stiffness in a frame of two crystal directions (and a turn)");
  o->material.AddTo(cmd);
  cmd->add_option("--x", o->x, "Crystal direction <u v w> along sample x")->capture_default_str();
  cmd->add_option("--z", o->z, "Crystal direction [h k l] along sample z (perpendicular to x)")
      ->capture_default_str();
  cmd->add_option("--turn", o->turn, "Turn of the frame about the crystal z axis, degrees")
      ->capture_default_str();
  cmd->add_flag("--transverse", o->transverse,
                "Average about sample z: transversely isotropic (a fibre texture)");
  cmd->add_option("--plot", o->plot,
                  "Draw young (Young's modulus) or compressibility (linear compressibility) over "
                  "every crystal direction, an equal-area map of the upper hemisphere, into -o");
  cmd->add_option("-o,--output", o->output, "With --plot: the picture, .png or .svg");
  cmd->add_option("--size", o->size, "With --plot: cells per side of the map")
      ->check(CLI::Range(11, 1001))
      ->capture_default_str();
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunSCTensor(*o); });
}

}  // namespace polydec::cli

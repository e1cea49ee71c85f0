// `polydec sctensor`: the single-crystal stiffness in a sample frame given by a crystal
// direction along x, one along z and a turn about the crystal z axis, optionally made
// transversely isotropic about z, with its engineering constants.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "common.h"
#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "models/macro_stiffness.h"
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
};

std::array<core::Real, 3> Triple(const std::string& text, const std::string& what) {
  const std::vector<core::Real> v = ReadNumberList(text, 3, what);
  return {v[0], v[1], v[2]};
}

void RunSCTensor(const SCTensorOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
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
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunSCTensor(*o); });
}

}  // namespace polydec::cli

// `polydec sctensor`: the single-crystal stiffness in a sample frame given by a crystal
// direction along x, one along z and a turn about the crystal z axis, optionally made
// transversely isotropic about z, with its engineering constants.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "api/conversions.h"
#include "common.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "models/macro_stiffness.h"
#include "special/sc_tensor.h"

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

core::Tensor1 Triple(const std::string& text, const std::string& what) {
  const std::vector<core::Real> v = ReadNumberList(text, 3, what);
  return core::Tensor1{{v[0], v[1], v[2]}};
}

void RunSCTensor(const SCTensorOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
  special::SCTensorInputs in;
  core::CijklToTensor(api::ToCijkl(m.cij), in.Lr);
  in.cell = CrystalOf(m, 1);
  in.turnDegrees = o.turn;
  in.xDirection = Triple(o.x, "--x");
  in.zDirection = Triple(o.z, "--z");
  in.transverselyIsotropic = o.transverse;
  const special::SCTensorResult r = special::SingleCrystalTensorInFrame(in);
  if (!r.error.empty()) throw Failure(r.error + " (--x \"" + o.x + "\", --z \"" + o.z + "\")");

  Matrix6 C{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i = 0, j = 0, k = 0, l = 0;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      C[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)] = r.C(i, j, k, l);
      RequireFinite(r.C(i, j, k, l), "C" + std::to_string(I) + std::to_string(J));
    }
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

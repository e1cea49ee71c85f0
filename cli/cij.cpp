// `polydec cij`: macroscopic stiffness of a textured polycrystal with its engineering constants,
// as "Calc Cij (ODF)" computes it: averaged over Euler space with the ODF (uniform without
// one), over a grains file, or over a shipped random orientation set weighted by the ODF.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common.h"
#include "core/tensor_inversion.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/macro_operation.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/symmetry_projection.h"
#include "models/untextured_context.h"
#include "texture/odf_readers.h"
#include "texture/random_grains.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;
using core::Real;
using core::Tensor4;

struct CijOptions {
  MaterialOptions material;
  std::string odf;
  std::string odfFormat = "auto";
  std::string grains;
  int random = 0;
  std::string model;
  std::string sampleSymmetry;
  int intervals = 0;  // 0: models::DefaultEulerIntervals of the sample symmetry
  bool json = false;
};

int ModelCode(const std::string& name) { return ParseModelOption(name); }

// Why the stiffness could not be found, for the error line.
std::string FailureText(const models::MacroStiffnessResult& result, int intervals) {
  switch (result.status) {
    case models::MacroStatus::kOutsideBounds:
      return "the self-consistent stiffness lies " + core::FormatFixed(result.boundsExcess, 15, 1) +
             " GPa outside the Voigt and Reuss averages of the same texture, which every "
             "estimate lies between: --intervals " + std::to_string(intervals) +
             " integrates Euler space too coarsely for this texture; use more intervals";
    case models::MacroStatus::kNoWeight:
      return "the grains hold no weight (the ODF is 0 at every grain)";
    case models::MacroStatus::kDivergence:
      return "the self-consistent iteration diverges (its step sum grew in " +
             std::to_string(models::SelfConsistentWatch::kMaxGrowing) + " rounds in a row)";
    case models::MacroStatus::kNoConvergence:
      return "the self-consistent iteration does not converge within " +
             std::to_string(models::SelfConsistentWatch::kMaxRoundsAbove) + " rounds";
    default:
      return "the self-consistent stiffness could not be found: its residual could not be "
             "evaluated or its Jacobian is singular";
  }
}

int SampleSymmetryCode(const std::string& name) {
  const std::pair<const char*, int> names[] = {{"isotropic", 0},
                                               {"transversal", 2},
                                               {"orthorhombic", 7},
                                               {"monoclinic", 9},
                                               {"triclinic", 10}};
  for (const auto& [n, code] : names)
    if (name == n) return code;
  throw InputError("--sample-symmetry: unknown sample symmetry \"" + name +
                   "\" (isotropic, transversal, orthorhombic, monoclinic, triclinic)");
}

void RunCij(const CijOptions& o) {
  const int code = ModelCode(o.model);
  if (!o.grains.empty() && (!o.odf.empty() || o.random != 0))
    throw InputError("--grains cannot be combined with --odf or --random");
  if (o.random != 0 && std::find(texture::kRandomSetSizes.begin(), texture::kRandomSetSizes.end(),
                                 o.random) == texture::kRandomSetSizes.end()) {
    std::string sizes;
    for (int n : texture::kRandomSetSizes) sizes += (sizes.empty() ? "" : ", ") + std::to_string(n);
    throw InputError("--random: there is no random set of " + std::to_string(o.random) +
                     " grains (" + sizes + ")");
  }

  const ResolvedMaterial m = ResolveMaterial(o.material);
  core::OrientationsRec ctx = UntexturedContextOf(m);

  std::string texture = "uniform (no ODF)";
  int symmetry = 0;
  if (!o.odf.empty()) {
    std::string format = o.odfFormat;
    if (format == "auto") format = LooksLikeMtex(o.odf) ? "mtex" : "popla";
    if (format != "popla" && format != "mtex")
      throw InputError("--odf-format: unknown format \"" + o.odfFormat + "\" (popla, mtex)");
    NoQuestions ask;
    // A file of the whole orientation space assumes no sample symmetry; a reduced region
    // tells its own.
    ctx.SYMMETRY = 10;
    const texture::ODFLoadResult r = texture::LoadODF(
        o.odf, format == "mtex" ? texture::ODFFileKind::kMTEX : texture::ODFFileKind::kPopla, false,
        ctx, ask);
    if (!r.loaded)
      throw InputError(r.read.message.empty() ? o.odf + ": " + texture::kODFNotReadMessage
                                              : r.read.Describe());
    symmetry = ctx.SYMMETRY;
    texture = "ODF " + o.odf;
  }
  // A grains file is a list of orientations and states no sample symmetry: averaging it
  // isotropically would replace its texture by a random one.
  if (!o.grains.empty()) symmetry = 10;
  if (!o.sampleSymmetry.empty()) symmetry = SampleSymmetryCode(o.sampleSymmetry);
  ctx.SYMMETRY = symmetry;

  if (!o.grains.empty()) {
    const texture::ODFReadResult r = texture::readwtsfile(o.grains, ctx);
    if (!r.ok()) throw InputError(r.Describe());
    ctx.UseGrains = true;
    texture = "grains file " + o.grains + " (" + std::to_string(r.valuesRead) + " grains)";
  } else if (o.random != 0) {
    const texture::ODFReadResult r =
        texture::WeightRandomGrains(ctx, RandomSetPath(o.random), o.random);
    if (!r.ok()) throw InputError(r.Describe());
    ctx.UseGrains = true;
    texture = "random set of " + std::to_string(o.random) + " grains" +
              (o.odf.empty() ? "" : " weighted by the ODF " + o.odf);
  }

  const int intervals = o.intervals > 0 ? o.intervals : models::DefaultEulerIntervals(symmetry);
  ctx.IIntervls = intervals;
  ctx.Iter = 1;
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, symmetry);
  if (const std::string axes = models::CheckAxes(ctx.AxisLength); !axes.empty())
    throw InputError(axes);
  // Only the self-consistent models embed a grain in a matrix; the averages need no Eshelby
  // tensor, whose integration would cost more than the whole average.
  if (code == models::kVoigt || code == models::kMVoigt || code == models::kReuss ||
      code == models::kHill)
    models::UpdateCompliances(ctx);
  else
    models::UpdateEshelby(ctx);

  // The rounds of the self-consistent models go on until a round settles the stiffness.
  const models::MacroStiffnessResult result = models::CalcMacroStiffness(
      ctx, models::MacroTexture::kOrientations, code,
      [](const models::MacroRound& round) { return !round.converged; });
  if (result.status != models::MacroStatus::kOk) throw InputError(FailureText(result, intervals));
  const Tensor4& L = ctx.L;
  const models::EngineeringConstantsRec e = models::MacroEngineeringConstants(L, symmetry);

  Real C[7][7] = {};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i = 0, j = 0, k = 0, l = 0;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      C[I][J] = L(i, j, k, l);
      RequireFinite(C[I][J], "C" + std::to_string(I) + std::to_string(J));
    }
  for (Real x : {e.E1, e.E2, e.E3, e.nu12, e.nu13, e.nu23, e.nu21, e.nu31, e.nu32})
    RequireFinite(x, "an engineering constant of the stiffness");

  if (o.json) {
    std::cout << JsonOutput(StiffnessJson(C, e));
    return;
  }
  const auto p = [](Real x, int d) { return core::FormatPadded(x, 10, d); };
  std::cout << "Material: " << m.name << " (" << crystal::CrystalClassNames[m.crystalClass]
            << ")\nModel: " << models::ModelName(code) << "; texture: " << texture
            << "; sample symmetry " << SampleSymmetryName(symmetry) << "\n\nC [GPa]\n";
  for (int I = 1; I <= 6; ++I) {
    for (int J = 1; J <= 6; ++J) std::cout << p(C[I][J], 2);
    std::cout << "\n";
  }
  std::cout << "\nE1 E2 E3 [GPa]    " << p(e.E1, 2) << p(e.E2, 2) << p(e.E3, 2) << "\n"
            << "G1 G2 G3 [GPa]    " << p(e.G1, 2) << p(e.G2, 2) << p(e.G3, 2) << "\n"
            << "nu12 nu13 nu23    " << p(e.nu12, 4) << p(e.nu13, 4) << p(e.nu23, 4) << "\n"
            << "nu21 nu31 nu32    " << p(e.nu21, 4) << p(e.nu31, 4) << p(e.nu32, 4) << "\n";
}

}  // namespace

void AddCijCommand(CLI::App& app) {
  auto o = std::make_shared<CijOptions>();
  auto* cmd = app.add_subcommand(
      "cij", "Macroscopic stiffness of a textured polycrystal with its engineering constants");
  o->material.AddTo(cmd);
  cmd->add_option("--odf", o->odf,
                  "ODF file (popla or MTEX) weighting the orientations; with --random it weights "
                  "the random set")
      ->default_str("none: a uniform texture");
  cmd->add_option("--odf-format", o->odfFormat, "ODF file format: popla, mtex or auto")
      ->capture_default_str();
  cmd->add_option("--grains", o->grains,
                  "Grains file (popla WTS layout: 4 header lines, then phi1 Phi phi2 weight)");
  cmd->add_option("--random", o->random,
                  "Average over the shipped random set of N grains (228, 666, 1464, 4572, 10416, "
                  "19860, 33768, 64890)");
  cmd->add_option("--model", o->model,
                  "Model: voigt, mvoigt (as voigt), reuss, hill, kroener, inverse-kroener")
      ->required();
  cmd->add_option("--sample-symmetry", o->sampleSymmetry,
                  "Sample symmetry: isotropic, transversal, orthorhombic, monoclinic, triclinic")
      ->default_str("the ODF's; triclinic for --grains; else isotropic");
  cmd->add_option("--intervals", o->intervals,
                  "Simpson half-intervals N of the Euler-space integration (2N per angle; the "
                  "self-consistent residual uses N div 2)")
      ->check(CLI::Range(1, 100))
      ->default_str("12; 24 for a monoclinic or triclinic sample");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunCij(*o); });
}

}  // namespace polydec::cli

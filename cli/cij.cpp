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
#include "core/text_fields.h"
#include "progress.h"
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
  OrientationListOptions list;
  int random = 0;
  std::string model;
  std::string sampleSymmetry;
  int intervals = 0;  // 0: the default of the sample symmetry and the model
  bool json = false;
};

void RunCij(const CijOptions& o) {
  MacroOptions options;
  options.model = ParseModelOption(o.model);
  if (!o.grains.empty() && (!o.odf.empty() || o.random != 0))
    throw Failure("--grains cannot be combined with --odf or --random");
  if (o.random != 0) {
    const std::vector<int> sizes = RandomSetSizes();
    if (std::find(sizes.begin(), sizes.end(), o.random) == sizes.end()) {
      std::string list;
      for (int n : sizes) list += (list.empty() ? "" : ", ") + std::to_string(n);
      throw Failure("--random: there is no random set of " + std::to_string(o.random) +
                    " grains (" + list + ")");
    }
  }
  // Ctrl-C from here on stops at the next integration of the self-consistent rounds; reading
  // a large ODF comes first and takes a moment.
  InterruptScope interrupt;
  const ResolvedMaterial m = ResolveMaterial(o.material);

  TextureSource source;
  source.crystalClass = m.crystalClass;
  source.cell = m.cell;
  ApplyOrientationListOptions(o.list, source);
  std::string texture = "uniform (no ODF)";
  if (!o.odf.empty()) {
    source.path = o.odf;
    source.format = Take(ParseTextureFormat(o.odfFormat), "--odf-format");
    // A random set is weighted by an ODF: an orientation list gives its kernel ODF.
    if (o.random != 0) source.kernel = KernelOf(o.list);
    texture = "ODF " + o.odf;
  }
  const Texture odf = Take(LoadTexture(source));
  if (odf.grains)
    texture = "orientation list " + o.odf + " (" + std::to_string(odf.valuesRead) +
              " orientations" +
              (odf.valuesWereWeights ? ", the values of an equispaced grid taken as weights of "
                                       "cells of equal volume)"
                                     : ")");
  if (!o.sampleSymmetry.empty())
    options.sampleSymmetry = Take(ParseSampleSymmetry(o.sampleSymmetry), "--sample-symmetry");
  options.intervals = o.intervals;

  Texture orientations = odf;
  if (!o.grains.empty()) {
    source.path = o.grains;
    source.format = GrainsFormatOf(o.grains);
    orientations = Take(LoadTexture(source));
    texture = (source.format == TextureFormat::kGrains ? "grains file " : "orientation list ") +
              o.grains + " (" + std::to_string(orientations.valuesRead) +
              (source.format == TextureFormat::kGrains ? " grains)" : " orientations)");
  } else if (o.random != 0) {
    options.randomSetSize = o.random;
    options.randomSetFile = RandomSetPath(o.random);
    texture = "random set of " + std::to_string(o.random) + " grains" +
              (o.odf.empty() ? "" : " weighted by the ODF " + o.odf);
  }
  // The self-consistent rounds can take minutes: each is reported, and Ctrl-C ends the rounds.
  Result<MacroStiffness> computed = [&] {
    ProgressLine progress;
    options.onRound = [&progress](int round, Real stepSum) {
      progress.Show("self-consistent round " + std::to_string(round) + ", step " +
                    core::FormatGeneral(stepSum));
      return !InterruptScope::Interrupted();
    };
    // A round at many intervals takes minutes: Ctrl-C is looked for before each integration.
    options.onEvaluation = [&progress](int round, int evaluation, int evaluations) {
      progress.Show("self-consistent round " + std::to_string(round) + ": integration " +
                    std::to_string(evaluation) + " of " + std::to_string(evaluations));
      return !InterruptScope::Interrupted();
    };
    Result<MacroStiffness> r = ComputeMacroStiffness(m, orientations, options);
    progress.End();
    if (InterruptScope::Interrupted()) StoppedByUser("the self-consistent rounds");
    return r;
  }();
  const MacroStiffness result = Take(std::move(computed));
  if (o.json) {
    std::cout << JsonOutput(StiffnessJson(result.C, result.engineering));
    return;
  }
  std::cout << "Material: " << m.name << " (" << CrystalClassName(m.crystalClass)
            << ")\nModel: " << ModelName(options.model) << "; texture: " << texture
            << "; sample symmetry " << SampleSymmetryName(result.sampleSymmetry) << "\n\n";
  PrintStiffness(std::cout, result.C, result.engineering);
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
                  "Orientation list: grains file (popla WTS layout: 4 header lines, then phi1 Phi "
                  "phi2 weight), Euler table with a weight column or none, .ang or .ctf map");
  AddOrientationListOptions(cmd, o->list);
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
      ->default_str("12; 24 for a monoclinic or triclinic sample; twice that for kroener and "
                    "inverse-kroener");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunCij(*o); });
}

}  // namespace polydec::cli

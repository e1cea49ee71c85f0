// `polydec fibre`: the ODF along the diffraction fibres of the 24 signed permutations of a
// reflection in one sample direction (the "lamda-ODF" files of the window).
#include <memory>
#include <string>

#include "common.h"
#include "texture/pole_figure.h"

namespace polydec::cli {

namespace {

struct FibreOptions {
  OdfSourceOptions source;
  std::string hkl;
  std::string direction = "0 0";
  std::string layout = "all";
  int steps = texture::kFibreSteps;
  std::string out;
};

void Run(const FibreOptions& o) {
  core::OrientationsRec ctx = LoadOdfSource(o.source);
  const auto hkl = ReadMillerIndices(o.hkl, static_cast<int>(ctx.Cryst.SYS), "--hkl");
  const auto d = ReadNumberList(o.direction, 2, "--direction");
  const auto layout = o.layout == "cube-orth" ? texture::FibreProfileLayout::kCubeOrth
                                              : texture::FibreProfileLayout::kAllPermutations;
  WriteOutput(o.out, texture::FibreProfileText(ctx, layout, d[0], d[1], hkl[0], hkl[1], hkl[2],
                                               o.steps));
}

}  // namespace

void AddFibreCommand(CLI::App& app) {
  auto o = std::make_shared<FibreOptions>();
  auto* cmd = app.add_subcommand(
      "fibre", "ODF along the fibres of the signed permutations of hkl (lamda-ODF file)");
  cmd->add_option("FILE", o->source.file, "ODF file (without one every value is 1)");
  cmd->add_option("--odf", o->source.file, "The ODF file, as an option");
  AddOdfSourceOptions(cmd, o->source);
  cmd->add_option("--hkl", o->hkl,
                  "Reflection \"h k l\" (or \"h k i l\" with --symmetry hexagonal or trigonal)")
      ->required();
  cmd->add_option("--direction", o->direction, "Sample direction \"phi psi\" in degrees")
      ->capture_default_str();
  cmd->add_option("--layout", o->layout,
                  "all: lamda and the 24 permutations per line, sums at the end; cube-orth: "
                  "one line per orientation inside 0..90 degrees")
      ->check(CLI::IsMember({"all", "cube-orth"}))
      ->capture_default_str();
  cmd->add_option("--steps", o->steps, "lamda steps over 360 degrees")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  cmd->add_option("-o,--output", o->out, "Output file (default: standard output)");
  cmd->callback([o] { RunTextureVerb([o] { Run(*o); }); });
}

}  // namespace polydec::cli

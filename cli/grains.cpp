// `polydec grains write`: one of the random orientation sets that ship beside the program,
// weighted by an ODF, as a popla-style WTS grains file for polycrystal plasticity codes.
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "common.h"
#include "texture/odf_writers.h"
#include "texture/random_grains.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;

struct GrainsWriteOptions {
  OdfSourceOptions source;
  int count = 228;
  std::string folder;
  std::string out;
};

void Run(const GrainsWriteOptions& o) {
  core::OrientationsRec ctx = LoadOdfSource(o.source);
  // The shipped set is an input too: an output over it would replace it by a weighted copy.
  const std::string set = RandomSetPath(o.count, o.folder);
  NoteInputFile(set);
  RefuseInputAsOutput(o.out);
  const texture::ODFReadResult read = texture::WeightRandomGrains(ctx, set, o.count);
  if (!read.ok()) throw Failure(read.Describe());
  WriteOutput(o.out, texture::GrainsFileText(ctx));
}

}  // namespace

void AddGrainsCommand(CLI::App& app) {
  auto* grains = app.add_subcommand("grains", "Grain orientation sets");
  grains->require_subcommand(1, 1);
  auto o = std::make_shared<GrainsWriteOptions>();
  auto* write = grains->add_subcommand(
      "write", "A random orientation set weighted by an ODF, as a WTS grains file");
  write->add_option("FILE", o->source.file, "ODF file (without one every weight is 1)");
  write->add_option("--odf", o->source.file, "The ODF file, as an option")->excludes(write->get_option("FILE"));
  AddOdfSourceOptions(write, o->source);
  write->add_option("--random", o->count, "Number of orientations of the shipped set")
      ->check(CLI::IsMember({228, 666, 1464, 4572, 10416, 19860, 33768, 64890}))
      ->capture_default_str();
  write->add_option("--sets", o->folder,
                    "Folder of the random<N>.wts sets (default: the program's shipped data, "
                    "beside it or in <prefix>/share/polydec)");
  write->add_option("-o,--output", o->out, "Output file (default: standard output)");
  write->callback([o] { RunTextureVerb([o] { Run(*o); }); });
}

}  // namespace polydec::cli

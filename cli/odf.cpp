// `polydec odf`: `info` reads an ODF file onto the 5-degree grid, completes and expands it over
// Euler space as the load command does, and reports what was loaded and what the check finds;
// `write`, `equivalents`, `components` and `compound` are the texture tools of the window.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common.h"
#include "api/texture_data.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "texture/odf_writers.h"
#include "texture/pole_figure.h"
#include "texture/texture_tools.h"
#include "core/atomic_file.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"

namespace polydec::cli {

namespace {

struct OdfInfoOptions {
  OdfSourceOptions source;
  bool json = false;
};

// Simpson intervals 2n = 72 on each axis: every 5-degree node of phi1 and phi2 is a point of
// the rule.
constexpr int kIntegralN = 36;

std::string Where(const TextureNode& n) {
  return "[phi1,phi,phi2]=[" + std::to_string(n.i1) + "," + std::to_string(n.i) + "," +
         std::to_string(n.i2) + "]";
}

void RunOdfInfo(const OdfInfoOptions& o) {
  const Texture texture = LoadTextureSource(o.source);
  const std::string format = TextureFormatName(texture.format);
  const TextureStatistics stats = Take(TextureStats(texture, kIntegralN));
  const core::Real lo = stats.minimum, hi = stats.maximum, integral = stats.integral;

  std::vector<std::string> warnings;
  if (!texture.firstZero.empty())
    warnings.push_back(std::to_string(texture.zeroNodes) +
                       " nodes have zero intensity, the first at " + Where(texture.firstZero[0]) +
                       " (node indices); check the sample symmetry");
  // Equal neighbours are common in a sound ODF (a background rounded to the file's digits, a
  // uniform texture); only a value repeated in the middle of a slope points to the export.
  if (!texture.firstCopied.empty())
    warnings.push_back(std::to_string(texture.copiedNodes) +
                       " nodes repeat the value of the preceding node in the middle of a slope "
                       "(the values before and after both change by more than 1 % of the "
                       "range), the first at " +
                       Where(texture.firstCopied[0]) + " (node indices): check the export");

  const std::string symmetry = SampleSymmetryName(texture.sampleSymmetry);
  if (o.json) {
    nlohmann::json region = nlohmann::json::array();
    for (core::Real x : texture.region) region.push_back(JsonNumber(x));
    const nlohmann::json out = {
        {"format", format},      {"sample_symmetry", symmetry},      {"region", region},
        {"nodes", texture.nodes},  {"values_read", texture.valuesRead},   {"min", JsonNumber(lo)},
        {"max", JsonNumber(hi)}, {"integral", JsonNumber(integral)}, {"warnings", warnings},
        {"texture_index", JsonNumber(stats.textureIndex)},
    };
    nlohmann::json full = out;
    if (texture.grains) {
      full["orientations"] = texture.valuesRead;
      full["kernel_halfwidth"] = JsonNumber(texture.kernel.halfwidth);
      full["points_left_out"] = texture.skipped;
      full["values_are_cell_weights"] = texture.valuesWereWeights;
    }
    std::cout << JsonOutput(full);
    return;
  }
  using core::FormatGeneral;
  const auto& r = texture.region;
  if (texture.grains) {
    PrintFieldTable(
        std::cout,
        {
            {"file", o.source.file},
            {"format", format + " (a list of orientations)"},
            {"orientations", std::to_string(texture.valuesRead)},
            {"weights", texture.valuesWereWeights
                            ? "the ODF values of an equispaced grid, each the weight of a cell "
                              "of equal volume"
                            : "as the file gives them"},
            {"points left out", std::to_string(texture.skipped)},
            {"kernel", std::string(texture.kernel.shape == KernelShape::kGaussian
                                       ? "Gaussian"
                                       : "de la Vallee Poussin") +
                           ", half-width " + FormatGeneral(texture.kernel.halfwidth) + " deg"},
            {"sample symmetry", symmetry},
            {"minimum", FormatGeneral(lo)},
            {"maximum", FormatGeneral(hi)},
            {"integral / 8 pi^2", FormatGeneral(integral / (8 * core::kPi * core::kPi))},
            {"texture index", FormatGeneral(stats.textureIndex)},
        });
    return;
  }
  PrintFieldTable(
      std::cout,
      {
          {"file", o.source.file},
          {"format", format},
          {"sample symmetry", symmetry},
          {"loaded region (deg)", "phi1 0.." + FormatGeneral(r[0]) + ", Phi 0.." +
                                      FormatGeneral(r[1]) + ", phi2 0.." + FormatGeneral(r[2])},
          {"values read", std::to_string(texture.valuesRead)},
          {"nodes", std::to_string(texture.nodes)},
          {"minimum", FormatGeneral(lo)},
          {"maximum", FormatGeneral(hi)},
          {"integral", FormatGeneral(integral)},
          {"integral / 8 pi^2", FormatGeneral(integral / (8 * core::kPi * core::kPi))},
          {"texture index", FormatGeneral(stats.textureIndex)},
      });
  if (warnings.empty()) {
    std::cout << "check: no zero or repeated values\n";
  } else {
    for (const std::string& w : warnings) std::cout << "warning: " << w << "\n";
  }
}

}  // namespace

void AddOdfSourceOptions(CLI::App* cmd, OdfSourceOptions& o) {
  cmd->add_option("--odf-format", o.format,
                  "File layout: popla, mtex, grains, orientations, ang, ctf, or auto (by the "
                  "extension and the first lines; an orientation list becomes its kernel ODF)")
      ->check(CLI::IsMember(TextureFormatNames()))
      ->capture_default_str();
  cmd->add_option("--symmetry", o.crystal, "Crystal class of the ODF")->capture_default_str();
  cmd->add_option("--complete", o.complete,
                  "Completion of the loaded region: operators or rules")
      ->check(CLI::IsMember({"operators", "rules"}))
      ->capture_default_str();
  cmd->add_option("--cell", o.cell, "Unit cell \"a b c alpha beta gamma\" (plane normals)")
      ->capture_default_str();
  AddOrientationListOptions(cmd, o.list);
}

Texture LoadTextureSource(const OdfSourceOptions& o) {
  TextureSource source;
  ReadCell(o.cell, 0, "--cell");  // an unsound cell is refused naming the option
  const auto cell = ReadNumberList(o.cell, 6, "--cell");
  source.cell = Cell{cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]};
  source.crystalClass = ParseCrystalClass(o.crystal, "--symmetry");
  source.format = Take(ParseTextureFormat(o.format), "--odf-format");
  source.completion =
      o.complete == "rules" ? TextureCompletion::kRules : TextureCompletion::kOperators;
  source.path = o.file;
  ApplyOrientationListOptions(o.list, source);
  source.kernel = KernelOf(o.list);
  if (!o.file.empty()) NoteInputFile(o.file);
  return Take(LoadTexture(source));
}

core::OrientationsRec LoadOdfSource(const OdfSourceOptions& o) {
  return api::ContextOf(LoadTextureSource(o));
}

void AddContourOptions(CLI::App* cmd, ContourOptions& o) {
  cmd->add_option("--levels", o.levels,
                  "Contour levels in m.r.d., e.g. \"1 2 4 8\" (default: 0.5 1 1.5 2 3 4 6 8 12 "
                  "... between the least and the largest value)");
  cmd->add_flag("--bands", o.bands,
                "Colour the bands between the levels flat instead of the smooth colour scale");
}

TexturePictureOptions PictureOptionsOf(const ContourOptions& o) {
  TexturePictureOptions options;
  options.levels = ReadNumbers(o.levels, "--levels");
  options.bands = o.bands;
  return options;
}

void TakePicture(const Status& written) {
  if (!written && !written.error().field.empty())
    throw Failure("--" + written.error().field + ": " + written.error().message);
  Take(written);
}

bool IsPictureFile(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  std::string lower;
  for (char c : ext) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == ".png" || lower == ".svg";
}

void RunTextureVerb(const std::function<void()>& verb) {
  try {
    verb();
  } catch (const Failure&) {
    throw;
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
}

namespace {
std::vector<std::string>& InputFiles() {
  static std::vector<std::string> files;
  return files;
}
}  // namespace

void NoteInputFile(const std::string& path) {
  if (!path.empty()) InputFiles().push_back(path);
}

void RefuseInputAsOutput(const std::string& output) {
  for (const std::string& input : InputFiles()) {
    std::error_code ec;
    if (std::filesystem::equivalent(output, input, ec))
      throw Failure(output + ": this is " + (output == input ? "" : input + ", ") +
                       "a file the command reads; write the output to another file");
  }
}

void WriteOutput(const std::string& file, const std::string& text) {
  if (file.empty()) {
    std::cout << text;
    std::cout.flush();
    return;
  }
  RefuseInputAsOutput(file);
  if (const auto error = core::WriteFileAtomically(file, text))
    throw Failure(file + ": " + *error);
}

namespace {

struct OdfWriteOptions {
  OdfSourceOptions source;
  std::string layout = "full";
  std::string out;
};

void RunOdfWrite(const OdfWriteOptions& o) {
  const core::OrientationsRec ctx = LoadOdfSource(o.source);
  const texture::ODFLayout layout = o.layout == "full"  ? texture::ODFLayout::kFull
                                    : o.layout == "90"  ? texture::ODFLayout::kSection90
                                    : o.layout == "180" ? texture::ODFLayout::kSection180
                                                        : texture::ODFLayout::kCubeOrth;
  const texture::ODFTextResult r = texture::ODFLayoutText(ctx, layout);
  if (!r.error.empty()) throw Failure(r.error);
  WriteOutput(o.out, r.text);
}

struct OdfFromOrientationsOptions {
  OdfSourceOptions source;
  std::string out;
};

// The kernel ODF of an orientation list on the whole grid, as an MTEX table that every ODF
// reader takes back.
void RunOdfFromOrientations(const OdfFromOrientationsOptions& o) {
  const Texture texture = LoadTextureSource(o.source);
  if (!texture.grains)
    throw Failure(o.source.file + ": this is an ODF on the grid (" +
                  TextureFormatName(texture.format) + "), not a list of orientations");
  const texture::ODFTextResult r = texture::ODFLayoutText(api::ContextOf(texture),
                                                          texture::ODFLayout::kFull);
  if (!r.error.empty()) throw Failure(r.error);
  WriteOutput(o.out, r.text);
}

struct OdfEquivalentsOptions {
  OdfSourceOptions source;
  std::string euler = "0 0 0";
  std::string sample = "orthorhombic";
  bool hexagonalFixed = false;
  std::string out;
};

int SampleCode(const std::string& name) {
  if (name == "isotropic") return core::kIsotropicSample;
  if (name == "transversal") return core::kTransversalSample;
  if (name == "orthorhombic") return core::kOrthorhombicSample;
  if (name == "monoclinic" || name == "monoclinic-y") return core::kMonoclinicSampleY;
  if (name == "monoclinic-z") return core::kMonoclinicSampleZ;
  return core::kTriclinicSample;
}

void RunOdfEquivalents(const OdfEquivalentsOptions& o) {
  const core::OrientationsRec ctx = LoadOdfSource(o.source);
  if (o.hexagonalFixed) {
    WriteOutput(o.out, texture::HexagonalEquivalentsText(ctx));
    return;
  }
  const auto e = ReadNumberList(o.euler, 3, "--euler");
  WriteOutput(o.out,
              texture::SymmetryEquivalentsText(
                  ctx, static_cast<polydec::CrystalClass>(ctx.Cryst.SYS),
                  static_cast<polydec::SampleSymmetry>(SampleCode(o.sample)), e[0], e[1], e[2]));
}

struct OdfComponentsOptions {
  OdfSourceOptions source;
  std::string hkl, direction = "0 0";
  double window = 5;
  std::string out;
};

void RunOdfComponents(const OdfComponentsOptions& o) {
  core::OrientationsRec ctx = LoadOdfSource(o.source);
  const auto hkl = ReadMillerIndices(o.hkl, static_cast<int>(ctx.Cryst.SYS), "--hkl");
  const auto d = ReadNumberList(o.direction, 2, "--direction");
  if (!(o.window > 0)) throw Failure("--window: the search window must be positive");
  WriteOutput(o.out, texture::TextureComponentsText(ctx, d[0], d[1], hkl[0], hkl[1], hkl[2],
                                                    o.window, texture::kFibreSteps));
}

struct OdfSectionsOptions {
  OdfSourceOptions source;
  std::string phi2;
  ContourOptions contours;
  std::string out;
};

// The phi2 = const sections of the ODF as a picture; the file's extension chooses PNG or SVG.
void RunOdfSections(const OdfSectionsOptions& o) {
  if (!IsPictureFile(o.out))
    throw Failure(o.out + ": the sections are written as a picture, .png or .svg, not \"" +
                  std::filesystem::path(o.out).extension().string() + "\"");
  RefuseInputAsOutput(o.out);
  TexturePictureOptions options = PictureOptionsOf(o.contours);
  if (!o.phi2.empty()) {
    options.phi2 = ReadNumbers(o.phi2, "--phi2");
    if (options.phi2.empty()) throw Failure("--phi2: no section given");
  }
  const Texture texture = LoadTextureSource(o.source);
  TakePicture(WriteOdfSections(texture, o.out, options));
}

struct OdfCompoundOptions {
  OdfSourceOptions source;
  std::vector<std::string> parts;
  std::string out;
};

void RunOdfCompound(const OdfCompoundOptions& o) {
  std::vector<core::DataVector> odfs;
  std::vector<core::Real> weights;
  core::OrientationsRec ctx;
  for (const std::string& part : o.parts) {
    const std::size_t colon = part.rfind(':');
    if (colon == std::string::npos || colon == 0)
      throw Failure(part + ": expected FILE:WEIGHT");
    const core::ParsedNumber w = core::ParseNumber(part.substr(colon + 1));
    if (!w.ok() || part.size() == colon + 1)
      throw Failure(part + ": the weight after ':' is not a number");
    OdfSourceOptions source = o.source;
    source.file = part.substr(0, colon);
    ctx = LoadOdfSource(source);
    odfs.emplace_back(ctx.ODF.begin(), ctx.ODF.begin() + static_cast<std::ptrdiff_t>(ctx.ODFNUMP));
    weights.push_back(w.value);
  }
  const std::string refused = texture::CompoundODF(ctx, odfs, weights);
  if (!refused.empty()) throw Failure(refused);
  const texture::ODFTextResult r = texture::ODFLayoutText(ctx, texture::ODFLayout::kFull);
  WriteOutput(o.out, r.text);
}

}  // namespace

void AddOdfCommand(CLI::App& app) {
  auto* odf = app.add_subcommand("odf", "Orientation distribution functions");
  odf->require_subcommand(1, 1);
  auto o = std::make_shared<OdfInfoOptions>();
  auto* info = odf->add_subcommand(
      "info", "Read an ODF onto the 5-degree grid, expand it and report what was loaded");
  info->add_option("FILE", o->source.file,
                   "ODF file (popla, MTEX) or orientation list (Euler table, .ang, .ctf, grains)")
      ->required();
  info->add_option("--format", o->source.format,
                   "File layout: popla, mtex, grains, orientations, ang, ctf, or auto (mtex when "
                   "one of the first 10 lines names phi1, Phi and phi2; see docs/texture-input.md)")
      ->check(CLI::IsMember(TextureFormatNames()))
      ->capture_default_str();
  info->add_option("--symmetry", o->source.crystal,
                   "Crystal class whose operators expand the ODF (hexagonal popla data set "
                   "hexagonal themselves)")
      ->capture_default_str();
  info->add_option("--complete", o->source.complete,
                   "Completion of the loaded region: operators (symmetry operators) or rules "
                   "(fixed relations for cubic data on 0..90 degrees)")
      ->check(CLI::IsMember({"operators", "rules"}))
      ->capture_default_str();
  AddOrientationListOptions(info, o->source.list);
  info->add_flag("--json", o->json, "Print one JSON object");
  info->callback([o] { RunOdfInfo(*o); });

  auto w = std::make_shared<OdfWriteOptions>();
  auto* write = odf->add_subcommand("write", "Write the expanded ODF in one of four layouts");
  write->add_option("FILE", w->source.file, "popla or MTEX generic ODF file")->required();
  AddOdfSourceOptions(write, w->source);
  write->add_option("--layout", w->layout,
                    "full: phi1 Phi phi2 value per node of 0..360x180x360 (reads back as MTEX); "
                    "90 or 180: phi2 rows of the sections phi1 = 0..90 or 0..180; cube-orth: "
                    "nodes of 0..90 with their cubic-orthorhombic equivalents")
      ->check(CLI::IsMember({"full", "90", "180", "cube-orth"}))
      ->capture_default_str();
  write->add_option("-o,--output", w->out, "Output file (default: standard output)");
  write->callback([w] { RunTextureVerb([w] { RunOdfWrite(*w); }); });

  auto f = std::make_shared<OdfFromOrientationsOptions>();
  auto* from = odf->add_subcommand(
      "from-orientations",
      "ODF on the 5-degree grid from an orientation list by kernel density estimation (mean 1 "
      "m.r.d.), written as an MTEX table of every node");
  from->add_option("FILE", f->source.file,
                   "Orientation list: Euler table, equispaced ODF export, .ang or .ctf map, or "
                   "grains file")
      ->required();
  AddOdfSourceOptions(from, f->source);
  from->add_option("-o,--output", f->out, "Output file (default: standard output)");
  from->callback([f] { RunTextureVerb([f] { RunOdfFromOrientations(*f); }); });

  auto e = std::make_shared<OdfEquivalentsOptions>();
  auto* eq = odf->add_subcommand(
      "equivalents", "Symmetrically equivalent positions of one orientation with ODF values");
  eq->add_option("FILE", e->source.file, "ODF file (without one every value is 1)");
  AddOdfSourceOptions(eq, e->source);
  eq->add_option("--euler", e->euler, "Bunge angles \"phi1 Phi phi2\" in degrees")
      ->capture_default_str();
  eq->add_option("--sample-symmetry", e->sample,
                 "isotropic, transversal, orthorhombic, monoclinic-y, monoclinic-z, triclinic")
      ->check(CLI::IsMember({"isotropic", "transversal", "orthorhombic", "monoclinic",
                             "monoclinic-y", "monoclinic-z", "triclinic"}))
      ->capture_default_str();
  eq->add_flag("--hexagonal-255-90-90", e->hexagonalFixed,
               "The 12 hexagonal equivalents of (255, 90, 90), as \"Write Sym Eq. Pos\"");
  eq->add_option("-o,--output", e->out, "Output file (default: standard output)");
  eq->callback([e] { RunTextureVerb([e] { RunOdfEquivalents(*e); }); });

  auto c = std::make_shared<OdfComponentsOptions>();
  auto* comp = odf->add_subcommand(
      "components", "Texture components met along the fibres of the permutations of hkl");
  comp->add_option("FILE", c->source.file, "ODF file (without one every value is 1)");
  AddOdfSourceOptions(comp, c->source);
  comp->add_option("--hkl", c->hkl,
                   "Reflection \"h k l\" (or \"h k i l\" with --symmetry hexagonal or trigonal)")
      ->required();
  comp->add_option("--direction", c->direction, "Sample direction \"phi psi\" in degrees")
      ->capture_default_str();
  comp->add_option("--window", c->window, "Search window in degrees")->capture_default_str();
  comp->add_option("-o,--output", c->out, "Output file (default: standard output)");
  comp->callback([c] { RunTextureVerb([c] { RunOdfComponents(*c); }); });

  auto sec = std::make_shared<OdfSectionsOptions>();
  auto* sections = odf->add_subcommand(
      "sections",
      "Picture of the ODF's phi2 = const sections (phi1 across, Phi down) with contour lines and "
      "one colour scale in m.r.d., written as PNG or SVG by the extension");
  sections->add_option("FILE", sec->source.file, "ODF file or orientation list")->required();
  AddOdfSourceOptions(sections, sec->source);
  sections->add_option("--phi2", sec->phi2,
                       "Sections in degrees, e.g. \"0 15 30 45 60 75 90\" (default: 0, 5, ..., "
                       "90 for a cubic crystal, else the phi2 range of the crystal in six steps)");
  AddContourOptions(sections, sec->contours);
  sections->add_option("-o,--output", sec->out, "The picture, .png or .svg")->required();
  sections->callback([sec] { RunTextureVerb([sec] { RunOdfSections(*sec); }); });

  auto m = std::make_shared<OdfCompoundOptions>();
  auto* compound = odf->add_subcommand(
      "compound", "Weighted mean of ODFs on the same grid, written in the full layout");
  compound->add_option("FILE:WEIGHT", m->parts, "ODF files with their weights")->required();
  AddOdfSourceOptions(compound, m->source);
  compound->add_option("-o,--output", m->out, "Output file (default: standard output)");
  compound->callback([m] { RunTextureVerb([m] { RunOdfCompound(*m); }); });
}

}  // namespace polydec::cli

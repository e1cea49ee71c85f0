// `polydec polefigure`: the pole figure of one reflection computed from an ODF, as a popla or
// Helming file or as JSON in multiples of random distribution; or the pole figures of several
// reflections side by side as a PNG or SVG picture.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "common.h"
#include "material_options.h"
#include "texture/pole_figure.h"

namespace polydec::cli {

namespace {

struct PoleFigureOptions {
  OdfSourceOptions source;
  std::string grains;
  std::vector<std::string> hkl;
  std::string format = "popla";
  ContourOptions contours;
  std::string out;
};

std::string JsonText(const PoleFigure& pf) {
  nlohmann::json psi = nlohmann::json::array(), phi = nlohmann::json::array();
  nlohmann::json mrd = nlohmann::json::array();
  for (Real x : pf.psi) psi.push_back(static_cast<int>(x));
  for (Real x : pf.phi) phi.push_back(static_cast<int>(x));
  for (const auto& line : pf.mrd) {
    nlohmann::json row = nlohmann::json::array();
    for (Real x : line) row.push_back(JsonNumber(x));
    mrd.push_back(row);
  }
  const nlohmann::json out = {
      {"hkl", {JsonNumber(pf.hkl[0]), JsonNumber(pf.hkl[1]), JsonNumber(pf.hkl[2])}},
      {"psi", psi},
      {"phi", phi},
      {"mrd", mrd},
      {"max", JsonNumber(pf.maximum)},
      {"min", JsonNumber(pf.minimum)},
  };
  return JsonOutput(out);
}

void Run(PoleFigureOptions o) {
  if (!o.grains.empty()) {
    if (!o.source.file.empty())
      throw Failure("--grains cannot be combined with an ODF file: the texture is one or the other");
    // An orientation list: its pole figure is that of its kernel ODF.
    o.source.file = o.grains;
    o.source.format = TextureFormatName(GrainsFormatOf(o.grains));
  }
  const bool picture = IsPictureFile(o.out);
  if (!picture && o.hkl.size() > 1)
    throw Failure("several --hkl make a picture of pole figures side by side: give -o a .png or "
                  ".svg file, or one --hkl for the " + o.format + " layout");
  const TexturePictureOptions pictureOptions = PictureOptionsOf(o.contours);
  const Texture texture = LoadTextureSource(o.source);
  std::vector<PoleFigure> figures;
  for (const std::string& text : o.hkl) {
    const Miller hkl = Take(ReadMiller(text, texture.crystalClass), "--hkl \"" + text + "\"");
    figures.push_back(Take(ComputePoleFigure(texture, hkl)));
  }
  if (picture) {
    RefuseInputAsOutput(o.out);
    TakePicture(WritePoleFigures(figures, o.out, pictureOptions));
    return;
  }
  const PoleFigure& pf = figures.front();
  if (o.format == "json") {
    WriteOutput(o.out, JsonText(pf));
  } else if (o.format == "helming") {
    WriteOutput(o.out, pf.helmingText);
  } else {
    WriteOutput(o.out, pf.poplaText);
  }
}

}  // namespace

void AddPoleFigureCommand(CLI::App& app) {
  auto o = std::make_shared<PoleFigureOptions>();
  auto* cmd = app.add_subcommand(
      "polefigure", "Pole figure of a reflection from an ODF (19 tilts x 72 azimuths, m.r.d.)");
  cmd->add_option("FILE", o->source.file, "ODF file (without one: a random texture)");
  AddOdfSourceOptions(cmd, o->source);
  cmd->add_option("--grains", o->grains,
                  "Orientation list (grains file, Euler table, .ang or .ctf map) whose kernel ODF "
                  "gives the pole figure");
  cmd->add_option("--hkl", o->hkl,
                  "Reflection \"h k l\" (or \"h k i l\" with --symmetry hexagonal or trigonal); "
                  "repeated, the pole figures side by side in a picture")
      ->required();
  cmd->add_option("--format", o->format,
                  "popla (m.r.d. x 100 with header), helming (no header) or json (m.r.d.)")
      ->check(CLI::IsMember({"popla", "helming", "json"}))
      ->capture_default_str();
  AddContourOptions(cmd, o->contours);
  cmd->add_option("-o,--output", o->out,
                  "Output file (default: standard output); .png or .svg: the pole figures as a "
                  "picture with contour lines and a colour scale in m.r.d.");
  cmd->callback([o] { RunTextureVerb([o] { Run(*o); }); });
}

}  // namespace polydec::cli

// `polydec polefigure`: the pole figure of one reflection computed from an ODF, as a popla or
// Helming file or as JSON in multiples of random distribution.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "common.h"
#include "material_options.h"
#include "texture/pole_figure.h"

namespace polydec::cli {

namespace {

struct PoleFigureOptions {
  OdfSourceOptions source;
  std::string hkl;
  std::string format = "popla";
  std::string out;
};

std::string JsonText(const texture::PoleFigureRec& pf) {
  nlohmann::json psi = nlohmann::json::array(), phi = nlohmann::json::array();
  nlohmann::json mrd = nlohmann::json::array();
  for (int t = 0; t < texture::kPoleFigureTilts; ++t) psi.push_back(5 * t);
  for (int a = 0; a < texture::kPoleFigureAzimuths; ++a) phi.push_back(5 * a);
  for (int t = 0; t < texture::kPoleFigureTilts; ++t) {
    nlohmann::json row = nlohmann::json::array();
    for (int a = 0; a < texture::kPoleFigureAzimuths; ++a) {
      RequireFinite(pf.Mrd(t, a), "the pole density");
      row.push_back(JsonNumber(pf.Mrd(t, a)));
    }
    mrd.push_back(row);
  }
  const nlohmann::json out = {
      {"hkl", {JsonNumber(pf.h), JsonNumber(pf.k), JsonNumber(pf.l)}},
      {"psi", psi},
      {"phi", phi},
      {"mrd", mrd},
      {"max", JsonNumber(pf.MaxMrd())},
      {"min", JsonNumber(pf.MinMrd())},
  };
  return JsonOutput(out);
}

void Run(const PoleFigureOptions& o) {
  core::OrientationsRec ctx = LoadOdfSource(o.source);
  const auto hkl = ReadMillerIndices(o.hkl, static_cast<int>(ctx.Cryst.SYS), "--hkl");
  texture::PoleFigureRec pf;
  try {
    pf = texture::ComputePoleFigure(ctx, hkl[0], hkl[1], hkl[2]);
  } catch (const std::exception& e) {
    throw Failure(o.source.file + ": " + e.what());
  }
  if (o.format == "json") {
    WriteOutput(o.out, JsonText(pf));
  } else if (o.format == "helming") {
    WriteOutput(o.out, texture::HelmingPoleFigureText(pf));
  } else {
    WriteOutput(o.out, texture::PoplaPoleFigureText(pf));
  }
}

}  // namespace

void AddPoleFigureCommand(CLI::App& app) {
  auto o = std::make_shared<PoleFigureOptions>();
  auto* cmd = app.add_subcommand(
      "polefigure", "Pole figure of a reflection from an ODF (19 tilts x 72 azimuths, m.r.d.)");
  cmd->add_option("FILE", o->source.file, "ODF file (without one: a random texture)");
  AddOdfSourceOptions(cmd, o->source);
  cmd->add_option("--hkl", o->hkl,
                  "Reflection \"h k l\" (or \"h k i l\" with --symmetry hexagonal or trigonal)")
      ->required();
  cmd->add_option("--format", o->format,
                  "popla (m.r.d. x 100 with header), helming (no header) or json (m.r.d.)")
      ->check(CLI::IsMember({"popla", "helming", "json"}))
      ->capture_default_str();
  cmd->add_option("-o,--output", o->out, "Output file (default: standard output)");
  cmd->callback([o] { RunTextureVerb([o] { Run(*o); }); });
}

}  // namespace polydec::cli

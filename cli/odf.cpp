// `polydec odf info`: reads an ODF file onto the 5-degree grid, completes and expands it over
// Euler space as the load command does, and reports what was loaded and what the check finds.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"

namespace polydec::cli {

namespace {

struct OdfInfoOptions {
  std::string file;
  std::string format = "auto";
  std::string crystal = "cubic";
  std::string complete = "operators";
  bool json = false;
};

// Simpson intervals 2n = 72 on each axis: every 5-degree node of phi1 and phi2 is a point of
// the rule.
constexpr int kIntegralN = 36;

std::string Where(const texture::ODFFinding& f) {
  return "[phi1,phi,phi2]=[" + std::to_string(f.i1) + "," + std::to_string(f.i) + "," +
         std::to_string(f.i2) + "]";
}

void RunOdfInfo(const OdfInfoOptions& o) {
  std::string format = o.format;
  if (format == "auto") format = LooksLikeMtex(o.file) ? "mtex" : "popla";

  core::OrientationsRec ctx;
  ctx.Cryst.SYS = ParseCrystalClass(o.crystal, "--symmetry");
  // Nothing is known about the sample until the file's extent tells.
  ctx.SYMMETRY = 10;
  const bool rules = o.complete == "rules";
  NoQuestions noQuestions;
  const texture::ODFReadResult read = format == "popla"
                                          ? texture::ReadPoplaODF(o.file, ctx, rules)
                                          : texture::LoadODFMTEX(o.file, ctx, rules, noQuestions);
  if (!read.ok()) throw InputError(read.Describe());

  core::Real lo = ctx.ODF[0], hi = ctx.ODF[0];
  for (texture::Int n = 0; n < texture::kODFNodeCount; ++n) {
    lo = std::min(lo, ctx.ODF[static_cast<std::size_t>(n)]);
    hi = std::max(hi, ctx.ODF[static_cast<std::size_t>(n)]);
  }
  const core::Real integral = texture::ODFIntegral(ctx, kIntegralN);
  RequireFinite(lo, "the minimum of the ODF");
  RequireFinite(hi, "the maximum of the ODF");
  RequireFinite(integral, "the integral of the ODF");

  const texture::ODFCheckSummary check = texture::ScanODF(ctx, 0);
  std::vector<std::string> warnings;
  if (check.firstZero)
    warnings.push_back(std::to_string(check.zeroNodes) +
                       " nodes have zero intensity, the first at " + Where(*check.firstZero) +
                       " (node indices); check the sample symmetry");
  if (check.firstEqual)
    warnings.push_back(std::to_string(check.equalNodes) +
                       " nodes repeat the value of the preceding node, the first at " +
                       Where(*check.firstEqual) + " (node indices)");

  const std::string symmetry = SampleSymmetryName(ctx.SYMMETRY);
  if (o.json) {
    nlohmann::json region = nlohmann::json::array();
    for (core::Real x : read.region) region.push_back(JsonNumber(x));
    const nlohmann::json out = {
        {"format", format},      {"sample_symmetry", symmetry},      {"region", region},
        {"nodes", ctx.ODFNUMP},  {"values_read", read.valuesRead},   {"min", JsonNumber(lo)},
        {"max", JsonNumber(hi)}, {"integral", JsonNumber(integral)}, {"warnings", warnings},
    };
    std::cout << out.dump(2) << "\n";
    return;
  }
  using core::FormatGeneral;
  const auto& r = read.region;
  PrintFieldTable(
      std::cout,
      {
          {"file", o.file},
          {"format", format},
          {"sample symmetry", symmetry},
          {"loaded region (deg)", "phi1 0.." + FormatGeneral(r[0]) + ", Phi 0.." +
                                      FormatGeneral(r[1]) + ", phi2 0.." + FormatGeneral(r[2])},
          {"values read", std::to_string(read.valuesRead)},
          {"nodes", std::to_string(ctx.ODFNUMP)},
          {"minimum", FormatGeneral(lo)},
          {"maximum", FormatGeneral(hi)},
          {"integral", FormatGeneral(integral)},
          {"integral / 8 pi^2", FormatGeneral(integral / (8 * core::kPi * core::kPi))},
      });
  if (warnings.empty()) {
    std::cout << "check: no zero or repeated values\n";
  } else {
    for (const std::string& w : warnings) std::cout << "warning: " << w << "\n";
  }
}

}  // namespace

void AddOdfCommand(CLI::App& app) {
  auto* odf = app.add_subcommand("odf", "Orientation distribution functions");
  odf->require_subcommand(1, 1);
  auto o = std::make_shared<OdfInfoOptions>();
  auto* info = odf->add_subcommand(
      "info", "Read an ODF onto the 5-degree grid, expand it and report what was loaded");
  info->add_option("FILE", o->file, "popla or MTEX generic ODF file")->required();
  info->add_option("--format", o->format,
                   "File layout: popla, mtex, or auto (mtex when one of the first 10 lines "
                   "names phi1, Phi and phi2)")
      ->check(CLI::IsMember({"auto", "popla", "mtex"}))
      ->capture_default_str();
  info->add_option("--symmetry", o->crystal,
                   "Crystal class whose operators expand the ODF (hexagonal popla data set "
                   "hexagonal themselves)")
      ->capture_default_str();
  info->add_option("--complete", o->complete,
                   "Completion of the loaded region: operators (symmetry operators) or rules "
                   "(fixed relations for cubic data on 0..90 degrees)")
      ->check(CLI::IsMember({"operators", "rules"}))
      ->capture_default_str();
  info->add_flag("--json", o->json, "Print one JSON object");
  info->callback([o] { RunOdfInfo(*o); });
}

}  // namespace polydec::cli

// `polydec lattice`: d-spacing, unit plane normal and its polar angles for one reflection.
#include "crystal/lattice.h"

#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/text_fields.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"

namespace polydec::cli {

namespace {

struct LatticeOptions {
  std::string cell;
  std::string hkl;
  std::string symmetry;
  int axes = 1;
  bool json = false;
};

// Rounding leaves components such as 1e-20 where the exact value is 0; printed with a fixed
// number of decimals they would read "-0.00000000".
std::string Fixed(core::Real x, int decimals) {
  if (std::fabs(x) < 0.5L * std::pow(10.0L, -decimals)) x = 0;
  return core::FormatFixed(x, 15, decimals);
}

bool HexagonalMetric(const core::CrystalData& C) {
  const auto degrees = [](core::Real x) { return x * 180 / core::kPi; };
  return C.a == C.b && std::fabs(degrees(C.alpha) - 90) < 1e-9L &&
         std::fabs(degrees(C.beta) - 90) < 1e-9L && std::fabs(degrees(C.gamma) - 120) < 1e-9L;
}

std::size_t IndexCount(const std::string& text) {
  const crystal::BracketedReflection b = crystal::SplitBracketedReflection(text);
  if (b.bracketed) return b.indices.size();
  std::size_t n = 0;
  while (!core::GetWord(text, static_cast<int>(n) + 1).empty()) ++n;
  return n;
}

void RunLattice(const LatticeOptions& options) {
  const core::CrystalData C = ReadCell(options.cell, options.axes, "--cell");
  // Without a class the cell decides: four indices need the hexagonal metric.
  int crystalClass = crystal::kTriclinicClass;
  if (!options.symmetry.empty()) {
    crystalClass = ParseCrystalClass(options.symmetry, "--symmetry");
  } else if (HexagonalMetric(C)) {
    crystalClass = crystal::kHexagonal;
  } else if (IndexCount(options.hkl) == 4) {
    throw Failure("--hkl \"" + options.hkl +
                     "\": four indices h k i l need a hexagonal cell (a = b, alpha = beta = 90, "
                     "gamma = 120) or --symmetry hexagonal, trigonal1 or trigonal2");
  }
  const auto hkl = ReadMillerIndices(options.hkl, crystalClass, "--hkl");

  const core::Real d = crystal::DSpacing(C, hkl[0], hkl[1], hkl[2]);
  const core::Tensor1 n = crystal::PlaneNormal(C, hkl[0], hkl[1], hkl[2]);
  const core::PolarAnglesRec angles = crystal::HKLToPolarAngles(C, hkl[0], hkl[1], hkl[2]);
  const core::Real azimuth = angles.phi * 180 / core::kPi;
  const core::Real polar = angles.psi * 180 / core::kPi;
  RequireFinite(d, "the d-spacing");
  for (int i = 1; i <= 3; ++i) RequireFinite(n(i), "the plane normal");
  RequireFinite(azimuth, "the azimuth");
  RequireFinite(polar, "the polar angle");

  if (options.json) {
    const nlohmann::json out = {
        {"d", JsonNumber(d)},
        {"normal", {JsonNumber(n(1)), JsonNumber(n(2)), JsonNumber(n(3))}},
        {"azimuth", JsonNumber(azimuth)},
        {"polar", JsonNumber(polar)},
    };
    std::cout << JsonOutput(out);
    return;
  }
  PrintFieldTable(std::cout, {
                                 {"d (Å)", Fixed(d, 8)},
                                 {"normal x", Fixed(n(1), 8)},
                                 {"normal y", Fixed(n(2), 8)},
                                 {"normal z", Fixed(n(3), 8)},
                                 {"azimuth (deg)", Fixed(azimuth, 6)},
                                 {"polar angle (deg)", Fixed(polar, 6)},
                             });
}

}  // namespace

void AddLatticeCommand(CLI::App& app) {
  auto options = std::make_shared<LatticeOptions>();
  auto* cmd = app.add_subcommand("lattice", "Lattice spacing and plane normal of a reflection");
  cmd->add_option("--cell", options->cell,
                  "Unit cell \"a b c alpha beta gamma\": edges in Å, angles in degrees")
      ->required();
  cmd->add_option("--hkl", options->hkl,
                  "Miller indices \"h k l\" (or \"h k i l\" for a hexagonal cell or class)")
      ->required();
  cmd->add_option("--symmetry", options->symmetry,
                  "Crystal class (cubic, hexagonal, trigonal1, ...); without it four indices "
                  "are read when the cell is hexagonal");
  cmd->add_option("--axes", options->axes,
                  "Crystal Cartesian frame of the normal: 0 = X along a, Y along b*; "
                  "1 = X along a*, Y along b; 2 = Y along b*, Z along c")
      ->check(CLI::Range(0, 2))
      ->capture_default_str();
  cmd->add_flag("--json", options->json, "Print one JSON object");
  cmd->callback([options] { RunLattice(*options); });
}

}  // namespace polydec::cli

// `polydec lattice`: d-spacing, unit plane normal and its polar angles for one reflection.
#include "crystal/lattice.h"

#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/text_fields.h"

namespace polydec::cli {

namespace {

struct LatticeOptions {
  std::string cell;
  std::string hkl;
  int axes = 1;
  bool json = false;
};

// Rounding leaves components such as 1e-20 where the exact value is 0; printed with a fixed
// number of decimals they would read "-0.00000000".
std::string Fixed(core::Real x, int decimals) {
  if (std::fabs(x) < 0.5L * std::pow(10.0L, -decimals)) x = 0;
  return core::FormatFixed(x, 15, decimals);
}

void RunLattice(const LatticeOptions& options) {
  const core::CrystalData C = ReadCell(options.cell, options.axes, "--cell");
  const auto hkl = ReadNumberList(options.hkl, 3, "--hkl");
  for (const core::Real index : hkl)
    if (!std::isfinite(index)) throw InputError("--hkl: the indices must be finite numbers");
  if (hkl[0] == 0 && hkl[1] == 0 && hkl[2] == 0)
    throw InputError("--hkl: h = k = l = 0 is no lattice plane");

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
    std::cout << out.dump(2) << "\n";
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
  cmd->add_option("--hkl", options->hkl, "Miller indices \"h k l\"")->required();
  cmd->add_option("--axes", options->axes,
                  "Crystal Cartesian frame of the normal: 0 = X along a, Y along b*; "
                  "1 = X along a*, Y along b; 2 = Y along b*, Z along c")
      ->check(CLI::Range(0, 2))
      ->capture_default_str();
  cmd->add_flag("--json", options->json, "Print one JSON object");
  cmd->callback([options] { RunLattice(*options); });
}

}  // namespace polydec::cli

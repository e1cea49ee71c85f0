#include "models/eshelby.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/tensor_inversion.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/untextured_context.h"

namespace polydec::cli {

namespace {

struct EshelbyOptions {
  std::string matrixCij;
  std::string matrixSymmetry = "isotropic";
  std::string axes = "1 1 1";
  bool json = false;
};

void RunEshelby(const EshelbyOptions& o) {
  const CrystalClass cls = ParseCrystalClass(o.matrixSymmetry, "--matrix-symmetry");
  const core::CijklVector cij = ParseCijOption(o.matrixCij, cls);
  const auto ax = ReadNumberList(o.axes, 3, "--axes");
  core::OrientationsRec ctx;
  ctx.AxisLength = {ax[0], ax[1], ax[2]};
  const std::string problem = models::CheckAxes(ctx.AxisLength);
  if (!problem.empty()) throw Failure("--axes: " + problem);
  core::CijklToTensor(cij, ctx.L);
  ctx.Lr = ctx.L;
  ctx.Cryst.SYS = cls;
  ctx.SYMMETRY = models::MatrixSymmetryClass(cls);
  models::UpdateEshelby(ctx);

  nlohmann::json rows = nlohmann::json::array();
  std::string table = "S_IJ = S_ijkl, pairs 11 22 33 23 13 12\n";
  for (int I = 1; I <= 6; ++I) {
    int i, j;
    core::VoigtPair(I, i, j);
    nlohmann::json row = nlohmann::json::array();
    for (int J = 1; J <= 6; ++J) {
      int k, l;
      core::VoigtPair(J, k, l);
      const core::Real s = ctx.S(i, j, k, l);
      RequireFinite(s, "the Eshelby tensor");
      row.push_back(JsonNumber(s));
      table += core::FormatPadded(s, 11, 7);
    }
    table += "\n";
    rows.push_back(row);
  }
  if (o.json) {
    std::cout << JsonOutput(nlohmann::json{{"S", rows}});
  } else {
    std::cout << table;
  }
}

}  // namespace

void AddEshelbyCommand(CLI::App& app) {
  auto o = std::make_shared<EshelbyOptions>();
  auto* cmd = app.add_subcommand(
      "eshelby", "Eshelby tensor of an ellipsoidal grain with semi-axes along x, y, z");
  cmd->add_option("--matrix-cij", o->matrixCij,
                  "Matrix stiffness in GPa by Voigt name, e.g. \"C11=282.7 C12=118.3\"")
      ->required();
  cmd->add_option("--matrix-symmetry", o->matrixSymmetry, "Crystal class of the matrix stiffness")
      ->capture_default_str();
  cmd->add_option("--axes", o->axes, "Semi-axes \"a b c\" of the ellipsoid along x, y, z")
      ->capture_default_str();
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunEshelby(*o); });
}

}  // namespace polydec::cli

// `polydec aggregate`: elastic constants of an untextured polycrystal of one phase under the
// Voigt, Reuss, Hill and self-consistent (Kroener) models.
#include "models/aggregate.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "api/conversions.h"
#include "common.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "models/macro_operation.h"
#include "models/reflection_dec.h"

namespace polydec::cli {

namespace {

struct AggregateOptions {
  MaterialOptions material;
  bool json = false;
};

void RunAggregate(const AggregateOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
  struct Row {
    models::ModelCode model;
    models::IsotropicConstants c;
  };
  std::vector<Row> rows = {
      {models::kVoigt, {}}, {models::kReuss, {}}, {models::kHill, {}}, {models::kKroener, {}}};
  for (Row& row : rows) {
    core::OrientationsRec crystal;
    core::CijklToTensor(api::ToCijkl(m.cij), crystal.Lr);
    crystal.Cryst.SYS = m.crystalClass;
    const models::MacroStiffnessResult r = models::CalcMacroStiffness(
        crystal, models::MacroTexture::kUntextured, row.model, nullptr);
    if (r.status != models::MacroStatus::kOk)
      throw Failure("the self-consistent constants of " + m.name +
                       " could not be found (the iteration did not settle)");
    core::CijklVector a{};
    core::TensorToCijkl(crystal.L, a);
    row.c = models::EngineeringConstants(a);
    for (core::Real x : {row.c.E, row.c.nu, row.c.G, row.c.K})
      RequireFinite(x, "the " + models::ModelName(row.model) + " constants of " + m.name);
  }

  if (o.json) {
    nlohmann::json modelsJson = nlohmann::json::object();
    for (const Row& row : rows)
      modelsJson[std::string(models::ModelOptionName(row.model))] = {{"E", JsonNumber(row.c.E)},
                             {"nu", JsonNumber(row.c.nu)},
                             {"G", JsonNumber(row.c.G)},
                             {"K", JsonNumber(row.c.K)}};
    std::cout << JsonOutput(nlohmann::json{{"models", modelsJson}});
    return;
  }
  std::cout << "Material: " << m.name << " (" << crystal::CrystalClassNames[m.crystalClass]
            << ")\nUntextured polycrystal; Kroener: self-consistent, spherical grains\n\n"
            << "model       E [GPa]        nu    G [GPa]    K [GPa]\n";
  for (const Row& row : rows) {
    std::string label = models::ModelName(row.model);
    label.resize(8, ' ');
    std::cout << label << core::FormatPadded(row.c.E, 11, 5)
              << core::FormatPadded(row.c.nu, 10, 6) << core::FormatPadded(row.c.G, 11, 5)
              << core::FormatPadded(row.c.K, 11, 5) << "\n";
  }
}

}  // namespace

void AddAggregateCommand(CLI::App& app) {
  auto o = std::make_shared<AggregateOptions>();
  auto* cmd = app.add_subcommand(
      "aggregate",
      "Elastic constants of an untextured polycrystal: Voigt, Reuss, Hill, self-consistent");
  o->material.AddTo(cmd);
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunAggregate(*o); });
}

}  // namespace polydec::cli

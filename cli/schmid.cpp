// `polydec schmid`: the largest Schmid factor of the twelve BCC {110}<111> systems and its
// system number under tension along sample x, with the grain stress of the Kroener and of the
// inverse Kroener model, for one orientation or the 10 x 12 x 10 grid (0..45, 0..55, 0..45).
#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "polydec/special.h"
#include "core/text_fields.h"
#include "material_options.h"
#include "models/untextured_context.h"
#include "slip_run.h"

namespace polydec::cli {

namespace {

struct SchmidOptions {
  MaterialOptions material;
  SlipRunOptions run;
};

void RunSchmid(const SchmidOptions& o) {
  const ResolvedMaterial m = ResolveMaterial(o.material);
  core::OrientationsRec ctx = UntexturedContextOf(m);

  if (o.run.euler.empty()) {
    RunGridToFile("Schmid factors", o.run, [&ctx](const special::RunControl& c) {
      return special::SchmidFactorRun(ctx, c);
    });
    return;
  }
  core::Real a1, a, a2;
  ReadEuler(o.run.euler, a1, a, a2);
  const SchmidFactors f = Take(ComputeSchmidFactors(m, {a1, a, a2}));
  if (o.run.json) {
    const nlohmann::json out = {
        {"euler", {JsonNumber(a1), JsonNumber(a), JsonNumber(a2)}},
        {"kroener", {{"schmid", JsonNumber(f.kroener.value)}, {"system", f.kroener.system}}},
        {"inverse_kroener",
         {{"schmid", JsonNumber(f.inverseKroener.value)}, {"system", f.inverseKroener.system}}}};
    std::cout << JsonOutput(out);
    return;
  }
  std::cout << "Material: " << m.name << "\nEuler angles [deg]  " << o.run.euler
            << "\nmodel              Schmid factor  system\n"
            << "Kroener            " << core::FormatPadded(f.kroener.value, 13, 6) << "  "
            << f.kroener.system << "\ninverse Kroener    "
            << core::FormatPadded(f.inverseKroener.value, 13, 6) << "  " << f.inverseKroener.system
            << "\n";
}

}  // namespace

void AddSchmidCommand(CLI::App& app) {
  auto o = std::make_shared<SchmidOptions>();
  auto* cmd = app.add_subcommand(
      "schmid", "Largest Schmid factors of a BCC crystal in a self-consistent matrix");
  o->material.AddTo(cmd);
  o->run.AddTo(cmd, special::kSchmidFileName);
  cmd->callback([o] { RunSchmid(*o); });
}

}  // namespace polydec::cli

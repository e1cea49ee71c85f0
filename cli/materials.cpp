#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/voigt.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "materials/material_file.h"
#include "core/text_fields.h"

namespace polydec::cli {

namespace {

struct MaterialsOptions {
  std::string database;
  bool json = false;
};

void RunMaterials(const MaterialsOptions& o) {
  core::ORTN_Array list;
  std::string path;
  const int last = ReadDatabase(o.database, list, path);
  nlohmann::json all = nlohmann::json::array();
  std::string text;
  for (int i = 0; i <= last; ++i) {
    const core::OrientationsRec& r = *list[i];
    const int cls = r.Cryst.SYS;
    core::CijklVector v{};
    core::TensorToCijkl(r.Lr, v);
    nlohmann::json cij = nlohmann::json::object();
    std::string constants;
    for (const std::string& name : crystal::FreeConstantNames(cls)) {
      const core::Real x = v[core::VoigtToPosition(name[1] - '0', name[2] - '0')];
      cij[name] = JsonNumber(x);
      constants += " " + name + "=" + core::FormatGeneral(x);
    }
    const core::Real cell[6] = {r.Cryst.a,
                                r.Cryst.b,
                                r.Cryst.c,
                                r.Cryst.alpha * core::kRadToDeg,
                                r.Cryst.beta * core::kRadToDeg,
                                r.Cryst.gamma * core::kRadToDeg};
    nlohmann::json cellJson = nlohmann::json::array();
    std::string cellText;
    for (core::Real x : cell) {
      cellJson.push_back(JsonNumber(x));
      cellText += " " + core::FormatFixed(x, 15, 4);
    }
    all.push_back({{"name", r.Name},
                   {"symmetry", std::string(crystal::CrystalClassNames[cls])},
                   {"cij", cij},
                   {"cell", cellJson},
                   {"E", JsonNumber(r.E)},
                   {"nu", JsonNumber(r.nu)},
                   {"K", JsonNumber(r.K)},
                   {"G", JsonNumber(r.G)}});
    text += r.Name + " (" + std::string(crystal::CrystalClassNames[cls]) + ")\n" +
            "  Cij [GPa]:" + constants + "\n" + "  cell [A, deg]:" + cellText + "\n" +
            "  E = " + core::FormatGeneral(r.E) +
            " GPa, nu = " + core::FormatGeneral(r.nu) +
            ", K = " + core::FormatGeneral(r.K) +
            " GPa, G = " + core::FormatGeneral(r.G) + " GPa\n";
  }
  if (o.json) {
    std::cout << JsonOutput(nlohmann::json{{"materials", all}});
  } else {
    std::cout << "Materials in " << path << "\n\n" << text;
  }
}

}  // namespace

void AddMaterialsCommand(CLI::App& app) {
  auto o = std::make_shared<MaterialsOptions>();
  auto* cmd = app.add_subcommand("materials", "List the materials of the database");
  cmd->add_option("--database", o->database, "Material database file")
      ->default_str("pfcryst.dat beside the program");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunMaterials(*o); });
}

}  // namespace polydec::cli

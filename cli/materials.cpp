#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/voigt.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "materials/material_file.h"
#include "core/text_fields.h"
#include "polydec/data_files.h"

namespace polydec::cli {

namespace {

struct MaterialsOptions {
  std::string database;
  bool json = false;
  bool where = false;
};

// The database file a command reads without --database, and which copy it is.
void PrintWhere(const MaterialsOptions& o) {
  const DataFiles files = LocateDataFiles();
  const std::string path = o.database.empty() ? ActiveDatabase(files) : o.database;
  const std::string origin = o.database.empty() ? DatabaseOrigin(files) : "--database";
  if (o.json) {
    std::cout << JsonOutput({{"database", path},
                             {"origin", origin},
                             {"shipped_database", files.shippedDatabase},
                             {"user_database", files.userDatabase},
                             {"settings_folder", files.settingsFolder}});
  } else {
    std::cout << path << " (" << origin << ")\n";
  }
}

void RunMaterials(const MaterialsOptions& o) {
  if (o.where) return PrintWhere(o);
  std::string path;
  const std::vector<Phase> list = ReadDatabase(o.database, path);
  nlohmann::json all = nlohmann::json::array();
  std::string text;
  for (const Phase& r : list) {
    const CrystalClass cls = r.crystalClass;
    const Matrix6 C = VoigtStiffness(r.cij);
    nlohmann::json cij = nlohmann::json::object();
    std::string constants;
    for (const std::string& name : FreeConstantNames(cls)) {
      const core::Real x = C[static_cast<std::size_t>(name[1] - '1')][static_cast<std::size_t>(name[2] - '1')];
      cij[name] = JsonNumber(x);
      constants += " " + name + "=" + core::FormatGeneral(x);
    }
    const core::Real cell[6] = {r.cell.a, r.cell.b, r.cell.c, r.cell.alpha, r.cell.beta, r.cell.gamma};
    nlohmann::json cellJson = nlohmann::json::array();
    std::string cellText;
    for (core::Real x : cell) {
      cellJson.push_back(JsonNumber(x));
      cellText += " " + core::FormatFixed(x, 15, 4);
    }
    all.push_back({{"name", r.name},
                   {"symmetry", CrystalClassName(cls)},
                   {"cij", cij},
                   {"cell", cellJson},
                   {"E", JsonNumber(r.E)},
                   {"nu", JsonNumber(r.nu)},
                   {"K", JsonNumber(r.K)},
                   {"G", JsonNumber(r.G)}});
    text += r.name + " (" + CrystalClassName(cls) + ")\n" +
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
      ->default_str("pfcryst.dat of the program (see --where)");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->add_flag("--where", o->where,
                "Print the database file that is read and which copy it is: beside the "
                "program, installed, or the user's copy");
  cmd->callback([o] { RunMaterials(*o); });
}

}  // namespace polydec::cli

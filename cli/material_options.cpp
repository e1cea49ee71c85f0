#include "material_options.h"

#include <cctype>
#include <cmath>
#include <filesystem>

#include "api/conversions.h"
#include "common.h"
#include "core/stiffness_check.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "crystal/symmetry_classes.h"
#include "materials/material_file.h"
#include "models/aggregate.h"
#include "models/reflection_dec.h"
#include "polydec/phase.h"

namespace polydec::cli {

namespace fs = std::filesystem;
using core::Real;

void MaterialOptions::AddTo(CLI::App* cmd) {
  cmd->add_option("--database", database, "Material database file")
      ->default_str("the program's pfcryst.dat (polydec materials --where)");
  cmd->add_option("--material", material, "Material by its name in the database")
      ->default_str("the first material");
  cmd->add_option("--cij", cij,
                  "Single-crystal stiffness in GPa by Voigt name, e.g. \"C11=237 C12=141 "
                  "C44=116\"; the class derives the rest")
      ->default_str("from the material");
  cmd->add_option("--symmetry", symmetry,
                  "Crystal class: isotropic, cubic, hexagonal, tetragonal1, tetragonal2, "
                  "trigonal1, trigonal2, orthorhombic, monoclinic1, monoclinic2, triclinic")
      ->default_str("from the material");
  cmd->add_option("--cell", cell, "Unit cell \"a b c alpha beta gamma\", angles in degrees")
      ->default_str("from the material");
  cmd->add_option("--matrix", matrix,
                  "Isotropic matrix \"E nu\": Young's modulus in GPa and Poisson's ratio")
      ->default_str("the material's E and nu");
}

CrystalClass ParseCrystalClass(const std::string& text, const std::string& what) {
  return Take(polydec::ParseCrystalClass(text), what);
}

void UseSelfConsistentMatrix(ResolvedMaterial& m) { m = Take(WithSelfConsistentMatrix(m)); }

core::CijklVector ParseCijOption(const std::string& text, CrystalClass crystalClass) {
  const Cij21 c = Take(ParseCij(text, crystalClass), "--cij");
  core::CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = c[static_cast<std::size_t>(n - 1)];
  return v;
}

std::vector<Phase> ReadDatabase(const std::string& database, std::string& path) {
  path = database.empty() ? DefaultDatabasePath() : database;
  NoteInputFile(path);
  return Take(ReadMaterials(path));
}

ResolvedMaterial ResolveMaterial(const MaterialOptions& options) {
  std::string path;
  const std::vector<Phase> list = ReadDatabase(options.database, path);
  Phase m = Take(FindMaterial(list, options.material, path));
  PhaseOverrides change;
  if (!options.symmetry.empty()) {
    change.crystalClass = ParseCrystalClass(options.symmetry, "--symmetry");
    // Checked here so that --cij is read in the class it names.
    if (options.cij.empty() && *change.crystalClass != m.crystalClass)
      throw Failure("--symmetry " + options.symmetry + " needs --cij: the constants of " +
                       m.name + " belong to class " + CrystalClassName(m.crystalClass));
  }
  if (!options.cij.empty())
    change.cij = Take(ParseCij(options.cij, change.crystalClass.value_or(m.crystalClass)), "--cij");
  if (!options.cell.empty()) {
    const auto cell = ReadNumberList(options.cell, 6, "--cell");
    change.cell = Cell{cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]};
  }
  if (!options.matrix.empty()) {
    const auto matrix = ReadNumberList(options.matrix, 2, "--matrix");
    change.matrix = {matrix[0], matrix[1]};
  }
  return Take(ApplyOverrides(std::move(m), change));
}

core::OrientationsRec UntexturedContextOf(const ResolvedMaterial& m) {
  core::OrientationsRec ctx;
  const std::string problem = models::BuildUntexturedContext(api::UntexturedInputsOf(m), ctx);
  if (!problem.empty()) throw Failure(problem);
  return ctx;
}

core::CrystalData CrystalOf(const ResolvedMaterial& m, int axisSetting) {
  core::CrystalData C = crystal::CellFromDegrees(m.cell.a, m.cell.b, m.cell.c, m.cell.alpha,
                                                 m.cell.beta, m.cell.gamma);
  C.SYS = m.crystalClass;
  C.AxisSetting = axisSetting;
  if (const std::string bad = crystal::CheckCell(C); !bad.empty())
    throw Failure("the cell of " + m.name + ": " + bad);
  crystal::InitCrystal(C);
  return C;
}

}  // namespace polydec::cli

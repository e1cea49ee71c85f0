#include "material_options.h"

#include <cctype>
#include <cmath>
#include <filesystem>

#include "common.h"
#include "core/stiffness_check.h"
#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"
#include "materials/material_file.h"
#include "models/aggregate.h"
#include "models/reflection_dec.h"

namespace polydec::cli {

namespace fs = std::filesystem;
using core::Real;

void MaterialOptions::AddTo(CLI::App* cmd) {
  cmd->add_option("--database", database, "Material database file")
      ->default_str("pfcryst.dat beside the program");
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

std::string DefaultDatabasePath() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "pfcryst.dat";
  const fs::path beside = exe.parent_path() / "pfcryst.dat";
  if (fs::exists(beside)) return beside.string();
  const fs::path shared = exe.parent_path().parent_path() / "share" / "polydec" / "pfcryst.dat";
  if (fs::exists(shared)) return shared.string();
  return beside.string();
}

int ParseCrystalClass(const std::string& text, const std::string& what) {
  const auto c = crystal::CrystalClassFromName(text);
  if (!c) {
    std::string names;
    for (auto n : crystal::CrystalClassNames) names += (names.empty() ? "" : ", ") + std::string(n);
    throw InputError(what + ": unknown crystal class \"" + text + "\" (one of " + names + ")");
  }
  return *c;
}

void UseSelfConsistentMatrix(ResolvedMaterial& m) {
  core::CijklVector a = m.cij;
  const models::IsotropicAggregateResult r =
      models::CalcIsoMaConst(a, m.crystalClass, models::kKroener);
  if (r.failed || !r.converged)
    throw InputError("the self-consistent matrix of " + m.name + " could not be found");
  const models::IsotropicConstants c = models::EngineeringConstants(a);
  m.E = c.E;
  m.nu = c.nu;
  m.K = c.K;
  m.G = c.G;
}

core::CijklVector ParseCijOption(const std::string& text, int crystalClass) {
  core::CijklVector v{};
  bool given[7][7] = {};
  std::string name;
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(text, n);
    if (word.empty()) break;
    const auto eq = word.find('=');
    const std::string key = word.substr(0, eq);
    if (eq == std::string::npos || key.size() != 3 || (key[0] != 'C' && key[0] != 'c') ||
        key[1] < '1' || key[1] > '6' || key[2] < '1' || key[2] > '6')
      throw InputError("--cij: \"" + word + "\" is not of the form C11=237 (indices 1..6)");
    const int I = key[1] - '0', J = key[2] - '0';
    const auto value = core::ParseNumber(word.substr(eq + 1));
    if (!value.ok() || !std::isfinite(value.value))
      throw InputError("--cij: the value of " + key + " is not a number");
    const std::string voigt = "C" + std::to_string(std::min(I, J)) + std::to_string(std::max(I, J));
    if (given[I][J]) throw InputError("--cij: " + voigt + " is given twice");
    given[I][J] = given[J][I] = true;
    const auto role = crystal::RoleOf(crystalClass, I, J);
    const std::string cls(crystal::CrystalClassNames[crystalClass]);
    if (role == crystal::ConstantRole::kDerived)
      throw InputError("--cij: " + voigt + " follows from the other constants in class " + cls);
    if (role == crystal::ConstantRole::kZero)
      throw InputError("--cij: " + voigt + " is zero in class " + cls);
    v[core::VoigtToPosition(I, J)] = value.value;
  }
  std::string missing;
  for (const std::string& free : crystal::FreeConstantNames(crystalClass))
    if (!given[free[1] - '0'][free[2] - '0']) missing += (missing.empty() ? "" : " ") + free;
  if (!missing.empty())
    throw InputError("--cij: class " + std::string(crystal::CrystalClassNames[crystalClass]) +
                     " needs " + missing);
  crystal::ApplyClassRules(v, crystalClass);
  return v;
}

int ReadDatabase(const std::string& database, core::ORTN_Array& list, std::string& path) {
  path = database.empty() ? DefaultDatabasePath() : database;
  if (!fs::exists(path)) throw InputError("material database " + path + " does not exist");
  NoteInputFile(path);
  core::InputError err;
  const int last = materials::ReadMaterialFile(list, path, &err);
  if (last < 0) {
    if (!err.message.empty()) throw InputError(err.Describe());
    throw InputError(path + ": no material found");
  }
  return last;
}

ResolvedMaterial ResolveMaterial(const MaterialOptions& options) {
  core::ORTN_Array list;
  std::string path;
  const int last = ReadDatabase(options.database, list, path);
  const core::OrientationsRec* rec = nullptr;
  if (options.material.empty()) {
    rec = list[0].get();
  } else {
    for (int i = 0; i <= last; ++i)
      if (list[i]->Name == options.material) rec = list[i].get();  // the last match wins
    // "iron" finds "Iron": the exact spelling first, else the name in any case.
    const auto lower = [](std::string s) {
      for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return s;
    };
    if (!rec)
      for (int i = 0; i <= last; ++i)
        if (lower(list[i]->Name) == lower(options.material)) rec = list[i].get();
    if (!rec) {
      std::string names;
      for (int i = 0; i <= last; ++i) names += (i ? ", " : "") + list[i]->Name;
      throw InputError("material \"" + options.material + "\" is not in " + path + " (it has " +
                       names + ")");
    }
  }

  ResolvedMaterial m;
  m.name = rec->Name;
  core::TensorToCijkl(rec->Lr, m.cij);
  m.crystalClass = rec->Cryst.SYS;
  m.cell[0] = rec->Cryst.a;
  m.cell[1] = rec->Cryst.b;
  m.cell[2] = rec->Cryst.c;
  m.cell[3] = rec->Cryst.alpha * core::kRadToDeg;
  m.cell[4] = rec->Cryst.beta * core::kRadToDeg;
  m.cell[5] = rec->Cryst.gamma * core::kRadToDeg;
  m.E = rec->E;
  m.nu = rec->nu;
  m.K = rec->K;
  m.G = rec->G;

  if (!options.symmetry.empty()) {
    const int c = ParseCrystalClass(options.symmetry, "--symmetry");
    if (options.cij.empty() && c != m.crystalClass)
      throw InputError("--symmetry " + options.symmetry + " needs --cij: the constants of " +
                       m.name + " belong to class " +
                       std::string(crystal::CrystalClassNames[m.crystalClass]));
    m.crystalClass = c;
  }
  if (!options.cij.empty()) m.cij = ParseCijOption(options.cij, m.crystalClass);
  if (!options.cell.empty()) {
    const auto cell = ReadNumberList(options.cell, 6, "--cell");
    std::copy(cell.begin(), cell.end(), m.cell);
  }
  if (!options.matrix.empty()) {
    const auto matrix = ReadNumberList(options.matrix, 2, "--matrix");
    m.E = matrix[0];
    m.nu = matrix[1];
    if (!(m.E > 0) || !(m.nu > -1 && m.nu < 0.5L))
      throw InputError(
          "--matrix: Young's modulus E must be positive and Poisson's ratio nu between -1 and 0.5 "
          "(got E = " +
          core::FormatGeneral(m.E) + ", nu = " + core::FormatGeneral(m.nu) + ")");
    m.G = m.E / (2 * (1 + m.nu));
    m.K = m.E / (3 * (1 - 2 * m.nu));
  }
  if (auto bad = core::StiffnessProblem(
          m.cij, options.cij.empty() ? "the constants of " + m.name : std::string("--cij")))
    throw InputError(*bad);
  return m;
}

models::UntexturedInputs UntexturedInputsOf(const ResolvedMaterial& m) {
  models::UntexturedInputs in;
  in.cij = m.cij;
  in.crystalClass = m.crystalClass;
  std::copy(std::begin(m.cell), std::end(m.cell), in.cell);
  in.E = m.E;
  in.nu = m.nu;
  return in;
}

core::OrientationsRec UntexturedContextOf(const ResolvedMaterial& m) {
  core::OrientationsRec ctx;
  const std::string problem = models::BuildUntexturedContext(UntexturedInputsOf(m), ctx);
  if (!problem.empty()) throw InputError(problem);
  return ctx;
}

}  // namespace polydec::cli

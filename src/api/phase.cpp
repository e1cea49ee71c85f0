#include "polydec/phase.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "api/conversions.h"
#include "core/stiffness_check.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "materials/material_file.h"
#include "models/aggregate.h"
#include "models/reflection_dec.h"
#include "polydec/data_files.h"

namespace polydec {

namespace fs = std::filesystem;

namespace api {

core::CijklVector ToCijkl(const Cij21& c) {
  core::CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = c[static_cast<std::size_t>(n - 1)];
  return v;
}

Cij21 FromCijkl(const core::CijklVector& v) {
  Cij21 c{};
  for (int n = 1; n <= 21; ++n) c[static_cast<std::size_t>(n - 1)] = v[n];
  return c;
}

core::CrystalData ToCrystalData(const Cell& cell) {
  return crystal::CellFromDegrees(cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma);
}

RgbPicture RgbPictureOf(const core::Picture& picture) {
  const core::RasterImage image = core::Flatten(picture);
  RgbPicture out;
  out.width = image.width;
  out.height = image.height;
  out.rgb.reserve(image.pixels.size() * 3);
  for (const core::Rgb& px : image.pixels) out.rgb.insert(out.rgb.end(), {px.r, px.g, px.b});
  return out;
}

}  // namespace api

std::string DefaultDatabasePath() { return ActiveDatabase(LocateDataFiles()); }

Result<std::vector<Phase>> ReadMaterials(const std::string& database) {
  const std::string path = database.empty() ? DefaultDatabasePath() : database;
  if (!fs::exists(path)) return Refusal("material database " + path + " does not exist");
  core::ORTN_Array list;
  InputError err;
  const int last = materials::ReadMaterialFile(list, path, &err);
  if (last < 0) {
    if (!err.message.empty()) return Refusal(err.Describe());
    return Refusal(path + ": no material found");
  }
  std::vector<Phase> phases;
  for (int i = 0; i <= last; ++i) {
    const core::OrientationsRec& rec = *list[static_cast<std::size_t>(i)];
    Phase p;
    p.name = rec.Name;
    core::CijklVector v{};
    core::TensorToCijkl(rec.Lr, v);
    p.cij = api::FromCijkl(v);
    p.crystalClass = static_cast<CrystalClass>(rec.Cryst.SYS);
    p.cell = {rec.Cryst.a,
              rec.Cryst.b,
              rec.Cryst.c,
              rec.Cryst.alpha * core::kRadToDeg,
              rec.Cryst.beta * core::kRadToDeg,
              rec.Cryst.gamma * core::kRadToDeg};
    p.E = rec.E;
    p.nu = rec.nu;
    p.K = rec.K;
    p.G = rec.G;
    phases.push_back(std::move(p));
  }
  return phases;
}

Result<Phase> FindMaterial(const std::vector<Phase>& materials, const std::string& name,
                           const std::string& databaseName) {
  if (materials.empty()) return Refusal(databaseName + ": no material found");
  if (name.empty()) return materials.front();
  const Phase* found = nullptr;
  for (const Phase& p : materials)
    if (p.name == name) found = &p;
  // "iron" finds "Iron": the exact spelling first, else the name in any case.
  const auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  if (!found)
    for (const Phase& p : materials)
      if (lower(p.name) == lower(name)) found = &p;
  if (found) return *found;
  std::string names;
  for (const Phase& p : materials) names += (names.empty() ? "" : ", ") + p.name;
  return Refusal("material \"" + name + "\" is not in " +
                 (databaseName.empty() ? std::string("the database") : databaseName) +
                 " (it has " + names + ")");
}

Result<Phase> LoadMaterial(const std::string& name, const std::string& database) {
  const std::string path = database.empty() ? DefaultDatabasePath() : database;
  auto list = ReadMaterials(path);
  if (!list) return list.error();
  return FindMaterial(*list, name, path);
}

namespace {

Status CheckMatrix(Real E, Real nu, const std::string& what) {
  if (!(E > 0) || !(nu > -1 && nu < 0.5L))
    return Refusal(what +
                   "Young's modulus E must be positive and Poisson's ratio nu between -1 and 0.5 "
                   "(got E = " +
                   core::FormatGeneral(E) + ", nu = " + core::FormatGeneral(nu) + ")");
  return Ok();
}

}  // namespace

Result<Phase> ApplyOverrides(Phase m, const PhaseOverrides& o) {
  if (o.crystalClass) {
    if (!o.cij && *o.crystalClass != m.crystalClass)
      return Refusal("--symmetry " + CrystalClassName(*o.crystalClass) +
                     " needs --cij: the constants of " + m.name + " belong to class " +
                     CrystalClassName(m.crystalClass));
    m.crystalClass = *o.crystalClass;
  }
  if (o.cij) m.cij = ApplyClassRules(*o.cij, m.crystalClass);
  if (o.cell) m.cell = *o.cell;
  if (o.matrix) {
    m.E = (*o.matrix)[0];
    m.nu = (*o.matrix)[1];
    if (auto s = CheckMatrix(m.E, m.nu, "--matrix: "); !s) return s.error();
    m.G = m.E / (2 * (1 + m.nu));
    m.K = m.E / (3 * (1 - 2 * m.nu));
  }
  if (auto bad = core::StiffnessProblem(
          api::ToCijkl(m.cij), !o.cij ? "the constants of " + m.name : std::string("--cij")))
    return Refusal(*bad);
  return m;
}

Result<Phase> MakePhase(std::string name, CrystalClass crystalClass, const Cij21& cij,
                        const Cell& cell, Real E, Real nu) {
  Phase p;
  p.name = std::move(name);
  p.crystalClass = crystalClass;
  p.cij = ApplyClassRules(cij, crystalClass);
  p.cell = cell;
  if (auto s = CheckMatrix(E, nu, "matrix: "); !s) return s.error();
  p.E = E;
  p.nu = nu;
  p.G = E / (2 * (1 + nu));
  p.K = E / (3 * (1 - 2 * nu));
  if (auto bad = core::StiffnessProblem(api::ToCijkl(p.cij), "the constants of " + p.name))
    return Refusal(*bad);
  core::CrystalData C = api::ToCrystalData(cell);
  if (const std::string fault = crystal::CheckCell(C); !fault.empty())
    return Refusal("cell: " + fault);
  return p;
}

Result<Phase> WithSelfConsistentMatrix(Phase m) {
  core::CijklVector a = api::ToCijkl(m.cij);
  const models::IsotropicAggregateResult r =
      models::CalcIsoMaConst(a, m.crystalClass, models::kKroener);
  if (r.failed || !r.converged)
    return Refusal("the self-consistent matrix of " + m.name + " could not be found");
  const models::IsotropicConstants c = models::EngineeringConstants(a);
  m.E = c.E;
  m.nu = c.nu;
  m.K = c.K;
  m.G = c.G;
  return m;
}

std::string CrystalClassName(CrystalClass c) {
  if (c < 0 || c > 10) return "class " + std::to_string(static_cast<int>(c));
  return std::string(crystal::CrystalClassNames[static_cast<std::size_t>(c)]);
}

Result<CrystalClass> ParseCrystalClass(const std::string& text) {
  const auto c = crystal::CrystalClassFromName(text);
  if (!c) {
    std::string names;
    for (auto n : crystal::CrystalClassNames) names += (names.empty() ? "" : ", ") + std::string(n);
    return Refusal("unknown crystal class \"" + text + "\" (one of " + names + ")");
  }
  return static_cast<CrystalClass>(*c);
}

std::string SampleSymmetryName(SampleSymmetry code) {
  switch (code) {
    case kIsotropicSample:
      return "isotropic";
    case kTransversalSample:
      return "transversal";
    case kOrthorhombicSample:
      return "orthorhombic";
    case kMonoclinicSampleY:
      return "monoclinic (twofold axis Y)";
    case kMonoclinicSampleZ:
      return "monoclinic";
    case kTriclinicSample:
      return "triclinic";
  }
  return "code " + std::to_string(static_cast<int>(code));
}

Result<SampleSymmetry> ParseSampleSymmetry(const std::string& name) {
  const std::pair<const char*, SampleSymmetry> names[] = {{"isotropic", kIsotropicSample},
                                                          {"transversal", kTransversalSample},
                                                          {"orthorhombic", kOrthorhombicSample},
                                                          {"monoclinic", kMonoclinicSampleZ},
                                                          {"triclinic", kTriclinicSample}};
  for (const auto& [n, code] : names)
    if (name == n) return code;
  return Refusal("unknown sample symmetry \"" + name +
                 "\" (isotropic, transversal, orthorhombic, monoclinic, triclinic)");
}

Cij21 ApplyClassRules(Cij21 cij, CrystalClass c) {
  core::CijklVector v = api::ToCijkl(cij);
  crystal::ApplyClassRules(v, c);
  return api::FromCijkl(v);
}

std::vector<std::string> FreeConstantNames(CrystalClass c) {
  return crystal::FreeConstantNames(c);
}

Result<Cij21> ParseCij(const std::string& text, CrystalClass crystalClass) {
  core::CijklVector v{};
  bool given[7][7] = {};
  const std::string cls = CrystalClassName(crystalClass);
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(text, n);
    if (word.empty()) break;
    const auto eq = word.find('=');
    const std::string key = word.substr(0, eq);
    if (eq == std::string::npos || key.size() != 3 || (key[0] != 'C' && key[0] != 'c') ||
        key[1] < '1' || key[1] > '6' || key[2] < '1' || key[2] > '6')
      return Refusal("\"" + word + "\" is not of the form C11=237 (indices 1..6)");
    const int I = key[1] - '0', J = key[2] - '0';
    const auto value = core::ParseNumber(word.substr(eq + 1));
    if (!value.ok() || !std::isfinite(value.value))
      return Refusal("the value of " + key + " is not a number");
    const std::string voigt = "C" + std::to_string(std::min(I, J)) + std::to_string(std::max(I, J));
    if (given[I][J]) return Refusal(voigt + " is given twice");
    given[I][J] = given[J][I] = true;
    const auto role = crystal::RoleOf(crystalClass, I, J);
    if (role == crystal::ConstantRole::kDerived)
      return Refusal(voigt + " follows from the other constants in class " + cls);
    if (role == crystal::ConstantRole::kZero) return Refusal(voigt + " is zero in class " + cls);
    v[core::VoigtToPosition(I, J)] = value.value;
  }
  std::string missing;
  for (const std::string& free : crystal::FreeConstantNames(crystalClass))
    if (!given[free[1] - '0'][free[2] - '0']) missing += (missing.empty() ? "" : " ") + free;
  if (!missing.empty()) return Refusal("class " + cls + " needs " + missing);
  crystal::ApplyClassRules(v, crystalClass);
  return api::FromCijkl(v);
}

Matrix6 VoigtStiffness(const Cij21& cij) {
  const core::CijklVector v = api::ToCijkl(cij);
  Matrix6 m{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J)
      m[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)] =
          v[core::VoigtToPosition(I, J)];
  return m;
}

Result<Miller> ReadMiller(const std::string& text, CrystalClass c) {
  const crystal::ReflectionRead r = crystal::ReadMillerIndices(text, c);
  if (!r.ok()) return Refusal(r.error);
  return Miller{r.hkl[0], r.hkl[1], r.hkl[2]};
}

Result<Real> DSpacing(const Cell& cell, const Miller& hkl) {
  core::CrystalData C = api::ToCrystalData(cell);
  if (const std::string fault = crystal::CheckCell(C); !fault.empty()) return Refusal(fault);
  crystal::InitCrystal(C);
  return crystal::DSpacing(C, hkl[0], hkl[1], hkl[2]);
}

}  // namespace polydec

// A crystalline phase as the calculations take it: single-crystal stiffness under its symmetry
// class, unit cell, and the isotropic matrix that grains of the self-consistent models sit in;
// read from the material database or given directly.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/types.h"

namespace polydec {

// The 21 independent components of an elastic tensor (GPa), in the order 1111, 1112, 1113,
// 1122, 1123, 1133, 1212, 1213, 1222, 1223, 1233, 1313, 1322, 1323, 1333, 2222, 2223, 2233,
// 2323, 2333, 3333 that material files and fit inputs use.
using Cij21 = std::array<Real, 21>;
// A 6x6 matrix in Voigt notation, rows and columns 1..6 at indices 0..5.
using Matrix6 = std::array<std::array<Real, 6>, 6>;

// Unit cell: a, b, c in Angstrom, alpha, beta, gamma in degrees.
struct Cell {
  Real a = 1, b = 1, c = 1;
  Real alpha = 90, beta = 90, gamma = 90;
};

struct Phase {
  std::string name;
  CrystalClass crystalClass = kCubic;
  Cij21 cij{};  // single-crystal stiffness, GPa
  Cell cell;
  // Isotropic matrix of the self-consistent models: Young's modulus (GPa), Poisson's ratio, and
  // the bulk and shear moduli (GPa) that belong to them.
  Real E = 0, nu = 0, K = 0, G = 0;
};

// The material database the program reads: beside it in a build tree; for an installed program
// the user's copy when there is one, else the shipped file (see polydec/data_files.h).
std::string DefaultDatabasePath();
// Every material of a database file (the default one for an empty path), in file order.
Result<std::vector<Phase>> ReadMaterials(const std::string& path = {});
// A material by name: the exact spelling first, else the name in any case; the last of equal
// names wins, as in the window's list. An empty name gives the first material.
Result<Phase> FindMaterial(const std::vector<Phase>& materials, const std::string& name,
                           const std::string& databaseName = {});
// ReadMaterials and FindMaterial in one.
Result<Phase> LoadMaterial(const std::string& name, const std::string& database = {});

// Changes to a material before a calculation. A class other than the material's needs its own
// constants; constants are checked against their class.
struct PhaseOverrides {
  std::optional<CrystalClass> crystalClass;
  std::optional<Cij21> cij;
  std::optional<Cell> cell;
  std::optional<std::array<Real, 2>> matrix;  // E (GPa), nu
};
Result<Phase> ApplyOverrides(Phase phase, const PhaseOverrides& overrides);

// A phase from its parts: the class rules fill the derived constants and zero the vanishing
// ones; the stiffness must be positive definite and the matrix sound.
Result<Phase> MakePhase(std::string name, CrystalClass crystalClass, const Cij21& cij,
                        const Cell& cell, Real E, Real nu);

// The phase with its matrix replaced by the self-consistent (Kroener) aggregate of its crystal.
Result<Phase> WithSelfConsistentMatrix(Phase phase);

// "isotropic", "cubic", ..., "triclinic".
std::string CrystalClassName(CrystalClass c);
Result<CrystalClass> ParseCrystalClass(const std::string& name);
// Name of a sample symmetry ("isotropic", "transversal", "orthorhombic", "monoclinic", ...).
std::string SampleSymmetryName(SampleSymmetry s);
// "isotropic", "transversal", "orthorhombic", "monoclinic", "triclinic".
Result<SampleSymmetry> ParseSampleSymmetry(const std::string& name);

// The constants of class c: derived ones set from the free ones, vanishing ones zeroed.
Cij21 ApplyClassRules(Cij21 cij, CrystalClass c);
// Names ("C11", ...) of the constants a user types freely in class c.
std::vector<std::string> FreeConstantNames(CrystalClass c);
// "C11=237 C12=141 C44=116": every free constant of the class given, none that it derives or
// zeroes; the derived ones are filled.
Result<Cij21> ParseCij(const std::string& text, CrystalClass c);
// The 6x6 stiffness (GPa) of 21 components.
Matrix6 VoigtStiffness(const Cij21& cij);

// A reflection "h k l" (or "h k i l" for hexagonal and trigonal classes, i checked), brackets
// allowed.
Result<Miller> ReadMiller(const std::string& text, CrystalClass c);
// Lattice spacing of hkl (Angstrom); refuses an unsound cell.
Result<Real> DSpacing(const Cell& cell, const Miller& hkl);

}  // namespace polydec

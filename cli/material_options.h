// The material options shared by every subcommand that needs a crystal: the database, a
// material by name, and overrides of its constants, class, cell and isotropic matrix.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "core/records.h"
#include "models/untextured_context.h"
#include "core/voigt.h"

namespace polydec::cli {

struct MaterialOptions {
  std::string database;
  std::string material;
  std::string cij;
  std::string symmetry;
  std::string cell;
  std::string matrix;

  void AddTo(CLI::App* cmd);
};

// A crystal phase resolved from the options.
struct ResolvedMaterial {
  std::string name;
  core::CijklVector cij{};  // GPa
  int crystalClass = 1;
  core::Real cell[6] = {1, 1, 1, 90, 90, 90};  // a, b, c (Angstrom), angles in degrees
  core::Real E = 0, nu = 0;                    // isotropic matrix
  core::Real K = 0, G = 0;
};

// The engine's description of an untextured phase of the material (crystal, cell, matrix);
// the caller adds the grain shape, reflection and axis setting it needs.
models::UntexturedInputs UntexturedInputsOf(const ResolvedMaterial& m);
// The calculation context of that phase with the defaults (sphere, reflection 1 1 1);
// a refused phase is an InputError.
core::OrientationsRec UntexturedContextOf(const ResolvedMaterial& m);

// The pfcryst.dat shipped beside the program (or in the installed share folder).
std::string DefaultDatabasePath();

// Reads the database (the default one when `database` is empty) into list; path receives the
// file read. Returns the index of the last material; throws InputError naming file and line.
int ReadDatabase(const std::string& database, core::ORTN_Array& list, std::string& path);

// Reads the database and applies the overrides; throws InputError naming what is wrong.
ResolvedMaterial ResolveMaterial(const MaterialOptions& options);

// Replaces the material's isotropic matrix by the self-consistent (Kroener) aggregate of its
// crystal; throws InputError when that aggregate cannot be found.
void UseSelfConsistentMatrix(ResolvedMaterial& m);

// Parses "C11=237 C12=141 C44=116" for class c: every free constant of the class must be
// given, no constant the class derives or sets to zero; derived ones are filled.
core::CijklVector ParseCijOption(const std::string& text, int crystalClass);

// Reads a class name (isotropic .. triclinic).
int ParseCrystalClass(const std::string& text, const std::string& what);

}  // namespace polydec::cli

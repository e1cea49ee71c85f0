// The material options shared by every subcommand that needs a crystal: the database, a
// material by name, and overrides of its constants, class, cell and isotropic matrix.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "core/records.h"
#include "models/untextured_context.h"
#include "core/voigt.h"
#include "polydec/phase.h"

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

// A crystal phase resolved from the options: the public API's phase record.
using ResolvedMaterial = Phase;

// The calculation context of that phase with the defaults (sphere, reflection 1 1 1);
// a refused phase is a Failure.
core::OrientationsRec UntexturedContextOf(const ResolvedMaterial& m);

// The material's cell for the engine (radians), checked and set up in the given axis setting;
// an unsound cell ends the run naming the material.
core::CrystalData CrystalOf(const ResolvedMaterial& m, int axisSetting);

// Reads the database (the default one when `database` is empty), noting it as an input of the
// run; path receives the file read. A refused file ends the run naming file and line.
std::vector<Phase> ReadDatabase(const std::string& database, std::string& path);

// Reads the database and applies the overrides; throws Failure naming what is wrong.
ResolvedMaterial ResolveMaterial(const MaterialOptions& options);

// Replaces the material's isotropic matrix by the self-consistent (Kroener) aggregate of its
// crystal; throws Failure when that aggregate cannot be found.
void UseSelfConsistentMatrix(ResolvedMaterial& m);

// Parses "C11=237 C12=141 C44=116" for class c (see polydec::ParseCij) for the engine.
core::CijklVector ParseCijOption(const std::string& text, CrystalClass crystalClass);

// Reads a class name (isotropic .. triclinic).
CrystalClass ParseCrystalClass(const std::string& text, const std::string& what);

}  // namespace polydec::cli

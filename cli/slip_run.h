// The shared frame of the slip-system verbs (taylor, schmid, elongation): the options for one
// orientation or the whole grid, progress on a terminal, Ctrl-C as a cancel that keeps the lines
// done in a partial file, and the report of what was written.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "core/types.h"
#include "special/orientation_runs.h"

namespace polydec::cli {

struct SlipRunOptions {
  std::string euler;  // "phi1 Phi phi2" in degrees: one orientation, printed
  std::string output;
  int threads = 2;
  bool json = false;

  // Adds --euler, -o/--output (default: defaultFile), --threads and --json.
  void AddTo(CLI::App* cmd, const std::string& defaultFile);
};

// The three angles of --euler, checked.
void ReadEuler(const std::string& text, core::Real& phi1, core::Real& Phi, core::Real& phi2);

// Runs the grid with progress and Ctrl-C, writes the output and tells where it went; a run
// stopped by Ctrl-C ends with Failure after writing the partial file.
void RunGridToFile(const std::string& title, const SlipRunOptions& o,
                   const std::function<special::RunResult(const special::RunControl&)>& run);

}  // namespace polydec::cli

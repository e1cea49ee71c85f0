#include "slip_run.h"

#include <unistd.h>

#include <csignal>
#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"

namespace polydec::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

void SlipRunOptions::AddTo(CLI::App* cmd, const std::string& defaultFile) {
  output = defaultFile;
  cmd->add_option("--euler", euler,
                  "One orientation \"phi1 Phi phi2\" (degrees, Bunge): computed and printed, no "
                  "file written");
  cmd->add_option("-o,--output", output, "File for the whole orientation grid")
      ->capture_default_str();
  cmd->add_option("--threads", threads,
                  "Threads for the orientation grid (results do not depend on it)")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  cmd->add_flag("--json", json, "Print one JSON object");
}

void ReadEuler(const std::string& text, core::Real& phi1, core::Real& Phi, core::Real& phi2) {
  const std::vector<core::Real> v = ReadNumberList(text, 3, "--euler");
  phi1 = v[0];
  Phi = v[1];
  phi2 = v[2];
}

void RunGridToFile(const std::string& title, const SlipRunOptions& o,
                   const std::function<special::RunResult(const special::RunControl&)>& run) {
  // Refused before minutes of computing, not after.
  RefuseInputAsOutput(o.output);
  const bool terminal = isatty(STDERR_FILENO) != 0;
  special::RunControl control;
  control.threads = o.threads;
  control.progress = [&](int done, int total) {
    if (terminal) std::cerr << "\r" << title << ": " << done << " of " << total << std::flush;
  };
  interrupted = 0;
  control.cancelled = [] { return interrupted != 0; };
  const auto previous = std::signal(SIGINT, OnInterrupt);
  const special::RunResult r = run(control);
  std::signal(SIGINT, previous);
  if (terminal) std::cerr << "\n";

  const special::WriteOutcome w = special::WriteRunOutput(o.output, r);
  if (w.error) throw Failure("could not write " + *w.error);
  if (!r.complete)
    throw Failure((r.error.empty() ? std::string("interrupted:") : "failed at " + r.error + ";") +
                     " stopped after " + std::to_string(r.lines.size()) + " of " +
                     std::to_string(r.total) + " orientations; the lines computed are in " +
                     w.file + ", " + o.output + " is unchanged");
  if (o.json) {
    std::cout << JsonOutput(nlohmann::json{{"file", w.file}, {"orientations", r.total}});
  } else {
    std::cout << title << ": " << r.total << " orientations written to " << w.file << "\n";
  }
}

}  // namespace polydec::cli

#include "progress.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "common.h"

namespace polydec::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
struct sigaction previousAction {};

// The first Ctrl-C asks the step to stop at its next report, which in a long average may be a
// while; the handler then gives way, so that a second Ctrl-C ends the process at once.
void OnInterrupt(int) {
  interrupted = 1;
  static const char kSaid[] =
      "\npolydec: stopping at the end of this step; press Ctrl-C again to quit at once\n";
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kSaid, sizeof kSaid - 1);
}

}  // namespace

InterruptScope::InterruptScope() {
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousAction);
}

InterruptScope::~InterruptScope() { sigaction(SIGINT, &previousAction, nullptr); }

bool InterruptScope::Interrupted() { return interrupted != 0; }

ProgressLine::ProgressLine() : terminal_(isatty(STDERR_FILENO) != 0), last_(Clock::now()) {}

void ProgressLine::Show(const std::string& text) {
  // Without a terminal nothing is written: what a script captures from standard error must
  // not depend on how fast the machine was.
  if (!terminal_) return;
  // A tenth of a second is as often as anyone reads it.
  const Clock::time_point now = Clock::now();
  if (open_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  std::cerr << "\r" << text << "\033[K" << std::flush;
  open_ = true;
}

void ProgressLine::End() {
  if (open_) std::cerr << "\n" << std::flush;
  open_ = false;
}

void StoppedByUser(const std::string& what) {
  std::cerr << "polydec: " << what << " stopped (Ctrl-C)\n";
  throw ExitStatus{130};
}

}  // namespace polydec::cli

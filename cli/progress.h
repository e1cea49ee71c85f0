// Long steps of the command line: a progress line on standard error, rewritten in place on a
// terminal (nothing otherwise, so that captured output does not depend on the machine's speed),
// and Ctrl-C, which asks the step to stop at its next progress report instead of killing the
// process.
#pragma once

#include <chrono>
#include <string>

namespace polydec::cli {

// While it lives, the first Ctrl-C sets a flag instead of ending the process (a second one ends
// it); the previous handler comes back when it goes.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
  static bool Interrupted();
};

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine() { End(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void Show(const std::string& text);
  void End();  // ends a line left open on a terminal

 private:
  using Clock = std::chrono::steady_clock;
  bool terminal_;
  bool open_ = false;
  Clock::time_point last_;
};

// Ends the run after Ctrl-C: "polydec: <what> stopped (Ctrl-C)", exit status 130.
[[noreturn]] void StoppedByUser(const std::string& what);

}  // namespace polydec::cli

// Runs a piece of a test as an ordinary user (nobody, 65534), for checks of permissions that
// root would bypass: the tests run as root in the build container.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace polydec::test {

inline constexpr uid_t kNobody = 65534;

// The exit status of body() run in a child process under the uid and gid 65534 with no
// supplementary groups; empty when the process cannot become that user (the test then skips).
inline std::optional<int> RunAsNobody(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    if (::geteuid() != kNobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(77);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
  if (WEXITSTATUS(status) == 77) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace polydec::test

// Runs the built polydec binary with arguments, as a shell would but without one (no quoting
// rules), and captures its standard output, standard error and exit status for golden tests.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace polydec::cli_test {

struct CliRun {
  int status = -1;  // exit status; minus the signal number when the program was killed
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Forks and runs program with args; the child first sets up its standard streams with redirect.
inline pid_t ForkProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::function<void()>& redirect) {
  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    redirect();
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Both streams go to temporary files rather than pipes, so a chatty child can never block on a
// full pipe while the parent waits for it.
inline CliRun RunPolydec(const std::vector<std::string>& args,
                         const std::string& program = POLYDEC_BIN_DIR "/polydec") {
  CliRun run;
  std::string outPath = "/tmp/polydec_cli_out_XXXXXX";
  std::string errPath = "/tmp/polydec_cli_err_XXXXXX";
  const int outFd = mkstemp(outPath.data());
  const int errFd = mkstemp(errPath.data());
  if (outFd < 0 || errFd < 0) {
    run.err = "RunPolydec: cannot create temporary files";
    return run;
  }

  const pid_t pid = ForkProgram(program, args, [&] {
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    const int nullFd = open("/dev/null", O_RDONLY);
    if (nullFd >= 0) dup2(nullFd, STDIN_FILENO);
  });
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid) {
    if (WIFEXITED(wstatus))
      run.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
      run.status = -WTERMSIG(wstatus);
  }
  close(outFd);
  close(errFd);
  run.out = ReadWholeFile(outPath);
  run.err += ReadWholeFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  if (pid < 0) run.err += "RunPolydec: fork failed";
  return run;
}

// Starts the built polydec in the background, its standard output thrown away and its standard
// error written to errPath, for tests that signal it while it runs; the caller waits for it.
inline pid_t StartPolydec(const std::vector<std::string>& args,
                          const std::string& errPath = "/dev/null") {
  return ForkProgram(POLYDEC_BIN_DIR "/polydec", args, [&] {
    const int out = open("/dev/null", O_WRONLY);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
  });
}

}  // namespace polydec::cli_test

// Inputs that are no regular files: a pipe would make a reader wait in open() for a writer that
// never comes, a folder fails inside the stream library with a message that names no file.
// Every reader refuses them by name before opening, with exit status 1.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;

// The program under a time limit, so that a reader that waits for ever fails the test instead
// of hanging it (timeout exits with 124).
CliRun RunWithTimeLimit(std::vector<std::string> args) {
  args.insert(args.begin(), {"--kill-after=5", "30", POLYDEC_BIN_DIR "/polydec"});
  return RunPolydec(args, "/usr/bin/timeout");
}

TEST(CliInputs, PipesAndFoldersAreRefusedByNameInEveryReader) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("polydec_inputs_" + std::to_string(rd()));
  fs::create_directories(dir / "folder");
  const std::string fifo = (dir / "pipe").string(), folder = (dir / "folder").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string example = POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd";
  const std::string odf = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";

  // Each command with the place of the input as "@".
  const std::vector<std::vector<std::string>> commands = {
      {"worksheet", "@"},
      {"worksheet", example, "--sff", "@"},
      {"odf", "info", "@"},
      {"odf", "info", "@", "--format", "popla"},
      {"odf", "info", "@", "--format", "mtex"},
      {"cij", "--grains", "@", "--model", "voigt"},
      {"materials", "--database", "@"},
      {"twins", "--odf", odf, "--table", "@"},
      {"fit", "@"},
  };
  for (const auto& [input, what] : {std::pair{fifo, "pipe"}, std::pair{folder, "folder"}}) {
    for (std::vector<std::string> args : commands) {
      for (std::string& a : args)
        if (a == "@") a = input;
      std::string shown;
      for (const std::string& a : args) shown += a + " ";
      SCOPED_TRACE(shown);
      const CliRun r = RunWithTimeLimit(args);
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_NE(r.err.find(input), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    }
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace polydec::cli_test

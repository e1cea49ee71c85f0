// Pinned runs of `aggregate`, `cij` and `fit`: every printed value (text and JSON), the exit
// status, the error text and the fit report must stay as captured in tests/cli/golden/<name>.txt.
// The cases are listed in tests/cli/golden/cases.txt; capture.sh there rewrites the expected
// files from a chosen binary when an output is meant to change.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = fs::path(POLYDEC_SOURCE_DIR) / "tests" / "cli" / "golden";

struct GoldenCase {
  std::string name;
  std::vector<std::string> args;  // DIR not yet replaced
};

// Names the case in test listings instead of its bytes.
void PrintTo(const GoldenCase& c, std::ostream* out) { *out << c.name; }

std::vector<GoldenCase> ReadCases() {
  std::vector<GoldenCase> cases;
  std::istringstream in(ReadWholeFile((kGolden / "cases.txt").string()));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    GoldenCase c;
    words >> c.name;
    for (std::string w; words >> w;) c.args.push_back(w);
    cases.push_back(c);
  }
  return cases;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class Scratch {
 public:
  Scratch() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("polydec_cli_golden_" + std::to_string(rd()));
    fs::create_directories(path_);
    fs::copy_file(kGolden / "texture.txt", path_ / "texture.txt");
    fs::copy_file(kGolden / "grains.wts", path_ / "grains.wts");
    fs::copy_file(kGolden / "zero.wts", path_ / "zero.wts");
    fs::copy_file(fs::path(POLYDEC_SOURCE_DIR) / "examples" / "iron-kroener.dec", path_ / "iron.dec");
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string dir() const { return path_.string(); }

 private:
  fs::path path_;
};

class GoldenRun : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRun, PrintsWhatWasCaptured) {
  const GoldenCase& c = GetParam();
  Scratch scratch;
  std::vector<std::string> args;
  for (const std::string& a : c.args) args.push_back(ReplaceAll(a, "DIR", scratch.dir()));
  const CliRun run = RunPolydec(args);
  std::string got = "status " + std::to_string(run.status) + "\n--- stdout\n" + run.out +
                    "--- stderr\n" + run.err;
  const fs::path report = fs::path(scratch.dir()) / "out.res";
  if (fs::exists(report)) got += "--- report\n" + ReadWholeFile(report.string());
  got = ReplaceAll(got, scratch.dir(), "DIR");
  EXPECT_EQ(got, ReadWholeFile((kGolden / (c.name + ".txt")).string()));
}

INSTANTIATE_TEST_SUITE_P(Cli, GoldenRun, ::testing::ValuesIn(ReadCases()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace polydec::cli_test

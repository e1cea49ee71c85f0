// The command-line examples of the README print what the README shows: every block that starts
// with "$ build/bin/polydec ..." and lists output below it is run, and its output lines (after
// a "..." line, the lines that follow it, in order) must be what the program prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

struct Example {
  int line = 0;  // of the command in the README
  std::vector<std::string> args;
  int head = 0;  // "| head -N": only the first N lines are shown
  std::vector<std::string> shown;
};

// The words of a shell command line: blanks separate, double quotes group.
std::vector<std::string> ShellWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char ch : text) {
    if (ch == '"') {
      quoted = !quoted;
      any = true;
    } else if (ch == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += ch;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<Example> ReadmeExamples() {
  const std::vector<std::string> lines =
      Lines(ReadWholeFile(POLYDEC_SOURCE_DIR "/README.md"));
  const std::string prompt = "$ build/bin/polydec ";
  std::vector<Example> examples;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].rfind(prompt, 0) != 0) continue;
    Example e;
    e.line = static_cast<int>(n) + 1;
    std::string command = lines[n].substr(prompt.size());
    if (const auto pipe = command.find(" | head -"); pipe != std::string::npos) {
      e.head = std::stoi(command.substr(pipe + 9));
      command.resize(pipe);
    }
    for (std::string& w : ShellWords(command)) {
      if (w.rfind("examples/", 0) == 0) w = POLYDEC_SOURCE_DIR "/" + w;
      e.args.push_back(w);
    }
    for (std::size_t k = n + 1; k < lines.size() && lines[k] != "```" &&
                                lines[k].rfind("$ ", 0) != 0;
         ++k)
      e.shown.push_back(lines[k]);
    if (!e.shown.empty()) examples.push_back(e);
  }
  return examples;
}

TEST(ReadmeExamples, PrintWhatTheReadmeShows) {
  const std::vector<Example> examples = ReadmeExamples();
  ASSERT_GE(examples.size(), 2u);
  for (const Example& e : examples) {
    SCOPED_TRACE("README.md line " + std::to_string(e.line));
    const CliRun run = RunPolydec(e.args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> printed = Lines(run.out);
    if (e.head > 0 && static_cast<int>(printed.size()) > e.head) printed.resize(e.head);
    const auto elided = std::find(e.shown.begin(), e.shown.end(), "...");
    if (elided == e.shown.end()) {
      EXPECT_EQ(printed, e.shown);
      continue;
    }
    // The lines after "..." end the output.
    const std::vector<std::string> tail(elided + 1, e.shown.end());
    ASSERT_GE(printed.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(printed.end() - static_cast<long>(tail.size()),
                                       printed.end()),
              tail);
  }
}

}  // namespace
}  // namespace polydec::cli_test

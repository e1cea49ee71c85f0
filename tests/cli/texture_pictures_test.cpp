// The texture pictures of the command line: `odf sections` and `polefigure -o X.png|svg` write
// a PNG or an SVG by the extension with one panel per section or reflection; a bad file, a bad
// section or level list and an unknown extension are refused naming what is wrong, and leave
// no file behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace {

namespace fs = std::filesystem;
using polydec::cli_test::ReadWholeFile;
using polydec::cli_test::RunPolydec;

const std::string kExample = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";

std::string Scratch(const std::string& name) {
  return (fs::temp_directory_path() /
          ("polydec_cli_pictures_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

TEST(CliTexturePictures, SectionsAndPoleFiguresAsPngAndSvg) {
  const std::string png = Scratch("sections.png"), svg = Scratch("sections.svg");
  const auto all = RunPolydec({"odf", "sections", kExample, "-o", png});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(ReadWholeFile(png).substr(1, 3), "PNG");
  const auto some = RunPolydec(
      {"odf", "sections", kExample, "--phi2", "0 15 30 45 60 75 90", "--levels", "1 2 4", "-o", svg});
  ASSERT_EQ(some.status, 0) << some.err;
  const std::string text = ReadWholeFile(svg);
  EXPECT_EQ(Count(text, ">phi2 = "), 7u);
  EXPECT_NE(text.find(">phi2 = 75<"), std::string::npos);
  EXPECT_NE(text.find(">m.r.d.<"), std::string::npos);

  const std::string pf = Scratch("pf.svg");
  const auto poles = RunPolydec({"polefigure", kExample, "--hkl", "1 0 0", "--hkl", "1 1 0",
                                 "--hkl", "1 1 1", "--bands", "-o", pf});
  ASSERT_EQ(poles.status, 0) << poles.err;
  const std::string figures = ReadWholeFile(pf);
  for (const char* title : {">{1 0 0}<", ">{1 1 0}<", ">{1 1 1}<"})
    EXPECT_NE(figures.find(title), std::string::npos) << title;
  EXPECT_EQ(Count(figures, ">max = "), 3u);
  for (const std::string& f : {png, svg, pf}) fs::remove(f);
}

TEST(CliTexturePictures, RefusalsNameTheFaultAndWriteNothing) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::string out = Scratch("refused.png");
  const Case cases[] = {
      {{"odf", "sections", "/nonexistent.odf", "-o", out}, 1, "/nonexistent.odf"},
      {{"odf", "sections", kExample, "--phi2", "0 x 30", "-o", out}, 1,
       "--phi2: \"x\" is not a number"},
      {{"odf", "sections", kExample, "--phi2", "0 400", "-o", out}, 1,
       "--phi2: the section phi2 = 400 lies outside 0..360 degrees"},
      {{"odf", "sections", kExample, "--levels", "1 -2", "-o", out}, 1, "--levels: "},
      {{"odf", "sections", kExample, "-o", Scratch("s.jpg")}, 1, "not \".jpg\""},
      {{"odf", "sections", kExample}, 2, "--output"},
      {{"polefigure", kExample, "--hkl", "1 0 0", "--hkl", "1 1 1"}, 1, "several --hkl"},
      {{"polefigure", kExample, "--hkl", "1 1 1", "--levels", "a", "-o", out}, 1,
       "--levels: \"a\" is not a number"},
  };
  for (const Case& c : cases) {
    const auto run = RunPolydec(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[2] << " " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace

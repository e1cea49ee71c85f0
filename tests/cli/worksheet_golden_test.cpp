// `polydec worksheet` against outputs captured before its commands moved out of the window:
// several data sets, model words and grain axes in the "h k l" cells, both notations, d0 held
// and fitted, labels, an ODF, a saved worksheet, and the refusals. Every character counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "texture/odf_fixtures.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(POLYDEC_TEST_DATA) + "/worksheet/";

class WorksheetGoldenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    odf_ = folder_.Write(
        "orth.txt", texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\r\n"));
  }
  texture_test::TempFolder folder_;
  std::string odf_;
};

TEST_F(WorksheetGoldenTest, PrintsWhatItPrintedBefore) {
  const struct Case {
    std::vector<std::string> args;  // after "worksheet SHEET"; "ODF" is the generated ODF
    const char* sheet;
    const char* golden;
    int status = 0;  // 1: the golden file holds the refusal
  } cases[] = {
      {{"--calc-dec", "--calc-stress"}, "mixed.tsd", "mixed_fij.txt"},
      {{"--calc-dec", "--calc-stress", "--notation", "s1", "--model", "hill"},
       "mixed.tsd",
       "mixed_s1_hill.txt"},
      {{"--calc-dec", "--calc-stress", "--json"}, "d0fixed.tsd", "d0fixed.json"},
      {{"--calc-dec", "--calc-stress", "--free", "sig_xx sig_yy sig_xy d0", "--model",
        "inverse-kroener"},
       "labels.tsd",
       "labels.txt",
       1},  // data set "set A" has one direction: sig_xy does not enter it
      {{"--calc-dec", "--calc-stress", "--odf", "ODF", "--grain-shape", "3 1 1", "--intervals",
        "4"},
       "textured.tsd",
       "textured.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    std::vector<std::string> args = {"worksheet", kData + c.sheet};
    for (const std::string& a : c.args) args.push_back(a == "ODF" ? odf_ : a);
    const CliRun run = RunPolydec(args);
    ASSERT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(c.status == 0 ? run.out : run.err, ReadWholeFile(kData + "golden/" + c.golden));
  }
}

TEST_F(WorksheetGoldenTest, WritesTheWorksheetItWroteBefore) {
  const std::string out = folder_.File("saved.tsd");
  const CliRun run = RunPolydec({"worksheet", kData + "mixed.tsd", "--calc-dec", "--model",
                                 "mvoigt", "--calc-stress", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(kData + "golden/mixed_saved.tsd"));
}

TEST_F(WorksheetGoldenTest, RefusesAsBefore) {
  const struct Case {
    const char* sheet;
    const char* err;
  } cases[] = {
      {"bad_code.tsd", "polydec: error: Calc DEC: Model not available (model code 5) at line 2\n"},
      {"bad_hkl.tsd",
       "polydec: error: Calc DEC: Not a valid input! (row 3, h k l: \"2 x 1\" is no reflection: "
       "write the indices separated by blanks, h k l)\n"},
      {"bad_shape.tsd",
       "polydec: error: Calc DEC: Grain shape: the semi-axes must be positive numbers (got b = "
       "-1) at line 2\n"},
      {"zero_sd.tsd",
       "polydec: error: Calc Stress: D-spacing uncertainty is 0 at cell 4 (row 4, the \"+/-\" of "
       "\"d\")\n"},
      {"zero_d0.tsd", "polydec: error: Calc Stress: D0 is 0 at line 5 (column \"d0\")\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sheet);
    const CliRun run =
        RunPolydec({"worksheet", kData + c.sheet, "--calc-dec", "--calc-stress"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace polydec::cli_test

// The fit input file: what a sound file puts into the fit record and the context (units,
// labels, the fitted list), and that a faulty one is refused with its line and changes nothing.
#include "fit/fit_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/voigt.h"
#include "crystal/lattice.h"

namespace polydec::fit {
namespace {

using core::Real;

std::string Label(const std::string& s) {
  std::string l = s;
  l.resize(kFitLabelWidth, ' ');
  return l;
}

// A sound fit input: cubic iron with C1111, C1122, C1212 fitted, three data points whose
// values show the three ways of writing them.
std::vector<std::string> IronLines() {
  return {"Iron bcc (synthetic)",
          "Cr-Ka, 2 mm slit",
          Label("Cij start") +
              "231.4 0 0 134.7 0 134.7 116.4 0 0 0 0 116.4 0 0 0 231.4 0 134.7 116.4 0 231.4",
          Label("fit flags") + "1 0 0 2 0 0 3 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
          Label("matrix Cij") +
              "275.2 0 0 112.4 0 112.4 81.4 0 0 0 0 81.4 0 0 0 275.2 0 112.4 81.4 0 275.2",
          Label("matrix flags") + "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
          Label("lattice") + "2.8665 2.8665 2.8665 90 90 90",
          Label("sample sym.") + "0",
          Label("crystal sym.") + "1",
          Label("data points") + "3",
          Label("steps/cycle") + "5",
          Label("MinChi") + "0.001",
          Label("Eshelby") + "0",
          "2 0 0 0 0 -1.2 0.02e-6",
          "3 1 0 30 45 -1.2e-6 2e-8 trailing words are ignored",
          "2 1 1 90 60 2.5 0.05"};
}

std::string Join(const std::vector<std::string>& lines, const char* eol = "\r\n") {
  std::string text;
  for (const std::string& l : lines) text += l + eol;
  return text;
}

TEST(FitInput, SoundFileFillsRecordAndContext) {
  core::InputError error;
  const auto in = ParseFitInput(Join(IronLines()), error);
  ASSERT_TRUE(in) << error.line << ": " << error.message;
  // LF line ends read the same.
  const auto lf = ParseFitInput(Join(IronLines(), "\n"), error);
  ASSERT_TRUE(lf);
  EXPECT_EQ(lf->a, in->a);

  core::OrientationsRec ctx;
  ctx.Cryst.AxisSetting = 1;
  ctx.AlwaysUpdateEshelby = true;
  ctx.AxisLength = {2, 1, 1};
  auto rec = std::make_unique<FitRecord>();
  ApplyFitInput(*in, "iron.dec", ctx, *rec);

  EXPECT_EQ(ctx.Name, "Iron bcc (synthetic)");
  EXPECT_EQ(rec->InputFile, "iron.dec");
  EXPECT_EQ(rec->ma, 42);
  EXPECT_EQ(rec->h, 0.001L);
  EXPECT_EQ(rec->mfit, 3);
  EXPECT_EQ(rec->ia[1], 1);
  EXPECT_EQ(rec->ia[2], 4);
  EXPECT_EQ(rec->ia[3], 7);
  EXPECT_EQ(rec->a[1], 231.4L);
  EXPECT_EQ(rec->a[21], 231.4L);
  EXPECT_EQ(rec->a[22], 275.2L);
  EXPECT_EQ(rec->a[28], 81.4L);
  EXPECT_EQ(ctx.Lr(2, 2, 3, 3), 134.7L);
  EXPECT_EQ(ctx.L(1, 2, 1, 2), 81.4L);
  EXPECT_EQ(rec->MAXITER, 5);
  EXPECT_EQ(rec->MinChi, 0.001L);
  EXPECT_EQ(rec->ndata, 3);
  EXPECT_EQ(ctx.ndata, 3);
  EXPECT_EQ(ctx.SYMMETRY, 0);
  EXPECT_EQ(ctx.Cryst.SYS, 1);
  EXPECT_EQ(ctx.Cryst.a, 2.8665L);
  EXPECT_NEAR(ctx.Cryst.gamma, core::kPi / 2, 1e-18L);
  EXPECT_FALSE(ctx.AlwaysUpdateEshelby);
  EXPECT_EQ(ctx.AxisLength.a, 1);

  // -1.2 is read in 10^-6 MPa^-1 and -1.2e-6 in MPa^-1: both are -1.2e-3 GPa^-1 inside. The
  // uncertainty is always in MPa^-1, so 0.05 stays 0.05 MPa^-1 = 50 GPa^-1.
  // Tolerance: the 10^-6 scaling rounds in the last bit of the 64-bit mantissa.
  EXPECT_NEAR(rec->z[1], -1.2e-3L, 1e-20L);
  EXPECT_NEAR(rec->z[2], -1.2e-3L, 1e-20L);
  EXPECT_NEAR(rec->z[3], 2.5e-3L, 1e-20L);
  EXPECT_NEAR(rec->sig[1], 2e-5L, 1e-22L);
  EXPECT_NEAR(rec->sig[2], 2e-5L, 1e-22L);
  EXPECT_NEAR(rec->sig[3], 50, 1e-15L);
  EXPECT_NEAR(rec->phi[2], 30 * core::kDegToRad, 1e-18L);
  EXPECT_NEAR(rec->psi[2], 45 * core::kDegToRad, 1e-18L);
  EXPECT_EQ(rec->hkl[3], (core::Tensor1{{2, 1, 1}}));
  const core::PolarAnglesRec angles = crystal::HKLToPolarAngles(ctx.Cryst, 2, 1, 1);
  EXPECT_EQ(rec->crystphi[3], angles.phi);
  EXPECT_EQ(rec->crystpsi[3], angles.psi);
}

TEST(FitInput, MeasuredValueUnits) {
  EXPECT_NEAR(MeasuredValueInGPa(-1.2L), -1.2e-3L, 1e-20L);
  EXPECT_NEAR(MeasuredValueInGPa(-1.2e-6L), -1.2e-3L, 1e-20L);
  // Exactly 0.01 is not above the limit: MPa^-1.
  EXPECT_EQ(MeasuredValueInGPa(0.01L), 10);
  EXPECT_EQ(MeasuredValueInGPa(0), 0);
}

TEST(FitInput, EshelbySwitchSetsClearsOrKeeps) {
  const struct {
    const char* text;
    bool before, after;
  } cases[] = {{"1", false, true}, {"0", true, false}, {"2", true, true}, {"-1", false, false}};
  for (const auto& c : cases) {
    std::vector<std::string> lines = IronLines();
    lines[12] = Label("Eshelby") + c.text;
    core::InputError error;
    const auto in = ParseFitInput(Join(lines), error);
    ASSERT_TRUE(in) << error.message;
    core::OrientationsRec ctx;
    ctx.AlwaysUpdateEshelby = c.before;
    auto rec = std::make_unique<FitRecord>();
    ApplyFitInput(*in, "x.dec", ctx, *rec);
    EXPECT_EQ(ctx.AlwaysUpdateEshelby, c.after) << c.text;
  }
}

// Characters 1 to 14 of a label line are skipped whatever they hold.
TEST(FitInput, LabelColumnsAreAlwaysSkipped) {
  std::vector<std::string> lines = IronLines();
  lines[6] = "lattice: 2.8665 2.8665 2.8665 90 90 90";  // "2.866" stands in the label columns
  core::InputError error;
  auto in = ParseFitInput(Join(lines), error);
  ASSERT_TRUE(in) << error.message;
  EXPECT_EQ(in->cell[0], 5);
  EXPECT_EQ(in->cell[1], 2.8665L);

  lines[6] = "a b c: 2.8665 2.8665 2.8665 90 90 90";  // a whole number lost
  in = ParseFitInput(Join(lines), error);
  ASSERT_FALSE(in);
  EXPECT_EQ(error.line, 7);
  EXPECT_EQ(error.message,
            "6 numbers expected (lattice parameters a, b, c, alpha, beta, gamma), found 5 after "
            "the label (characters 1 to 14 are skipped)");
}

struct Refusal {
  const char* label;
  int line;  // index into IronLines (0-based) that is replaced; -1 drops the last line
  std::string text;
  int reportedLine;
  const char* message;
};

class FitInputRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(FitInputRefusal, NamesTheLineAndWhatIsWrong) {
  const Refusal& r = GetParam();
  std::vector<std::string> lines = IronLines();
  if (r.line < 0)
    lines.pop_back();
  else
    lines[static_cast<std::size_t>(r.line)] = r.text;
  core::InputError error;
  EXPECT_FALSE(ParseFitInput(Join(lines), error));
  EXPECT_EQ(error.line, r.reportedLine);
  EXPECT_NE(error.message.find(r.message), std::string::npos) << error.message;
}

const std::string kZeroFlags = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";

INSTANTIATE_TEST_SUITE_P(
    Cases, FitInputRefusal,
    ::testing::Values(
        Refusal{"TooManyPoints", 9, Label("data points") + "21", 10,
                "21 data points: the number must be 1..20"},
        Refusal{"NoPoints", 9, Label("data points") + "0", 10, "0 data points"},
        Refusal{"PositionTwice", 3,
                Label("fit flags") + "1 0 0 2 0 0 2 0 0 0 0 0 0 0 0 0 0 0 0 0 0", 4,
                "the position 2 is given to both C1122 and C1212"},
        Refusal{"PositionTwiceAcrossLines", 5,
                Label("matrix flags") + "3 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0", 6,
                "the position 3 is given to both C1212 and matrix C1111"},
        Refusal{"PositionGap", 3, Label("fit flags") + "1 0 0 2 0 0 4 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                4,
                "the position 4 given for C1212 exceeds the number of fitted constants (3): the "
                "positions must be 1..3 without repetition"},
        Refusal{"NegativePosition", 3,
                Label("fit flags") + "1 0 0 2 0 0 -3 0 0 0 0 0 0 0 0 0 0 0 0 0 0", 4,
                "the position -3 given for C1212 is negative"},
        Refusal{"MissingNumber", 2, Label("Cij start") + "231.4 0 0 134.7", 3,
                "21 numbers expected (the 21 single-crystal stiffness components), found 4"},
        Refusal{"MalformedNumber", 4,
                Label("matrix Cij") + "275.2 0 0 112.4 0 112.4 8l.4 0 0 0 0 81.4 0 0 0 275.2 0 "
                                      "112.4 81.4 0 275.2",
                5, "number 7 (\"8l.4\") is not a number"},
        Refusal{"FlagNotInteger", 5, Label("matrix flags") + "1.0" + kZeroFlags.substr(1), 6,
                "number 1 (\"1.0\") is not an integer"},
        Refusal{"ZeroUncertainty", 14, "3 1 0 30 45 -1.2e-6 0", 15,
                "the uncertainty 0 is not positive"},
        Refusal{"NegativeUncertainty", 15, "2 1 1 90 60 2.5 -0.05", 16,
                "the uncertainty -0.05 is not positive"},
        Refusal{"MissingDataLine", -1, "", 16, "missing: the file ends after line 15"},
        Refusal{"ShortDataLine", 13, "2 0 0 0 0 -1.2", 14, "7 numbers expected"},
        Refusal{"NoPlane", 13, "0 0 0 0 0 -1.2 0.02e-6", 14, "0 0 0"},
        Refusal{"FourIndicesInACubicPhase", 13, "(1 0 -1 1) 0 0 -1.2 0.02e-6", 14,
                "the reflection \"1 0 -1 1\": four indices h k i l are for hexagonal and "
                "trigonal phases; this phase is cubic"},
        Refusal{"HugeIndex", 13, "2e400 0 0 0 0 -1.2 0.02e-6", 14,
                "the index 2e400 is beyond the largest index 1000"},
        Refusal{"HugePsi", 13, "2 0 0 0 1e30 -1.2 0.02e-6", 14, "psi 1e30 is beyond 360 degrees"},
        Refusal{"HugeValue", 13, "2 0 0 0 0 -1.2e400 0.02e-6", 14,
                "the value -1.2e400 is beyond 1E100"},
        Refusal{"UnclosedBracket", 13, "(2 0 0 0 0 -1.2 0.02e-6", 14,
                "the bracket \"(\" is not closed"},
        Refusal{"ShortAfterBracket", 13, "(2 0 0) 0 0 -1.2", 14,
                "4 numbers expected after the reflection (phi, psi, value, uncertainty), found 3"},
        Refusal{"CrystalClass", 8, Label("crystal sym.") + "11", 9,
                "the crystal symmetry class 11"},
        Refusal{"SampleSymmetry", 7, Label("sample sym.") + "3", 8, "the sample symmetry code 3"},
        Refusal{"Cell", 6, Label("lattice") + "0 2.8665 2.8665 90 90 90", 7, ""},
        Refusal{"Steps", 10, Label("steps/cycle") + "0", 11, "0 steps per cycle"},
        Refusal{"MinChi", 11, Label("MinChi"), 12, "1 number expected (MinChi), found 0"},
        Refusal{"NulByte", 13, std::string("2 0 0 0 0 -1.2\0x 0.02e-6", 24), 14,
                "the line holds a NUL byte: not a fit input"}),
    [](const auto& p) { return std::string(p.param.label); });

// A hexagonal phase reads its reflections in four indices too; a line that reads both ways is
// refused instead of taking one of the two meanings.
TEST(FitInput, HexagonalReflectionsInFourIndices) {
  std::vector<std::string> lines = IronLines();
  lines[6] = Label("lattice") + "2.95 2.95 4.68 90 90 120";
  lines[8] = Label("crystal sym.") + "2";
  lines[13] = "(1 0 -1 1) 0 0 -1.2 0.02e-6";
  lines[14] = "[1 1 -2 0] 30 45 -1.2e-6 2e-8";
  lines[15] = "1 0 1 90 60 2.5 0.05 7";  // 1 is no -(1 + 0): h k l, the 7 is ignored
  core::InputError error;
  const auto in = ParseFitInput(Join(lines), error);
  ASSERT_TRUE(in) << error.message;
  ASSERT_EQ(in->points.size(), 3u);
  const Real expected[3][3] = {{1, 0, 1}, {1, 1, 0}, {1, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(in->points[i].h, expected[i][0]);
    EXPECT_EQ(in->points[i].k, expected[i][1]);
    EXPECT_EQ(in->points[i].l, expected[i][2]);
  }
  EXPECT_EQ(in->points[1].phi, 30);
  EXPECT_EQ(in->points[1].sig, 2e-8L);

  lines[15] = "1 0 -1 1 90 60 2.5 0.05";
  EXPECT_FALSE(ParseFitInput(Join(lines), error));
  EXPECT_EQ(error.line, 16);
  EXPECT_EQ(error.message,
            "\"1 0 -1 1 90 60 2.5 0.05\" reads two ways in a hexagonal or trigonal phase: write "
            "\"(1 0 -1 1) 90 60 2.5 0.05\" for the four indices h k i l, or \"(1 0 -1) 1 90 60 "
            "2.5\" for h k l");
}

// What follows the announced data points: notes and blank lines are read past, a further data
// line is refused, since the fit would otherwise run on part of the measurements.
TEST(FitInput, LinesAfterTheAnnouncedDataPoints) {
  const struct {
    std::vector<std::string> tail;
    int refusedLine;  // 0: accepted
    const char* message;
  } cases[] = {
      {{""}, 0, ""},
      {{"", "# measured 2024, Cr-Ka", "end of data", "   "}, 0, ""},
      {{"2 2 2 0 0 -1.0 0.02e-6"}, 17,
       "line 10 announces 3 data points, but the data go on here (1 more data line)"},
      {{"", "# two more", "2 2 2 0 0 -1.0 0.02e-6", "2 2 2 0 40 1.0 0.02e-6"}, 19,
       "(2 more data lines)"},
      {{"(2 2 2) 0 0 -1.0 0.02e-6"}, 17, "announces 3 data points"},
      {{"-1 1 0 0 0 -1.0 0.02e-6"}, 17, "announces 3 data points"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = IronLines();
    lines.insert(lines.end(), c.tail.begin(), c.tail.end());
    core::InputError error;
    const auto in = ParseFitInput(Join(lines), error);
    if (c.refusedLine == 0) {
      ASSERT_TRUE(in) << error.message;
      EXPECT_EQ(in->points.size(), 3u);
      continue;
    }
    EXPECT_FALSE(in) << c.tail.back();
    EXPECT_EQ(error.line, c.refusedLine) << c.tail.back();
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
  }
}

TEST(FitInput, EmptyFileNamesItsFirstLine) {
  core::InputError error;
  EXPECT_FALSE(ParseFitInput("", error));
  EXPECT_EQ(error.line, 1);
  EXPECT_FALSE(ParseFitInput("Iron\r\n", error));
  EXPECT_EQ(error.line, 2);
}

class FitInputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("polydec_fit_input_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(FitInputFile, RefusedFileChangesNothing) {
  std::vector<std::string> lines = IronLines();
  lines[9] = Label("data points") + "25";
  const std::string bad = Write("bad.dec", Join(lines));
  core::OrientationsRec ctx;
  ctx.Name = "before";
  ctx.Cryst.a = 3.5L;
  auto rec = std::make_unique<FitRecord>();
  rec->a[1] = 42;
  rec->ndata = 2;
  core::InputError error;
  EXPECT_FALSE(ReadInputParams(bad, ctx, *rec, error));
  EXPECT_EQ(FitInputErrorText(bad, error),
            bad + ", line 10: 25 data points: the number must be 1..20");
  EXPECT_EQ(ctx.Name, "before");
  EXPECT_EQ(ctx.Cryst.a, 3.5L);
  EXPECT_EQ(rec->a[1], 42);
  EXPECT_EQ(rec->ndata, 2);

  EXPECT_FALSE(ReadInputParams((dir_ / "none.dec").string(), ctx, *rec, error));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(FitInputErrorText("none.dec", error),
            "none.dec: the file does not exist or is not a regular file");

  const std::string good = Write("good.dec", Join(IronLines()));
  ASSERT_TRUE(ReadInputParams(good, ctx, *rec, error)) << error.message;
  EXPECT_EQ(ctx.Name, "Iron bcc (synthetic)");
  EXPECT_EQ(rec->ndata, 3);
  EXPECT_EQ(rec->InputFile, good);
}

TEST(FitInput, ParameterNames) {
  EXPECT_EQ(ParameterName(1), "C1111");
  EXPECT_EQ(ParameterName(21), "C3333");
  EXPECT_EQ(ParameterName(28), "matrix C1212");
}

}  // namespace
}  // namespace polydec::fit

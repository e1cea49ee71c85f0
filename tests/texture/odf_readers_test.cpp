// Reading popla and MTEX ODF files onto the grid, their completion and expansion, grains files,
// the check of a loaded ODF and the load command's engine. Every file is written at test time
// from a texture with the symmetry the file claims, and the grid is compared with that texture.
#include "texture/odf_readers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_fixtures.h"
#include "texture/odf_grid.h"

namespace polydec::texture {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using texture_test::PoplaLayout;
using texture_test::TempFolder;
using texture_test::Texture;

const TempFolder& Folder() {
  static const TempFolder folder;
  return folder;
}

// The questions a window would ask about the check's findings, in node order.
std::vector<std::string> FindingQuestions(const OrientationsRec& ctx) {
  std::vector<std::string> out;
  VisitODFFindings(ctx, [&](const ODFFinding& f) {
    out.push_back(ODFFindingQuestion(f));
    return true;
  });
  return out;
}

Real Node(const OrientationsRec& ctx, Int i1, Int i, Int i2) {
  return ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(i1, i, i2))];
}

// Largest |grid - scale·f| over the nodes.
Real DeviationFrom(const OrientationsRec& ctx, const Texture& f, Real scale) {
  Real worst = 0;
  for (Int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (Int i = 0; i < kPhiNodes; ++i)
      for (Int i2 = 0; i2 < kPhi2Nodes; ++i2)
        worst = std::max(worst, std::fabs(Node(ctx, i1, i, i2) - scale * f(5 * i1, 5 * i, 5 * i2)));
  return worst;
}

// A grid value copied from the nearest node of a symmetric equivalent is off by the texture's
// change over that distance: at most 2.5 degrees per angle, plus one node (5 degrees) where
// the expansion breaks a tie. By Bernstein's inequality a trigonometric polynomial of degree
// d and range R changes by at most d·R/2 per radian and angle: d·R/2 · 12.5 degrees.
Real ExpansionBound(Real range, int degree = 4) {
  return degree * range / 2 * 12.5L * core::kPi / 180;
}

Real RangeOn(const Texture& f) {
  Real lo = f(0, 0, 0), hi = lo;
  for (int a1 = 0; a1 <= 360; a1 += 5)
    for (int a = 0; a <= 180; a += 5)
      for (int a2 = 0; a2 <= 360; a2 += 15) {
        lo = std::min(lo, f(a1, a, a2));
        hi = std::max(hi, f(a1, a, a2));
      }
  return 1.05L * (hi - lo);
}

void ExpectExpandedGrid(const OrientationsRec& ctx) {
  EXPECT_EQ(ctx.error, 0);
  EXPECT_EQ(ctx.ODFNUMP, kODFNodeCount);
  EXPECT_TRUE(ctx.UseODF);
  EXPECT_EQ(ctx.maxphi1, 360);
  EXPECT_EQ(ctx.maxphi, 180);
  EXPECT_EQ(ctx.maxphi2, 360);
}

// The popla reader leaves the node counts of the full grid, the MTEX reader those of the
// region it loaded.
void ExpectNodeCounts(const OrientationsRec& ctx, Int n1, Int n, Int n2) {
  EXPECT_EQ(ctx.ODFn_phi1, n1);
  EXPECT_EQ(ctx.ODFn_phi, n);
  EXPECT_EQ(ctx.ODFn_phi2, n2);
}

TEST(LoadODFMTEX, OrthorhombicFileReproducesTheTextureAfterExpansion) {
  const Texture f = texture_test::CubicOrthTexture;
  // Exports in gnuplot style put an empty line (or one of blanks) after every block of phi2;
  // such lines hold no node and the table goes on after them.
  std::string text;
  int lineNo = 0;
  for (const std::string& line : core::SplitLines(texture_test::MtexText(f, 90, 90, 90, "\n"))) {
    text += line + "\n";
    if (++lineNo > 2 && (lineNo - 2) % 19 == 0) text += lineNo % 2 ? "\n" : " \t \n";
  }
  const std::string file = Folder().Write("orth.txt", text + "\n");
  OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kCubic;
  const ODFLoadResult r = LoadODF(file, ODFFileKind::kMTEX, false, ctx);
  ASSERT_TRUE(r.read.ok()) << r.read.Describe();
  EXPECT_TRUE(r.loaded);
  EXPECT_EQ(r.read.valuesRead, 19 * 19 * 19);
  EXPECT_EQ(r.read.region, (std::array<Real, 3>{90, 90, 90}));
  ExpectExpandedGrid(ctx);
  ExpectNodeCounts(ctx, 73, 37, 73);
  EXPECT_EQ(ctx.SYMMETRY, 7);
  EXPECT_EQ(ctx.dphi1, 5);
  EXPECT_EQ(ctx.TaylorFactor.size(), 197173u);

  // The file's own nodes hold its values exactly (21 digits read back to the same extended).
  for (Int i1 = 0; i1 <= 18; ++i1)
    for (Int i = 0; i <= 18; ++i)
      for (Int i2 = 0; i2 <= 18; ++i2)
        ASSERT_EQ(Node(ctx, i1, i, i2), f(5 * i1, 5 * i, 5 * i2)) << i1 << " " << i << " " << i2;
  EXPECT_LT(DeviationFrom(ctx, f, 1), ExpansionBound(RangeOn(f)));
  EXPECT_EQ(ScanODF(ctx, 0).zeroNodes, 0);
}

TEST(LoadODFMTEX, FullSpaceFileInCrLfNeedsNoExpansion) {
  const Texture f = texture_test::GeneralTexture;
  const std::string file =
      Folder().Write("full.txt", texture_test::MtexText(f, 360, 180, 360, "\r\n"));
  OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kCubic;
  ctx.SYMMETRY = polydec::kTransversalSample;
  const ODFReadResult r = LoadODFMTEX(file, ctx, false);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.valuesRead, kODFNodeCount);
  ExpectExpandedGrid(ctx);
  ExpectNodeCounts(ctx, 73, 37, 73);
  EXPECT_EQ(ctx.SYMMETRY, 2);  // no reduced region to infer a sample symmetry from
  EXPECT_EQ(DeviationFrom(ctx, f, 1), 0);
  // 1e-4 relative: see the integral test of the grid (interpolation error along Phi).
  const Real exact = 8 * core::kPi * core::kPi * texture_test::kGeneralMean;
  EXPECT_NEAR(ODFIntegral(ctx, 36), exact, 1e-4L * exact);
}

OrientationsRec LoadPopla(const std::string& name, const Texture& f, const PoplaLayout& layout,
                          int crystalClass, bool rules, const std::string& eol,
                          ODFReadResult& result) {
  const std::string file = Folder().Write(name, texture_test::PoplaText(f, layout, eol));
  OrientationsRec ctx;
  ctx.Cryst.SYS = static_cast<polydec::CrystalClass>(crystalClass);
  result = ReadPoplaODF(file, ctx, rules);
  return ctx;
}

TEST(ReadPoplaODF, BlankLinesBetweenAndInsideSectionsLeaveTheGridAsWithout) {
  const Texture f = texture_test::CubicOrthTexture;
  const std::string plain = texture_test::PoplaText(f, PoplaLayout{}, "\n");
  // Two more empty lines between sections, one of blanks after each title and inside the data.
  std::string spaced;
  int lineNo = 0;
  for (const std::string& line : core::SplitLines(plain)) {
    if (line.rfind("test texture", 0) == 0) spaced += "\n  \n";
    spaced += line + "\n";
    if (line.rfind("test texture", 0) == 0) spaced += " \t\n";
    if (++lineNo % 22 == 10) spaced += "\n";
  }
  OrientationsRec a, b;
  a.Cryst.SYS = b.Cryst.SYS = polydec::kCubic;
  const ODFReadResult ra = ReadPoplaODF(Folder().Write("plain.odf", plain), a, false);
  const ODFReadResult rb = ReadPoplaODF(Folder().Write("spaced.odf", spaced), b, false);
  ASSERT_TRUE(ra.ok()) << ra.Describe();
  ASSERT_TRUE(rb.ok()) << rb.Describe();
  EXPECT_EQ(rb.valuesRead, ra.valuesRead);
  EXPECT_TRUE(a.ODF == b.ODF);
}

TEST(LoadODFMTEX, DecimalCommasAreReadAsTheNumbersTheyAre) {
  const std::string file = Folder().Write(
      "comma.txt", "phi1;Phi;phi2;value\n0;0;0;25,11\n0 0 5 3,5\n\n");
  OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kIsotropicClass;
  const ODFReadResult r = LoadODFMTEX(file, ctx, false);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(Node(ctx, 0, 0, 0), core::ParseNumber("25.11").value);
  EXPECT_EQ(Node(ctx, 0, 0, 1), core::ParseNumber("3.5").value);
}

TEST(ReadPoplaODF, NineteenSectionsReproduceTheTexture) {
  const Texture f = texture_test::CubicOrthTexture;
  PoplaLayout layout;
  layout.projBlock = true;  // reading stops at the block whose header holds PROJ
  ODFReadResult r;
  const OrientationsRec ctx = LoadPopla("p90.odf", f, layout, 1, false, "\r\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.valuesRead, 19 * 361);
  EXPECT_EQ(r.region, (std::array<Real, 3>{90, 90, 90}));
  ExpectExpandedGrid(ctx);
  ExpectNodeCounts(ctx, 73, 37, 73);
  EXPECT_EQ(ctx.SYMMETRY, 7);
  for (Int i1 = 0; i1 <= 18; ++i1)
    for (Int i = 0; i <= 18; ++i)
      for (Int i2 = 0; i2 <= 18; ++i2)
        ASSERT_EQ(Node(ctx, i1, i, i2), texture_test::PoplaValue(f, 5 * i1, 5 * i, 5 * i2));
  // popla values are 100 f rounded to integers.
  EXPECT_LT(DeviationFrom(ctx, f, 100), 0.5L + 100 * ExpansionBound(RangeOn(f)));
}

TEST(ReadPoplaODF, SectionsOfPhi2AreReadWithPhi1AlongTheLine) {
  const Texture f = texture_test::CubicOrthTexture;
  PoplaLayout layout;
  layout.type = "CHDB";
  ODFReadResult r;
  // Without crystal operators the expansion is quick; only the loaded nodes are compared.
  const OrientationsRec ctx = LoadPopla("chdb.odf", f, layout, 0, false, "\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.region, (std::array<Real, 3>{90, 90, 90}));
  for (Int i1 = 0; i1 <= 18; ++i1)
    for (Int i = 0; i <= 18; ++i)
      for (Int i2 = 0; i2 <= 18; ++i2)
        ASSERT_EQ(Node(ctx, i1, i, i2), texture_test::PoplaValue(f, 5 * i1, 5 * i, 5 * i2));
}

TEST(ReadPoplaODF, SectionsUpTo85MakeThePhi1Of90SectionFromEquivalents) {
  const Texture f = texture_test::CubicOrthTexture;
  PoplaLayout layout;
  layout.lastSection = 85;
  ODFReadResult r;
  const OrientationsRec ctx = LoadPopla("p85.odf", f, layout, 1, false, "\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.region, (std::array<Real, 3>{90, 90, 90}));
  EXPECT_EQ(ctx.SYMMETRY, 7);
  ExpectExpandedGrid(ctx);
  // The section is interpolated at the equivalents of its nodes among the file's rounded
  // values: rounding (0.5) plus the interpolation error of 100 f.
  const Real bound = 0.5L + 100 * texture_test::InterpolationBound(RangeOn(f));
  for (Int i = 0; i <= 18; ++i)
    for (Int i2 = 0; i2 <= 18; ++i2)
      EXPECT_NEAR(Node(ctx, 18, i, i2), 100 * f(90, 5 * i, 5 * i2), bound) << i << " " << i2;
}

// Sections 0..175 of a cubic crystal are monoclinic data: the twofold sample axis Z turns
// phi1 by 180 degrees and leaves phi2, so the 180 section repeats the 0 section as it is.
TEST(ReadPoplaODF, SectionsUpTo175AreMonoclinicAndRepeatTheFirstSectionAt180) {
  const Texture f = texture_test::CubicMonoclinicTexture;
  PoplaLayout layout;
  layout.lastSection = 175;
  ODFReadResult r;
  const OrientationsRec ctx = LoadPopla("p175.odf", f, layout, 1, false, "\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.region, (std::array<Real, 3>{180, 90, 90}));
  EXPECT_EQ(ctx.SYMMETRY, 9);
  ExpectExpandedGrid(ctx);
  for (Int i = 0; i <= 18; ++i)
    for (Int i2 = 0; i2 <= 18; ++i2) ASSERT_EQ(Node(ctx, 36, i, i2), Node(ctx, 0, i, i2));
  EXPECT_LT(DeviationFrom(ctx, f, 100), 0.5L + 100 * ExpansionBound(RangeOn(f)));
}

TEST(ReadPoplaODF, SectionsUpTo355AreTriclinicAndCloseAt360) {
  const Texture f = texture_test::CubicTriclinicTexture;
  PoplaLayout layout;
  layout.lastSection = 355;
  ODFReadResult r;
  const OrientationsRec ctx = LoadPopla("p355.odf", f, layout, 1, false, "\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.region, (std::array<Real, 3>{360, 90, 90}));
  EXPECT_EQ(ctx.SYMMETRY, 10);
  ExpectExpandedGrid(ctx);
  for (Int i = 0; i <= 18; ++i)
    for (Int i2 = 0; i2 <= 18; ++i2) ASSERT_EQ(Node(ctx, 72, i, i2), Node(ctx, 0, i, i2));
  EXPECT_LT(DeviationFrom(ctx, f, 100), 0.5L + 100 * ExpansionBound(RangeOn(f)));
}

TEST(ReadPoplaODF, HexagonalDataAreCompletedByOperatorsAndSetTheCrystalClass) {
  const Texture f = texture_test::HexagonalTexture;
  PoplaLayout layout;
  layout.lastSection = 175;
  layout.max2 = 60;
  ODFReadResult r;
  // Completion by rules is asked for; hexagonal data ignore it.
  const OrientationsRec ctx = LoadPopla("hex.odf", f, layout, 1, true, "\r\n", r);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(r.region, (std::array<Real, 3>{180, 90, 60}));
  EXPECT_EQ(ctx.Cryst.SYS, 2);
  EXPECT_EQ(ctx.SYMMETRY, 9);
  ExpectExpandedGrid(ctx);
  for (Int i = 0; i <= 18; ++i)
    for (Int i2 = 0; i2 <= 12; ++i2) ASSERT_EQ(Node(ctx, 36, i, i2), Node(ctx, 0, i, i2));
  // Sixfold rotations, twofold axes at multiples of 30 degrees and the sample axis Z map nodes
  // onto nodes: only the rounding of the file's values remains.
  EXPECT_LE(DeviationFrom(ctx, f, 100), 0.5L + 1e-12L);
}

struct BadFile {
  const char* name;
  ODFFileKind kind;
  std::string text;
  int line;
  std::string message;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

std::string DataLine(const std::string& second = "  10", int values = 19) {
  std::string line = " " + std::string("  10");
  for (int c = 1; c < values; ++c) line += c == 1 ? second : "  10";
  return line;
}

std::vector<std::string> Section(const std::string& header, int dataLines = 19) {
  std::vector<std::string> lines = {"title", header};
  for (int r = 0; r < dataLines; ++r) lines.push_back(DataLine());
  lines.emplace_back();
  return lines;
}

std::string Header(Real section = 0, Real phiStep = 5, Real max2 = 90,
                   const std::string& type = "SODB") {
  return texture_test::PoplaHeader(type, phiStep, 90, 5, max2, section);
}

std::vector<BadFile> BadFiles() {
  const ODFFileKind popla = ODFFileKind::kPopla, mtex = ODFFileKind::kMTEX;
  const ODFFileKind grains = ODFFileKind::kGrains;
  const std::string mtexHeader = "phi1 Phi phi2 value";
  std::vector<std::string> badValue = Section(Header());
  badValue[4] = DataLine("  ab");
  std::vector<std::string> negative = Section(Header());
  negative[20] = DataLine("  -1");
  std::vector<std::string> notANumber = Section(Header());
  notANumber[3] = DataLine(" nan");
  std::vector<std::string> shortLine = Section(Header());
  shortLine[6] = DataLine("  10", 10);
  std::vector<std::string> truncated = Section(Header(), 5);
  truncated.pop_back();
  std::vector<std::string> secondSection = Section(Header());
  std::vector<std::string> bad = Section(Header(5, 5, 90, "SOBD"));
  secondSection.insert(secondSection.end(), bad.begin(), bad.end());
  std::vector<std::string> sectionTwice = Section(Header());
  std::vector<std::string> again = Section(Header());
  again[2] = DataLine("  20");
  sectionTwice.insert(sectionTwice.end(), again.begin(), again.end());
  std::string header = Header();
  const std::string sectionText = header.replace(50, 5, "  abc");
  const std::string tenComments = Lines(std::vector<std::string>(10, "% comment"));
  const std::string grainsHeader = Lines({"popla wts", "grains", "", "phi1 Phi phi2 weight"});

  return {
      {"popla section type", popla, Lines(Section(Header(0, 5, 90, "XXXX"))), 2,
       "unknown section type \"XXXX\""},
      {"popla value", popla, Lines(badValue), 5, "value 2 (columns 6-9) \"  ab\" is not a number"},
      {"popla NaN", popla, Lines(notANumber), 4, "value 2 (columns 6-9) \" nan\" is not a number"},
      {"popla negative", popla, Lines(negative), 21, "is negative"},
      {"popla short line", popla, Lines(shortLine), 7,
       "value 11 (columns 42-45) \"\" is not a number"},
      {"popla truncated", popla, Lines(truncated), 8,
       "ends inside the section whose header is on line 2"},
      {"popla second section", popla, Lines(secondSection), 24, "unknown section type \"SOBD\""},
      {"popla section angle", popla, Lines(Section(sectionText)), 2,
       "section angle (columns 51-55) \"  abc\" is not a number"},
      {"popla section off grid", popla, Lines(Section(Header(400))), 2,
       "section angle 400 lies outside the grid"},
      {"popla Phi step", popla, Lines(Section(Header(0, 50))), 2, "with the Phi step 50"},
      {"popla section between nodes", popla, Lines(Section(Header(2.5))), 2,
       "the section angle 2.5 (columns 51-55) is not a multiple of 5 degrees"},
      {"popla Phi step in radians", popla, Lines(Section(Header(0, 0.1))), 2,
       "the Phi step 0.1 (columns 6-10) is not a multiple of 5 degrees: the values would not lie "
       "on the nodes of the 5-degree grid; the angles look like radians; polydec reads degrees"},
      {"popla section twice", popla, Lines(sectionTwice), 25,
       "the node [phi1,Phi,phi2]=[0,0,5] is given twice with different values: 10 on line 3 and "
       "20 on line 25"},
      {"popla second maximum", popla, Lines(Section(Header(0, 5, 400))), 2,
       "maximum of the second angle 400 lies outside 0..360"},
      {"popla short header", popla, Lines({"title", " SODB  5.0"}), 2,
       "Phi maximum (columns 11-15) \"\" is not a number"},
      {"popla title only", popla, "title\n", 2, "ends after the section title on line 1"},
      {"popla empty", popla, "", 0, "holds no ODF values"},
      {"popla binary", popla, std::string(30000, '\xff'), 1, "longer than 10000 characters"},
      {"mtex header on line 11", mtex, tenComments + mtexHeader + "\n0 0 0 1\n", 0,
       "no header line naming phi1, Phi and phi2 within the first 10 lines"},
      {"mtex word", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 x"}), 3,
       "\"x\" (word 4) is not a number"},
      {"mtex NaN", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 nan"}), 3, "is not a number"},
      {"mtex huge", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 1e5000"}), 3, "is not a number"},
      {"mtex negative", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 -2"}), 3,
       "the ODF value -2 is negative"},
      // Finite in 80 bits, but no texture: the sums would reach files and JSON as infinities.
      {"mtex 1e400", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 1e400"}), 3,
       "the ODF value 1e400 lies beyond 1E100"},
      {"mtex off grid", mtex, Lines({mtexHeader, "0 0 0 1", "365 0 0 1"}), 3,
       "phi1 = 365 lies outside 0..360"},
      {"mtex Phi off grid", mtex, Lines({mtexHeader, "0 -5 0 1"}), 2,
       "Phi = -5 lies outside 0..180"},
      {"mtex few words", mtex, Lines({mtexHeader, "0 0 5"}), 2, "fewer than 4 numbers"},
      {"mtex two decimal commas", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 2,5,1"}), 3,
       "\"2,5,1\" has more than one comma"},
      {"mtex node left out", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 10 1"}), 0,
       "no value for the node [phi1,Phi,phi2]=[0,0,5]"},
      {"mtex header only", mtex, Lines({mtexHeader}), 2, "no ODF values after the header line"},
      // Angles between the nodes would be rounded onto nodes they were not measured at.
      {"mtex angle between nodes", mtex,
       Lines({mtexHeader, "0 0 0 1", "0 0 5 1", "2.5 0 0 1", "5 0 0 1"}), 4,
       "phi1 = 2.5 (word 1) is not on the 5-degree grid (0, 5, 10, ... degrees)"},
      {"mtex radians", mtex,
       Lines({mtexHeader, "0 0 0 1", "0 0 0.087266 1", "0 0 0.174533 1", "1.570796 0 0 1"}), 3,
       "phi2 = 0.087266 (word 3) is not on the 5-degree grid (0, 5, 10, ... degrees); the "
       "angles look like radians; polydec reads degrees"},
      {"mtex cell centres", mtex,
       Lines({mtexHeader, "2.5 2.5 2.5 1", "2.5 2.5 7.5 1", "87.5 87.5 87.5 1"}), 2,
       "phi1 = 2.5 (word 1) is not on the 5-degree grid (0, 5, 10, ... degrees); all of them "
       "lie halfway between the nodes"},
      {"mtex node twice", mtex, Lines({mtexHeader, "0 0 0 1", "0 0 5 99", "0 0 5 0.6261"}), 4,
       "the node [phi1,Phi,phi2]=[0,0,5] is given twice with different values: 99 on line 3 "
       "and 0.6261 on line 4"},
      {"mtex named value column missing", mtex,
       Lines({"Phi phi1 phi2 sigma value", "0 0 0 1"}), 2,
       "the line has no word 5, where the header puts value"},
      {"mtex binary", mtex, std::string("\x01\x02\0\x7f\n\xfe", 6), 0, "no header line"},
      {"grains word", grains, grainsHeader + "10 20 30 1\n10 y 30 1\n", 6,
       "\"y\" (word 2) is not a number"},
      {"grains negative", grains, grainsHeader + "10 20 30 -1\n", 5, "the weight -1 is negative"},
      {"grains 1e400", grains, grainsHeader + "10 20 30 1\n10 20 30 1e400\n", 6,
       "the weight 1e400 lies beyond 1E100"},
      {"grains few words", grains, grainsHeader + "10 20 30\n", 5, "fewer than 4 numbers"},
      {"grains none", grains, grainsHeader + "\n", 0, "holds no grains"},
  };
}

TEST(OdfReaders, BadFilesAreReportedWithLineAndLeaveTheOdfSwitchedOff) {
  for (const BadFile& c : BadFiles()) {
    SCOPED_TRACE(c.name);
    const std::string file = Folder().Write("bad.txt", c.text);
    OrientationsRec ctx;
    ctx.UseODF = true;
    ctx.ODFNUMP = 5;
    const ODFLoadResult r = LoadODF(file, c.kind, false, ctx);
    EXPECT_FALSE(r.read.ok());
    EXPECT_FALSE(r.loaded);
    EXPECT_NE(ctx.error, 0);
    EXPECT_EQ(ctx.error, r.read.status);
    EXPECT_EQ(r.read.line, c.line);
    EXPECT_THAT(r.read.message, HasSubstr(c.message));
    EXPECT_THAT(r.read.Describe(), StartsWith(file));
    EXPECT_FALSE(ctx.UseODF);
    EXPECT_FALSE(ctx.UseGrains);
    EXPECT_EQ(ctx.ODFNUMP, 5);  // a failed read does not declare a grid
    EXPECT_TRUE(ctx.TaylorFactor.empty());
    // Only a line of an MTEX table that cannot be read is a finding a window asks about.
    if (c.kind == ODFFileKind::kMTEX && c.line > 0 &&
        c.message.find("no ODF") == std::string::npos) {
      ASSERT_TRUE(r.read.unreadLine);
      EXPECT_EQ(r.read.unreadLine->line, c.line);
      EXPECT_THAT(UnreadLineQuestion(*r.read.unreadLine),
                  StartsWith("Error reading line " + std::to_string(c.line)));
    } else {
      EXPECT_FALSE(r.read.unreadLine);
    }
  }
  OrientationsRec ctx;
  const ODFReadResult missing = ReadPoplaODF(Folder().File("no such file"), ctx, false);
  EXPECT_THAT(missing.message, HasSubstr("cannot be opened"));
  EXPECT_EQ(ctx.error, 1);
}

// The words of a line, reordered: word k of the result is word order[k] of the line.
std::string Reordered(const std::string& line, const std::vector<int>& order) {
  std::string out;
  for (int k : order) out += (out.empty() ? "" : " ") + core::GetWord(line, k + 1);
  return out;
}

TEST(LoadODFMTEX, NamedColumnsAreReadByTheirNamesInAnyOrderAndSpelling) {
  const std::string standard = texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\n");
  const std::vector<std::string> lines = core::SplitLines(standard);
  OrientationsRec expected;
  expected.Cryst.SYS = polydec::kCubic;
  ASSERT_TRUE(LoadODFMTEX(Folder().Write("standard.txt", standard), expected, false).ok());

  struct Case {
    const char* header;
    std::vector<int> order;  // which standard column each column of the file holds
    bool errorColumn = false;  // a column of errors before the value
  };
  const Case cases[] = {
      {"Phi phi1 phi2 value", {1, 0, 2, 3}},
      {"phi1 phi2 Phi value", {0, 2, 1, 3}},
      {"% phi2 Phi phi1 intensity", {2, 1, 0, 3}},
      {"value phi1 Phi phi2", {3, 0, 1, 2}},
      {"PHI PHI1 PHI2 F", {1, 0, 2, 3}},
      {"\xCE\xA6 \xCF\x86\xE2\x82\x81 \xCF\x86\xE2\x82\x82 f(g)", {1, 0, 2, 3}},  // Φ φ₁ φ₂
      {"phi_2;phi_1;Phi;ODF", {2, 0, 1, 3}},
      {"Phi[deg] phi2[deg] phi1[deg]", {1, 2, 0, 3}},
      {"phi1 Phi phi2 sigma value", {0, 1, 2}, true},
      {"phi1 Phi phi2 v", {0, 1, 2, 3}},
      {"MTEX export: phi1 Phi phi2 value", {0, 1, 2, 3}},  // a description, the usual columns
      // Other spellings amid other words are a comment; the header is the line after it.
      {"% Bunge angles PHI1 PHI PHI2 in degrees\nPhi phi1 phi2 value", {1, 0, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::string text = lines[0] + "\n" + c.header + "\n";
    for (std::size_t k = 2; k < lines.size(); ++k) {
      if (lines[k].empty()) continue;
      // The errors are numbers that would be taken for the values if read by position.
      text += Reordered(lines[k], c.order) +
              (c.errorColumn ? " 0.01 " + core::GetWord(lines[k], 4) : std::string()) + "\n";
    }
    OrientationsRec ctx;
    ctx.Cryst.SYS = polydec::kCubic;
    const ODFReadResult r = LoadODFMTEX(Folder().Write("named.txt", text), ctx, false);
    ASSERT_TRUE(r.ok()) << r.Describe();
      EXPECT_EQ(r.region, (std::array<Real, 3>{90, 90, 90}));
    EXPECT_EQ(ctx.ODF, expected.ODF);
  }
  // An angle between the nodes is named by the column the file has it in.
  const std::string file =
      Folder().Write("named_off.txt", "Phi phi1 phi2 value\n0 0 0 1\n0 2.5 0 1\n");
  OrientationsRec ctx;
  const ODFReadResult r = LoadODFMTEX(file, ctx, false);
  EXPECT_EQ(r.Describe(), file + ", line 3, column 2 (phi1): phi1 = 2.5 (word 2) is not on the "
                                 "5-degree grid (0, 5, 10, ... degrees)");
}

TEST(LoadODFMTEX, HeadersWhoseColumnsCannotBePlacedAreRefusedOnTheirLine) {
  struct Case {
    const char* header;
    std::string message;
  };
  const Case cases[] = {
      {"phi1 Phi phi2 phi value",
       "the header names Phi 2 times (header words: phi1 Phi phi2 phi value): the columns cannot "
       "be told apart"},
      {"phi1 Phi phi2 f value", "the header names value 2 times"},
      {"Euler angles Phi phi1 phi2 value",
       "the header names the angles after other words and not in the order phi1 Phi phi2 (header "
       "words: Euler angles Phi phi1 phi2 value): the columns cannot be placed"},
  };
  OrientationsRec held;
  SizeODFArrays(held);
  std::fill(held.ODF.begin(), held.ODF.end(), Real{7});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const std::string file =
        Folder().Write("header.txt", "% exported\n" + std::string(c.header) + "\n0 0 0 1\n");
    OrientationsRec ctx = held;
    const ODFReadResult r = LoadODFMTEX(file, ctx, false);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.line, 2);
    EXPECT_THAT(r.message, HasSubstr(c.message));
    EXPECT_THAT(r.Describe(), StartsWith(file + ", line 2"));
      EXPECT_EQ(ctx.ODF, held.ODF);  // refused before the grid is touched
  }
}

TEST(OdfReaders, ANodeGivenTwiceWithTheSameValueIsRead) {
  const std::string mtex = Folder().Write(
      "same.txt", "phi1 Phi phi2 value\n0 0 0 2\n0 0 5 3\n0 0 5 3.0\n0 0 10 4\n");
  OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kIsotropicClass;
  const ODFReadResult r = LoadODFMTEX(mtex, ctx, false);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(Node(ctx, 0, 0, 1), 3);

  std::vector<std::string> lines = Section(Header());
  const std::vector<std::string> again = Section(Header());
  lines.insert(lines.end(), again.begin(), again.end());
  OrientationsRec popla;
  const ODFReadResult p = ReadPoplaODF(Folder().Write("same_popla.txt", Lines(lines)), popla, false);
  ASSERT_TRUE(p.ok()) << p.Describe();
  EXPECT_EQ(Node(popla, 0, 0, 1), 10);
}

TEST(LoadODFMTEX, AnUnreadableLineRefusesTheTableOrEndsItAsAsked) {
  const std::string file = Folder().Write(
      "yes.txt", "phi1 Phi phi2 value\r\n0 0 0 2\r\n0 0 5 3\r\n0 0 10 x y\r\n0 0 15 4\r\n");
  OrientationsRec refused;
  const ODFReadResult no = LoadODFMTEX(file, refused, false);
  EXPECT_FALSE(no.ok());
  EXPECT_EQ(no.line, 4);
  ASSERT_TRUE(no.unreadLine);
  EXPECT_EQ(UnreadLineQuestion(*no.unreadLine), "Error reading line 4: 0 0 10 x y. Continue?");
  EXPECT_FALSE(refused.UseODF);

  OrientationsRec ctx;
  ctx.Cryst.SYS = polydec::kIsotropicClass;  // the identity alone: a quick expansion
  const ODFReadResult r = LoadODFMTEX(file, ctx, false, UnreadLines::kKeepWhatWasRead);
  ASSERT_TRUE(r.ok()) << r.Describe();
  ASSERT_TRUE(r.unreadLine);
  EXPECT_EQ(r.unreadLine->line, 4);
  EXPECT_EQ(r.valuesRead, 2);
  EXPECT_EQ(r.region, (std::array<Real, 3>{0, 0, 5}));
  EXPECT_EQ(Node(ctx, 0, 0, 0), 2);
  EXPECT_EQ(Node(ctx, 0, 0, 1), 3);
  EXPECT_EQ(ctx.SYMMETRY, 7);
  EXPECT_TRUE(ctx.UseODF);
  ExpectNodeCounts(ctx, 73, 37, 73);
}

TEST(OdfReaders, FailedReadsKeepWhatTheirDescriptionKeeps) {
  OrientationsRec held;
  SizeODFArrays(held);
  std::fill(held.ODF.begin(), held.ODF.end(), Real{7});
  held.ODFNUMP = kODFNodeCount;
  held.maxphi1 = 360;

  // No MTEX header: nothing is touched.
  OrientationsRec ctx = held;
  LoadODFMTEX(Folder().Write("nohead.txt", "0 0 0 1\n"), ctx, false);
  EXPECT_EQ(ctx.ODF, held.ODF);

  // A file that is no popla file from its first header on leaves the ODF held.
  ctx = held;
  ReadPoplaODF(Folder().Write("notpopla.txt", Lines(Section(Header(0, 5, 90, "XXXX")))), ctx,
               false);
  EXPECT_EQ(ctx.ODF, held.ODF);

  // A popla file failing in its second section keeps the first; the older ODF is gone.
  std::vector<std::string> lines = Section(Header());
  std::vector<std::string> bad = Section(Header(5));
  bad[10] = DataLine(" bad");
  lines.insert(lines.end(), bad.begin(), bad.end());
  ctx = held;
  const ODFReadResult r = ReadPoplaODF(Folder().Write("second.txt", Lines(lines)), ctx, false);
  EXPECT_EQ(r.line, 33);
  EXPECT_EQ(Node(ctx, 0, 18, 18), 10);
  EXPECT_EQ(Node(ctx, 1, 7, 0), 10);  // section 5, lines before the bad one
  EXPECT_EQ(Node(ctx, 1, 8, 1), 0);
  EXPECT_EQ(Node(ctx, 30, 0, 0), 0);
  EXPECT_EQ(ctx.ODFNUMP, kODFNodeCount);
  EXPECT_EQ(ctx.maxphi1, 360);

  // MTEX refused at a line: the grid was cleared, the rest of the context is kept.
  ctx = held;
  LoadODFMTEX(Folder().Write("no.txt", "phi1 Phi phi2 v\n0 0 0 3\nbad\n"), ctx, false);
  EXPECT_EQ(Node(ctx, 0, 0, 0), 3);
  EXPECT_EQ(Node(ctx, 0, 0, 1), 0);
  EXPECT_EQ(ctx.ODFNUMP, kODFNodeCount);
}

TEST(CheckODF, FindsZeroAndRepeatedNodesInNodeOrder) {
  OrientationsRec ctx;
  SizeODFArrays(ctx);
  for (std::size_t n = 0; n < ctx.ODF.size(); ++n) ctx.ODF[n] = static_cast<Real>(n + 1);
  ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(0, 0, 10))] = 0;
  ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(0, 0, 11))] = 0;
  ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(2, 3, 5))] =
      ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(2, 3, 4))];

  const ODFCheckSummary s = ScanODF(ctx, 10);
  EXPECT_EQ(s.zeroNodes, 2);
  EXPECT_EQ(s.equalNodes, 2);
  ASSERT_EQ(s.listed.size(), 4u);
  ASSERT_TRUE(s.firstZero && s.firstEqual);
  EXPECT_EQ(s.firstZero->i2, 10);
  EXPECT_EQ(s.firstEqual->i2, 11);
  EXPECT_EQ(ScanODF(ctx, 1).listed.size(), 1u);

  const std::vector<std::string> expected = {
      "ODF has zero intensity for [phi1,phi,phi2]=[0,0,10]. Check sample symmetry. Exit now?",
      "ODF has zero intensity for [phi1,phi,phi2]=[0,0,11]. Check sample symmetry. Exit now?",
      "ODF has equal intensities for [phi1,phi,phi2]=[0,0,11] and the preceeding value. Check "
      "sample symmetry. Exit now? Click No (to all) to continue (recommended).",
      "ODF has equal intensities for [phi1,phi,phi2]=[2,3,5] and the preceeding value. Check "
      "sample symmetry. Exit now? Click No (to all) to continue (recommended).",
  };
  EXPECT_EQ(FindingQuestions(ctx), expected);
  int visited = 0;
  VisitODFFindings(ctx, [&](const ODFFinding&) { return ++visited < 2; });
  EXPECT_EQ(visited, 2) << "the walk ends where the visitor says";

  for (std::size_t n = 0; n < ctx.ODF.size(); ++n) ctx.ODF[n] = static_cast<Real>(n + 1);
  EXPECT_TRUE(FindingQuestions(ctx).empty());
}

// Equal neighbours a sound ODF holds (a uniform texture, a rounded flat background, the rows
// of Phi = 0) are no sign of a faulty export; a value repeated in the middle of a slope is.
TEST(ScanODFForCopiedValues, FindsOnlyAValueRepeatedInASlope) {
  OrientationsRec ctx;
  SizeODFArrays(ctx);
  for (Real& x : ctx.ODF) x = 1;
  EXPECT_EQ(ScanODFForCopiedValues(ctx).nodes, 0);
  // A texture rising along phi2 everywhere, flat (rounded) at its floor where phi2 < 20 degrees.
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2)
        ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(i1, i, i2))] =
            i2 < 4 ? 1 : 1 + 0.1L * (i2 - 3) + 0.01L * i;
  EXPECT_EQ(ScanODFForCopiedValues(ctx).nodes, 0);
  ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(3, 7, 30))] =
      ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(3, 7, 29))];
  const ODFRepeatSummary found = ScanODFForCopiedValues(ctx);
  EXPECT_EQ(found.nodes, 1);
  ASSERT_TRUE(found.first);
  EXPECT_EQ(found.first->i1, 3);
  EXPECT_EQ(found.first->i, 7);
  EXPECT_EQ(found.first->i2, 30);
}

TEST(LoadODF, DeclaresTheGridCompleteAndLeavesTheFindingsToTheWindow) {
  const std::string file = Folder().Write("partial.txt", "phi1 Phi phi2 value\n0 0 0 2\n");
  OrientationsRec ctx;
  const ODFLoadResult r = LoadODF(file, ODFFileKind::kMTEX, false, ctx);
  EXPECT_TRUE(r.read.ok());
  EXPECT_TRUE(r.loaded);
  EXPECT_EQ(ctx.ODFNUMP, kODFNodeCount);
  EXPECT_EQ(ctx.TaylorFactor.size(), static_cast<std::size_t>(kODFNodeCount));
  EXPECT_FALSE(FindingQuestions(ctx).empty());
}

TEST(ReadWtsFile, ReadsGrainsInRadiansAndKeepsThemOnFailure) {
  const std::string header = "popla wts\r\ngrains\r\n\r\nphi1 Phi phi2 weight\r\n";
  const std::string good =
      Folder().Write("g.wts", header + "90 45 30 2.5\r\n\r\n0 180 360 0\r\n10,20,30,1\r\n");
  OrientationsRec ctx;
  ODFLoadResult r = LoadODF(good, ODFFileKind::kGrains, false, ctx);
  ASSERT_TRUE(r.read.ok()) << r.read.Describe();
  EXPECT_TRUE(ctx.UseGrains);
  // Without an ODF held the command still reports that no ODF was read.
  EXPECT_FALSE(r.loaded);
  const core::GrainOrientations& g = ctx.GOrient;
  ASSERT_EQ(g.phi1.size(), 3u);
  EXPECT_EQ(g.weight.size(), 3u);
  EXPECT_EQ(g.Ephi1.size(), 1000u);
  EXPECT_NEAR(g.phi1[0], core::kPi / 2, 1e-18L);
  EXPECT_NEAR(g.phi[0], core::kPi / 4, 1e-18L);
  EXPECT_NEAR(g.phi2[1], 2 * core::kPi, 1e-18L);
  EXPECT_EQ(g.weight[0], 2.5L);
  EXPECT_EQ(g.weight[2], 1);

  const ODFReadResult tooMany = readwtsfile(good, ctx, 2);
  EXPECT_EQ(tooMany.line, 8);
  EXPECT_THAT(tooMany.message, HasSubstr("more than 2 grains"));
  EXPECT_EQ(ctx.GOrient.phi1.size(), 3u);

  std::string many = header;
  for (int k = 0; k < 1500; ++k) many += std::to_string(k % 360) + " 10 20 1\n";
  ASSERT_TRUE(readwtsfile(Folder().Write("many.wts", many), ctx).ok());
  EXPECT_EQ(ctx.GOrient.phi1.size(), 1500u);
  EXPECT_EQ(ctx.GOrient.a.size(), 2000u);
}

// Lines 1 to 4 are the header whatever their words (a popla header's cell line is numbers);
// a header line shaped like the grains says the header is missing or short, and the file is
// refused at that line instead of reading a header as a grain or skipping grains.
TEST(ReadWtsFile, TheFourHeaderLinesAreNeverGrains) {
  struct Case {
    std::string text;
    std::size_t grains;  // 0: refused
    Real firstPhi1;      // degrees
    int line;            // the line a refusal names
    std::string says;
  };
  const Case cases[] = {
      {"title\n1.0 1.0 1.0 90.0 90.0 90.0\nBunge\nphi1 Phi phi2 w\n10 20 30 1\n40 50 60 2\n"
       "70 80 90 1\n",
       3, 10, 0, ""},
      {"header\nweights\n\nphi1 Phi phi2 w\n5 6 7 1\n", 1, 5, 0, ""},
      {"10 20 30 1\n40 50 60 2\n70 80 90 1\n15 25 35 1\n45 55 65 1\n", 0, 0, 1,
       "line 1 reads as a grain"},
      {"my grains\n10 20 30 1\n40 50 60 2\n70 80 90 1\n15 25 35 1\n", 0, 0, 2,
       "line 2 reads as a grain"},
      {"my grains\n10 20 30 1\n40 50 60 2\n", 0, 0, 2, "line 2 reads as a grain"},
      {"title\nBunge\ncubic\n", 0, 0, 3, "ends at line 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    OrientationsRec ctx;
    const ODFReadResult r = readwtsfile(Folder().Write("h.wts", c.text), ctx);
    if (c.grains == 0) {
      EXPECT_FALSE(r.ok());
      EXPECT_EQ(r.line, c.line);
      EXPECT_THAT(r.message, HasSubstr(c.says));
      EXPECT_TRUE(ctx.GOrient.phi1.empty());
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.Describe();
    ASSERT_EQ(ctx.GOrient.phi1.size(), c.grains);
    EXPECT_NEAR(ctx.GOrient.phi1[0], c.firstPhi1 * core::kPi / 180, 1e-18L);
    for (Real w : ctx.GOrient.weight) EXPECT_LE(w, 2);
  }
}

}  // namespace
}  // namespace polydec::texture

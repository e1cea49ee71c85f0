// Stress factor files placed into the worksheet: the rows of each level, the cells a short line
// leaves empty, and the files refused (with what they leave behind).
#include "stress/sff_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "stress/worksheet_cells.h"
#include "support/file_helpers.h"

namespace polydec::stress {
namespace {

namespace fs = std::filesystem;

class SffFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    file_ = fs::temp_directory_path() / ("polydec_sff_" + std::to_string(rd()) + ".sff");
    NewWorksheet(g_);
    // Measured spacings the load must not touch.
    for (int r = 1; r <= 8; ++r) g_.SetCell(5, r, "1.17" + std::to_string(r));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(file_, ec);
  }
  SffLoad Load(const std::string& text) {
    test::WriteFile(file_, text);
    return LoadStressFactorFile(file_.string(), g_, "2 1 1 4 1 1 1");
  }
  const std::string& Cell(const std::string& col, int row) const {
    return g_.Cell(g_.ColumnOf(col), row);
  }

  fs::path file_;
  core::CellTable g_;
};

// Two levels of three directions (one outer step).
const char* const kTwoLevels =
    "odfs\tlevelA.odf\tlevelB.odf\r\n"
    "levels\t2\r\n"
    "outer\t1\r\n"
    "inner\t3\r\n"
    "labels\tL1\tL2\r\n"
    "phi psi F11 F22 F33 F23 F13 F12 eps0 ...\r\n"
    "0 10 -1.1 0.41 0.42 0.01 0.02 0.03 1e-4 0 10 -2.1 1.41 1.42 1.01 1.02 1.03 2e-4\r\n"
    "0 20 -1.2 0.41 0.42 0.01 0.02 0.03 1e-4 0 20 -2.2 1.41 1.42 1.01 1.02 1.03 2e-4\r\n"
    "0 30 -1.3 0.41 0.42 0.01 0.02 0.03 1e-4 0 30 -2.3 1.41 1.42 1.01 1.02 1.03 2e-4\r\n";

TEST_F(SffFileTest, EachLevelFillsItsOwnBlockOfRows) {
  const SffLoad load = Load(kTwoLevels);
  ASSERT_FALSE(load.error) << load.error->Describe();
  EXPECT_EQ(g_.rows, 8) << "header, six rows, one spare";
  for (int m = 1; m <= 3; ++m) {
    SCOPED_TRACE(m);
    const std::string psi = std::to_string(10 * m);
    EXPECT_EQ(g_.Cell(0, m), std::to_string(m));
    EXPECT_EQ(Cell("#", m), "L1");
    EXPECT_EQ(Cell("#", 3 + m), "L2");
    EXPECT_EQ(Cell("h k l", m), "2 1 1 4 1 1 1 levelA.odf");
    EXPECT_EQ(Cell("h k l", 3 + m), "2 1 1 4 1 1 1 levelB.odf");
    EXPECT_EQ(Cell("psi", m), psi);
    EXPECT_EQ(Cell("psi", 3 + m), psi);
    EXPECT_EQ(Cell("F11", m), "-1." + std::to_string(m));
    EXPECT_EQ(Cell("F11", 3 + m), "-2." + std::to_string(m));
    EXPECT_EQ(Cell("F12", 3 + m), "1.03");
    EXPECT_EQ(Cell("eps0", m), "1e-4");
    EXPECT_EQ(Cell("eps0", 3 + m), "2e-4");
    EXPECT_EQ(g_.Cell(5, m), "1.17" + std::to_string(m)) << "d is not the file's";
  }
}

TEST_F(SffFileTest, MissingWordsGiveEmptyCells) {
  // Line 1 names one level of two; the second data line holds the first level only.
  std::string text = kTwoLevels;
  text.replace(0, text.find("\r\n"), "odfs levelA.odf");
  const std::size_t second = text.find("0 20");
  text.replace(second, text.find("\r\n", second) - second, "0 20 -1.2 0.41 0.42 0 0 0 0");
  ASSERT_FALSE(Load(text).error);
  EXPECT_EQ(Cell("h k l", 4), "2 1 1 4 1 1 1 ");
  EXPECT_EQ(Cell("F11", 2), "-1.2");
  for (const char* col : {"phi", "psi", "F11", "F12", "eps0"}) EXPECT_EQ(Cell(col, 5), "") << col;
  EXPECT_EQ(Cell("F11", 6), "-2.3");
}

TEST_F(SffFileTest, BadCountsAreRefusedBeforeAnythingChanges) {
  const struct Case {
    const char* name;
    int line;
    const char* key;  // the count line that is replaced
    const char* replace;
  } cases[] = {{"no integer", 3, "outer", "outer\t1.5"},
               {"missing", 4, "inner", "inner"},
               {"zero", 2, "levels", "levels\t0"},
               {"negative", 4, "inner", "inner\t-3"},
               {"too many rows", 2, "levels", "levels\t99999"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = kTwoLevels;
    const std::size_t at = text.find(c.key);
    text.replace(at, text.find("\r\n", at) - at, c.replace);
    const SffLoad load = Load(text);
    ASSERT_TRUE(load.error);
    EXPECT_EQ(load.error->line, c.line);
    EXPECT_EQ(load.error->message.rfind(kSffCountMessage, 0), 0u) << load.error->message;
    EXPECT_FALSE(load.sheetChanged);
    EXPECT_EQ(g_.rows, kWorksheetRows);
    EXPECT_EQ(Cell("#", 1), " ");
  }
}

TEST_F(SffFileTest, AShortFileNamesTheMissingLineAndKeepsTheRowsItFilled) {
  std::string text = kTwoLevels;
  text.erase(text.find("0 30"));
  const SffLoad load = Load(text);
  ASSERT_TRUE(load.error);
  EXPECT_EQ(load.error->file, file_.string());
  EXPECT_EQ(load.error->line, 9);
  EXPECT_NE(load.error->message.find("first 2 of 3 rows"), std::string::npos)
      << load.error->message;
  EXPECT_EQ(load.linesPlaced, 2);
  EXPECT_EQ(Cell("psi", 2), "20");
  EXPECT_EQ(Cell("psi", 5), "20");
  EXPECT_EQ(Cell("psi", 3), " ") << "the third direction was never in the file";

  // A file that ends within its heading lines changes nothing.
  NewWorksheet(g_);
  const SffLoad head = Load("odfs a\nlevels 1\nouter 1\ninner 1\n");
  ASSERT_TRUE(head.error);
  EXPECT_EQ(head.error->line, 5);
  EXPECT_FALSE(head.sheetChanged);
  EXPECT_EQ(g_.rows, kWorksheetRows);
}

// A word that is no number or lies beyond what a measurement can be would reach the cells and
// the saved files as "INF" or as text: the line is refused at the word, keeping the rows the
// lines before it filled.
TEST_F(SffFileTest, AWordThatIsNoMeasurementIsRefusedWithLineAndColumn) {
  const struct Case {
    const char* word;  // in place of the second line's F22 of level 2 (word 13)
    const char* says;
  } cases[] = {{"nan", "F22 of level 2 (\"nan\") is not a number"},
               {"inf", "F22 of level 2 (\"inf\") is not a number"},
               {"1e400", "F22 of level 2 (1e400) lies beyond 1E100"},
               {"0.4x", "F22 of level 2 (\"0.4x\") is not a number"},
               {"1e99999", "F22 of level 2 (\"1e99999\") is not a number"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    NewWorksheet(g_);
    const std::string before = Cell("F22", 5);
    std::string text = kTwoLevels;
    const std::size_t at = text.find("-2.2 1.41");
    text.replace(at + 5, 4, c.word);
    const SffLoad load = Load(text);
    ASSERT_TRUE(load.error);
    EXPECT_EQ(load.error->Describe(),
              file_.string() + ", line 8, column 13: " + c.says +
                  "; of each level only the first 1 of 3 rows were filled (level 1: rows 1 to "
                  "1), the other rows are as they were");
    EXPECT_EQ(load.linesPlaced, 1);
    EXPECT_EQ(Cell("F22", 5), before) << "the refused line placed nothing";
    EXPECT_EQ(Cell("F22", 4), "1.41") << "the line before it did";
  }
  NewWorksheet(g_);
  std::string angle = kTwoLevels;
  angle.replace(angle.find("0 30 -1.3"), 4, "0 361");
  const SffLoad far = Load(angle);
  ASSERT_TRUE(far.error);
  EXPECT_EQ(far.error->line, 9);
  EXPECT_EQ(far.error->column, 2);
  EXPECT_NE(far.error->message.find("psi of level 1 (361) lies beyond 360 degrees"),
            std::string::npos)
      << far.error->message;
}

TEST(FillFij, AnEmptyRecordChangesNothing) {
  core::CellTable g;
  NewWorksheet(g);
  const core::CellTable before = g;
  EXPECT_FALSE(FillFij(FijDataRec{}, 0.05L, g));
  EXPECT_EQ(g.cells, before.cells);
}

}  // namespace
}  // namespace polydec::stress

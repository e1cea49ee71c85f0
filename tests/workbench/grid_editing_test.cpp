// The grids as a small spreadsheet, run headless: cell formulas, Enter and Ctrl+Enter, copy,
// cut, delete and paste through a scripted clipboard, the growth of a grid under a pasted
// block, the worksheet's right-click menu; and the results table that the worksheet's result
// block feeds.
#include "workbench/grid_editing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;
using core::Real;

TEST(FormulaParts, OperatorAndReferenceCount) {
  struct Case {
    const char* e;
    bool calculation;
    char op;
    int position;
    int references;
  };
  const Case cases[] = {
      {"A1+2", true, '+', 3, 1},   {"A1*B1", true, '*', 3, 2},   {"A1*A2", true, '*', 3, 2},
      {"B1*A1", true, '*', 3, 3},  {"B1+C1", true, '+', 3, 2},   {"A1-2", true, '-', 3, 1},
      {"C2/B10", true, '/', 3, 3}, {"5", false, '*', 0, 0},      {"-5", false, '-', 1, 0},
      {"2+3", false, '+', 2, 0},   {"a1*2", false, '*', 3, 0},   {"A1", false, '*', 0, 1},
      {"", false, '*', 0, 0},      {"A1+B1-2", true, '+', 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.e);
    const FormulaOperation f = FormulaOperator(c.e);
    EXPECT_EQ(f.calculation, c.calculation);
    EXPECT_EQ(f.op, c.op);
    EXPECT_EQ(f.position, c.position);
    EXPECT_EQ(FormulaReferenceCount(c.e), c.references);
  }
}

TEST(ClipboardText, EveryTabEndsOneCell) {
  using Block = std::vector<std::vector<std::string>>;
  EXPECT_EQ(ClipboardBlock("a\t\tb"), (Block{{"a", "", "b"}}));
  EXPECT_EQ(ClipboardBlock("\ta\t"), (Block{{"", "a", ""}}));
  // Line ends of every system; the last one adds no line, an empty line is one empty cell.
  EXPECT_EQ(ClipboardBlock("1\t2\r\n\r\n3\t 4\n"), (Block{{"1", "2"}, {""}, {"3", " 4"}}));
  EXPECT_EQ(ClipboardBlock("x\ry"), (Block{{"x"}, {"y"}}));
  EXPECT_TRUE(ClipboardBlock("").empty());
}

class GridEditingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_grid_editing_");
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    form().GridOf("ResultsGrid");  // present from the start
    services_.messages.clear();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  Form& form() { return m_->form; }
  Grid& sheet() { return form().GridOf("StrainGrid"); }
  // Selects the range as a user would: the current cell first (which remembers its text),
  // then the rectangle around it.
  void Select(int left, int top, int right, int bottom, const std::string& grid = "StrainGrid") {
    Grid& g = form().GridOf(grid);
    m_->StringGridSelectCell(grid, left, top);
    g.Select(left, top);
    g.selRight = right;
    g.selBottom = bottom;
  }
  // Types a formula into the current cell and presses Ctrl+Enter.
  void Formula(const std::string& text, const std::string& grid = "StrainGrid") {
    Grid& g = form().GridOf(grid);
    g.SetCell(g.col, g.row, text);
    EXPECT_TRUE(m_->StringGridKeyDown(grid, kKeyEnter, kModCtrl));
  }
  void Column(int col, int top, const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i)
      sheet().SetCell(col, top + static_cast<int>(i), texts[i]);
  }
  std::vector<std::string> ColumnTexts(int col, int top, int count) {
    std::vector<std::string> texts;
    for (int r = top; r < top + count; ++r) texts.push_back(sheet().Cell(col, r));
    return texts;
  }

  fs::path dir_;
  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
};

using Texts = std::vector<std::string>;

TEST_F(GridEditingTest, FormulasOverTheSelection) {
  struct Case {
    const char* name;
    const char* formula;
    Texts expected;  // cells (1, 1) .. (1, 3) afterwards
  };
  // Columns 1, 2, 3 of rows 1..3: 1 2 3 / 10 20 30 / 0.5 0 x.
  const Case cases[] = {
      {"a reference and a number", "=A1*2", {"2.000000", "4.000000", "6.000000"}},
      {"two references", "=B1+C1", {"10.500000", "20.000000", "Error!"}},
      {"division by zero is an error, the loop goes on",
       "=B1/C1",
       {"20.000000", "Error!", "Error!"}},
      {"a number fills the range", "=5", {"5", "5", "5"}},
      {"a minus without a letter is no calculation", "=-5", {"-5", "-5", "-5"}},
      {"a later letter first computes nothing", "=B1*A1", {"1", "2", "3"}},
      {"a reference outside the grid reads as no number",
       "=A999+1",
       {"Error!", "Error!", "Error!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Column(1, 1, {"1", "2", "3"});
    Column(2, 1, {"10", "20", "30"});
    Column(3, 1, {"0.5", "0", "x"});
    Select(1, 1, 1, 3);
    Formula(c.formula);
    EXPECT_EQ(ColumnTexts(1, 1, 3), c.expected);
    // The cursor has gone one row down from the formula's cell.
    EXPECT_EQ(sheet().row, 2);
    EXPECT_EQ(sheet().col, 1);
  }
  // A blank or a letter in a referenced cell is no number.
  Column(4, 1, {" ", "q"});
  Select(1, 1, 1, 2);
  Formula("=D1-1");
  EXPECT_EQ(ColumnTexts(1, 1, 2), (Texts{"Error!", "Error!"}));
}

TEST_F(GridEditingTest, FormulaReadsCellsTheLoopHasAlreadyWritten) {
  // Typed into row 2 of a range of rows 2..4 and naming the row above, the formula counts on
  // down the column: each cell reads the one the loop wrote just before.
  Column(1, 1, {"1", "old", "old", "old"});
  Select(1, 2, 1, 4);
  Formula("=A1+1");
  EXPECT_EQ(ColumnTexts(1, 1, 4), (Texts{"1", "2.000000", "3.000000", "4.000000"}));
}

TEST_F(GridEditingTest, FormulaWithABadRowNumberStopsWithAMessage) {
  Column(1, 1, {"7"});
  Select(1, 1, 1, 1);
  Formula("=B1x+C1");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("\"1x\" is not a row number"), std::string::npos);
  // The cell has its text from before the formula back, and the cursor has moved.
  EXPECT_EQ(sheet().Cell(1, 1), "7");
  EXPECT_EQ(sheet().row, 2);
}

TEST_F(GridEditingTest, EnterAndCtrlEnterMoveTheCursor) {
  Grid& twin = form().GridOf("TwinFractionGrid");
  const int last = twin.rows - 1;
  Select(2, 4, 2, 4, "TwinFractionGrid");
  m_->StringGridKeyPress("TwinFractionGrid", '\r');
  EXPECT_EQ(twin.row, 5);
  Select(2, last, 2, last, "TwinFractionGrid");
  m_->StringGridKeyPress("TwinFractionGrid", '\r');
  EXPECT_EQ(twin.row, last);
  // Ctrl+Enter on the last row moves one row up; the move remembers the new cell's text.
  twin.SetCell(2, last - 1, "above");
  Formula("=7", "TwinFractionGrid");
  EXPECT_EQ(twin.row, last - 1);
  EXPECT_EQ(m_->RememberedCellText, "above");
  EXPECT_EQ(twin.Cell(2, last), "7");
  // Ctrl+Enter without a formula in the cell does nothing.
  Select(2, 3, 2, 3, "TwinFractionGrid");
  Formula("no formula", "TwinFractionGrid");
  EXPECT_EQ(twin.row, 3);
  EXPECT_EQ(twin.Cell(2, 3), "no formula");
}

TEST_F(GridEditingTest, CopyCutAndDeleteLeaveTheMessagesAlone) {
  form()["Memo1"].lines = {"Calc Stress: 2 data sets"};
  Column(1, 1, {"a", "d"});
  Column(2, 1, {"b", "e"});
  Column(3, 1, {"c", "f"});
  Select(1, 1, 3, 2);
  EXPECT_TRUE(m_->StringGridKeyDown("StrainGrid", kKeyC, kModCtrl));
  EXPECT_EQ(services_.clipboard, "a\tb\tc\nd\te\tf\n");
  EXPECT_EQ(ColumnTexts(1, 1, 2), (Texts{"a", "d"}));

  services_.clipboard.clear();
  Select(2, 1, 3, 2);
  EXPECT_TRUE(m_->StringGridKeyDown("StrainGrid", kKeyX, kModCtrl));
  EXPECT_EQ(services_.clipboard, "b\tc\ne\tf\n");
  EXPECT_EQ(ColumnTexts(2, 1, 2), (Texts{" ", " "}));
  EXPECT_EQ(ColumnTexts(3, 1, 2), (Texts{" ", " "}));

  // Delete, with or without modifier keys, blanks the selection and leaves the clipboard.
  Select(1, 1, 1, 2);
  EXPECT_TRUE(m_->StringGridKeyDown("StrainGrid", kKeyDelete, kModShift));
  EXPECT_EQ(ColumnTexts(1, 1, 2), (Texts{" ", " "}));
  EXPECT_EQ(services_.clipboard, "b\tc\ne\tf\n");

  // Other keys are the grid's own; every key switches cell editing on, a mouse press off.
  m_->StringGridMouseDown("StrainGrid");
  EXPECT_FALSE(sheet().cellEditing);
  EXPECT_FALSE(m_->StringGridKeyDown("StrainGrid", kKeyC, 0));
  EXPECT_TRUE(sheet().cellEditing);
  EXPECT_EQ(form()["Memo1"].lines, Texts{"Calc Stress: 2 data sets"});
}

TEST_F(GridEditingTest, PasteKeepsEmptyCellsInPlace) {
  form()["Memo1"].lines = {"kept"};
  // The block lands at the current cell, whatever else is selected.
  Select(2, 3, 5, 6);
  services_.clipboard = "a\t\tb\r\n\tc\r\n";
  EXPECT_TRUE(m_->StringGridKeyDown("StrainGrid", kKeyV, kModCtrl));
  EXPECT_EQ(sheet().Cell(2, 3), "a");
  EXPECT_EQ(sheet().Cell(3, 3), "");
  EXPECT_EQ(sheet().Cell(4, 3), "b");
  EXPECT_EQ(sheet().Cell(2, 4), "");
  EXPECT_EQ(sheet().Cell(3, 4), "c");
  EXPECT_EQ(sheet().Cell(4, 4), " ");  // beyond the line: untouched
  EXPECT_EQ(form()["Memo1"].lines, Texts{"kept"});

  // A copied range pastes back as it was.
  Select(2, 3, 4, 4);
  m_->Run("Copy1Click");
  const std::string copied = services_.clipboard;
  m_->Run("Cut1Click");
  EXPECT_EQ(sheet().Cell(2, 3), " ");
  services_.clipboard = copied;
  Select(2, 3, 2, 3);
  m_->Run("Paste1Click");
  EXPECT_EQ(sheet().Cell(4, 3), "b");
  EXPECT_EQ(sheet().Cell(3, 4), "c");
  EXPECT_EQ(sheet().Cell(2, 4), "");
}

TEST_F(GridEditingTest, PasteGrowsTheGrid) {
  struct Case {
    int col, row;
    const char* text;
    int cols, rows;
  };
  const Case cases[] = {
      {31, 5, "1\t2\t3", 35, 400},  // reaching the last column adds one spare column
      {30, 5, "1\t2\t3", 34, 400},
      {2, 398, "1\n2", 34, 400},  // fits
      {2, 399, "1\n2", 34, 402},  // does not fit: one spare row
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(c.col) + "," +
                 std::to_string(c.row));
    m_->InitWorksheet();
    Select(c.col, c.row, c.col, c.row);
    services_.clipboard = c.text;
    m_->StringGridPasteFromClipBoard("StrainGrid");
    EXPECT_EQ(sheet().cols, c.cols);
    EXPECT_EQ(sheet().rows, c.rows);
    EXPECT_EQ(sheet().Cell(c.col, c.row), "1");
    EXPECT_EQ(sheet().Cell(0, sheet().rows - 1), std::to_string(sheet().rows - 1));
  }
  // A block that would need more cells than a grid may hold is refused, and says so.
  m_->InitWorksheet();
  Select(1, 1, 1, 1);
  std::string huge;
  for (int i = 0; i < 40000; ++i) huge += "1\n";
  services_.clipboard = huge;
  services_.messages.clear();
  m_->StringGridPasteFromClipBoard("StrainGrid");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("Nothing was pasted"), std::string::npos);
  EXPECT_EQ(sheet().rows, 400);
  EXPECT_EQ(sheet().Cell(1, 1), " ");
}

// A worksheet in the S1 notation with two data sets: ten directions labelled 1 and six
// labelled 2, spacings from a biaxial stress with a small alternating error so that chisq is
// not zero.
class ResultsTableTest : public GridEditingTest {
 protected:
  void SetUp() override {
    GridEditingTest::SetUp();
    form().SetChecked("UseFij", false);
    m_->Run("UseFijClick");
    const Real s1 = -1.25e-6L, s2 = 5.8e-6L, d0 = 1.17L;
    int r = 0;
    for (int set = 1; set <= 2; ++set)
      for (const int phi : {0, 90})
        for (const int psi : {0, 20, 35, 45, 60}) {
          // Set 2: four rows, one of them at phi = 90 so that sig_yy is determined.
          if (set == 2 && ((phi == 0 && psi >= 45) || (phi == 90 && psi != 45))) continue;
          ++r;
          const Real cp = phi == 0 ? 1 : 0, sp = 1 - cp;
          const Real sin2 = std::pow(std::sin(psi * core::kPi / 180), 2);
          const Real sxx = 200 * set, syy = 50;
          const Real eps = s1 * (sxx + syy) + s2 * (sxx * cp + syy * sp) * sin2;
          const Real d = d0 * (1 + eps) + (r % 2 ? 2e-5L : -2e-5L);
          const std::vector<std::string> cells = {std::to_string(set),
                                                  "2 1 1",
                                                  std::to_string(phi),
                                                  std::to_string(psi),
                                                  core::FormatFixed(d, 8, 7),
                                                  "0.00001",
                                                  "1.17",
                                                  "0.0001",
                                                  "-1.25",
                                                  "5.8"};
          for (std::size_t k = 0; k < cells.size(); ++k)
            sheet().SetCell(static_cast<int>(k) + 1, r, cells[k]);
        }
  }
  const std::string& Result(int row, int col) {
    return form().GridOf("ResultsGrid").Cell(col, row);
  }
  // The reduced chisq shown for a result row, against the chisq written in the worksheet (to
  // its three digits) over the degrees of freedom.
  void ExpectReduced(int row, int freedom) {
    SCOPED_TRACE(row);
    const Real chisq = core::ParseNumber(sheet().Cell(m_->GetStringGridColNum("chisq"), row)).value;
    const core::ParsedNumber shown = core::ParseNumber(Result(row, 17));
    ASSERT_TRUE(shown.ok()) << Result(row, 17);
    EXPECT_NEAR(shown.value, chisq / freedom, 0.01L * chisq / freedom);
  }
};

TEST_F(ResultsTableTest, OneRowPerDataSetFromTheResultBlock) {
  const Grid& results = form().GridOf("ResultsGrid");
  EXPECT_EQ(results.rows, 1);
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  ASSERT_TRUE(services_.messages.empty());
  ASSERT_EQ(results.rows, 3);
  const int colSet = m_->GetStringGridColNum("##");
  for (int set = 1; set <= 2; ++set) {
    SCOPED_TRACE(set);
    EXPECT_EQ(Result(set, 0), std::to_string(set));
    EXPECT_EQ(Result(set, 1), std::to_string(set));
    for (int k = 0; k < 12; ++k) EXPECT_EQ(Result(set, 2 + k), sheet().Cell(colSet + 1 + k, set));
    EXPECT_EQ(Result(set, 14), sheet().Cell(m_->GetStringGridColNum("d0_calc"), set));
    EXPECT_EQ(Result(set, 16), sheet().Cell(m_->GetStringGridColNum("chisq"), set));
  }
  // sig_xx, sig_yy and d0 fitted: 10 - 3 and 4 - 3 degrees of freedom.
  ExpectReduced(1, 7);
  ExpectReduced(2, 1);

  // With d0 held as well only two parameters are fitted.
  form().SetChecked("d0box", true);
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  ExpectReduced(1, 8);
  ExpectReduced(2, 2);
  EXPECT_EQ(Result(1, 14), "");

  // An evaluation that stops with a message changes neither the results nor what the table
  // knows of them, though the boxes have changed.
  form().SetChecked("d0box", false);
  sheet().SetCell(6, 3, "0");
  const std::string before = Result(1, 17);
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(Result(1, 17), before);

  // A result row changed by hand no longer shows a reduced chisq: it is not known for it.
  sheet().SetCell(m_->GetStringGridColNum("chisq"), 1, "1.00E+00");
  m_->FillResultsGrid();
  EXPECT_EQ(Result(1, 16), "1.00E+00");
  EXPECT_EQ(Result(1, 17), "");
  EXPECT_NE(Result(2, 17), "");
}

// Data sets named by text (as a measurement table names its points) get their reduced chisq
// too: the degrees of freedom are the fit's own, not counted from numeric labels.
TEST_F(ResultsTableTest, TextLabelsGetTheirReducedChisq) {
  const int colLabel = m_->GetStringGridColNum("#");
  for (int r = 1; r < sheet().rows; ++r) {
    const std::string label = sheet().Cell(colLabel, r);
    if (label.find_first_not_of(' ') == std::string::npos) break;
    sheet().SetCell(colLabel, r, "point " + label);
  }
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  ASSERT_TRUE(services_.messages.empty()) << services_.messages.front().text;
  ASSERT_EQ(form().GridOf("ResultsGrid").rows, 3);
  ExpectReduced(1, 7);
  ExpectReduced(2, 1);
}

}  // namespace
}  // namespace polydec::workbench

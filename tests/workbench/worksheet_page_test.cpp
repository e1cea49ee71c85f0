// The worksheet of the "DEC/Stress/Strain" page and the "Load ODF" command, run headless: the
// start-up layout, the notation switch, saving and loading *.tsd files (also under a
// decimal-comma locale), and loading ODFs and grains through the open dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <clocale>
#include <cmath>
#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "support/file_size_limit.h"
#include "texture/odf_fixtures.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

using test::ReadFile;
using test::WriteFile;

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Headless services whose open dialog can also choose a file kind, as a user picks a filter.
class ChoosingServices : public HeadlessServices {
 public:
  std::deque<int> filterChoices;
  bool ExecuteOpen(FileDialog& dialog) override {
    const bool accepted = HeadlessServices::ExecuteOpen(dialog);
    if (accepted && !filterChoices.empty()) {
      dialog.filterIndex = filterChoices.front();
      filterChoices.pop_front();
    }
    return accepted;
  }
};

const char* const kFlagBoxes[] = {"sig11box", "sig22box", "sig33box", "sig23box",
                                  "sig13box", "sig12box", "d0box",    "eps0box"};

class WorksheetPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_worksheet_page_" + std::to_string(rd()));
    fs::create_directories(dir_ / "program");
    fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", dir_ / "program" / "pfcryst.dat");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::unique_ptr<MainForm> Make() {
    auto m = std::make_unique<MainForm>(services_, (dir_ / "program").string());
    services_.messages.clear();
    services_.dialogs.clear();
    return m;
  }
  // Runs a command with the file the user picks in its dialog (nullopt: Cancel).
  void RunWithFile(MainForm& m, const std::string& command, std::optional<std::string> file) {
    services_.files.push_back(std::move(file));
    ASSERT_TRUE(m.Run(command));
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
  ChoosingServices services_;
};

Grid& Sheet(MainForm& m) { return m.form.GridOf("StrainGrid"); }

// Puts a recognisable text into every cell of columns 1..cols-1 of rows 1..rows-1.
void FillSheet(Grid& g, int rows) {
  for (int r = 1; r < rows; ++r)
    for (int c = 1; c < g.cols; ++c)
      g.SetCell(c, r, "v" + std::to_string(c) + "_" + std::to_string(r));
}

TEST_F(WorksheetPageTest, StartsWithTheFijLayoutBlankCellsAndZeroStressesInRowOne) {
  auto m = Make();
  const Grid& g = Sheet(*m);
  ASSERT_EQ(g.cols, 34);
  ASSERT_EQ(g.rows, 400);
  EXPECT_TRUE(m->form.Checked("UseFij"));
  EXPECT_EQ(g.colWidths[0], 40);
  const std::vector<std::string> header = {
      "",       "#",      "h k l",  "phi",    "psi",     "d",      "+/-",  "d0",     "+/-",
      "F11",    "F22",    "F33",    "F23",    "F13",     "F12",    "eps0", "I(ODF)", "d_calc",
      "##",     "sig_xx", "+/-",    "sig_yy", "+/-",     "sig_zz", "+/-",  "sig_yz", "+/-",
      "sig_xz", "+/-",    "sig_xy", "+/-",    "d0_calc", "+/-",    "chisq"};
  for (int c = 0; c < 34; ++c) EXPECT_EQ(g.Cell(c, 0), header[static_cast<std::size_t>(c)]) << c;
  for (int r = 1; r < 400; ++r) {
    ASSERT_EQ(g.Cell(0, r), std::to_string(r));
    for (int c = 1; c <= 8; ++c) ASSERT_EQ(g.Cell(c, r), " ") << c << "," << r;
    for (int c = 9; c < 34; ++c) {
      const bool zero = r == 1 && c >= 19 && c <= 30;
      ASSERT_EQ(g.Cell(c, r), zero ? "0" : "") << c << "," << r;
    }
  }
}

TEST_F(WorksheetPageTest, ColumnLookupFindsTheFirstHeaderHoldingTheName) {
  auto m = Make();
  struct Case {
    const char* name;
    int fij, s1;
  };
  // A name of the other layout, or none at all, yields the last column.
  const std::vector<Case> cases = {
      {"#", 1, 1},        {"##", 18, 12},     {"d0", 7, 7},           {"d0_calc", 31, 25},
      {"F11", 9, 33},     {"S1", 33, 9},      {"\xC2\xBDS2", 33, 10}, {"eps0", 15, 33},
      {"I(ODF)", 16, 33}, {"sig_xx", 19, 13}, {"chisq", 33, 27},      {"nothing", 33, 33},
  };
  for (const Case& c : cases) EXPECT_EQ(m->GetStringGridColNum(c.name), c.fij) << c.name;
  m->form.SetChecked("UseFij", false);
  ASSERT_TRUE(m->Run("UseFijClick"));
  for (const Case& c : cases) EXPECT_EQ(m->GetStringGridColNum(c.name), c.s1) << c.name;
}

TEST_F(WorksheetPageTest, SwitchingTheNotationEmptiesTheColumnsFromNineAndKeepsOneToEight) {
  auto m = Make();
  Grid& g = Sheet(*m);
  for (bool useFij : {false, true}) {
    SCOPED_TRACE(useFij ? "to Fij" : "to S1");
    FillSheet(g, 400);
    m->form.SetChecked("UseFij", useFij);
    ASSERT_TRUE(m->Run("UseFijClick"));
    EXPECT_EQ(g.cols, 34);
    EXPECT_EQ(g.Cell(9, 0), useFij ? "F11" : "S1");
    EXPECT_EQ(g.Cell(27, 0), useFij ? "sig_xz" : "chisq");
    EXPECT_EQ(g.Cell(28, 0), useFij ? "+/-" : "");
    for (int r = 1; r < 400; ++r) {
      EXPECT_EQ(g.Cell(0, r), std::to_string(r));
      for (int c = 1; c <= 8; ++c)
        ASSERT_EQ(g.Cell(c, r), "v" + std::to_string(c) + "_" + std::to_string(r));
      for (int c = 9; c < 34; ++c) ASSERT_EQ(g.Cell(c, r), "") << c << "," << r;
    }
  }
  // Checking "Use ODF" turns the Fij notation on only when it is off: here it is on already,
  // so the stress factors typed into the worksheet stay.
  g.SetCell(9, 1, "12.5");
  m->form.SetChecked("UseODFBtn", true);
  ASSERT_TRUE(m->Run("UseODFBtnClick"));
  EXPECT_EQ(g.Cell(9, 1), "12.5");
}

// The writer never replaces a read-only file; the window asks first, and only a Yes makes the
// file writable and replaces it.
TEST_F(WorksheetPageTest, SavingOverAReadOnlyFileAsksFirst) {
  const std::string file = Path("kept.tsd");
  WriteFile(file, "earlier worksheet\r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto m = Make();
  services_.answers = {Answer::kNo};
  RunWithFile(*m, "SaveGridDataBtnClick", file);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].text, "The file " + file + " is read-only. Replace it anyway?");
  EXPECT_EQ(services_.messages[0].buttons, Buttons::kYesNo);
  EXPECT_EQ(ReadFile(file), "earlier worksheet\r\n");

  services_.messages.clear();
  services_.answers = {Answer::kYes};
  RunWithFile(*m, "SaveGridDataBtnClick", file);
  ASSERT_EQ(services_.messages.size(), 1u) << "the question only";
  EXPECT_THAT(ReadFile(file), StartsWith("0 0 1 1 1 1 0 0 \r\n"));
}

TEST_F(WorksheetPageTest, AFreshWorksheetSavedAndLoadedComesBackIdentical) {
  for (bool useFij : {true, false}) {
    SCOPED_TRACE(useFij ? "Fij" : "S1");
    auto m = Make();
    Grid& g = Sheet(*m);
    if (!useFij) {
      m->form.SetChecked("UseFij", false);
      m->Run("UseFijClick");
    }
    g.SetCell(2, 3, "1 1 0 3 1 1 2 \xC2\xB5-phase");  // a non-ASCII cell stays UTF-8
    m->form.SetChecked("sig11box", true);
    m->form.SetChecked("sig33box", false);
    m->form.SetChecked("eps0box", true);
    const std::string file = Path("fresh.tsd");
    RunWithFile(*m, "SaveGridDataBtnClick", file);
    ASSERT_TRUE(services_.messages.empty()) << services_.messages[0].text;
    ASSERT_EQ(services_.dialogs.size(), 1u);
    const FileDialog& d = services_.dialogs[0].dialog;
    EXPECT_TRUE(services_.dialogs[0].save);
    EXPECT_EQ(d.title, "Save worksheet as ..");
    EXPECT_EQ(d.filter, "worksheet data|*.tsd|");
    EXPECT_EQ(d.fileName, "*.tsd");
    // The save wrote blanks into the empty cells of the worksheet itself.
    EXPECT_EQ(g.Cell(20, 5), " ");
    EXPECT_EQ(g.Cell(0, 0), " ");

    const std::string bytes = ReadFile(file);
    EXPECT_THAT(bytes, StartsWith("1 0 0 1 1 1 0 1 \r\n \t#\th k l\t"));
    std::size_t lines = 0;
    for (std::size_t p = bytes.find("\r\n"); p != std::string::npos; p = bytes.find("\r\n", p + 2))
      ++lines;
    EXPECT_EQ(lines, 402u);  // flags, 400 rows, closing line of blanks
    if (!useFij) {
      EXPECT_NE(bytes.find("\tS1\t\xBDS2\t"), std::string::npos);
      EXPECT_EQ(bytes.find("\xC2\xBD"), std::string::npos);
    }

    auto n = Make();
    n->form.SetChecked("sig33box", true);
    RunWithFile(*n, "LoadGridDataBtnClick", file);
    ASSERT_TRUE(services_.messages.empty()) << services_.messages[0].text;
    const FileDialog& o = services_.dialogs[0].dialog;
    EXPECT_EQ(o.title, "Load Worksheet file.");
    EXPECT_EQ(o.filter, "worksheet file|*.tsd|measurement table|*.csv;*.txt|all files|*.*|");
    EXPECT_EQ(o.fileName, "*.tsd");
    const Grid& h = Sheet(*n);
    EXPECT_EQ(n->form.Checked("UseFij"), useFij);
    ASSERT_EQ(h.cols, useFij ? 34 : 28);
    ASSERT_EQ(h.rows, 400);
    for (int r = 0; r < 400; ++r)
      for (int c = 0; c < h.cols; ++c) ASSERT_EQ(h.Cell(c, r), g.Cell(c, r)) << c << "," << r;
    for (const char* box : kFlagBoxes) EXPECT_EQ(n->form.Checked(box), m->form.Checked(box)) << box;
  }
}

TEST_F(WorksheetPageTest, LoadingStoresTheFileLinesAndKeepsTheRowsBelow) {
  auto m = Make();
  Grid& g = Sheet(*m);
  FillSheet(g, 400);
  m->form.SetChecked("ShowHiddenFunctions", true);
  // Fij header; no closing line, and the row "3" is kept; each TAB ends a cell, so the empty
  // cells keep "S1" and "x" in their columns.
  const std::string file = Path("hand.tsd");
  WriteFile(file, "1 1\nF11\t\tS1\n1\tL\t\tx\n2\ta\tb\n3\tlost\n");
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(services_.dialogs[0].dialog.filter,
            "worksheet file|*.tsd|measurement table|*.csv;*.txt|SC constant fit input "
            "file|*.dec|all files|*.*|");
  EXPECT_TRUE(m->form.Checked("sig11box"));
  EXPECT_TRUE(m->form.Checked("sig22box"));
  EXPECT_FALSE(m->form.Checked("sig33box"));
  EXPECT_EQ(g.Cell(0, 0), "F11");
  EXPECT_EQ(g.Cell(1, 0), "");
  EXPECT_EQ(g.Cell(2, 0), "S1");
  EXPECT_EQ(g.Cell(9, 0), "");
  EXPECT_EQ(g.Cell(1, 1), "L");
  EXPECT_EQ(g.Cell(2, 1), "");
  EXPECT_EQ(g.Cell(3, 1), "x");
  EXPECT_EQ(g.Cell(0, 2), "2");
  EXPECT_EQ(g.Cell(1, 3), "lost");  // the file's last line is a row like any other
  EXPECT_EQ(g.Cell(1, 4), "v1_4");
  EXPECT_EQ(g.Cell(20, 4), "v20_4");  // the notation did not change, nothing was emptied
  EXPECT_EQ(g.Cell(33, 399), "v33_399");
}

TEST_F(WorksheetPageTest, LoadReadsAMeasurementTableWithTheWavelengthOfItsBox) {
  auto m = Make();
  Grid& g = Sheet(*m);
  FillSheet(g, 400);
  m->form.SetChecked("sig11box", true);
  const std::string file = Path("lab.txt");
  WriteFile(file, "phi\tpsi\t2theta\thkl\tlabel\tintensity\r\n0\t0\t90\t2 1 1\tA\t\r\n"
                  "90\t45\t90\t1 1 0\tB\t7");
  m->form.SetText("WavelengthEdit", "1,5");
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  EXPECT_TRUE(services_.messages.empty()) << services_.messages[0].text;
  EXPECT_TRUE(m->form.Checked("sig11box"));  // a table has no flags: the boxes stay
  EXPECT_EQ(g.Cell(1, 2), "B");
  EXPECT_EQ(g.Cell(2, 2), "1 1 0");
  EXPECT_EQ(g.Cell(4, 2), "45");
  EXPECT_NEAR(std::stod(g.Cell(5, 2)), 1.5 / std::sqrt(2.0), 1e-12);
  EXPECT_EQ(g.Cell(6, 2), "");
  EXPECT_EQ(g.Cell(1, 3), "");      // rows of the earlier worksheet do not join the data
  EXPECT_EQ(g.Cell(9, 1), "");      // nor do their stress factors
  EXPECT_EQ(g.Cell(19, 1), "0");    // the held stresses of a new worksheet

  // Without a wavelength the table is refused where it needs one, and nothing changes.
  const std::vector<std::string> cells = g.cells;
  m->form.SetText("WavelengthEdit", "");
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr(file + ", line 1: "));
  EXPECT_THAT(services_.messages[0].text, HasSubstr("no wavelength"));
  EXPECT_EQ(g.cells, cells);
}

// Rows whose peak fit failed (d empty or NaN): the load is refused naming them and the switch,
// and with "Skip rows without d" they are left out and listed.
TEST_F(WorksheetPageTest, RowsWithoutDAreRefusedOrSkippedByTheSwitch) {
  auto m = Make();
  Grid& g = Sheet(*m);
  const std::string file = Path("fits.csv");
  WriteFile(file, "set,hkl,phi,psi,d\nA,2 1 1,0,0,1.17\nA,2 1 1,0,30,NaN\nA,2 1 1,0,45,1.171\n");
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr("1 row has no d (empty or NaN"));
  EXPECT_THAT(services_.messages[0].text, HasSubstr("line 3: drop them"));
  EXPECT_THAT(services_.messages[0].text, HasSubstr("\"Skip rows without d\""));
  services_.messages.clear();
  m->form.SetChecked("SkipIncompleteRows", true);
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr("1 row without d left out"));
  EXPECT_THAT(services_.messages[0].text, HasSubstr("line 3 of " + file));
  EXPECT_EQ(g.Cell(4, 2), "45");
  EXPECT_EQ(g.Cell(4, 3), "");
}

TEST_F(WorksheetPageTest, AnS1FileNarrowsTheSheetAndFijWidensItAgain) {
  auto m = Make();
  const std::string file = Path("s1.tsd");
  WriteFile(file, "0 0 0 0 0 0 0 0 \r\n \t#\th k l\tS1 and more fields\ta\tb\r\n \t \r\n");
  RunWithFile(*m, "LoadGridDataBtnClick", file);
  Grid& g = Sheet(*m);
  ASSERT_EQ(g.cols, 28);
  EXPECT_FALSE(m->form.Checked("UseFij"));
  EXPECT_EQ(m->GetStringGridColNum("eps0"), 27);
  EXPECT_EQ(m->GetStringGridColNum("chisq"), 27);
  EXPECT_EQ(g.Cell(9, 5), "");  // the switch to S1 emptied the stress-factor columns

  // Back to Fij: the sheet is widened so that every Fij header has its column.
  g.SetCell(4, 7, "45");
  m->form.SetChecked("UseFij", true);
  ASSERT_TRUE(m->Run("UseFijClick"));
  ASSERT_EQ(g.cols, 34);
  EXPECT_EQ(g.Cell(33, 0), "chisq");
  EXPECT_EQ(g.Cell(29, 0), "sig_xy");
  EXPECT_EQ(m->GetStringGridColNum("d0_calc"), 31);
  EXPECT_EQ(g.Cell(4, 7), "45");
  EXPECT_EQ(g.Cell(33, 7), "");
}

TEST_F(WorksheetPageTest, BadFilesAreReportedAndLeaveTheWorksheetAsDescribed) {
  auto m = Make();
  Grid& g = Sheet(*m);
  FillSheet(g, 400);
  const std::vector<std::string> cells = g.cells;

  // No header: the boxes are set, the cells stay.
  WriteFile(Path("nohead.tsd"), "1 1 1 1 1 1 1 1 \r\nh k l\td\r\n1\t2\r\n \r\n");
  RunWithFile(*m, "LoadGridDataBtnClick", Path("nohead.tsd"));
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"Header line is missing."});
  for (const char* box : kFlagBoxes) EXPECT_TRUE(m->form.Checked(box)) << box;
  EXPECT_EQ(g.cells, cells);

  // A file that is no text: what was read before the bad line stays, the message names both.
  services_.messages.clear();
  const std::string binary = Path("binary.tsd");
  WriteFile(binary, "0 0 0 0 0 0 0 0 \r\n F11\r\nfirst\r\n" + std::string("\0\x01\x02", 3) +
                        "\r\nlast\r\n");
  RunWithFile(*m, "LoadGridDataBtnClick", binary);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr(binary + ", line 4: "));
  EXPECT_FALSE(m->form.Checked("sig33box"));
  EXPECT_EQ(g.Cell(0, 0), " F11");
  EXPECT_EQ(g.Cell(0, 1), "first");
  EXPECT_EQ(g.Cell(1, 1), "");
  EXPECT_EQ(g.Cell(0, 2), "2");

  // A missing file and a cancelled dialog change nothing.
  services_.messages.clear();
  const std::vector<std::string> now = g.cells;
  RunWithFile(*m, "LoadGridDataBtnClick", Path("missing.tsd"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr(Path("missing.tsd")));
  RunWithFile(*m, "LoadGridDataBtnClick", std::nullopt);
  RunWithFile(*m, "SaveGridDataBtnClick", std::nullopt);
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(g.cells, now);
}

using test::FileSizeLimit;

TEST_F(WorksheetPageTest, AFailedSaveKeepsThePreviousFileAndShowsWhy) {
  auto m = Make();
  const std::string file = Path("keep.tsd");
  WriteFile(file, "the previous worksheet");
  {
    FileSizeLimit diskFull(2048);
    RunWithFile(*m, "SaveGridDataBtnClick", file);
  }
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, StartsWith("The worksheet could not be saved:\n" + file));
  EXPECT_EQ(ReadFile(file), "the previous worksheet");

  services_.messages.clear();
  RunWithFile(*m, "SaveGridDataBtnClick", Path("no folder/x.tsd"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_THAT(services_.messages[0].text, HasSubstr("no folder"));
}

// The formats write a point whatever the locale, and the reader takes only the point: a
// worksheet saved and loaded under a decimal-comma locale keeps every number.
TEST_F(WorksheetPageTest, NumbersSurviveASaveAndLoadUnderADecimalCommaLocale) {
  std::locale german;
  try {
    german = std::locale("de_DE.UTF-8");
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
  }
  struct Restore {
    ~Restore() {
      std::locale::global(std::locale::classic());
      std::setlocale(LC_ALL, "C");
    }
  } restore;
  std::locale::global(german);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  ASSERT_STREQ(buffer, "1,5") << "the C library does not follow the locale";

  using core::Real;
  using core::FormatExponent;
  using core::FormatFixed;
  using core::FormatGeneral;
  const std::vector<Real> values = {0,       1.5L,     -2.868L, 1234567.891L, 0.000001L,
                                    -1e-20L, 6.02e23L, 0.3L,    212.6L,       -0.000123456L};
  auto m = Make();
  Grid& g = Sheet(*m);
  struct Written {
    int col, row;
    std::string text;
    Real value, tolerance;
  };
  std::vector<Written> written;
  int row = 1;
  for (const Real x : values) {
    // Half a unit of the last digit written, relative to the value where the format is.
    const Real scale = x == 0 ? 1 : std::fabs(x);
    const std::vector<Written> forms = {
        {9, row, FormatFixed(x, 9, 6), x, 5e-7L + 5e-9L * scale},
        {10, row, FormatFixed(x, 6, 2), x, 5e-3L + 5e-6L * scale},
        {11, row, FormatExponent(x, 7, 2), x, 5e-7L * scale},
        {12, row, FormatGeneral(x), x, 5e-15L * scale},
    };
    for (const Written& w : forms) {
      g.SetCell(w.col, w.row, w.text);
      written.push_back(w);
    }
    ++row;
  }
  const std::string file = Path("komma.tsd");
  RunWithFile(*m, "SaveGridDataBtnClick", file);
  ASSERT_TRUE(services_.messages.empty()) << services_.messages[0].text;

  auto n = Make();
  RunWithFile(*n, "LoadGridDataBtnClick", file);
  ASSERT_TRUE(services_.messages.empty()) << services_.messages[0].text;
  for (const Written& w : written) {
    const std::string& text = Sheet(*n).Cell(w.col, w.row);
    EXPECT_EQ(text, w.text);
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    const core::ParsedNumber p = core::ParseNumber(text);
    ASSERT_TRUE(p.ok()) << text;
    EXPECT_NEAR(p.value, w.value, w.tolerance) << text;
  }
}

// An MTEX table of the cubic-orthorhombic test texture over 0..90 degrees.
std::string MtexFile(const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path file = folder / "orth.txt";
  WriteFile(file, texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\r\n"));
  return file.string();
}

// "Load ODF" of an orientation list (an Euler table, the dialog's seventh kind): the
// orientations become the grains of the context, and their kernel ODF the ODF in use when the
// user asks for it.
TEST_F(WorksheetPageTest, LoadOdfReadsAnOrientationListWithItsKernelOdfWhenAsked) {
  fs::create_directories(dir_ / "lists");
  const std::string file = (dir_ / "lists" / "grains.txt").string();
  WriteFile(file, "phi1 Phi phi2 weight\n10 20 30 1\n100 40 60 2\n250 80 10 1\n");
  struct Case {
    Answer answer;
    bool odf;
  };
  for (const Case c : {Case{Answer::kYes, true}, Case{Answer::kNo, false}}) {
    SCOPED_TRACE(c.odf ? "with the kernel ODF" : "grains only");
    auto m = Make();
    services_.filterChoices = {7};
    services_.answers = {c.answer};
    RunWithFile(*m, "LoadBtnClick", file);
    const core::OrientationsRec& ctx = m->CurrentContext;
    EXPECT_EQ(ctx.error, 0);
    EXPECT_TRUE(ctx.UseGrains);
    ASSERT_EQ(ctx.GOrient.phi1.size(), 3u);
    EXPECT_EQ(ctx.GOrient.weight[1], 2);
    EXPECT_EQ(ctx.SYMMETRY, kTriclinicSample);
    EXPECT_EQ(ctx.UseODF, c.odf);
    EXPECT_EQ(m->form.Checked("UseODFBtn"), c.odf);
    if (c.odf) {
      EXPECT_EQ(ctx.ODFNUMP, 197173);
      EXPECT_NEAR(texture::ODFIntegral(ctx, 36) / (8 * core::kPi * core::kPi), 1, 1e-9L);
    }
    EXPECT_EQ(m->form.statusPanels[0], "ODF loaded: " + file);
    const std::vector<std::string> texts = services_.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_THAT(texts.front(), HasSubstr("from the 3 orientations by kernel density estimation"));
  }
}

TEST_F(WorksheetPageTest, LoadOdfReadsAnMtexFileAndReportsIt) {
  auto m = Make();
  const std::string file = MtexFile(dir_ / "odfs");
  m->LastODFDirectory = Path("earlier");
  m->form.SetItemIndex("CrystalSymmetryBox", 7);  // not the cubic class of the ODF's material
  services_.answers = {Answer::kNoToAll, Answer::kNoToAll};
  RunWithFile(*m, "LoadBtnClick", file);

  ASSERT_EQ(services_.dialogs.size(), 1u);
  const FileDialog& d = services_.dialogs[0].dialog;
  EXPECT_EQ(d.title, "Load ODF txt file from popla or MTEX.");
  EXPECT_EQ(d.filter,
            "popla ODF|*.*|MTEX ODF file (generic 5x5)|*.*|SC constant fit input file|*.dec|"
            "grains file|*.grn|Stress Factor File|*.sff|Worksheet data|*.tsd|Euler table "
            "(weights or equispaced ODF export)|*.*|EBSD map (EDAX .ang)|*.ang|EBSD map (Oxford "
            ".ctf)|*.ctf");
  EXPECT_EQ(d.filterIndex, 2);
  EXPECT_EQ(d.initialDir, Path("earlier"));

  const core::OrientationsRec& ctx = m->CurrentContext;
  EXPECT_EQ(ctx.ODFNUMP, 197173);
  EXPECT_EQ(ctx.error, 0);
  EXPECT_TRUE(ctx.UseODF);
  EXPECT_EQ(ctx.TaylorFactor.size(), 197173u);
  EXPECT_TRUE(m->form.Checked("UseODFBtn"));
  EXPECT_FALSE(m->form["UseFij"].enabled);
  EXPECT_EQ(m->form.ItemIndex("SampleSymmetry"), 2);  // orthorhombic
  EXPECT_EQ(m->form.statusPanels[0], "ODF loaded: " + file);
  EXPECT_EQ(m->form.openDialog.title, "");
  EXPECT_EQ(m->LastODFDirectory, (dir_ / "odfs").string());
  const std::vector<std::string> texts = services_.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), texture::kODFSymmetryMismatchMessage);
  for (std::size_t k = 0; k + 1 < texts.size(); ++k) EXPECT_THAT(texts[k], StartsWith("ODF has "));

  // The next load starts in the folder of this one; cancelling it changes nothing.
  services_.messages.clear();
  RunWithFile(*m, "LoadBtnClick", std::nullopt);
  EXPECT_EQ(services_.dialogs.back().dialog.initialDir, (dir_ / "odfs").string());
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_TRUE(m->CurrentContext.UseODF);
  EXPECT_TRUE(m->form.Checked("UseODFBtn"));
  EXPECT_EQ(m->form.statusPanels[0], "ODF loaded: " + file);
  EXPECT_EQ(m->LastODFDirectory, (dir_ / "odfs").string());
}

TEST_F(WorksheetPageTest, LoadOdfReadsAPoplaFileChosenByItsFilter) {
  auto m = Make();
  // An S1 worksheet: loading an ODF switches to the Fij notation.
  m->form.SetChecked("UseFij", false);
  m->Run("UseFijClick");
  const fs::path folder = dir_ / "popla";
  fs::create_directories(folder);
  const std::string file = (folder / "orth.pop").string();
  WriteFile(file, texture_test::PoplaText(texture_test::CubicOrthTexture, {}, "\r\n"));
  services_.filterChoices = {1};
  services_.answers = {Answer::kNoToAll, Answer::kNoToAll};
  RunWithFile(*m, "LoadBtnClick", file);
  const core::OrientationsRec& ctx = m->CurrentContext;
  EXPECT_EQ(ctx.ODFNUMP, 197173);
  EXPECT_EQ(ctx.SYMMETRY, 7);
  EXPECT_EQ(m->form.ItemIndex("SampleSymmetry"), 2);
  EXPECT_TRUE(m->form.Checked("UseODFBtn"));
  EXPECT_TRUE(m->form.Checked("UseFij"));
  EXPECT_EQ(Sheet(*m).Cell(9, 0), "F11");
  EXPECT_EQ(m->form.statusPanels[0], "ODF loaded: " + file);
  EXPECT_EQ(m->LastODFDirectory, folder.string());
}

TEST_F(WorksheetPageTest, AFileThatIsNoOdfIsReportedAndSwitchesTheOdfOff) {
  const std::string noHeader = Path("noheader.txt");
  WriteFile(noHeader, "1 2 3 4\n");
  const std::string badLine = Path("badline.txt");
  WriteFile(badLine, "phi1 Phi phi2 value\n0 0 0 1\n0 0 x 2\n");
  const std::string fitInput = Path("fit.dec");
  WriteFile(fitInput, "anything\n");
  struct Case {
    const char* name;
    std::string file;
    int filter;
    std::vector<std::string> questions;  // asked before the report
    std::string detail;                  // what the report adds after its first line
  };
  const std::vector<Case> cases = {
      {"MTEX without header", noHeader, 2, {}, noHeader + ": "},
      {"MTEX line answered No",
       badLine,
       2,
       {"Error reading line 3: 0 0 x 2. Continue?"},
       badLine + ", line 3: "},
      {"a kind of file that holds no ODF", fitInput, 3, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = Make();
    m->form.SetChecked("UseODFBtn", true);
    m->Run("UseODFBtnClick");
    m->LastODFDirectory = "/earlier";
    services_.filterChoices = {c.filter};
    services_.answers = {Answer::kNo};
    RunWithFile(*m, "LoadBtnClick", c.file);
    const std::vector<std::string> texts = services_.Texts();
    ASSERT_EQ(texts.size(), c.questions.size() + 1);
    for (std::size_t k = 0; k < c.questions.size(); ++k) EXPECT_EQ(texts[k], c.questions[k]);
    EXPECT_THAT(texts.back(), StartsWith("ODF NOT read. Check file and type!"));
    if (!c.detail.empty()) {
      EXPECT_THAT(texts.back(), HasSubstr("\n" + c.detail));
    }
    EXPECT_FALSE(m->form.Checked("UseODFBtn"));
    EXPECT_TRUE(m->form["UseFij"].enabled);
    EXPECT_FALSE(m->CurrentContext.UseODF);
    EXPECT_NE(m->CurrentContext.error, 0);
    EXPECT_EQ(m->form.statusPanels[0], "NO ODF loaded.");
    EXPECT_EQ(m->LastODFDirectory, "/earlier");
    EXPECT_EQ(m->form.openDialog.filter, services_.dialogs[0].dialog.filter);
  }
}

TEST_F(WorksheetPageTest, YesToAnUnreadableLineLoadsTheValuesBeforeIt) {
  auto m = Make();
  const std::string file = Path("cut.txt");
  WriteFile(file, "phi1 Phi phi2 value\n0 0 0 2\n0 0 5 3\n0 0 x 4\n0 0 15 5\n");
  services_.filterChoices = {2};
  services_.answers = {Answer::kYes, Answer::kNoToAll};
  RunWithFile(*m, "LoadBtnClick", file);
  const std::vector<std::string> texts = services_.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Error reading line 4: 0 0 x 4. Continue?");
  EXPECT_EQ(services_.messages[0].buttons, Buttons::kYesNo);
  EXPECT_THAT(texts[1], StartsWith("ODF has "));
  EXPECT_EQ(m->form.statusPanels[0], "ODF loaded: " + file);
  EXPECT_TRUE(m->CurrentContext.UseODF);
  const auto node = [&](int i2) {
    return m->CurrentContext.ODF[static_cast<std::size_t>(texture::ODFNodeIndex(0, 0, i2))];
  };
  EXPECT_EQ(node(0), 2);
  EXPECT_EQ(node(1), 3);
}

TEST_F(WorksheetPageTest, YesToTheCheckEndsTheLoadWithoutAReport) {
  auto m = Make();
  const std::string file = Path("flat.txt");
  WriteFile(file, "phi1 Phi phi2 value\n0 0 0 1\n0 0 5 1\n");
  m->form.statusPanels[0] = "before";
  services_.answers = {Answer::kYes};
  RunWithFile(*m, "LoadBtnClick", file);
  const std::vector<std::string> texts = services_.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_THAT(texts[0], StartsWith("ODF has equal intensities for [phi1,phi,phi2]=[0,0,1]"));
  EXPECT_EQ(services_.messages[0].buttons, Buttons::kYesNoNoToAll);
  EXPECT_EQ(m->form.statusPanels[0], "before");
  EXPECT_EQ(m->LastODFDirectory, "");
  EXPECT_TRUE(m->CurrentContext.UseODF);
  EXPECT_TRUE(m->form.Checked("UseODFBtn"));
}

TEST_F(WorksheetPageTest, AGrainsFileIsChosenInASecondDialogAndSetsUseGrains) {
  auto m = Make();
  const std::string grains = Path("g.wts");
  WriteFile(grains, "popla wts\r\ngrains\r\n\r\nphi1 Phi phi2 weight\r\n90 45 30 2.5\r\n");
  services_.filterChoices = {4};
  services_.files.push_back(Path("first choice"));
  RunWithFile(*m, "LoadBtnClick", grains);
  ASSERT_EQ(services_.dialogs.size(), 2u);
  EXPECT_EQ(services_.dialogs[1].dialog.title, "Read a popla style wts file using BUNGE angles.");
  EXPECT_TRUE(m->CurrentContext.UseGrains);
  ASSERT_EQ(m->CurrentContext.GOrient.phi1.size(), 1u);
  // Without an ODF held, the command reports that no ODF was read although the grains were.
  EXPECT_THAT(services_.Texts().back(), StartsWith("ODF NOT read. Check file and type!"));
}

}  // namespace
}  // namespace polydec::workbench

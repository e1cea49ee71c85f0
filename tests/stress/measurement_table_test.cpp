// Measurement tables as spreadsheets and scripts write them: every row reaches the worksheet
// and gives back the stress it was made from, whatever the dialect; a bad cell is refused with
// its line and column.
#include "stress/measurement_table.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_cells.h"
#include "support/file_helpers.h"

namespace polydec::stress {
namespace {

// A quasi-isotropic ferrite reflection: s1 and 1/2 s2 in 1e-6/MPa.
constexpr double kS1 = -1.25, kS2Half = 5.75, kD0 = 1.1702;
constexpr double kSig11 = 250, kSig22 = -120;
constexpr double kLambda = 1.5406;

double Spacing(double phiDeg, double psiDeg) {
  const double phi = phiDeg * M_PI / 180, psi = psiDeg * M_PI / 180;
  const double sigPhi = kSig11 * std::cos(phi) * std::cos(phi) + kSig22 * std::sin(phi) * std::sin(phi);
  const double eps =
      1e-6 * (kS1 * (kSig11 + kSig22) + kS2Half * sigPhi * std::sin(psi) * std::sin(psi));
  return kD0 * (1 + eps);
}

struct Dialect {
  const char* name;
  char sep;
  bool decimalComma;
  const char* eol;
  bool finalEol;
  bool twoTheta;         // 2theta column, wavelength in a comment line
  bool emptyD0Err;       // the d0 uncertainty cells are left empty
  std::string header;    // names in the dialect's order and spelling
};

std::string Num(double x, bool comma) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9g", x);
  std::string s = buffer;
  if (comma)
    for (char& c : s)
      if (c == '.') c = ',';
  return s;
}

// Eight directions of two azimuths, labelled as a lab does ("ferrite A").
std::string MakeTable(const Dialect& d) {
  const std::string sep(1, d.sep);
  std::string text;
  if (d.twoTheta) text += "# wavelength: " + Num(kLambda, d.decimalComma) + d.eol;
  text += d.header + d.eol;
  const double psis[] = {0, 18.43, 26.57, 33.21, 39.23, 45};
  int n = 0;
  for (double phi : {0.0, 90.0})
    for (double psi : psis) {
      const double dd = Spacing(phi, psi);
      std::string value = Num(dd, d.decimalComma);
      if (d.twoTheta) value = Num(2 * std::asin(kLambda / (2 * dd)) * 180 / M_PI, d.decimalComma);
      const std::string hkl = d.sep == '\t' ? "2 1 1" : "\"2 1 1\"";
      std::string line;
      if (d.twoTheta)  // phi;psi;2theta;d0;label;hkl
        line = Num(phi, d.decimalComma) + sep + Num(-psi, d.decimalComma) + sep + value + sep +
               Num(kD0, d.decimalComma) + sep + "ferrite A" + sep + hkl;
      else  // label, hkl, phi, psi, d, d err, d0, d0 err
        line = "ferrite A" + sep + hkl + sep + Num(phi, d.decimalComma) + sep +
               Num(psi, d.decimalComma) + sep + value + sep + Num(2e-5, d.decimalComma) + sep +
               Num(kD0, d.decimalComma) + sep + (d.emptyD0Err ? "" : Num(1e-4, d.decimalComma));
      text += line;
      if (++n < 12 || d.finalEol) text += d.eol;
    }
  return text;
}

TEST(MeasurementTable, EveryDialectLoadsEveryRowAndGivesBackTheStress) {
  const std::vector<Dialect> dialects = {
      {"comma, CR LF", ',', false, "\r\n", true, false, false,
       "Set,hkl,phi,psi,d,d_err,d0,d0_err"},
      {"semicolon with decimal commas, LF without a final line end", ';', true, "\n", false,
       false, false, "Label;H K L;Phi (deg);Psi [deg];d [\xC5];+/-;d0;+/-"},
      {"TAB with empty cells", '\t', false, "\n", true, false, true,
       "#\thkl\tphi\tpsi\td\td uncertainty\td0\td0 uncertainty"},
      {"2theta with a wavelength comment, negative tilts, columns reordered", ';', true, "\r\n", true, true,
       false, "phi;psi;2Theta;d0;sample;hkl"},
  };
  for (const Dialect& d : dialects) {
    SCOPED_TRACE(d.name);
    const MeasurementTableRead t = ParseMeasurementTable(MakeTable(d), "t.csv", std::nullopt);
    ASSERT_TRUE(t.isTable);
    ASSERT_FALSE(t.error) << t.error->Describe();
    ASSERT_EQ(t.rows.size(), 12u);

    core::CellTable g;
    NewWorksheet(g);
    NameWorksheetColumns(g, false);
    ApplyMeasurementTable(g, t, false);
    EXPECT_EQ(g.Cell(1, 12), "ferrite A");
    EXPECT_EQ(g.Cell(2, 12), "2 1 1");
    EXPECT_EQ(g.Cell(3, 13), "");  // nothing after the table's rows
    if (d.emptyD0Err) {
      EXPECT_EQ(g.Cell(8, 3), "");
    }
    for (int r = 1; r <= 12; ++r) {
      g.SetCell(g.ColumnOf("S1"), r, Num(kS1, false));
      g.SetCell(g.ColumnOf("½S2"), r, Num(kS2Half, false));
      // The fit wants both uncertainties; a table may leave them out.
      if (g.Cell(6, r).empty()) g.SetCell(6, r, "2E-5");
      if (g.Cell(8, r).empty()) g.SetCell(8, r, "1E-4");
    }
    const WorksheetStressRows rows = ReadStressRows(g, false);
    ASSERT_FALSE(rows.error) << rows.error->message;
    ASSERT_EQ(rows.rows.size(), 12u);
    const StressEvaluation e = EvaluateStress(rows.rows, StressFitOptions{}, [](std::size_t) {
      return std::array<Real, 6>{};
    });
    ASSERT_FALSE(e.error) << e.error->message;
    ASSERT_EQ(e.sets.size(), 1u);
    EXPECT_NEAR(static_cast<double>(e.sets[0].sig[0]), kSig11, 0.05);
    EXPECT_NEAR(static_cast<double>(e.sets[0].sig[1]), kSig22, 0.05);
    EXPECT_NEAR(static_cast<double>(e.sets[0].d0), kD0, 1e-6);
  }
}

TEST(MeasurementTable, RefusesABadCellNamingLineAndColumn) {
  const std::string head = "# made by a script\nset,hkl,phi,psi,d,d err,d0,d0 err\n";
  const std::string good = "A,2 1 1,0,0,1.17,2e-5,1.17,1e-4\n";
  struct Case {
    const char* name;
    std::string text;
    int line, column;
    std::string field, message;
  } cases[] = {
      {"psi is text", head + good + "A,2 1 1,0,-45;0,1.17,,,\n", 4, 4, "psi", "is not a number"},
      {"an empty phi", head + good + good + "A,2 1 1,,45,1.17,,,\n", 5, 3, "phi", "empty"},
      {"hkl without blanks", head + "A,211,0,0,1.17,,,\n", 3, 2, "hkl", "separated by blanks"},
      {"hkil with a wrong i", head + "A,1 0 0 1,0,0,1.17,,,\n", 3, 2, "hkl", "-(h + k)"},
      {"no label", head + ",2 1 1,0,0,1.17,,,\n", 3, 1, "set", "label"},
      {"decimal comma in a comma table", head + "A,2 1 1,0,0,\"1,17\",,,\n", 3, 5, "d",
       "is not a number"},
      {"two columns for d", "phi,psi,d,hkl,D\n", 1, 5, "D", "second column for d"},
      {"2theta without a wavelength", "phi;psi;2theta;hkl\n0;0;80;1 1 0\n", 1, 0, "",
       "no wavelength"},
      {"no reflection", "phi,psi,d\n0,0,1.17\n", 1, 0, "", "reflection"},
      {"sin2psi in place of psi", "set,hkl,phi,sin2psi,d\nA,2 1 1,0,0.5,1.17\n", 1, 0, "",
       "the header names no column for psi (the tilt, in degrees); a column of sin\xC2\xB2psi "
       "(\"sin2psi\") is not read"},
      {"no phi", "hkl;psi;d\n2 1 1;0;1.17\n", 1, 0, "", "no column for phi"},
      // One cell too many: the cells after it would each move one column on.
      {"unquoted decimal comma", head + good + "A,2 1 1,0,-18,43,1.17,2e-5,1.17,1e-4\n", 4, 4,
       "psi",
       "the row has 9 cells, the header (line 2) 8: the cells after an extra one would move "
       "into the wrong columns; -18,43 looks like a decimal comma in a comma-separated file: "
       "quote the cell or use semicolons"},
      {"decimal comma after a zero", head + "A,2 1 1,0,18,43,1.17,2e-5,1.17,1e-4\n", 3, 3, "phi",
       "0,18 or 18,43 look like a decimal comma"},
      {"an extra text cell", head + "A,2 1 1,0,0,1.17,2e-5,1.17,1e-4,ok\n", 3, 9, "",
       "the row has 9 cells, the header (line 2) 8: the cells after an extra one would move "
       "into the wrong columns"},
      {"two extra cells", "set;hkl;phi;psi;d\nA;2 1 1;0;0;1.17;1;2\n", 2, 6, "",
       "the row has 7 cells, the header (line 1) 5"},
      // Without a label column a repeated direction is a second point merged into the first.
      {"a direction repeated without labels",
       "where,hkl,phi,psi,d\nP1,2 1 1,0,0,1.17\nP1,2 1 1,0,30,1.171\nP2,2 1 1,0,0,1.18\n", 4, 0,
       "",
       "the row repeats the reflection 2 1 1, phi 0 and psi 0 of line 2, and the table has no "
       "column of data-set labels: its rows would be fitted as one data set. The column "
       "\"where\" tells the two rows apart"},
      {"a repeat that no column tells apart", "hkl,phi,psi,d\n2 1 1,0,0,1.17\n2 1 1,0,0,1.18\n",
       3, 0, "", "Add a column (set, point, sample, ...)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeasurementTableRead t = ParseMeasurementTable(c.text, "lab.csv", std::nullopt);
    ASSERT_TRUE(t.isTable);
    ASSERT_TRUE(t.error);
    EXPECT_EQ(t.error->file, "lab.csv");
    EXPECT_EQ(t.error->line, c.line);
    EXPECT_EQ(t.error->column, c.column);
    EXPECT_EQ(t.error->field, c.field);
    EXPECT_NE(t.error->message.find(c.message), std::string::npos) << t.error->message;
    EXPECT_TRUE(t.rows.empty());
  }
}

// The data sets of a map: the label column is found by the names map and scan software give
// it, or by the name given with the table; a given name the header lacks is refused.
TEST(MeasurementTable, TheDataSetColumnIsFoundByItsUsualNamesOrNamedByTheCaller) {
  struct Case {
    const char* name;
    std::string text, setColumn;
    std::vector<std::string> labels;  // empty: refused
  } cases[] = {
      {"point", "x,y,Point,hkl,phi,psi,d\n1,2,P1,2 1 1,0,0,1.17\n1,3,P2,2 1 1,0,0,1.18\n", "",
       {"P1", "P2"}},
      {"scan id", "Scan ID;hkl;phi;psi;d\n7;2 1 1;0;0;1.17\n8;2 1 1;0;0;1.18\n", "", {"7", "8"}},
      {"named", "where,set,hkl,phi,psi,d\nP1,A,2 1 1,0,0,1.17\nP2,A,2 1 1,0,0,1.18\n", "Where",
       {"P1", "P2"}},
      {"named but missing", "set,hkl,phi,psi,d\nA,2 1 1,0,0,1.17\n", "where", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeasurementTableRead t = ParseMeasurementTable(c.text, "map.csv", std::nullopt,
                                                         c.setColumn);
    ASSERT_TRUE(t.isTable);
    if (c.labels.empty()) {
      ASSERT_TRUE(t.error);
      EXPECT_EQ(t.error->line, 1);
      EXPECT_NE(t.error->message.find("no column \"where\" for the data sets"), std::string::npos)
          << t.error->message;
      continue;
    }
    ASSERT_FALSE(t.error) << t.error->Describe();
    ASSERT_EQ(t.rows.size(), c.labels.size());
    for (std::size_t k = 0; k < c.labels.size(); ++k) EXPECT_EQ(t.rows[k].label, c.labels[k]);
  }
}

// Headers as exporters write them: Excel's "sep=;" line, an instrument's preamble without "#"
// (title, date, wavelength) before the line that names the columns, "peak" for the reflection.
// The program's own worksheet file stays no table.
TEST(MeasurementTable, ExportersPreamblesAndSeparatorLinesAreReadPast) {
  const MeasurementTableRead excel =
      ParseMeasurementTable("sep=;\r\nset;hkl;phi;psi;d\r\nA;2 1 1;0;0;1,17\r\n", "x.csv",
                            std::nullopt);
  ASSERT_TRUE(excel.isTable);
  ASSERT_FALSE(excel.error) << excel.error->Describe();
  ASSERT_EQ(excel.rows.size(), 1u);
  EXPECT_EQ(excel.rows[0].d, "1.17");
  EXPECT_EQ(excel.rows[0].line, 3);

  const MeasurementTableRead lab = ParseMeasurementTable(
      "Stress measurement, XRD 3000\nDate: 2024-05-06\nWavelength: 1.5406\n\n"
      "sample,peak,phi,psi,2theta\nS1,2 1 1,0,0,82.3\n",
      "lab.txt", std::nullopt);
  ASSERT_TRUE(lab.isTable);
  ASSERT_FALSE(lab.error) << lab.error->Describe();
  ASSERT_EQ(lab.rows.size(), 1u);
  EXPECT_EQ(lab.rows[0].hkl, "2 1 1");
  EXPECT_EQ(lab.rows[0].label, "S1");
  EXPECT_NEAR(std::stod(lab.rows[0].d), 1.5406 / (2 * std::sin(82.3 * M_PI / 360)), 1e-12);

  EXPECT_FALSE(ParseMeasurementTable("0 0 1 1 1 1 0 0 \r\n\t#\th k l\tphi\tpsi\tF11\r\n",
                                     "w.tsd", std::nullopt)
                   .isTable);
  EXPECT_FALSE(
      ParseMeasurementTable("\t#\th k l\tphi\tpsi\tS1\r\n", "w.tsd", std::nullopt).isTable);
}

// Rows whose peak fit failed (d empty or NaN): named all at once with the option that drops
// them, or dropped and listed when asked to.
TEST(MeasurementTable, RowsWithoutDAreNamedOrDroppedWhenAsked) {
  const std::string text =
      "set,hkl,phi,psi,d\nA,2 1 1,0,0,1.17\nA,2 1 1,0,20,\nA,2 1 1,0,40,NaN\nA,2 1 1,0,60,1.171\n";
  const MeasurementTableRead refused = ParseMeasurementTable(text, "fit.csv", std::nullopt);
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->line, 3);
  EXPECT_EQ(refused.error->column, 5);
  EXPECT_EQ(refused.error->field, "d");
  EXPECT_NE(refused.error->message.find("2 rows have no d (empty or NaN: a peak fit that "
                                        "failed?), lines 3, 4: drop them with "
                                        "--skip-incomplete-rows"),
            std::string::npos)
      << refused.error->message;
  EXPECT_TRUE(refused.rows.empty());

  const MeasurementTableRead kept = ParseMeasurementTable(text, "fit.csv", std::nullopt, {}, true);
  ASSERT_FALSE(kept.error) << kept.error->Describe();
  ASSERT_EQ(kept.rows.size(), 2u);
  EXPECT_EQ(kept.rows[1].psi, "60");
  EXPECT_EQ(kept.droppedLines, (std::vector<int>{3, 4}));
}

// Empty cells at the end of a row are how spreadsheets write it, not extra cells; columns the
// worksheet has no place for are read past.
// Every measurement becomes a worksheet row: a table of more than the largest worksheet is
// refused at its first line too many, saying how far it was read, instead of being held whole.
TEST(MeasurementTable, MoreMeasurementsThanAWorksheetHoldsAreRefusedSayingWhereItStopped) {
  std::string text = "# a long scan\nset,hkl,phi,psi,d,d err,d0,d0 err\n";
  const std::string row = "A,2 1 1,0,0,1.17,2e-5,1.17,1e-4\n";
  for (int k = 0; k < kMaxWorksheetRows; ++k) text += row;
  const MeasurementTableRead full = ParseMeasurementTable(text, "scan.csv", std::nullopt);
  ASSERT_FALSE(full.error) << full.error->Describe();
  EXPECT_EQ(full.rows.size(), static_cast<std::size_t>(kMaxWorksheetRows));

  text += "\n" + row;  // a blank line, then one measurement too many
  const MeasurementTableRead over = ParseMeasurementTable(text, "scan.csv", std::nullopt);
  ASSERT_TRUE(over.error);
  EXPECT_EQ(over.error->Describe(),
            "scan.csv, line 100004: more than 100000 measurements, the most a worksheet holds: "
            "the first 100000 (up to line 100002) were read, nothing was loaded; split the "
            "table");
  EXPECT_TRUE(over.rows.empty());
}

TEST(MeasurementTable, TrailingEmptyCellsAndUnknownColumnsRead) {
  const MeasurementTableRead t = ParseMeasurementTable(
      "set,hkl,phi,psi,d,intensity\nA,2 1 1,0,-18.43,1.17,1200,,,\nA,2 1 1,0,0,1.16,900\n",
      "t.csv", std::nullopt);
  ASSERT_FALSE(t.error) << t.error->Describe();
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0].psi, "-18.43");
  EXPECT_EQ(t.rows[0].d, "1.17");
  EXPECT_EQ(t.rows[1].line, 3);
  // Two measurement columns without both angles are no table header: the file is left to the
  // worksheet reader.
  EXPECT_FALSE(ParseMeasurementTable("phi,d\n0,1.17\n", "t.csv", std::nullopt).isTable);
}

TEST(MeasurementTable, QuotedCellsAndLatin1RowsSplitAsWritten) {
  // A quoted cell holds the separator and doubled quotes; blanks around a quoted cell are
  // dropped; a row in Latin-1 is read as UTF-8.
  const MeasurementTableRead t = ParseMeasurementTable(
      "set,note,hkl,phi,psi,d\n"
      "\"P \"\"1\"\"\",\"a, b\",\"2 1 1\",0,0,1.17\n"
      "\xC4rger,x,  \"2 1 1\" ,\"45\",10,1.18\n",
      "t.csv", std::nullopt);
  ASSERT_FALSE(t.error) << t.error->Describe();
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0].label, "P \"1\"");
  EXPECT_EQ(t.rows[0].hkl, "2 1 1");
  EXPECT_EQ(t.rows[0].phi, "0");
  EXPECT_EQ(t.rows[0].d, "1.17");
  EXPECT_EQ(t.rows[1].label, "\xC3\x84rger");
  EXPECT_EQ(t.rows[1].hkl, "2 1 1");
  EXPECT_EQ(t.rows[1].phi, "45");
  EXPECT_EQ(t.rows[1].psi, "10");
  EXPECT_EQ(t.rows[1].d, "1.18");
}

TEST(MeasurementTable, ReadsIndicesAndWavelengthsInTheirOtherForms) {
  // Separate h, k, i, l columns; a wavelength column wins over the one given from outside.
  const MeasurementTableRead t = ParseMeasurementTable(
      "h\tk\ti\tl\tphi\tpsi\t2theta\twavelength\tintensity\n"
      "1\t0\t-1\t1\t0\t0\t60\t1.5\t1234\n",
      "t.txt", Real{2});
  ASSERT_FALSE(t.error) << t.error->Describe();
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0].hkl, "1 0 1");
  EXPECT_EQ(t.rows[0].label, "1");
  EXPECT_NEAR(std::stod(t.rows[0].d), 1.5, 1e-12);  // lambda / (2 sin 30)

  // The program's own worksheet (with or without its flags line) is no measurement table.
  EXPECT_FALSE(ParseMeasurementTable("0 0 1 1 1 1 0 0 \r\n \t#\th k l\tphi\tpsi\tF11\t\r\n", "w",
                                     std::nullopt)
                   .isTable);
  EXPECT_FALSE(
      ParseMeasurementTable(" \t#\th k l\tphi\tpsi\td\tF11\t\r\n", "w", std::nullopt).isTable);
}

TEST(MeasurementTable, LoadReadsATableOrTheProgramsOwnFile) {
  const auto dir = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_measurement_table_test");
  std::filesystem::create_directories(dir);
  const std::string table = (dir / "lab.csv").string();
  test::WriteFile(table, "phase;hkl;phi;psi;d;d_err;d0\nB;1 1 0;0;0;2,0268;0,0001;2,0268");
  const WorksheetLoad load = ReadWorksheetOrTable(table, 400, std::nullopt);
  ASSERT_TRUE(load.isTable);
  ASSERT_EQ(load.table.rows.size(), 1u);
  EXPECT_EQ(load.table.rows[0].d, "2.0268");
  EXPECT_EQ(load.table.rows[0].dErr, "0.0001");

  const std::string sheet = (dir / "w.tsd").string();
  test::WriteFile(sheet, "0 0 1 1 1 1 0 0 \r\n \t#\th k l\tphi\tpsi\tF11\t\r\n1\tA\t\r\n");
  const WorksheetLoad own = ReadWorksheetOrTable(sheet, 400, std::nullopt);
  EXPECT_FALSE(own.isTable);
  EXPECT_TRUE(own.sheet.headerFound);
  EXPECT_EQ(own.sheet.rows.size(), 2u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace polydec::stress

// The chunked reader of map tables: every row reads as the whole-file reader reads it, in any
// dialect and whatever the chunk size; a fault refuses only the data set it belongs to.
#include "stress/map_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "support/file_helpers.h"

namespace polydec::stress {
namespace {

namespace fs = std::filesystem;

// Scratch files in a folder of this process (several checkouts run their suites at once),
// removed when the tests end.
struct ScratchFolder {
  fs::path dir =
      fs::temp_directory_path() / ("polydec_map_table_test_" + std::to_string(::getpid()));
  ScratchFolder() { fs::create_directories(dir); }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

fs::path Scratch(const std::string& name, const std::string& text) {
  static const ScratchFolder folder;
  const fs::path p = folder.dir / name;
  polydec::test::WriteFile(p, text);
  return p;
}

std::vector<MapTableSet> ReadAll(const fs::path& path, std::size_t chunk, bool parallel,
                                 bool skipIncomplete = false,
                                 std::vector<std::string>* columns = nullptr) {
  MapTableReader reader(path.string(), std::nullopt, {}, skipIncomplete);
  EXPECT_FALSE(reader.Error()) << reader.Error()->Describe();
  if (columns) *columns = reader.ExtraColumns();
  // Jobs run backwards, as no thread pool would: the result must not depend on the order.
  const ParallelFor backwards = [](std::size_t n, const std::function<void(std::size_t)>& job) {
    for (std::size_t k = n; k-- > 0;) job(k);
  };
  std::vector<MapTableSet> all, chunkSets;
  while (reader.Next(chunk, chunkSets, parallel ? backwards : ParallelFor{})) {
    EXPECT_LE(chunkSets.size(), chunk);
    for (MapTableSet& s : chunkSets) all.push_back(std::move(s));
  }
  EXPECT_FALSE(reader.Error());
  return all;
}

TEST(MapTable, RowsReadAsTheWholeFileReaderReadsThemInEveryDialect) {
  struct Case {
    const char* name;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"comma, preamble and comments, extra columns",
       "Scan 17, beamline B\n# wavelength: 1.5406\nset,x,y,hkl,phi,psi,d,d_err,d0\n"
       "A,0,0,2 1 1,0,0,1.1701,2e-5,1.17004\nA,0,0,2 1 1,0,30,1.1703,2e-5,1.17004\n"
       "# a comment between rows\n\nB,0.5,0,2 1 1,0,0,1.1699,2e-5,1.17004\n"
       "B,0.5,0,2 1 1,90,30,1.1702,2e-5,1.17004\nC,1,0,2 1 1,0,0,1.17,,1.17004\n"},
      {"semicolons, decimal commas, stated separator, CRLF",
       "sep=;\r\npoint;h;k;l;phi;psi;d;+/-;d0;+/-\r\n1;2;1;1;0;0;1,1701;0,00002;1,17004;0,00001\r\n"
       "1;2;1;1;45;-30;1,1704;0,00002;1,17004;0,00001\r\n2;3;1;0;0;0;0,9065;0,00002;0,9064;0\r\n"},
      {"TAB, byte-order mark, hexagonal four indices",
       "\xEF\xBB\xBFlabel\thkl\tphi\tpsi\td\td0\nP1\t(1 0 -1 1)\t0\t10\t2.23\t2.2301\n"
       "P2\t(1 0 -1 1)\t0\t10\t2.231\t2.2301\nP2\t(1 0 -1 1)\t90\t10\t2.232\t2.2301\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = Scratch("dialect.csv", c.text);
    const MeasurementTableRead whole = ReadMeasurementTable(path.string(), std::nullopt);
    ASSERT_TRUE(whole.isTable);
    ASSERT_FALSE(whole.error) << whole.error->Describe();
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{100}})
      for (const bool parallel : {false, true}) {
        const std::vector<MapTableSet> sets = ReadAll(path, chunk, parallel);
        std::size_t k = 0;
        for (const MapTableSet& s : sets) {
          EXPECT_FALSE(s.error);
          for (const StressMeasurement& m : s.rows) {
            ASSERT_LT(k, whole.rows.size());
            const MeasurementCells& w = whole.rows[k++];
            EXPECT_EQ(m.label, w.label);
            EXPECT_EQ(s.label, w.label);
            EXPECT_EQ(m.row, w.line);
            EXPECT_EQ(m.reflection, w.hkl);
            EXPECT_EQ(m.phi, std::stold(w.phi));
            EXPECT_EQ(m.psi, std::stold(w.psi));
            EXPECT_EQ(m.d, std::stold(w.d));
            EXPECT_EQ(m.d0, std::stold(w.d0));
            EXPECT_EQ(m.sdGiven, !w.dErr.empty());
            if (m.sdGiven) {
              EXPECT_EQ(m.sd, std::stold(w.dErr));
            }
            EXPECT_EQ(m.sd0Given, !w.d0Err.empty());
          }
        }
        EXPECT_EQ(k, whole.rows.size());
      }
  }
}

TEST(MapTable, AFaultRefusesOnlyItsDataSetAndTheCarriedColumnsAreTheFirstRowsCells) {
  const std::string text =
      "set,x,y,hkl,phi,psi,d,d0\n"
      "A,1,2,2 1 1,0,0,1.1701,1.17004\nA,9,9,2 1 1,0,30,1.1703,1.17004\n"
      "B,3,4,2 1 1,zero,0,1.1701,1.17004\nB,3,4,2 1 1,0,30,1.1703,1.17004\n"  // line 4: psi
      "C,5,6,2 1 1,0,0,1.1701,1.17004\n"
      "A,7,8,2 1 1,90,0,1.1701,1.17004\n"                                    // line 7: A again
      "D,1,1,2 1 1,0,0,NaN,1.17004\nD,1,1,2 1 1,0,30,1.1703,1.17004\n"       // line 8: no d
      "E,2,2,2 1 1,0,0,1.1701,1.17004,extra\n"                               // line 10: a cell too many
      "F,3,3,2 1 1,0,0,1.1701,1.17004\n";
  const fs::path path = Scratch("faults.csv", text);
  std::vector<std::string> columns;
  const std::vector<MapTableSet> sets = ReadAll(path, 2, true, false, &columns);
  EXPECT_EQ(columns, (std::vector<std::string>{"x", "y"}));
  struct Expected {
    const char* label;
    int firstLine;
    int rows;
    int errorLine;  // 0: no error
    const char* says;
  };
  const Expected expected[] = {{"A", 2, 2, 0, ""},
                               {"B", 4, 0, 4, "phi"},
                               {"C", 6, 1, 0, ""},
                               {"A", 7, 0, 7, "starts again at line 7"},
                               {"D", 8, 0, 8, "no d"},
                               {"E", 10, 0, 10, "cells"},
                               {"F", 11, 1, 0, ""}};
  ASSERT_EQ(sets.size(), std::size(expected));
  for (std::size_t k = 0; k < sets.size(); ++k) {
    SCOPED_TRACE(expected[k].label);
    EXPECT_EQ(sets[k].label, expected[k].label);
    EXPECT_EQ(sets[k].firstLine, expected[k].firstLine);
    EXPECT_EQ(static_cast<int>(sets[k].rows.size()), expected[k].rows);
    ASSERT_EQ(sets[k].error.has_value(), expected[k].errorLine != 0);
    if (sets[k].error) {
      EXPECT_EQ(sets[k].error->line, expected[k].errorLine);
      EXPECT_NE(sets[k].error->Describe().find(expected[k].says), std::string::npos)
          << sets[k].error->Describe();
    }
  }
  EXPECT_EQ(sets[0].extra, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(sets[2].extra, (std::vector<std::string>{"5", "6"}));

  // Rows without d are left out when asked: D keeps its other row.
  const std::vector<MapTableSet> skipped = ReadAll(path, 100, false, true);
  ASSERT_EQ(skipped.size(), std::size(expected));
  EXPECT_FALSE(skipped[4].error);
  EXPECT_EQ(skipped[4].rows.size(), 1u);
}

TEST(MapTable, FilesThatAreNoTableAreRefusedAsAWhole) {
  const std::vector<std::string> texts = {
      "0 0 1 1 1 1 0 0\n\t#\th k l\tphi\tpsi\tF11\n",  // a worksheet file
      "set,hkl,phi,d\nA,2 1 1,0,1.17\n",               // no psi column
      ""};
  for (const std::string& text : texts) {
    const fs::path path = Scratch("none.csv", text);
    MapTableReader reader(path.string(), std::nullopt, {}, false);
    ASSERT_TRUE(reader.Error()) << text;
    std::vector<MapTableSet> sets;
    EXPECT_FALSE(reader.Next(10, sets));
  }
  MapTableReader missing("/nonexistent/map.csv", std::nullopt, {}, false);
  EXPECT_TRUE(missing.Error());
}

}  // namespace
}  // namespace polydec::stress

// The worksheet file: its bytes on disk, what a read stores from hand-written files, and the
// failures of reading and writing, which must name the file and line and never cost the
// previous file.
#include "stress/worksheet_file.h"
#include "support/file_size_limit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stress/worksheet_cells.h"

namespace polydec::stress {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class WorksheetFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_worksheet_file_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
    return Path(name);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> FilesInFolder() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }

  fs::path dir_;
};

// A small table of the S1 layout: header, two rows, with a "½" header, an empty cell and
// characters that would break the layout.
WorksheetTable SmallTable() {
  WorksheetTable t;
  t.flags = {false, true, false, false, true, true, false, true};
  t.cols = 3;
  t.rows = {{"", "S1", "\xC2\xBDS2"}, {"1", "a\tb", ""}, {"2", "x\r\ny", "1.5"}};
  return t;
}

TEST_F(WorksheetFileTest, WritesFlagsRowsAndAClosingLineInWindows1252WithCrLf) {
  const std::string path = Path("t.tsd");
  ASSERT_FALSE(WriteWorksheetFile(path, SmallTable()));
  EXPECT_EQ(Read(path),
            "0 1 0 0 1 1 0 1 \r\n"
            " \tS1\t\xBDS2\t\r\n"
            "1\ta b\t \t\r\n"
            "2\tx  y\t1.5\t\r\n"
            " \t \t \t\r\n");
  EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"t.tsd"});  // no temporary file left

  // Read back: the flags, the 0xBD as UTF-8 "½", the closing line not stored.
  const WorksheetFileRead r = ReadWorksheetFile(path, 400);
  ASSERT_FALSE(r.error);
  EXPECT_EQ(r.flags, SmallTable().flags);
  EXPECT_TRUE(r.headerFound);
  EXPECT_FALSE(r.fij);
  EXPECT_EQ(r.cols, kWorksheetS1Columns);
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[0][2], "\xC2\xBDS2");
  EXPECT_EQ(r.rows[1][1], "a b");
  EXPECT_EQ(r.rows[1][2], " ");
  EXPECT_EQ(r.rows[2][3], "");  // beyond the fields of the line
}

TEST_F(WorksheetFileTest, ReadsHandWrittenFilesAsTheSavedLayoutPrescribes) {
  using Rows = std::vector<std::vector<std::string>>;
  struct Case {
    const char* name;
    std::string text;
    int rowCount;
    std::array<bool, 8> flags;
    bool headerFound, fij;
    Rows firstCells;  // the first three cells of every stored row
  };
  const std::array<bool, 8> start = {false, false, true, true, true, true, false, false};
  const std::array<bool, 8> none{};
  const std::string fijHeader = " \t#\th k l\tphi\tpsi\td\t+/-\td0\t+/-\tF11\tF22\t";
  const std::vector<Case> cases = {
      {"LF line ends and a UTF-8 half",
       "0 0 1 1 1 1 0 0 \n \t#\t\xC2\xBDS2\tS1\t\n1\ta\tb\t\n \t \t \t\n", 400, start, true, false,
       Rows{{" ", "#", "\xC2\xBDS2"}, {"1", "a", "b"}}},
      {"no closing line: the last row is kept",
       "0 0 1 1 1 1 0 0 \r\n" + fijHeader + "\r\n1\ta\tb\t\r\n2\tc\td\t", 400, start, true, true,
       Rows{{" ", "#", "h k l"}, {"1", "a", "b"}, {"2", "c", "d"}}},
      {"a last line of blanks and TABs is dropped, an empty middle line is a row",
       "0 0 1 1 1 1 0 0 \r\n" + fijHeader + "\r\n\r\n2\tc\t\r\n \t\t \t", 400, start, true,
       true, Rows{{" ", "#", "h k l"}, {"", "", ""}, {"2", "c", ""}}},
      {"lines beyond the worksheet's rows are read too (it grows), none is cut",
       "1 1 1 1 1 1 1 1\r\n S1\r\nr1\r\nr2\r\nr3\r\nr4\r\nr5\r\n",
       3,
       {true, true, true, true, true, true, true, true},
       true,
       false,
       Rows{{" S1", "", ""},
            {"r1", "", ""},
            {"r2", "", ""},
            {"r3", "", ""},
            {"r4", "", ""},
            {"r5", "", ""}}},
      {"each TAB ends one cell: empty cells keep their columns",
       "0\r\n\tF11\t\t\r\n1\t\ta\t\tb\tc\r\n\r\n", 400, none, true, true,
       Rows{{"", "F11", ""}, {"1", "", "a"}}},
      {"flags: only the word 1 checks a box, separators as in words",
       "1,0;x\t1 \"1\" yes\r\n F11 \r\n",
       400,
       {true, false, false, true, true, false, false, false},
       true,
       true,
       Rows{{" F11 ", "", ""}}},
      {"no header",
       "1 1 1 1 1 1 1 1 \r\nh k l\td\r\nrow\r\n",
       400,
       {true, true, true, true, true, true, true, true},
       false,
       false,
       Rows{}},
      {"empty file", "", 400, none, false, false, Rows{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WorksheetFileRead r = ReadWorksheetFile(Write("c.tsd", c.text), c.rowCount);
    ASSERT_FALSE(r.error) << r.error->Describe();
    EXPECT_TRUE(r.flagsRead);
    EXPECT_EQ(r.flags, c.flags);
    EXPECT_EQ(r.headerFound, c.headerFound);
    if (!c.headerFound) {
      EXPECT_TRUE(r.rows.empty());
      continue;
    }
    EXPECT_EQ(r.fij, c.fij);
    EXPECT_EQ(r.cols, c.fij ? 34 : 28);
    Rows first;
    for (const auto& row : r.rows) {
      EXPECT_EQ(static_cast<int>(row.size()), r.cols);
      first.push_back({row[0], row[1], row[2]});
    }
    EXPECT_EQ(first, c.firstCells);
  }
}

TEST_F(WorksheetFileTest, AHeaderWithS1AndNoF11HasTwentyEightColumnsWhateverItHolds) {
  std::string header;
  for (int c = 0; c < 34; ++c) header += std::string(WorksheetHeader(c, false)) + "x\t";
  const WorksheetFileRead r =
      ReadWorksheetFile(Write("s1.tsd", "0\r\n" + header + "\r\nend\r\n"), 400);
  ASSERT_TRUE(r.headerFound);
  EXPECT_EQ(r.cols, 28);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0].size(), 28u);
  EXPECT_EQ(r.rows[0][27], "chisqx");
}

TEST_F(WorksheetFileTest, BadFilesNameFileAndLineAndKeepTheRowsReadBefore) {
  const std::string head = "0 0 1 1 1 1 0 0 \r\n F11\r\n1\r\n2\r\n";
  struct Case {
    const char* name;
    std::string text;
    int line;
    const char* message;
    bool flagsRead;
    std::size_t rowsKept;
  };
  const std::vector<Case> cases = {
      {"huge line", head + std::string(kMaxWorksheetLineLength + 1, 'x') + "\r\nlast\r\n", 5,
       "line longer than 1048576 characters", true, 3},
      {"huge first line", std::string(kMaxWorksheetLineLength + 10, '1'), 1, "line longer than",
       false, 0},
      {"binary",
       head +
           std::string("\x7f"
                       "ELF\0\0\x01",
                       7) +
           "\r\n",
       5, "NUL byte", true, 3},
      {"binary header", std::string("0\r\nF11\0x\r\n", 10), 2, "NUL byte", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write("bad.tsd", c.text);
    const WorksheetFileRead r = ReadWorksheetFile(path, 400);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->line, c.line);
    EXPECT_THAT(r.error->message, HasSubstr(c.message));
    EXPECT_THAT(r.error->Describe(), StartsWith(path + ", line " + std::to_string(c.line) + ": "));
    EXPECT_EQ(r.flagsRead, c.flagsRead);
    EXPECT_EQ(r.rows.size(), c.rowsKept);
  }
  const WorksheetFileRead missing = ReadWorksheetFile(Path("none.tsd"), 400);
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(missing.error->Describe(), Path("none.tsd") + ": file not found");
  EXPECT_FALSE(missing.flagsRead);
  const WorksheetFileRead folder = ReadWorksheetFile(dir_.string(), 400);
  ASSERT_TRUE(folder.error);
  EXPECT_THAT(folder.error->message, HasSubstr("folder"));
}

// A worksheet longer than the 400 rows of a new one is read whole and the table grows to hold
// it, new rows numbered; only beyond kMaxWorksheetRows is the file refused, naming the limit
// and the line, and never cut without a word.
TEST_F(WorksheetFileTest, EveryRowIsReadAndOnlyRowsBeyondTheLimitAreRefused) {
  const auto file = [&](int rows, bool closingLine) {
    std::string text = "0 0 1 1 1 1 0 0 \r\n \t#\tF11\t\r\n";
    for (int r = 1; r <= rows; ++r)
      text += std::to_string(r) + "\tset\t" + std::to_string(r) + "\t\r\n";
    if (closingLine) text += " \t \t \t\r\n";
    return Write("long.tsd", text);
  };
  const WorksheetFileRead read = ReadWorksheetFile(file(450, true), kWorksheetRows);
  ASSERT_FALSE(read.error) << read.error->Describe();
  ASSERT_EQ(read.rows.size(), 451u);
  EXPECT_EQ(read.rows[450][2], "450");

  core::CellTable g;
  NewWorksheet(g);
  ApplyWorksheetRead(g, read, true);
  EXPECT_EQ(g.rows, 451);
  EXPECT_EQ(g.Cell(0, 450), "450");
  EXPECT_EQ(g.Cell(g.ColumnOf("F11"), 450), "450");
  // Saved again, no row is lost.
  ASSERT_FALSE(WriteWorksheetFile(Path("again.tsd"), WorksheetSaveTable(g, read.flags)));
  EXPECT_EQ(ReadWorksheetFile(Path("again.tsd"), kWorksheetRows).rows.size(), 451u);

  const WorksheetFileRead atLimit = ReadWorksheetFile(file(kMaxWorksheetRows, true), 400);
  ASSERT_FALSE(atLimit.error) << atLimit.error->Describe();
  EXPECT_EQ(atLimit.rows.size(), static_cast<std::size_t>(kMaxWorksheetRows) + 1);

  for (const bool closingLine : {false, true}) {
    SCOPED_TRACE(closingLine ? "with the closing line" : "without the closing line");
    const std::string path = file(kMaxWorksheetRows + 1, closingLine);
    const WorksheetFileRead over = ReadWorksheetFile(path, 400);
    ASSERT_TRUE(over.error);
    EXPECT_EQ(over.error->Describe(),
              path + ", line " + std::to_string(kMaxWorksheetRows + 3) +
                  ": the file has more than 100000 rows, the most a worksheet holds; rows 1 to "
                  "100000 were read");
    EXPECT_EQ(over.rows.size(), static_cast<std::size_t>(kMaxWorksheetRows) + 1);
  }
}

using test::FileSizeLimit;

WorksheetTable BigTable() {
  WorksheetTable t;
  t.cols = 34;
  t.rows.assign(400, std::vector<std::string>(34, "123.456789"));
  return t;
}

TEST_F(WorksheetFileTest, AFailedSaveKeepsThePreviousFileAndSaysWhy) {
  const std::string path = Write("keep.tsd", "previous contents\r\n");
  {
    FileSizeLimit full(4096);
    const auto error = WriteWorksheetFile(path, BigTable());
    ASSERT_TRUE(error);
    EXPECT_THAT(error->Describe(), StartsWith(path + ": the file could not be written"));
  }
  EXPECT_EQ(Read(path), "previous contents\r\n");
  EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"keep.tsd"});

  const auto onFolder = WriteWorksheetFile(dir_.string(), BigTable());
  ASSERT_TRUE(onFolder);
  EXPECT_THAT(onFolder->message, HasSubstr("folder"));

  const auto nowhere = WriteWorksheetFile(Path("no/such/folder/x.tsd"), BigTable());
  ASSERT_TRUE(nowhere);
  EXPECT_THAT(nowhere->message, HasSubstr("no file can be created in the folder"));
}

TEST_F(WorksheetFileTest, AFolderWithoutWritePermissionKeepsThePreviousFile) {
  const std::string path = Write("keep.tsd", "previous contents\r\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (access(dir_.c_str(), W_OK) == 0) GTEST_SKIP() << "the folder stays writable for this user";
  const auto readOnly = WriteWorksheetFile(path, BigTable());
  ASSERT_TRUE(readOnly);
  EXPECT_THAT(readOnly->message, HasSubstr("no file can be created"));
  EXPECT_EQ(Read(path), "previous contents\r\n");
}

TEST_F(WorksheetFileTest, ASaveReplacesTheOldFileAndAvoidsNamesInUse) {
  const std::string path = Write("w.tsd", "old");
  Write("w.tsd.tmp", "someone else's file");
  ASSERT_FALSE(WriteWorksheetFile(path, SmallTable()));
  EXPECT_EQ(Read(Path("w.tsd.tmp")), "someone else's file");
  EXPECT_THAT(Read(path), StartsWith("0 1 0 0 1 1 0 1 \r\n"));
}

}  // namespace
}  // namespace polydec::stress

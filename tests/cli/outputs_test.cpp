// An output that would replace a file the command reads is refused before anything is written:
// the input stays as it was, whichever name (or link) the output is given by.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "support/file_helpers.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;

TEST(CliOutputs, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("polydec_outputs_" + std::to_string(rd()));
  fs::create_directories(dir);
  const fs::path odf = dir / "rolling.odf", database = dir / "pfcryst.dat",
                 sheet = dir / "sheet.tsd", link = dir / "link.odf";
  fs::copy_file(POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf", odf);
  fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", database);
  fs::copy_file(POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd", sheet);
  fs::create_symlink(odf, link);
  const std::string before[] = {test::ReadFile(odf), test::ReadFile(database),
                                test::ReadFile(sheet)};

  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"odf", "write", odf.string(), "-o", odf.string()}, "a file the command reads"},
      {{"odf", "write", odf.string(), "-o", link.string()}, "a file the command reads"},
      {{"polefigure", odf.string(), "--hkl", "1 1 1", "-o", odf.string()},
       "a file the command reads"},
      {{"schmid", "--database", database.string(), "-o", database.string()},
       "a file the command reads"},
      {{"worksheet", sheet.string(), "--database", database.string(), "--csv", sheet.string()},
       "a file the command reads"},
      {{"worksheet", sheet.string(), "--database", database.string(), "-o",
        database.string()},
       "a file the command reads"},
      {{"worksheet", sheet.string(), "--database", database.string(), "-o",
        (dir / "out.tsd").string(), "--csv", (dir / "out.tsd").string()},
       "name the same file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const CliRun r = RunPolydec(c.args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFile(odf), before[0]);
    EXPECT_EQ(test::ReadFile(database), before[1]);
    EXPECT_EQ(test::ReadFile(sheet), before[2]);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(dir / "out.tsd"));
  }
  // The worksheet may still be saved over itself.
  const CliRun saved = RunPolydec(
      {"worksheet", sheet.string(), "--database", database.string(), "-o", sheet.string()});
  EXPECT_EQ(saved.status, 0) << saved.err;
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// Every file a command reads counts as input, also those it finds by itself: the shipped random
// orientation set that `grains write` weights would be replaced by its weighted copy.
TEST(CliOutputs, TheRandomSetAGrainsFileIsMadeFromIsAnInputToo) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("polydec_sets_" + std::to_string(rd()));
  fs::create_directories(dir);
  const fs::path set = dir / "random228.wts";
  fs::copy_file(fs::path(POLYDEC_BIN_DIR) / "random228.wts", set);
  const std::string before = test::ReadFile(set);
  const std::string odf = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";
  const CliRun r = RunPolydec(
      {"grains", "write", odf, "--sets", dir.string(), "--random", "228", "-o", set.string()});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("a file the command reads"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(set), before);
  const CliRun other = RunPolydec({"grains", "write", odf, "--sets", dir.string(), "--random",
                                   "228", "-o", (dir / "weighted.wts").string()});
  EXPECT_EQ(other.status, 0) << other.err;
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// A worksheet is saved over a worksheet, an empty file or no file, never over a file that holds
// something else: the measurement table it was loaded from, or any other text.
TEST(CliOutputs, AWorksheetIsNotSavedOverAFileThatIsNoWorksheet) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("polydec_sheets_" + std::to_string(rd()));
  fs::create_directories(dir);
  const fs::path table = dir / "t.csv", notes = dir / "notes.txt", empty = dir / "empty.tsd";
  fs::copy_file(POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.csv", table);
  test::WriteFile(notes, "measured on Monday\n");
  test::WriteFile(empty, "");
  const std::string tableText = test::ReadFile(table);
  const std::string example = POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd";
  struct Case {
    std::vector<std::string> args;
    fs::path kept;
    std::string text;
    const char* says;
  };
  const Case cases[] = {
      {{"worksheet", table.string(), "-o", table.string()},
       table,
       tableText,
       "this is a measurement table, not a worksheet file"},
      {{"worksheet", example, "-o", table.string()},
       table,
       tableText,
       "this is a measurement table, not a worksheet file"},
      {{"worksheet", example, "-o", notes.string()},
       notes,
       "measured on Monday\n",
       "this file holds no worksheet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " -o " + c.args.back());
    const CliRun r = RunPolydec(c.args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.kept.string()), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFile(c.kept), c.text);
  }
  const CliRun intoEmpty = RunPolydec({"worksheet", table.string(), "-o", empty.string()});
  EXPECT_EQ(intoEmpty.status, 0) << intoEmpty.err;
  const CliRun overSheet = RunPolydec({"worksheet", table.string(), "-o", empty.string()});
  EXPECT_EQ(overSheet.status, 0) << overSheet.err;
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// A file without write permission is not replaced by an output, whoever runs the command.
TEST(CliOutputs, AReadOnlyTargetIsRefusedAndKept) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("polydec_readonly_" + std::to_string(rd()));
  fs::create_directories(dir);
  const fs::path sheet = dir / "sheet.tsd", report = dir / "fit.res";
  fs::copy_file(POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd", sheet);
  test::WriteFile(report, "earlier report\n");
  fs::permissions(sheet, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(report, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string sheetText = test::ReadFile(sheet);
  const CliRun saved = RunPolydec({"worksheet", sheet.string(), "-o", sheet.string()});
  EXPECT_EQ(saved.status, 1) << saved.err;
  EXPECT_NE(saved.err.find(sheet.string()), std::string::npos) << saved.err;
  EXPECT_NE(saved.err.find("read-only"), std::string::npos) << saved.err;
  EXPECT_EQ(test::ReadFile(sheet), sheetText);
  const CliRun polefigure =
      RunPolydec({"polefigure", POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf", "--hkl", "1 1 0",
                  "-o", report.string()});
  EXPECT_EQ(polefigure.status, 1) << polefigure.err;
  EXPECT_NE(polefigure.err.find("read-only"), std::string::npos) << polefigure.err;
  EXPECT_EQ(test::ReadFile(report), "earlier report\n");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace polydec::cli_test

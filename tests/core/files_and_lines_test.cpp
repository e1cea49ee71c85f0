// The line reader every text reader uses and the atomic writer every file the program writes
// goes through: line ends of any origin, and a target that holds either its old or its new
// contents, whatever goes wrong in between.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/input_error.h"
#include "core/text_lines.h"
#include "support/file_helpers.h"
#include "support/file_size_limit.h"
#include "support/unprivileged.h"

namespace polydec::core {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

TEST(TextLines, EveryLineEndEndsALineAndALastEndAddsNoLine) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      // Line ends are searched in windows of a few hundred bytes: a CR beyond the first
      // window still ends the line before a later LF.
      {std::string(300, 'x') + "\rb\ny", {std::string(300, 'x'), "b", "y"}},
      {std::string(600, 'x') + "\n" + std::string(600, 'z'),
       {std::string(600, 'x'), std::string(600, 'z')}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
    std::istringstream in(c.text);
    LineSource source(*in.rdbuf(), 1000);
    std::vector<std::string> read;
    std::string line;
    while (source.Next(line) == LineRead::kLine) read.push_back(line);
    EXPECT_EQ(read, c.lines) << c.text;
    EXPECT_EQ(source.Number(), static_cast<int>(c.lines.size()));
  }
}

TEST(TextLines, ALineLongerThanTheBoundEndsReading) {
  std::istringstream in("1234\n12345\nx\n");
  LineSource source(*in.rdbuf(), 4);
  std::string line;
  EXPECT_EQ(source.Next(line), LineRead::kLine);
  EXPECT_EQ(source.Next(line), LineRead::kTooLong);
  EXPECT_EQ(source.Number(), 2);
}

// The stream is read in blocks of 64 KiB: a line end, a CR LF pair or a long line that straddles
// two blocks is the same line as anywhere else.
TEST(TextLines, LinesAcrossTheReadingBlocks) {
  const std::size_t block = std::size_t{1} << 16;
  for (const std::size_t at : {block - 2, block - 1, block, block + 1}) {
    SCOPED_TRACE(at);
    std::string text(at, 'a');
    text += "\r\nb\r\n";
    text += std::string(3 * block, 'c');
    text += "\rd";
    std::istringstream in(text);
    LineSource source(*in.rdbuf(), 4 * block);
    std::vector<std::string> read;
    std::string line;
    while (source.Next(line) == LineRead::kLine) read.push_back(line);
    EXPECT_EQ(read, (std::vector<std::string>{std::string(at, 'a'), "b",
                                              std::string(3 * block, 'c'), "d"}));
  }
}

TEST(InputError, NamesWhatIsKnownOfTheWhere) {
  EXPECT_EQ((InputError{"a.tsd", 12, 5, "psi", "not a number"}).Describe(),
            "a.tsd, line 12, column 5 (psi): not a number");
  EXPECT_EQ((InputError{"a.tsd", 0, 0, {}, "file not found"}).Describe(), "a.tsd: file not found");
  EXPECT_EQ((InputError{{}, 3, 0, "d0", "is 0"}).Describe(), "line 3 (d0): is 0");
  EXPECT_EQ((InputError{{}, 0, 0, {}, "bad"}).Describe(), "bad");
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_atomic_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Names in the folder other than the given ones: leftovers of a writer.
  std::vector<std::string> Others(const std::vector<std::string>& known) const {
    std::vector<std::string> others;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
    }
    return others;
  }
  fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesAndAppendsKeepingPermissionsAndLeavingNothingBehind) {
  const fs::path target = dir_ / "out.txt";
  ASSERT_FALSE(WriteFileAtomically(target.string(), "old\r\n"));
  ::chmod(target.c_str(), 0600);
  ASSERT_FALSE(WriteFileAtomically(target.string(), "new\r\n"));
  EXPECT_EQ(ReadFile(target), "new\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_FALSE(AppendFileAtomically(target.string(), "more\r\n"));
  EXPECT_EQ(ReadFile(target), "new\r\nmore\r\n");
  ASSERT_FALSE(AppendFileAtomically((dir_ / "fresh.txt").string(), "first"));
  EXPECT_EQ(ReadFile(dir_ / "fresh.txt"), "first");
  EXPECT_TRUE(Others({"out.txt", "fresh.txt"}).empty());
}

TEST_F(AtomicFileTest, ALinkStaysALinkAndItsFileIsReplaced) {
  const fs::path real = dir_ / "real.txt", link = dir_ / "link.txt";
  WriteFile(real, "old");
  fs::create_symlink("real.txt", link);
  ASSERT_FALSE(WriteFileAtomically(link.string(), "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new");
}

TEST_F(AtomicFileTest, LeftoverAndPlantedFilesBesideTheTargetAreNeitherUsedNorInTheWay) {
  const fs::path target = dir_ / "sheet.tsd";
  WriteFile(target, "old");
  for (int k = 0; k < 100; ++k) WriteFile(dir_ / ("sheet.tsd.tmp" + std::to_string(k)), "x");
  WriteFile(dir_ / "victim", "keep");
  fs::create_symlink("victim", dir_ / "sheet.tsd.tmp");
  ASSERT_FALSE(WriteFileAtomically(target.string(), "new"));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(ReadFile(dir_ / "victim"), "keep");
}

TEST_F(AtomicFileTest, RefusesWhatIsNoRegularFileAndSaysWhy) {
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::string says;
  };
  const Case cases[] = {{dir_.string(), "folder"},
                        {fifo.string(), "pipe"},
                        {"/dev/null", "device"},
                        {(dir_ / "no/such/folder/x").string(), "no file can be created"},
                        {"", "no file name"}};
  for (const Case& c : cases) {
    const auto why = WriteFileAtomically(c.path, "x");
    ASSERT_TRUE(why) << c.path;
    EXPECT_NE(why->find(c.says), std::string::npos) << *why;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(Others({"pipe"}).empty());
}

TEST_F(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const fs::path target = dir_ / "big.txt";
  WriteFile(target, "old");
  {
    test::FileSizeLimit limit(1000);
    const auto why = WriteFileAtomically(target.string(), std::string(5000, 'x'));
    ASSERT_TRUE(why);
    EXPECT_NE(why->find("could not be written"), std::string::npos) << *why;
    EXPECT_TRUE(AppendFileAtomically(target.string(), std::string(5000, 'x')));
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_TRUE(Others({"big.txt"}).empty());
}

// A save killed at any point leaves the old file under the target's name; the temporary file it
// leaves behind goes with the next successful save, while a save still in progress keeps its own.
TEST_F(AtomicFileTest, AKilledSaveLeavesTheOldFileAndTheNextSaveClearsItsTemporary) {
  const fs::path target = dir_ / "sheet.tsd";
  WriteFile(target, "old");
  for (const int written : {0, 3, 100000}) {
    SCOPED_TRACE(written);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      AtomicWriter w(target.string());
      w.Write(std::string(written, 'n'));
      ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(Others({"sheet.tsd"}).size(), 1u) << "the killed save's temporary file";

    AtomicWriter inProgress(target.string());
    inProgress.Write("later");
    ASSERT_FALSE(WriteFileAtomically(target.string(), "new"));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(Others({"sheet.tsd"}).size(), 1u) << "only the save in progress";
    ASSERT_FALSE(inProgress.Commit());
    EXPECT_EQ(ReadFile(target), "later");
    EXPECT_TRUE(Others({"sheet.tsd"}).empty());
    WriteFile(target, "old");
  }
}

// Appends at once take turns: every line of every writer lands, none is lost to another
// writer's copy of the file made before it.
TEST_F(AtomicFileTest, ConcurrentAppendsLoseNothing) {
  const fs::path target = dir_ / "reports.res";
  constexpr int kWriters = 6, kLines = 30;
  std::vector<pid_t> children;
  for (int k = 0; k < kWriters; ++k) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int failures = 0;
      for (int n = 0; n < kLines; ++n)
        if (AppendFileAtomically(target.string(), "writer " + std::to_string(k) + " line " +
                                                      std::to_string(n) + "\n"))
          ++failures;
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::istringstream text(ReadFile(target));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kWriters * kLines));
  for (int k = 0; k < kWriters; ++k)
    for (int n = 0; n < kLines; n += 7)
      EXPECT_NE(std::find(lines.begin(), lines.end(),
                          "writer " + std::to_string(k) + " line " + std::to_string(n)),
                lines.end());
  EXPECT_TRUE(Others({"reports.res"}).empty());

  // An unfinished last line is ended before the appended text when a line end is given.
  const fs::path unfinished = dir_ / "db.dat";
  WriteFile(unfinished, "last");
  ASSERT_FALSE(AppendFileAtomically(unfinished.string(), "next\r\n", "\r\n"));
  EXPECT_EQ(ReadFile(unfinished), "last\r\nnext\r\n");
}

// A file without write permission is not replaced: the rename needs only the folder's
// permission, and would replace a read-only file (and give it the saver as owner). Checked by
// its mode (which stops root too) and, as an ordinary user, for a file of another owner.
TEST_F(AtomicFileTest, AFileWithoutWritePermissionIsNotReplaced) {
  const fs::path readOnly = dir_ / "readonly.res";
  WriteFile(readOnly, "kept");
  ::chmod(readOnly.c_str(), 0444);
  for (const bool append : {false, true}) {
    const auto why = append ? AppendFileAtomically(readOnly.string(), "x")
                            : WriteFileAtomically(readOnly.string(), "x");
    ASSERT_TRUE(why);
    EXPECT_NE(why->find("read-only"), std::string::npos) << *why;
  }
  EXPECT_EQ(ReadFile(readOnly), "kept");

  // As nobody, in a folder everybody may write: root's 0644 file and nobody's own 0444 file are
  // refused; nobody's own 0644 file is replaced.
  ::chmod(dir_.c_str(), 0777);
  const fs::path roots = dir_ / "roots.ini", own = dir_ / "own.ini", ownWritable = dir_ / "w.ini";
  WriteFile(roots, "root's");
  ::chmod(roots.c_str(), 0644);
  for (const fs::path& p : {own, ownWritable}) {
    WriteFile(p, "nobody's");
    if (::chown(p.c_str(), test::kNobody, test::kNobody) != 0) GTEST_SKIP() << "chown failed";
  }
  ::chmod(own.c_str(), 0444);
  ::chmod(ownWritable.c_str(), 0644);
  const std::optional<int> status = test::RunAsNobody([&] {
    const auto a = WriteFileAtomically(roots.string(), "nobody's now");
    const auto b = WriteFileAtomically(own.string(), "changed");
    const auto c = WriteFileAtomically(ownWritable.string(), "changed");
    const bool refused = a && a->find("read-only") != std::string::npos && b &&
                         b->find("read-only") != std::string::npos;
    return refused && !c ? 0 : 1;
  });
  if (!status) GTEST_SKIP() << "cannot run as an ordinary user here";
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(ReadFile(roots), "root's");
  EXPECT_EQ(ReadFile(own), "nobody's");
  EXPECT_EQ(ReadFile(ownWritable), "changed");
  struct stat st {};
  ASSERT_EQ(::stat(roots.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
}

// The clean-up after a save removes the temporary files of this writer only: files of the user
// beside the target whose names look like ".NAME." and six characters, or like the writer's own
// with a different ending, survive every save.
TEST_F(AtomicFileTest, TheCleanUpAfterASaveLeavesLookAlikeFilesOfTheUser) {
  const fs::path target = dir_ / "results.csv";
  WriteFile(target, "old");
  const std::vector<std::string> users = {".results.csv.backup",
                                          ".results.csv.run001",
                                          ".results.csv.XXXXXX",
                                          ".results.csv.polydec-save",
                                          "results.csv.abcdef",
                                          ".results.csv.polydec-unfinished-save.ab",
                                          ".results.csv.polydec-unfinished-save.abc-ef"};
  for (const std::string& name : users) WriteFile(dir_ / name, "the user's " + name);
  ASSERT_FALSE(WriteFileAtomically(target.string(), "new"));
  ASSERT_FALSE(AppendFileAtomically(target.string(), "more"));
  EXPECT_EQ(ReadFile(target), "newmore");
  for (const std::string& name : users) EXPECT_EQ(ReadFile(dir_ / name), "the user's " + name);
  std::vector<std::string> known = users;
  known.push_back("results.csv");
  EXPECT_TRUE(Others(known).empty());
}

}  // namespace
}  // namespace polydec::core

// Where the program finds and keeps its data: beside the program in a build tree; for an
// installed program the shipped files under <prefix>/share/polydec, read only, and the user's
// settings and database copy in the XDG folders. The window's commands follow that choice.
#include "polydec/data_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// Sets an environment variable for the life of the object (unset when value is empty).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Every file below a folder with its contents, to show that nothing was written there.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = ReadFile(e.path());
  return files;
}

// A prefix of its own per test and process: <root>/prefix/{bin,share/polydec} and the user's
// XDG folders under <root>/home.
class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("polydec_data_files_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(bin());
    fs::create_directories(shared());
    fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", shared() / "pfcryst.dat");
    WriteFile(shared() / "random228.wts", "grains\r\n");
    config_.emplace("XDG_CONFIG_HOME", (root_ / "home" / "config").string());
    data_.emplace("XDG_DATA_HOME", (root_ / "home" / "data").string());
  }
  void TearDown() override {
    config_.reset();
    data_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path bin() const { return root_ / "prefix" / "bin"; }
  fs::path shared() const { return root_ / "prefix" / "share" / "polydec"; }
  fs::path userDb() const { return root_ / "home" / "data" / "polydec" / "pfcryst.dat"; }
  fs::path ini() const { return root_ / "home" / "config" / "polydec" / "polydec.ini"; }

  // Types a material into the boxes of the form and adds it.
  static void AddMaterial(MainForm& m, const std::string& name) {
    m.form.SetText("CompoundNameBox", name);
    m.Run("AddDBButtonClick");
  }

  fs::path root_;
  std::optional<ScopedEnv> config_, data_;
  HeadlessServices services_;
};

TEST_F(DataFilesTest, TheProgramsFolderDecidesBetweenBuildTreeAndInstallation) {
  struct Case {
    const char* name;
    bool besideProgram, inShare;
    bool installed;
  };
  const Case cases[] = {
      {"build tree", true, false, false},
      {"build tree that also has an installed copy above it", true, true, false},
      {"installed", false, true, true},
      {"no database anywhere: expected beside the program", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(bin() / "pfcryst.dat");
    fs::remove(shared() / "pfcryst.dat");
    if (c.besideProgram) WriteFile(bin() / "pfcryst.dat", "");
    if (c.inShare) WriteFile(shared() / "pfcryst.dat", "");
    const DataFiles f = LocateDataFiles(bin().string());
    EXPECT_EQ(f.installed, c.installed);
    if (c.installed) {
      EXPECT_EQ(fs::path(f.shippedFolder), shared());
      EXPECT_EQ(fs::path(f.shippedDatabase), shared() / "pfcryst.dat");
      EXPECT_EQ(fs::path(f.userDatabase), userDb());
      EXPECT_EQ(fs::path(f.settingsFolder), ini().parent_path());
      EXPECT_EQ(DatabaseOrigin(f), "installed");
    } else {
      EXPECT_EQ(fs::path(f.shippedFolder), bin());
      EXPECT_EQ(f.userDatabase, f.shippedDatabase);
      EXPECT_EQ(fs::path(f.shippedDatabase), bin() / "pfcryst.dat");
      EXPECT_EQ(fs::path(f.settingsFolder), bin());
      EXPECT_EQ(DatabaseOrigin(f), "beside the program");
    }
    EXPECT_EQ(ActiveDatabase(f), f.shippedDatabase);
  }
}

TEST_F(DataFilesTest, UserFoldersFollowXdgOrFallBackToHome) {
  struct Case {
    std::optional<std::string> config, data;
    std::string wantConfig, wantData;
  };
  const std::string home = (root_ / "home").string();
  const Case cases[] = {
      {"/xdg/config", "/xdg/data", "/xdg/config/polydec", "/xdg/data/polydec"},
      {std::nullopt, std::nullopt, home + "/.config/polydec", home + "/.local/share/polydec"},
      {"", "", home + "/.config/polydec", home + "/.local/share/polydec"},
      // A relative value is invalid for XDG and ignored, not taken relative to the working
      // folder (which would scatter settings over wherever the program was started).
      {"rel/config", "rel/data", home + "/.config/polydec", home + "/.local/share/polydec"},
  };
  ScopedEnv homeEnv("HOME", home);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wantConfig);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    ScopedEnv data("XDG_DATA_HOME", c.data);
    EXPECT_EQ(UserConfigFolder(), c.wantConfig);
    EXPECT_EQ(UserDataFolder(), c.wantData);
  }
}

TEST_F(DataFilesTest, AnInstalledWindowWritesOnlyTheUsersFolders) {
  const auto shippedBefore = Snapshot(root_ / "prefix");
  const std::string shippedDb = ReadFile(shared() / "pfcryst.dat");
  const DataFiles files = LocateDataFiles(bin().string());
  ASSERT_TRUE(files.installed);
  {
    MainForm m(services_, files);
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_EQ(m.form["CompoundNameBox"].items.size(), 10u);
    EXPECT_FALSE(fs::exists(userDb()));  // reading makes no copy
    AddMaterial(m, "my iron");
    EXPECT_TRUE(services_.messages.empty());
    m.FormClose();
  }
  // The user's copy is the shipped database with the new block appended.
  const std::string copy = ReadFile(userDb());
  ASSERT_EQ(copy.substr(0, shippedDb.size()), shippedDb);
  EXPECT_NE(copy.find("#NAME \"my iron\"", shippedDb.size()), std::string::npos);
  EXPECT_TRUE(fs::exists(ini()));
  EXPECT_EQ(Snapshot(root_ / "prefix"), shippedBefore);
  EXPECT_EQ(DatabaseOrigin(files), "the user's copy");
  EXPECT_EQ(ActiveDatabase(files), userDb().string());

  // A package upgrade replaces the shipped file; the user's copy, with its material, stays the
  // database that is read.
  WriteFile(shared() / "pfcryst.dat", shippedDb + "\r\n");
  MainForm n(services_, LocateDataFiles(bin().string()));
  EXPECT_EQ(n.form["CompoundNameBox"].items.back(), "my iron");
  AddMaterial(n, "my steel");
  const std::string twice = ReadFile(userDb());
  EXPECT_EQ(twice.substr(0, copy.size()), copy);
  EXPECT_NE(twice.find("#NAME \"my steel\"", copy.size()), std::string::npos);
}

TEST_F(DataFilesTest, AUserFolderThatCannotBeMadeRefusesTheAdditionAndNamesIt) {
  fs::create_directories(root_ / "home");
  WriteFile(root_ / "home" / "file", "");
  ScopedEnv data("XDG_DATA_HOME", (root_ / "home" / "file").string());
  const auto shippedBefore = Snapshot(root_ / "prefix");
  MainForm m(services_, LocateDataFiles(bin().string()));
  services_.messages.clear();
  AddMaterial(m, "my iron");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find((root_ / "home" / "file" / "polydec").string()),
            std::string::npos)
      << services_.messages[0].text;
  EXPECT_EQ(m.form["CompoundNameBox"].items.size(), 10u);
  EXPECT_EQ(Snapshot(root_ / "prefix"), shippedBefore);
}

TEST_F(DataFilesTest, ABuildTreeKeepsItsFilesBesideTheProgram) {
  fs::copy_file(shared() / "pfcryst.dat", bin() / "pfcryst.dat");
  {
    MainForm m(services_, LocateDataFiles(bin().string()));
    AddMaterial(m, "my iron");
    EXPECT_TRUE(services_.messages.empty());
    m.FormClose();
  }
  EXPECT_NE(ReadFile(bin() / "pfcryst.dat").find("#NAME \"my iron\""), std::string::npos);
  EXPECT_TRUE(fs::exists(bin() / "polydec.ini"));
  EXPECT_FALSE(fs::exists(root_ / "home"));
}

}  // namespace
}  // namespace polydec::workbench

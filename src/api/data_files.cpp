#include "polydec/data_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace polydec {

namespace fs = std::filesystem;

namespace {

const char kDatabase[] = "pfcryst.dat";

bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

fs::path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
    return pw->pw_dir;
  return ".";
}

// The XDG base folder named by the variable; a relative value is invalid by the XDG rules and
// ignored like an unset one.
fs::path XdgFolder(const char* variable, const fs::path& fallbackUnderHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && *value == '/') return fs::path(value) / "polydec";
  return HomeFolder() / fallbackUnderHome / "polydec";
}

}  // namespace

std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config").string(); }

std::string UserDataFolder() {
  return XdgFolder("XDG_DATA_HOME", fs::path(".local") / "share").string();
}

DataFiles DataFilesIn(const std::string& folder) {
  DataFiles f;
  f.shippedFolder = folder;
  f.shippedDatabase = (fs::path(folder) / kDatabase).string();
  f.userDatabase = f.shippedDatabase;
  f.settingsFolder = folder;
  return f;
}

DataFiles InstalledDataFiles(const std::string& shippedFolder) {
  DataFiles f;
  f.installed = true;
  f.shippedFolder = shippedFolder;
  f.shippedDatabase = (fs::path(shippedFolder) / kDatabase).string();
  f.userDatabase = (fs::path(UserDataFolder()) / kDatabase).string();
  f.settingsFolder = UserConfigFolder();
  return f;
}

DataFiles LocateDataFiles(const std::string& programFolder) {
  const fs::path here(programFolder);
  // A database beside the program wins: the build tree, or a folder the program was copied to
  // with its files.
  if (IsFile(here / kDatabase)) return DataFilesIn(programFolder);
  const fs::path shared = (here.parent_path() / "share" / "polydec").lexically_normal();
  if (IsFile(shared / kDatabase)) return InstalledDataFiles(shared.string());
  // Neither: the files are expected beside the program, so that messages name that place.
  return DataFilesIn(programFolder);
}

DataFiles LocateDataFiles() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return LocateDataFiles(ec ? std::string(".") : exe.parent_path().string());
}

std::string ActiveDatabase(const DataFiles& files) {
  return IsFile(files.userDatabase) ? files.userDatabase : files.shippedDatabase;
}

std::string DatabaseOrigin(const DataFiles& files) {
  if (!files.installed) return "beside the program";
  return IsFile(files.userDatabase) ? "the user's copy" : "installed";
}

Status PrepareUserDatabase(const DataFiles& files) {
  if (!files.installed || IsFile(files.userDatabase)) return Ok();
  const fs::path target(files.userDatabase);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return Refusal("cannot create the folder " + target.parent_path().string() + ": " +
                         ec.message());
  // Copied under a name of its own and renamed: a copy cut short never becomes the user's
  // database, which from then on would hide the shipped one.
  const fs::path partial = target.string() + ".partial-" + std::to_string(::getpid());
  if (IsFile(files.shippedDatabase)) {
    fs::copy_file(files.shippedDatabase, partial, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(partial, target, ec);
    if (ec) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      return Refusal("cannot copy " + files.shippedDatabase + " to " + target.string() + ": " +
                     ec.message());
    }
  }
  // Without a shipped database the first addition starts the user's file.
  return Ok();
}

}  // namespace polydec

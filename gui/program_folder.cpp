#include "program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace polydec::gui {

namespace fs = std::filesystem;

namespace {

const char kDatabase[] = "pfcryst.dat";

bool IsWritableFolder(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK) == 0;
}

bool HasDatabase(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / kDatabase, ec);
}

}  // namespace

bool IsUsableProgramFolder(const fs::path& dir) {
  return HasDatabase(dir) && IsWritableFolder(dir);
}

fs::path UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg == '/') return fs::path(xdg) / "polydec";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return fs::path(home) / ".config" / "polydec";
  return fs::path(".config") / "polydec";
}

fs::path ShippedDataFolder(const fs::path& exeDir) {
  return (exeDir / ".." / "share" / "polydec").lexically_normal();
}

fs::path ExecutableFolder(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  return fs::absolute(fs::path(argv0 != nullptr ? argv0 : ""), ec).parent_path();
}

ProgramFolder ChooseProgramFolder(const fs::path& exeDir, const fs::path& shippedDir,
                                  const fs::path& userDir) {
  if (IsUsableProgramFolder(exeDir)) return {exeDir, ""};

  // Read-only fallback: wherever the shipped database is found.
  const fs::path readable = HasDatabase(shippedDir) ? shippedDir : exeDir;
  std::error_code ec;
  fs::create_directories(userDir, ec);
  if (ec || !IsWritableFolder(userDir))
    return {readable,
            "cannot use the folder " + userDir.string() + (ec ? ": " + ec.message() : "")};

  std::string problem;
  const fs::path source = HasDatabase(shippedDir) ? shippedDir : exeDir;
  for (const fs::directory_entry& entry : fs::directory_iterator(source, ec)) {
    std::error_code fileEc;
    if (!entry.is_regular_file(fileEc)) continue;
    const fs::path target = userDir / entry.path().filename();
    // Only the data files that ship with the program, never the executables beside them.
    if (source == exeDir && entry.path().filename() != kDatabase &&
        entry.path().extension() != ".wts")
      continue;
    if (fs::exists(target, fileEc)) continue;
    fs::copy_file(entry.path(), target, fileEc);
    if (fileEc) problem = "cannot copy " + entry.path().string() + ": " + fileEc.message();
  }
  if (!HasDatabase(userDir) && problem.empty())
    problem = std::string("no ") + kDatabase + " found in " + source.string();
  return {userDir, problem};
}

}  // namespace polydec::gui

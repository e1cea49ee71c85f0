// Where the window reads and writes its data files (the material database "pfcryst.dat", the
// settings "polydec.ini", the random orientation sets): beside the executable in a build tree or
// a copied installation, otherwise in the user's configuration folder, seeded from the files an
// installation ships in <prefix>/share/polydec.
#pragma once

#include <filesystem>
#include <string>

namespace polydec::gui {

struct ProgramFolder {
  std::filesystem::path folder;
  std::string problem;  // empty, or why the folder could not be prepared as wished
};

// $XDG_CONFIG_HOME/polydec, or ~/.config/polydec.
std::filesystem::path UserConfigFolder();
// <prefix>/share/polydec for an executable in <prefix>/bin.
std::filesystem::path ShippedDataFolder(const std::filesystem::path& exeDir);
// The folder of the running executable.
std::filesystem::path ExecutableFolder(const char* argv0);

// True when the folder holds "pfcryst.dat" and may be written: the window then keeps its files
// there.
bool IsUsableProgramFolder(const std::filesystem::path& dir);

// The executable's folder when it holds "pfcryst.dat" and may be written; else the user folder,
// created if missing and given a copy of every shipped file it lacks (existing files are never
// replaced, so the user's database survives updates). The program never writes into a folder it
// cannot write: when the user folder cannot be prepared, the data is read from where it is
// found and writing fails quietly there.
ProgramFolder ChooseProgramFolder(const std::filesystem::path& exeDir,
                                  const std::filesystem::path& shippedDir,
                                  const std::filesystem::path& userDir);

}  // namespace polydec::gui

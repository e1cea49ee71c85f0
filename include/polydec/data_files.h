// Where the program's data files are: the material database, the settings "polydec.ini" and
// the random orientation sets.
//
// A program run from its build tree (or from a folder it was copied into together with its
// files) keeps everything beside the executable, as it always has. An installed program
// (<prefix>/bin/polydec with <prefix>/share/polydec/pfcryst.dat and no database beside it)
// reads its shipped data from <prefix>/share/polydec and never writes there: the settings go to
// $XDG_CONFIG_HOME/polydec (~/.config/polydec), and a material added to the database goes to the
// user's editable copy in $XDG_DATA_HOME/polydec (~/.local/share/polydec), made from the shipped
// database on the first addition. Once that copy exists it is the database every front end
// reads; a package upgrade replaces only the shipped file.
#pragma once

#include <string>

#include "polydec/error.h"

namespace polydec {

struct DataFiles {
  // True for an installed program (the XDG folders are in use).
  bool installed = false;
  // The read-only data: the random orientation sets, the shipped database and the examples
  // (the executable's folder in a build tree).
  std::string shippedFolder;
  // The database as shipped.
  std::string shippedDatabase;
  // The database that additions go to: the user's copy of an installed program, the shipped
  // file itself in a build tree.
  std::string userDatabase;
  // The folder of polydec.ini.
  std::string settingsFolder;
};

// The data files of a program whose executable is in programFolder.
DataFiles LocateDataFiles(const std::string& programFolder);
// The same for the running executable.
DataFiles LocateDataFiles();
// Everything in one folder: a build tree, or a folder prepared by a test.
DataFiles DataFilesIn(const std::string& folder);
// An installation whose shipped data is in shippedFolder (<prefix>/share/polydec), for a front
// end that is not an executable of the prefix, such as the Python module.
DataFiles InstalledDataFiles(const std::string& shippedFolder);

// $XDG_CONFIG_HOME/polydec, else ~/.config/polydec.
std::string UserConfigFolder();
// $XDG_DATA_HOME/polydec, else ~/.local/share/polydec.
std::string UserDataFolder();

// The database that is read: the user's copy when it exists, else the shipped one.
std::string ActiveDatabase(const DataFiles& files);
// What ActiveDatabase is, for people: "the user's copy", "installed", "beside the program".
std::string DatabaseOrigin(const DataFiles& files);

// Makes userDatabase ready to be appended to: for an installed program, creates its folder and
// copies the shipped database there when the copy does not exist yet (an existing copy is never
// replaced). Nothing to do in a build tree. The error names the folder or file that failed.
Status PrepareUserDatabase(const DataFiles& files);

}  // namespace polydec

// Reading and writing whole files byte for byte, for tests that prepare inputs and inspect
// what the program wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>

namespace polydec::test {

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

// A new folder of its own in the temporary folder, laid out as the program's folder: a copy of
// the shipped material database and of the named files the build puts beside the program.
// Removing it is the caller's.
inline std::filesystem::path MakeProgramFolder(const std::string& prefix,
                                               std::initializer_list<const char*> builtFiles = {}) {
  namespace fs = std::filesystem;
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / (prefix + std::to_string(rd()));
  fs::create_directories(dir);
  fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", dir / "pfcryst.dat");
  for (const char* name : builtFiles) fs::copy_file(fs::path(POLYDEC_BIN_DIR) / name, dir / name);
  return dir;
}

}  // namespace polydec::test

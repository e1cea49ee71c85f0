// The folder of the running window program, from which its data files are located (see
// polydec/data_files.h).
#pragma once

#include <filesystem>

namespace polydec::gui {

// The folder of the running executable.
std::filesystem::path ExecutableFolder(const char* argv0);

}  // namespace polydec::gui

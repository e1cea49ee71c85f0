#include "program_folder.h"

#include <system_error>

namespace polydec::gui {

namespace fs = std::filesystem;

fs::path ExecutableFolder(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  return fs::absolute(fs::path(argv0 != nullptr ? argv0 : ""), ec).parent_path();
}

}  // namespace polydec::gui

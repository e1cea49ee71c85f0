#include "core/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace polydec::core {

std::optional<std::string> InputFileProblem(const std::string& path) {
  if (path.empty()) return std::string("no file name was given");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::string("file not found");
    return "the file cannot be examined (" + std::string(std::strerror(errno)) + ")";
  }
  if (S_ISREG(st.st_mode)) return std::nullopt;
  if (S_ISDIR(st.st_mode)) return std::string("this is a folder, not a file");
  if (S_ISFIFO(st.st_mode))
    return std::string("this is a pipe, not a file (reading it would wait for a writer)");
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return std::string("this is a device, not a file");
  if (S_ISSOCK(st.st_mode)) return std::string("this is a socket, not a file");
  return std::string("this is not a regular file");
}

}  // namespace polydec::core

// What every reader checks before it opens a file: that the name is a regular file (or a link to
// one). Opening a pipe waits for a writer that may never come, a device may never end, and a
// folder fails with a message that names no file; each is refused with what it is instead.
#pragma once

#include <optional>
#include <string>

namespace polydec::core {

// Empty when path names a regular file, else why it cannot be read as one ("file not found",
// "this is a pipe, not a file", ...), without the path, which the caller names.
std::optional<std::string> InputFileProblem(const std::string& path);

}  // namespace polydec::core

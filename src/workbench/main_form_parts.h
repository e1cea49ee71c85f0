// Small pieces the main form's source files share: the names of the constant boxes, the text of
// a result that may not be finite, and file tests that never throw.
#pragma once

#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/types.h"

namespace polydec::workbench::parts {

inline std::string ConstantBox(int I, int J) {
  return "C" + std::to_string(I) + std::to_string(J) + "Edit";
}

// A result that is not a finite number is shown as an empty box or a blank cell rather than
// as "NAN" or "INF": the user sees that there is no value instead of a value to copy on.
inline std::string FiniteOrEmpty(core::Real x, const std::string& text,
                                 const std::string& empty = "") {
  return std::isfinite(x) ? text : empty;
}

inline bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec) && !ec;
}

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec) && !ec;
}

}  // namespace polydec::workbench::parts

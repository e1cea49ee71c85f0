#include "core/input_error.h"

namespace polydec {

std::string InputError::Describe() const {
  std::string where = file;
  const auto add = [&where](const std::string& part) {
    where += where.empty() ? part : ", " + part;
  };
  if (line > 0) add("line " + std::to_string(line));
  if (column > 0) add("column " + std::to_string(column));
  if (!field.empty()) where += where.empty() ? field : " (" + field + ")";
  return where.empty() ? message : where + ": " + message;
}

}  // namespace polydec

// The one record of bad input that every reader returns: which file, where in it (line, and
// column or field when known) and what is wrong, so that the window and the command line show
// a refusal the same way.
#pragma once

#include <string>

namespace polydec::core {

struct InputError {
  std::string file;     // empty when the input is no file (a grid, an option, a typed text)
  int line = 0;         // 1-based line (or worksheet row); 0 when the whole input is meant
  int column = 0;       // 1-based column or word; 0 when not known
  std::string field;    // name of the column or field, when it has one
  std::string message;  // what is wrong, for a person to read

  // "FILE, line N, column C (FIELD): message"; the parts that are not known are left out.
  std::string Describe() const;
};

}  // namespace polydec::core

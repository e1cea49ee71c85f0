#include "common.h"

#include <cmath>

#include "materials/text_fields.h"

namespace polydec::cli {

std::vector<core::Real> ReadNumberList(const std::string& text, std::size_t count,
                                       const std::string& what) {
  std::vector<core::Real> values;
  for (int n = 1;; ++n) {
    const std::string word = materials::GetWord(text, n);
    if (word.empty()) break;
    const auto number = materials::ParseNumber(word);
    if (!number.ok())
      throw InputError(what + ": \"" + word + "\" is not a number");
    values.push_back(number.value);
  }
  if (values.size() != count)
    throw InputError(what + ": expected " + std::to_string(count) + " numbers, got " +
                     std::to_string(values.size()));
  return values;
}

double JsonNumber(core::Real x) { return static_cast<double>(x); }

void RequireFinite(core::Real x, const std::string& what) {
  if (!std::isfinite(x)) throw InputError(what + " is not a finite number for this input");
}

}  // namespace polydec::cli

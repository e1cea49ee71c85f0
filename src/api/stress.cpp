#include "polydec/stress.h"

#include <algorithm>
#include <iterator>

#include "core/text_fields.h"

namespace polydec {

Result<FitChoice> ParseFreeParameters(const std::string& list) {
  const char* names[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy", "d0"};
  std::vector<std::string> given;
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(list, n);
    if (word.empty()) break;
    if (std::find(std::begin(names), std::end(names), word) == std::end(names))
      return Refusal("unknown parameter \"" + word +
                     "\" (sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy d0)");
    given.push_back(word);
  }
  // A parameter not named is held fixed.
  const auto held = [&](const char* name) {
    return std::find(given.begin(), given.end(), name) == given.end();
  };
  FitChoice choice;
  for (std::size_t k = 0; k < 6; ++k) choice.fixed[k] = held(names[k]);
  choice.d0Fixed = held("d0");
  return choice;
}

}  // namespace polydec

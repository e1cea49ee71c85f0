#include "crystal/miller_indices.h"

#include <cmath>

#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"

namespace polydec::crystal {

namespace {

std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && core::IsWordSeparator(s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !core::IsWordSeparator(s[i])) ++i;
    if (i > start) words.emplace_back(s.substr(start, i - start));
  }
  return words;
}

char ClosingBracket(char open) {
  switch (open) {
    case '(':
      return ')';
    case '[':
      return ']';
    case '{':
      return '}';
    default:
      return 0;
  }
}

std::string ClassName(int crystalClass) {
  return crystalClass >= 0 && crystalClass < static_cast<int>(CrystalClassNames.size())
             ? std::string(CrystalClassNames[static_cast<std::size_t>(crystalClass)])
             : "of class " + std::to_string(crystalClass);
}

}  // namespace

bool UsesMillerBravais(CrystalClass crystalClass) {
  return crystalClass == kHexagonal || crystalClass == kTrigonal1 || crystalClass == kTrigonal2;
}

std::string JoinWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

ReflectionRead ReadMillerWords(const std::vector<std::string>& words, CrystalClass crystalClass) {
  ReflectionRead out;
  if (words.size() == 4 && !UsesMillerBravais(crystalClass)) {
    out.error = "four indices h k i l are for hexagonal and trigonal phases; this phase is " +
                ClassName(crystalClass) + ": write h k l";
    return out;
  }
  if (words.size() != 3 && words.size() != 4) {
    out.error = std::to_string(words.size()) + (words.size() == 1 ? " index" : " indices") +
                " given: write the indices separated by blanks, h k l" +
                (UsesMillerBravais(crystalClass) ? " or h k i l" : "");
    return out;
  }
  std::vector<core::Real> v;
  for (const std::string& w : words) {
    const core::ParsedNumber x = core::ParseNumber(w);
    if (!x.ok()) {
      out.error = "the index \"" + w + "\" is not a number";
      return out;
    }
    if (!std::isfinite(x.value) || std::fabs(x.value) > kMaxMillerIndex) {
      out.error = "the index " + w + " is beyond the largest index " +
                  core::FormatGeneral(kMaxMillerIndex) + " a reflection may have";
      return out;
    }
    v.push_back(x.value);
  }
  if (v.size() == 4) {
    if (v[2] != -(v[0] + v[1])) {
      out.error =
          "in h k i l the third index must be -(h + k) = " + core::FormatGeneral(-(v[0] + v[1])) +
          ", not " + core::FormatGeneral(v[2]);
      return out;
    }
    v.erase(v.begin() + 2);
  }
  // The plane normal of 0 0 0 is the zero vector: every direction-dependent result would be
  // arbitrary.
  if (v[0] == 0 && v[1] == 0 && v[2] == 0) {
    out.error = "0 0 0 is no lattice plane";
    return out;
  }
  out.hkl = {v[0], v[1], v[2]};
  return out;
}

BracketedReflection SplitBracketedReflection(std::string_view text) {
  BracketedReflection out;
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  if (start == text.size()) return out;
  const char close = ClosingBracket(text[start]);
  if (close == 0) return out;
  out.bracketed = true;
  const std::size_t end = text.find(close, start + 1);
  if (end == std::string_view::npos) {
    out.error =
        std::string("the bracket \"") + text[start] + "\" is not closed by \"" + close + "\"";
    return out;
  }
  out.indices = Words(text.substr(start + 1, end - start - 1));
  out.rest = std::string(text.substr(end + 1));
  return out;
}

ReflectionRead ReadMillerIndices(std::string_view text, CrystalClass crystalClass) {
  const BracketedReflection b = SplitBracketedReflection(text);
  if (!b.bracketed) return ReadMillerWords(Words(text), crystalClass);
  if (!b.error.empty()) return {{}, b.error};
  if (!Words(b.rest).empty())
    return {{}, "\"" + b.rest + "\" follows the closing bracket: only the indices belong here"};
  return ReadMillerWords(b.indices, crystalClass);
}

}  // namespace polydec::crystal

// Reading a reflection typed or stored as text: Miller indices h k l, or for hexagonal and
// trigonal crystals the Miller-Bravais indices h k i l (i = -(h + k)), optionally enclosed in
// one pair of brackets. One reader for options, worksheet cells and fit inputs.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/types.h"
#include "polydec/types.h"

namespace polydec::crystal {

// Indices beyond this magnitude describe no reflection any diffractometer measures, and their
// squares would leave the range the lattice arithmetic is checked for.
inline constexpr core::Real kMaxMillerIndex = 1000;

// Hexagonal and trigonal crystals (classes 2, 5 and 6) are indexed in four indices as well.
bool UsesMillerBravais(CrystalClass crystalClass);

struct ReflectionRead {
  std::array<core::Real, 3> hkl{};  // h k l (the four-index form converted)
  std::string error;                // empty when read; else why not, naming the word at fault
  bool ok() const { return error.empty(); }
};

// Three or four words as indices: each a finite number within kMaxMillerIndex, not all zero;
// four only for hexagonal and trigonal classes, whose third must be -(h + k).
ReflectionRead ReadMillerWords(const std::vector<std::string>& words, CrystalClass crystalClass);

// "h k l", "h k i l", "(h k l)", "[h k i l]", "{h, k, l}": the words of the text (blanks or
// commas between them) inside at most one pair of brackets.
ReflectionRead ReadMillerIndices(std::string_view text, CrystalClass crystalClass);

// A text that starts with a bracketed reflection, "(1 0 -1 1) 2 1 1 1": the words inside the
// brackets and the text after the closing one. `bracketed` is false when the text (after
// leading blanks) does not start with "(", "[" or "{"; `error` is set when the bracket is not
// closed by its partner.
struct BracketedReflection {
  bool bracketed = false;
  std::vector<std::string> indices;
  std::string rest;
  std::string error;
};
BracketedReflection SplitBracketedReflection(std::string_view text);

// "1 0 -1 1" as text: the words joined by single blanks.
std::string JoinWords(const std::vector<std::string>& words);

}  // namespace polydec::crystal

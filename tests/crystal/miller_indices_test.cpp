// Reading reflections in three or four indices, and refusing what names no lattice plane.
#include "crystal/miller_indices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "crystal/symmetry_classes.h"

namespace polydec::crystal {
namespace {

using ::testing::HasSubstr;

TEST(ReadMillerIndices, ThreeOrFourIndicesOrARefusalThatSaysWhy) {
  const struct {
    std::string text;
    int crystalClass;
    std::array<core::Real, 3> hkl;  // when read
    std::string error;              // a part of the refusal, else empty
  } cases[] = {
      {"2 1 1", kCubic, {2, 1, 1}, ""},
      {" (2, 1, 1) ", kCubic, {2, 1, 1}, ""},
      {"1 0 -1 1", kHexagonal, {1, 0, 1}, ""},
      {"{1 1 -2 0}", kTrigonal1, {1, 1, 0}, ""},
      {"[-1 2 -1 3]", kTrigonal2, {-1, 2, 3}, ""},
      {"1 0 -1 1",
       kCubic,
       {},
       "four indices h k i l are for hexagonal and trigonal phases; "
       "this phase is cubic"},
      {"1 0 -1 1", kTetragonal1, {}, "this phase is tetragonal1"},
      {"1 0 0 1", kHexagonal, {}, "the third index must be -(h + k) = -1, not 0"},
      {"0 0 0", kCubic, {}, "0 0 0 is no lattice plane"},
      {"0 0 0 0", kHexagonal, {}, "0 0 0 is no lattice plane"},
      {"2 1", kCubic, {}, "2 indices given: write the indices separated by blanks, h k l"},
      {"2 1", kHexagonal, {}, "h k l or h k i l"},
      {"1 2 3 4 5", kHexagonal, {}, "5 indices given"},
      {"2 x 1", kCubic, {}, "the index \"x\" is not a number"},
      {"nan 1 1", kCubic, {}, "the index \"nan\" is not a number"},
      {"1e400 1 1", kCubic, {}, "the index 1e400 is beyond the largest index 1000"},
      {"2 1 -1001", kCubic, {}, "the index -1001 is beyond"},
      {"(2 1 1", kCubic, {}, "the bracket \"(\" is not closed by \")\""},
      {"(2 1 1] ", kCubic, {}, "not closed by \")\""},
      {"(2 1 1) 3", kCubic, {}, "\" 3\" follows the closing bracket"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " in class " + std::to_string(c.crystalClass));
    const ReflectionRead r =
        ReadMillerIndices(c.text, static_cast<polydec::CrystalClass>(c.crystalClass));
    if (c.error.empty()) {
      ASSERT_TRUE(r.ok()) << r.error;
      EXPECT_EQ(r.hkl, c.hkl);
    } else {
      EXPECT_THAT(r.error, HasSubstr(c.error));
    }
  }
}

TEST(SplitBracketedReflection, KeepsWhatFollowsTheClosingBracket) {
  const BracketedReflection b = SplitBracketedReflection("  (1 0 -1 1) 2 1 1 1 Ti");
  ASSERT_TRUE(b.bracketed);
  EXPECT_EQ(JoinWords(b.indices), "1 0 -1 1");
  EXPECT_EQ(b.rest, " 2 1 1 1 Ti");
  EXPECT_FALSE(SplitBracketedReflection("1 0 -1 1").bracketed);
}

}  // namespace
}  // namespace polydec::crystal

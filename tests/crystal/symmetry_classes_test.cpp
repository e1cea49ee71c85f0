#include "crystal/symmetry_classes.h"

#include <gtest/gtest.h>

namespace polydec::crystal {
namespace {

using core::CijklVector;
using core::VoigtToPosition;

TEST(SymmetryClasses, NamesRoundTrip) {
  for (int c = 0; c < 11; ++c) EXPECT_EQ(CrystalClassFromName(CrystalClassNames[c]), c);
  EXPECT_FALSE(CrystalClassFromName("Cubic").has_value());
}

TEST(SymmetryClasses, FreeDerivedAndZeroCoverAllConstants) {
  for (int c = 0; c < 11; ++c) {
    int free = 0;
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J)
        free += RoleOf(static_cast<polydec::CrystalClass>(c), I, J) == ConstantRole::kFree;
    EXPECT_EQ(free,
              static_cast<int>(FreeConstantNames(static_cast<polydec::CrystalClass>(c)).size()))
        << c;
  }
  EXPECT_EQ(FreeConstantNames(static_cast<polydec::CrystalClass>(1)),
            (std::vector<std::string>{"C11", "C12", "C44"}));
  EXPECT_EQ(RoleOf(static_cast<polydec::CrystalClass>(8), 5, 1),
            ConstantRole::kFree);  // monoclinic, unique axis y: C15
  EXPECT_EQ(RoleOf(static_cast<polydec::CrystalClass>(9), 4, 5),
            ConstantRole::kFree);  // monoclinic, unique axis z: C45
}

TEST(SymmetryClasses, RulesFillDerivedConstants) {
  auto filled = [](int c) {
    CijklVector v{};
    for (int n = 1; n <= 21; ++n) v[n] = 1000;  // everything not free must be overwritten
    auto set = [&v](int I, int J, core::Real x) { v[VoigtToPosition(I, J)] = x; };
    set(1, 1, 237), set(1, 2, 141), set(1, 3, 120), set(3, 3, 250), set(4, 4, 116);
    set(6, 6, 90), set(1, 4, 12.5L), set(1, 5, 7), set(1, 6, 3);
    ApplyClassRules(v, static_cast<polydec::CrystalClass>(c));
    return v;
  };
  auto at = [](const CijklVector& v, int I, int J) { return v[VoigtToPosition(I, J)]; };

  const CijklVector iso = filled(0);
  EXPECT_EQ(at(iso, 3, 3), 237);
  EXPECT_EQ(at(iso, 2, 3), 141);
  EXPECT_EQ(at(iso, 5, 5), 48);
  EXPECT_EQ(at(iso, 1, 4), 0);

  const CijklVector cubic = filled(1);
  EXPECT_EQ(at(cubic, 6, 6), 116);
  EXPECT_EQ(at(cubic, 1, 3), 141);

  const CijklVector hex = filled(2);
  EXPECT_EQ(at(hex, 2, 3), 120);
  EXPECT_EQ(at(hex, 6, 6), 48);
  EXPECT_EQ(at(hex, 5, 5), 116);

  const CijklVector trig2 = filled(6);
  EXPECT_EQ(at(trig2, 2, 4), -12.5L);
  EXPECT_EQ(at(trig2, 5, 6), 12.5L);
  EXPECT_EQ(at(trig2, 2, 5), -7);
  EXPECT_EQ(at(trig2, 4, 6), -7);

  const CijklVector tet2 = filled(4);
  EXPECT_EQ(at(tet2, 2, 6), -3);
  EXPECT_EQ(at(tet2, 6, 6), 90);

  const CijklVector tric = filled(10);
  EXPECT_EQ(at(tric, 2, 2), 1000);  // triclinic: nothing derived, nothing cleared
}

}  // namespace
}  // namespace polydec::crystal

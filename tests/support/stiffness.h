// Single-crystal stiffnesses in the 21-component order for tests, by their class constants.
#pragma once

#include "core/voigt.h"

namespace polydec::test {

inline core::CijklVector Cubic(core::Real c11, core::Real c12, core::Real c44) {
  core::CijklVector v{};
  v[1] = v[16] = v[21] = c11;
  v[4] = v[6] = v[18] = c12;
  v[7] = v[12] = v[19] = c44;
  return v;
}

}  // namespace polydec::test

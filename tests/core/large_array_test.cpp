#include "core/large_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "core/types.h"

namespace polydec::core {
namespace {

// A data array keeps its values through every way it grows and shrinks across the size where
// its storage moves from the ordinary heap to large blocks and back (a block freed the other
// way than it was taken would show under the address sanitizer).
TEST(DataVector, KeepsItsValuesAcrossTheLargeBlockThreshold) {
  const std::size_t threshold = kLargeBlockBytes / sizeof(Real);
  const std::size_t sizes[] = {10, threshold - 1, threshold, threshold + 1, 197174, 100};
  DataVector v;
  for (std::size_t n : sizes) {
    SCOPED_TRACE(n);
    const std::size_t kept = std::min(n, v.size());
    v.resize(n);
    ASSERT_EQ(v.size(), n);
    for (std::size_t i = 0; i < kept; ++i) ASSERT_EQ(v[i], static_cast<Real>(i)) << i;
    for (std::size_t i = kept; i < n; ++i) ASSERT_EQ(v[i], 0) << i;
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<Real>(i);
    DataVector copy = v;
    copy.shrink_to_fit();
    ASSERT_EQ(copy, v);
  }
}

TEST(DataVector, LargeStorageStartsOnAHugePageBoundary) {
  DataVector v(197174);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.data()) % (std::uintptr_t{1} << 21), 0u);
  DataVector small(100);
  EXPECT_EQ(small.size(), 100u);
}

}  // namespace
}  // namespace polydec::core

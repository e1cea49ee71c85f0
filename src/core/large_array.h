// Storage for the large arrays of a calculation context: the 5-degree ODF grid is four arrays of
// 197,174 extended numbers (3 MB each), with the Taylor factors beside them.
#pragma once

#include <cstddef>
#include <vector>

namespace polydec::core {

// Asks the kernel to back [data, data + bytes) with transparent huge pages where it grants them
// on request, and to put its pages in place now, in one call. Hints only: storage stays usable
// whatever the kernel answers.
void PrepareLargeStorage(void* data, std::size_t bytes);

// Sizes `v` to n elements as v.resize(n) does (added elements value-initialized: 0 for
// numbers). Fresh storage is written page by page as it is first used, and each first touch of
// a 4 KiB page is a fault: 10 to 20 us on a virtual machine, 60 ms for the grid, more than
// reading and expanding an ODF takes. Storage of a megabyte or more that has to grow is
// therefore prepared by PrepareLargeStorage before it is written.
template <class T>
void ResizeLargeArray(std::vector<T>& v, std::size_t n) {
  // Below a megabyte the faults cost less than the calls.
  constexpr std::size_t kLarge = std::size_t{1} << 20;
  if (n > v.capacity() && n * sizeof(T) >= kLarge) {
    std::vector<T> grown;
    grown.reserve(n);
    PrepareLargeStorage(grown.data(), n * sizeof(T));
    grown.assign(v.begin(), v.end());
    v.swap(grown);
  }
  v.resize(n);
}

}  // namespace polydec::core

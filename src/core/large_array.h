// Storage for the large arrays of a calculation context: the 5-degree ODF grid is four arrays of
// 197,174 extended numbers (3 MB each), with the Taylor factors beside them.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace polydec::core {

// Storage of `bytes` (a megabyte or more) on whole 2 MiB pages, which the kernel is asked to back
// by transparent huge pages and to put in place at once. Fresh storage is otherwise written page
// by page as it is first used, and each first touch of a 4 KiB page is a fault: 10 to 20 us on a
// virtual machine, 60 ms for the ODF grid, more than reading and expanding an ODF takes.
// Throws std::bad_alloc when there is no memory. Released by FreeLargeBlock.
void* AllocateLargeBlock(std::size_t bytes);
void FreeLargeBlock(void* block) noexcept;

// Blocks of this size or more are large: below it the faults cost less than the calls.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{1} << 20;

// The allocator of the data arrays: large blocks from AllocateLargeBlock, the rest as
// std::allocator gives them. Which way a block went follows from its size alone.
template <class T>
struct LargeBlockAllocator {
  using value_type = T;
  LargeBlockAllocator() noexcept = default;
  template <class U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    if (n * sizeof(T) >= kLargeBlockBytes) return static_cast<T*>(AllocateLargeBlock(n * sizeof(T)));
    return std::allocator<T>{}.allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) >= kLargeBlockBytes)
      FreeLargeBlock(p);
    else
      std::allocator<T>{}.deallocate(p, n);
  }
  template <class U>
  bool operator==(const LargeBlockAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace polydec::core

#include "core/large_array.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace polydec::core {

namespace {

// Hints only: storage stays usable whatever the kernel answers.
void PrepareLargeStorage([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__)
  constexpr std::uintptr_t kPage = 4096, kHugePage = std::uintptr_t{1} << 21;
  const auto begin = reinterpret_cast<std::uintptr_t>(data), end = begin + bytes;
#if defined(MADV_HUGEPAGE)
  // Only whole huge pages inside the block can be backed so.
  const std::uintptr_t hugeBegin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t hugeEnd = end & ~(kHugePage - 1);
  if (hugeEnd > hugeBegin)
    madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
#endif
#if defined(MADV_POPULATE_WRITE)
  const std::uintptr_t pageBegin = begin & ~(kPage - 1);
  madvise(reinterpret_cast<void*>(pageBegin), end - pageBegin, MADV_POPULATE_WRITE);
#endif
#endif
}

}  // namespace

void* AllocateLargeBlock(std::size_t bytes) {
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  if (rounded < bytes) throw std::bad_alloc();
  void* block = std::aligned_alloc(kHugePage, rounded);
  if (block == nullptr) throw std::bad_alloc();
  PrepareLargeStorage(block, rounded);
  return block;
}

void FreeLargeBlock(void* block) noexcept { std::free(block); }

}  // namespace polydec::core

// One libFuzzer program per reader: POLYDEC_FUZZ_TARGET names the entry point it drives.
#include <cstddef>
#include <cstdint>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return polydec::fuzz::POLYDEC_FUZZ_TARGET(data, size);
}

// One libFuzzer target: TAMARIND_FUZZ_ENTRY names the entry of
// fuzz_entries.h that it runs (set per target by fuzz/CMakeLists.txt).
#include <cstddef>
#include <cstdint>

#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TAMARIND_FUZZ_ENTRY(data, size);
  return 0;
}

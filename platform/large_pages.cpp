#include "large_pages.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// The end of the part of malloc's main heap already asked for huge pages.
std::atomic<std::uintptr_t> g_heapAdvised{0};

// The main heap grows by small steps that no single block spans; its new
// whole 2 MiB pages are asked for as it grows, before the blocks carved from
// them are handed out.
void AdviseHeapGrowth() {
#if defined(__linux__)
  void* end = sbrk(0);
  if (end == reinterpret_cast<void*>(-1)) return;
  const std::uintptr_t top = reinterpret_cast<std::uintptr_t>(end);
  std::uintptr_t from = g_heapAdvised.load(std::memory_order_relaxed);
  if (top + kHugePageSize <= from) {
    // The heap was trimmed: what grows back is asked for again.
    g_heapAdvised.compare_exchange_strong(from, top & ~std::uintptr_t(kHugePageSize - 1));
    return;
  }
  if (top < from + kHugePageSize) return;
  if (!g_heapAdvised.compare_exchange_strong(from, top & ~std::uintptr_t(kHugePageSize - 1))) return;
  if (from == 0) from = top - kHugePageSize;  // first call: only the growth from here on
  AdviseHugePages(reinterpret_cast<void*>(from), top - from);
#endif
}

}  // namespace

std::size_t AdviseHugePages(void* block, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(block);
  if (!block || size > UINTPTR_MAX - begin) return 0;
  const std::uintptr_t mask = ~std::uintptr_t(kHugePageSize - 1);
  const std::uintptr_t first = (begin + kHugePageSize - 1) & mask;
  const std::uintptr_t last = (begin + size) & mask;
  if (last <= first) return 0;
  if (madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) != 0) return 0;
  return std::size_t(last - first);
#else
  (void)block;
  (void)size;
  return 0;
#endif
}

void* AllocateBlock(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (block && size >= kLargeBlock) AdviseHugePages(block, size);
  if (block) AdviseHeapGrowth();
  return block;
}

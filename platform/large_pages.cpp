#include "large_pages.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

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

#if defined(__linux__) && defined(MREMAP_FIXED)
#define TAMARIND_BLOCK_CACHE 1

// The system's page size, a power of two (4 KiB where it cannot be told).
std::size_t PageSize() {
  static const std::size_t page = [] {
    const long p = sysconf(_SC_PAGESIZE);
    return p > 0 && (p & (p - 1)) == 0 ? std::size_t(p) : std::size_t(4096);
  }();
  return page;
}

// Set while a thread holds the table's lock. The table's containers then
// get their memory from malloc and give it back with free, so their
// growth never re-enters the lock, however large it gets.
thread_local bool t_inTable = false;

class TableLock {
 public:
  explicit TableLock(std::mutex& m) : lock_(m) { t_inTable = true; }
  ~TableLock() { t_inTable = false; }

 private:
  std::lock_guard<std::mutex> lock_;
};

struct Span {
  std::uintptr_t base;
  std::size_t length;
};

// The mapped large blocks (base → mapped length) and the cached pages of
// freed ones, under one lock (TableLock).
struct BlockTable {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::size_t> live;
  std::vector<Span> cached;
  std::size_t cachedBytes = 0;
};

BlockTable& Table() {
  static BlockTable* table = new BlockTable;  // never destroyed: blocks may be freed during exit
  return *table;
}

// A fresh anonymous mapping of `length` bytes (a multiple of PageSize()) whose
// start is 2 MiB aligned; null when the system refuses it.
void* MapAligned(std::size_t length) {
  void* p = mmap(nullptr, length + kHugePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (begin + kHugePageSize - 1) & ~std::uintptr_t(kHugePageSize - 1);
  const std::uintptr_t end = begin + length + kHugePageSize;
  if (aligned > begin) munmap(p, aligned - begin);
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  return reinterpret_cast<void*>(aligned);
}

void* AllocateLarge(std::size_t size) {
  if (size > SIZE_MAX - kHugePageSize * 2) return nullptr;
  const std::size_t page = PageSize();
  const std::size_t length = (size + page - 1) & ~(page - 1);
  BlockTable& t = Table();
  {
    // A cached span of exactly the size is handed out as it stands.
    TableLock lock(t.mutex);
    for (std::size_t i = t.cached.size(); i-- > 0;) {
      const Span s = t.cached[i];
      if (s.length != length || (s.base & (kHugePageSize - 1)) != 0) continue;
      try {
        t.live.emplace(s.base, s.length);
      } catch (...) {
        return nullptr;  // no room to record it: memory has run out
      }
      t.cached.erase(t.cached.begin() + std::ptrdiff_t(i));
      t.cachedBytes -= s.length;
      return reinterpret_cast<void*>(s.base);
    }
  }
  char* block = static_cast<char*>(MapAligned(length));
  if (!block) return nullptr;
  AdviseHugePages(block, length);
  TableLock lock(t.mutex);
  try {
    t.live.emplace(reinterpret_cast<std::uintptr_t>(block), length);
  } catch (...) {
    munmap(block, length);
    return nullptr;
  }
  // Cached pages replace the block's fresh ones from its start, where
  // writing begins; the most recently freed go first.
  std::size_t filled = 0;
  while (filled < length && !t.cached.empty()) {
    Span& s = t.cached.back();
    const std::size_t n = std::min(s.length, length - filled);
    void* moved = mremap(reinterpret_cast<void*>(s.base), n, n, MREMAP_MAYMOVE | MREMAP_FIXED, block + filled);
    if (moved == MAP_FAILED) {
      // A span the system will not move (older kernels move only within
      // one mapping) is given back instead.
      munmap(reinterpret_cast<void*>(s.base), s.length);
      t.cachedBytes -= s.length;
      t.cached.pop_back();
      continue;
    }
    s.base += n;
    s.length -= n;
    t.cachedBytes -= n;
    filled += n;
    if (s.length == 0) t.cached.pop_back();
  }
  return block;
}

// Caches a large block's pages (unmaps a smaller one); false when `block`
// is not a large block.
bool FreeLarge(void* block) {
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(block);
  if ((base & (kHugePageSize - 1)) != 0) return false;
  BlockTable& t = Table();
  TableLock lock(t.mutex);
  auto it = t.live.find(base);
  if (it == t.live.end()) return false;
  const Span s{base, it->second};
  t.live.erase(it);
  if (s.length < kCachedBlock) {
    munmap(block, s.length);
    return true;
  }
  try {
    t.cached.push_back(s);
    t.cachedBytes += s.length;
  } catch (...) {
    munmap(block, s.length);
  }
  return true;
}
#endif

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
#if defined(TAMARIND_BLOCK_CACHE)
  if (size >= kLargeBlock && !t_inTable) return AllocateLarge(size);
#endif
  void* block = std::malloc(size ? size : 1);
  if (block) AdviseHeapGrowth();
  return block;
}

void FreeBlock(void* block) {
  if (!block) return;
#if defined(TAMARIND_BLOCK_CACHE)
  if (!t_inTable && FreeLarge(block)) return;
#endif
  std::free(block);
}

std::size_t ReleaseBlockCache() {
#if defined(TAMARIND_BLOCK_CACHE)
  BlockTable& t = Table();
  std::vector<Span> spans;
  {
    TableLock lock(t.mutex);
    spans.swap(t.cached);
    t.cachedBytes = 0;
  }
  std::size_t released = 0;
  for (const Span& s : spans) {
    munmap(reinterpret_cast<void*>(s.base), s.length);
    released += s.length;
  }
  return released;
#else
  return 0;
#endif
}

std::size_t CachedBlockBytes() {
#if defined(TAMARIND_BLOCK_CACHE)
  BlockTable& t = Table();
  TableLock lock(t.mutex);
  return t.cachedBytes;
#else
  return 0;
#endif
}

#include "large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <atomic>

namespace {

// The VmFlags line of the mapping that holds address, from /proc/self/smaps.
std::string VmFlagsAt(std::uintptr_t address) {
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    unsigned long long from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> from >> dash >> to && dash == '-' && line.find(':') > line.find(' ')) {
      inside = address >= from && address < to;
      continue;
    }
    if (inside && line.rfind("VmFlags:", 0) == 0) return line;
  }
  return "";
}

struct MallocFree {
  void operator()(void* p) const { std::free(p); }
};

struct BlockFree {
  void operator()(void* p) const { FreeBlock(p); }
};
using Block = std::unique_ptr<unsigned char, BlockFree>;

Block Allocate(size_t size) { return Block(static_cast<unsigned char*>(AllocateBlock(size))); }

}  // namespace

TEST(LargePages, AdvisesOnlyWholeHugePagesInsideTheBlock) {
  EXPECT_EQ(AdviseHugePages(nullptr, kHugePageSize * 4), 0u);
  std::unique_ptr<unsigned char, MallocFree> block(static_cast<unsigned char*>(std::malloc(kHugePageSize * 5)));
  ASSERT_TRUE(block);
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(block.get());
  // No whole 2 MiB page in a small range, nor in a size that would wrap.
  EXPECT_EQ(AdviseHugePages(block.get(), kHugePageSize - 1), 0u);
  EXPECT_EQ(AdviseHugePages(block.get() + 1, SIZE_MAX), 0u);

  for (size_t i = 0; i < kHugePageSize * 5; i += 4096) block.get()[i] = static_cast<unsigned char>(i >> 12);
  const size_t advised = AdviseHugePages(block.get(), kHugePageSize * 5);
  if (advised == 0) GTEST_SKIP() << "no transparent huge pages on this system";
  const std::uintptr_t first = (begin + kHugePageSize - 1) & ~std::uintptr_t(kHugePageSize - 1);
  const std::uintptr_t last = (begin + kHugePageSize * 5) & ~std::uintptr_t(kHugePageSize - 1);
  EXPECT_EQ(advised, last - first);
  EXPECT_GE(advised, kHugePageSize * 4);
  EXPECT_NE(VmFlagsAt(first).find(" hg"), std::string::npos) << VmFlagsAt(first);
  // The request never changes the contents.
  for (size_t i = 0; i < kHugePageSize * 5; i += 4096)
    ASSERT_EQ(block.get()[i], static_cast<unsigned char>(i >> 12)) << i;
}

// A size well past the huge page.
constexpr size_t kBig = size_t(16) << 20;

TEST(LargePages, AllocatesBlocksOfAnySize) {
  for (size_t size : {size_t(0), size_t(1), kLargeBlock - 1, kLargeBlock, kHugePageSize * 3 + 17}) {
    Block block = Allocate(size);
    ASSERT_TRUE(block) << size;
    if (size) {
      std::memset(block.get(), 0x5A, size);
      EXPECT_EQ(block.get()[size - 1], 0x5A);
    }
  }
}

TEST(LargePages, FreedPagesMakeTheNextLargeBlock) {
  ReleaseBlockCache();
  const size_t first = kBig + 4096 * 3;
  Block a = Allocate(first);
  ASSERT_TRUE(a);
  if (reinterpret_cast<std::uintptr_t>(a.get()) % kHugePageSize != 0) GTEST_SKIP() << "large blocks come from malloc here";
  for (size_t i = 0; i < first; ++i) a.get()[i] = static_cast<unsigned char>(i * 7 + 1);
  a.reset();
  EXPECT_EQ(CachedBlockBytes(), first);

  // A larger block starts with the freed pages, as they were left, and
  // goes on with fresh (zero) ones.
  const size_t second = kBig + kHugePageSize * 3;
  Block b = Allocate(second);
  ASSERT_TRUE(b);
  EXPECT_EQ(CachedBlockBytes(), 0u);
  for (size_t i = 0; i < first; ++i) ASSERT_EQ(b.get()[i], static_cast<unsigned char>(i * 7 + 1)) << i;
  for (size_t i = first; i < second; ++i) ASSERT_EQ(b.get()[i], 0) << i;

  // A smaller one takes only what it needs; the rest stays cached.
  std::memset(b.get(), 0x33, second);
  b.reset();
  Block c = Allocate(kLargeBlock);
  ASSERT_TRUE(c);
  EXPECT_EQ(c.get()[0], 0x33);
  EXPECT_EQ(c.get()[kLargeBlock - 1], 0x33);
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock);

  // A block below kCachedBlock is given back when freed, whatever pages it
  // took from the cache; one of kCachedBlock or more keeps them, whatever
  // its size.
  c.reset();
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock);
  const size_t small = kCachedBlock - 4096, few = kCachedBlock + 4096;
  Block s = Allocate(small);
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock - small);
  s.reset();
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock - small);
  Block f = Allocate(few);
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock - small - few);
  f.reset();
  EXPECT_EQ(CachedBlockBytes(), second - kLargeBlock - small);
  EXPECT_EQ(ReleaseBlockCache(), second - kLargeBlock - small);
  EXPECT_EQ(CachedBlockBytes(), 0u);

  // A block of exactly a cached size is that block again.
  Block d = Allocate(kBig);
  unsigned char* at = d.get();
  d.reset();
  d = Allocate(kBig);
  EXPECT_EQ(d.get(), at);
  EXPECT_EQ(CachedBlockBytes(), 0u);
  d.reset();
  ReleaseBlockCache();
}

TEST(LargePages, SmallBlocksAndNullGoToMalloc) {
  FreeBlock(nullptr);
  const size_t before = CachedBlockBytes();
  for (size_t size : {size_t(1), size_t(4096), kLargeBlock - 1}) {
    void* p = AllocateBlock(size);
    ASSERT_TRUE(p);
    FreeBlock(p);
  }
  // A malloc block the allocator never handed out is freed as one.
  FreeBlock(std::malloc(kHugePageSize * 2));
  EXPECT_EQ(CachedBlockBytes(), before);
}

TEST(LargePages, ThreadsShareTheCacheSafely) {
  ReleaseBlockCache();
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &bad] {
      std::vector<std::pair<unsigned char*, size_t>> held;
      unsigned seed = 12345u + unsigned(t);
      for (int i = 0; i < 60; ++i) {
        seed = seed * 1103515245u + 12345u;
        const size_t size = kLargeBlock + (seed >> 8) % (kBig + kHugePageSize * 4);
        auto* p = static_cast<unsigned char*>(AllocateBlock(size));
        if (!p) continue;
        const unsigned char mark = static_cast<unsigned char>(t * 60 + i);
        for (size_t k = 0; k < size; k += 4096) p[k] = mark;
        p[size - 1] = mark;
        held.push_back({p, size});
        if (held.size() > 2 || (seed & 1)) {
          auto [q, n] = held.front();
          held.erase(held.begin());
          const unsigned char want = q[0];
          for (size_t k = 0; k < n; k += 4096)
            if (q[k] != want) ++bad;
          if (q[n - 1] != want) ++bad;
          FreeBlock(q);
        }
      }
      for (auto [q, n] : held) FreeBlock(q);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad.load(), 0);
  ReleaseBlockCache();
  EXPECT_EQ(CachedBlockBytes(), 0u);
}

#include "large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

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

struct FreeBlock {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

TEST(LargePages, AdvisesOnlyWholeHugePagesInsideTheBlock) {
  EXPECT_EQ(AdviseHugePages(nullptr, kHugePageSize * 4), 0u);
  std::unique_ptr<unsigned char, FreeBlock> block(static_cast<unsigned char*>(std::malloc(kHugePageSize * 5)));
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

TEST(LargePages, AllocatesBlocksOfAnySize) {
  for (size_t size : {size_t(0), size_t(1), kLargeBlock - 1, kLargeBlock, kHugePageSize * 3 + 17}) {
    std::unique_ptr<unsigned char, FreeBlock> block(static_cast<unsigned char*>(AllocateBlock(size)));
    ASSERT_TRUE(block) << size;
    if (size) {
      std::memset(block.get(), 0x5A, size);
      EXPECT_EQ(block.get()[size - 1], 0x5A);
    }
  }
}

#include "prefault.h"

#include <cstdint>

#include "parallel.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void PrefaultForWriting(const void* begin, const void* end) {
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
  constexpr int MADV_POPULATE_WRITE = 23;
#endif
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
  const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  uintptr_t last = reinterpret_cast<uintptr_t>(end) & ~(page - 1);
  if (last <= first) return;
  if (last - first > kPrefaultLimit) last = first + kPrefaultLimit;
  // A host maps the pages of several cores at once: a long range is cut
  // into parts of whole huge pages, one per core.
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const size_t hugePages = (last - first) / kHuge;
  unsigned parts = last - first >= kParallelPrefault ? PartsFor(kParallelMinimum) : 1;
  if (parts > hugePages) parts = unsigned(hugePages > 0 ? hugePages : 1);
  auto work = [&](unsigned k) {
    // Cuts fall on huge-page boundaries; the last part takes the rest.
    const uintptr_t from = k == 0 ? first : ((first + PartBegin(k, parts, last - first)) & ~(kHuge - 1));
    const uintptr_t to = k + 1 == parts ? last : ((first + PartBegin(k + 1, parts, last - first)) & ~(kHuge - 1));
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
  };
  RunParts(parts, work);
#else
  (void)begin;
  (void)end;
#endif
}

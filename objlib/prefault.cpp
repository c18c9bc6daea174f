#include "prefault.h"

#include <algorithm>
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

namespace {
constexpr uintptr_t kChunk = uintptr_t(2) << 20;
}

PrefaultAhead::PrefaultAhead(const void* begin, const void* end) {
#if defined(__linux__)
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
  first_ = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  last_ = reinterpret_cast<uintptr_t>(end) & ~(page - 1);
  if (last_ <= first_) {
    next_ = UINTPTR_MAX;
    return;
  }
  if (last_ - first_ > kPrefaultLimit) last_ = first_ + kPrefaultLimit;
  base_ = first_ & ~(kChunk - 1);
  chunks_ = size_t((last_ - base_ + kChunk - 1) / kChunk);
  next_ = first_;
  if (last_ - first_ >= kParallelPrefault && PartsFor(kParallelMinimum) > 1) {
    try {
      helper_ = std::thread([this] { Helper(); });
    } catch (...) {
      // The writer maps every chunk itself.
    }
  }
#else
  (void)begin;
  (void)end;
  next_ = UINTPTR_MAX;
#endif
}

PrefaultAhead::~PrefaultAhead() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  moved_.notify_one();
  helper_.join();
}

void PrefaultAhead::Map(size_t chunk) const {
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
  constexpr int MADV_POPULATE_WRITE = 23;
#endif
  const uintptr_t from = std::max(first_, base_ + chunk * kChunk);
  const uintptr_t to = std::min(last_, base_ + (chunk + 1) * kChunk);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)chunk;
#endif
}

void PrefaultAhead::Advance(uintptr_t at) {
  // The chunk being written is mapped before the writer goes on, by
  // whichever of the two threads takes it first.
  if (at < base_) return;
  const size_t chunk = at >= last_ ? chunks_ : size_t((at - base_) / kChunk);
  if (helper_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      writerChunk_ = chunk;
    }
    moved_.notify_one();
  }
  for (size_t c = claimed_.load(); c <= chunk && c < chunks_; c = claimed_.load())
    if (claimed_.compare_exchange_weak(c, c + 1)) Map(c);
  next_ = chunk + 1 >= chunks_ ? UINTPTR_MAX : base_ + (chunk + 1) * kChunk;
}

void PrefaultAhead::Helper() {
  const size_t ahead = kPrefaultAhead / kChunk;
  for (;;) {
    size_t c = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      moved_.wait(lock, [&] {
        c = claimed_.load();
        return stop_ || c >= chunks_ || c <= writerChunk_ + ahead;
      });
      if (stop_ || c >= chunks_) return;
    }
    if (claimed_.compare_exchange_weak(c, c + 1)) Map(c);
  }
}

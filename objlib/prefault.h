// Mapping memory ahead of the writes that fill it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

// Maps the whole pages inside [begin, end) in one request, ahead of writes
// that are about to fill them: on a virtual machine a page taken by a fault
// at its first write costs about twice as much. At most kPrefaultLimit bytes
// are asked for, so a count read from a file never commits more memory than
// that before it is really used. Without the request (Linux before 5.14, or
// another system) or when it fails, pages come by faults as before; the
// bytes in the range are never changed. A range of kParallelPrefault bytes or
// more is mapped by several threads at once (see PartsFor).
constexpr size_t kPrefaultLimit = size_t(256) << 20;
constexpr size_t kParallelPrefault = size_t(4) << 20;
void PrefaultForWriting(const void* begin, const void* end);

// v.assign(n, value), its room mapped ahead (see PrefaultForWriting).
template <typename Vector, typename T>
void AssignMapped(Vector& v, size_t n, const T& value) {
  v.clear();
  v.reserve(n);
  PrefaultForWriting(v.data(), v.data() + n);
  v.assign(n, value);
}

// Maps the pages of a range that one writer fills from the front while the
// writer works: a thread of its own maps them 2 MiB at a time, at most about
// kPrefaultAhead bytes past the writer's 2 MiB, and where it falls behind,
// the writer maps its next pages itself, so two cores share the mapping and
// the writer's own work goes on beside it. Bytes are never changed; at most
// kPrefaultLimit bytes are mapped. Without a second core, or for a range
// below kParallelPrefault, the writer maps its pages itself, 2 MiB at a time.
constexpr size_t kPrefaultAhead = size_t(2) << 20;
class PrefaultAhead {
 public:
  PrefaultAhead(const void* begin, const void* end);
  ~PrefaultAhead();
  PrefaultAhead(const PrefaultAhead&) = delete;
  PrefaultAhead& operator=(const PrefaultAhead&) = delete;

  // The writer is about to write at `at`.
  void Reached(const void* at) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(at);
    if (a >= next_) Advance(a);
  }

 private:
  void Advance(uintptr_t at);
  void Map(size_t chunk) const;
  void Helper();

  uintptr_t base_ = 0;        // first chunk's start (2 MiB aligned)
  uintptr_t first_ = 0, last_ = 0;  // the whole pages of the range
  size_t chunks_ = 0;
  uintptr_t next_ = 0;        // the writer next calls Advance once it reaches here
  std::atomic<size_t> claimed_{0};  // chunks handed out, from the front
  size_t writerChunk_ = 0;    // under mutex_
  bool stop_ = false;         // under mutex_
  std::mutex mutex_;
  std::condition_variable moved_;
  std::thread helper_;
};

// Mapping memory ahead of the writes that fill it.
#pragma once

#include <cstddef>

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

// Splitting a loop over independent items between the machine's cores.
#pragma once

#include <cstddef>
#include <vector>

// How many parts a loop over `count` items is worth splitting into: one for
// fewer than kParallelMinimum items (starting a thread costs more than it
// saves), otherwise the number of cores, at most kParallelParts.
constexpr size_t kParallelMinimum = 50000;
constexpr unsigned kParallelParts = 4;
unsigned PartsFor(size_t count);

// Replaces the limits PartsFor applies, for the whole process: loops of at
// least `minimum` items are split into `parts` parts (1 keeps every loop on
// its calling thread), whatever the number of cores. Results never depend
// on the parts; only the time does. SetParallelLimits(kParallelMinimum, 0)
// restores the default (0: the number of cores).
void SetParallelLimits(size_t minimum, unsigned parts);

// The first item of part k when [0, count) is cut into `parts` consecutive
// ranges of nearly equal size; PartBegin(parts, ...) is count.
inline size_t PartBegin(unsigned k, unsigned parts, size_t count) {
  return parts == 0 ? 0 : count / parts * k + (count % parts) * k / parts;
}

// Runs work(k) for k in [0, parts): part 0 on the calling thread, the others
// on threads of their own, and returns when all are done. A part that could
// not be given a thread runs on the calling thread after part 0. The
// exception of the lowest part that threw is thrown again here, once every
// part has ended; RunParts throws nothing of its own.
void RunParts(unsigned parts, void (*work)(void* context, unsigned k), void* context);

template <typename F>
void RunParts(unsigned parts, F& work) {
  RunParts(parts, [](void* c, unsigned k) { (*static_cast<F*>(c))(k); }, &work);
}

// Calls f(item) for each of `count` items from `items`, in parts at once
// when there are enough of them. Items are visited by exactly one part each,
// so f may change its item freely.
template <typename T, typename F>
void ForEachInParts(T* items, size_t count, F f) {
  const unsigned parts = PartsFor(count);
  auto work = [&](unsigned k) {
    for (size_t i = PartBegin(k, parts, count), end = PartBegin(k + 1, parts, count); i < end; ++i) f(items[i]);
  };
  RunParts(parts, work);
}

template <typename T, typename F>
void ForEachInParts(std::vector<T>& items, F f) {
  ForEachInParts(items.data(), items.size(), f);
}

#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <thread>
#include <vector>

namespace {
std::atomic<size_t> g_minimum{kParallelMinimum};
std::atomic<unsigned> g_parts{0};
}  // namespace

unsigned PartsFor(size_t count) {
  if (count < g_minimum.load(std::memory_order_relaxed)) return 1;
  const unsigned parts = g_parts.load(std::memory_order_relaxed);
  if (parts > 0) return parts;
  static const unsigned cores = std::thread::hardware_concurrency();  // asked once: it may read a file
  return std::max(1u, std::min(cores, kParallelParts));
}

void SetParallelLimits(size_t minimum, unsigned parts) {
  g_minimum.store(minimum, std::memory_order_relaxed);
  g_parts.store(parts, std::memory_order_relaxed);
}

void RunParts(unsigned parts, void (*work)(void* context, unsigned k), void* context) {
  if (parts <= 1) {
    if (parts == 1) work(context, 0);
    return;
  }
  std::vector<std::exception_ptr> failed;
  std::vector<std::thread> threads;
  std::vector<unsigned> leftOver;
  try {
    failed.resize(parts);
    threads.reserve(parts - 1);
    leftOver.reserve(parts - 1);
  } catch (const std::bad_alloc&) {  // no room to keep track of threads: one part after another
    std::exception_ptr first;
    for (unsigned k = 0; k < parts; ++k) {
      try {
        work(context, k);
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
    if (first) std::rethrow_exception(first);
    return;
  }
  auto run = [&](unsigned k) {
    try {
      work(context, k);
    } catch (...) {
      failed[k] = std::current_exception();
    }
  };
  for (unsigned k = 1; k < parts; ++k) {
    try {
      threads.emplace_back(run, k);
    } catch (...) {  // no thread (or no memory for one): done here instead
      leftOver.push_back(k);
    }
  }
  run(0);
  for (unsigned k : leftOver) run(k);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : failed)
    if (e) std::rethrow_exception(e);
}

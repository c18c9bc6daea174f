// The program's global allocation and deallocation functions: AllocateBlock
// and FreeBlock, so that large blocks come on huge pages and their pages are
// reused (see large_pages.h). The other forms of operator new and delete
// (arrays, nothrow, sized) end up in these two.
//
// Linked into the executables only, as an object: a library must not replace
// the global allocation functions. Left out of sanitizer builds, whose
// runtimes bring their own.
#include <new>

#include "large_pages.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TAMARIND_SANITIZER_NEW 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAMARIND_SANITIZER_NEW 1
#endif

#if !defined(TAMARIND_SANITIZER_NEW)
#if defined(__GLIBC__)
#include <malloc.h>

namespace {
// One heap for every thread: the loader thread's small blocks then come from
// the main heap, whose growth is asked for huge pages, rather than from a
// per-thread heap of their own.
[[maybe_unused]] const int g_oneArena = mallopt(M_ARENA_MAX, 1);
}  // namespace
#endif

void* operator new(std::size_t size) {
  for (;;) {
    if (void* block = AllocateBlock(size)) return block;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void operator delete(void* block) noexcept { FreeBlock(block); }
void operator delete(void* block, std::size_t) noexcept { FreeBlock(block); }
#endif

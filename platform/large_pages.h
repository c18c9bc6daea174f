// Large memory blocks on transparent huge pages, and pages kept for reuse.
//
// On the virtual machines the viewer often runs on, the first write to each
// fresh 4 KiB page costs several microseconds (the host maps it), which for a
// model of a million polygons is most of its load time. Two things cut it:
//  - Blocks of kLargeBlock bytes or more get a mapping of their own, 2 MiB
//    aligned and asked to come on 2 MiB pages before any of their pages is
//    touched; where the system keeps huge pages for regions that ask (Linux's
//    usual "madvise" setting), one fault then maps 2 MiB.
//  - A freed block of kCachedBlock bytes (a huge page) or more keeps its
//    pages in a cache, and the next large block is made of cached pages
//    first: they are moved into place by the page tables (mremap), never
//    copied, and only the rest of the block comes fresh. Since an
//    allocation takes every cached page it can before any fresh one, the
//    large blocks never hold more memory than the most they have ever held.
//    A load frees and makes many blocks of a few MiB (one value per point
//    or per polygon), which would otherwise fault in fresh pages each time.
//    Smaller large blocks are unmapped when freed: the pages they would
//    keep are few, and the small blocks malloc makes meanwhile could not use
//    them. ReleaseBlockCache gives the cache back.
//
// The executables (not the libraries) replace the global allocation and
// deallocation functions with AllocateBlock and FreeBlock; see
// large_pages_new.cpp.
#pragma once

#include <cstddef>

constexpr std::size_t kHugePageSize = std::size_t(2) << 20;
constexpr std::size_t kLargeBlock = std::size_t(1) << 20;
constexpr std::size_t kCachedBlock = kHugePageSize;

// Asks for huge pages on the whole 2 MiB pages inside [block, block + size);
// returns how many bytes that covers (0 when none, or where the request is
// not available). Contents are never changed.
std::size_t AdviseHugePages(void* block, std::size_t size);

// A block of at least `size` bytes, aligned to 16 bytes or more; null when
// memory runs out. Blocks below kLargeBlock come from malloc; larger ones
// are mapped as described above. Release with FreeBlock. Thread-safe.
void* AllocateBlock(std::size_t size);

// Releases a block from AllocateBlock (or from malloc); null is ignored.
void FreeBlock(void* block);

// Unmaps the pages the cache holds; returns how many bytes that gave back.
std::size_t ReleaseBlockCache();

// Bytes of freed large blocks the cache holds now.
std::size_t CachedBlockBytes();

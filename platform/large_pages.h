// Large memory blocks on transparent huge pages.
//
// On the virtual machines the viewer often runs on, the first write to each
// fresh 4 KiB page costs several microseconds, which for a model of a million
// polygons is most of its load time. Blocks of kLargeBlock bytes or more are
// asked to come on 2 MiB pages before any of their pages is touched; where
// the system keeps huge pages for regions that ask (Linux's usual "madvise"
// setting), one fault then maps 2 MiB.
//
// The executables (not the libraries) replace the global allocation function
// with AllocateBlock; see large_pages_new.cpp.
#pragma once

#include <cstddef>

constexpr std::size_t kHugePageSize = std::size_t(2) << 20;
constexpr std::size_t kLargeBlock = std::size_t(1) << 20;

// Asks for huge pages on the whole 2 MiB pages inside [block, block + size);
// returns how many bytes that covers (0 when none, or where the request is
// not available). Contents are never changed.
std::size_t AdviseHugePages(void* block, std::size_t size);

// malloc, followed by AdviseHugePages for blocks of kLargeBlock bytes or more.
// Null when malloc fails. Release with free.
void* AllocateBlock(std::size_t size);

// Process services: the current directory and a millisecond clock.
#pragma once

#include <cstdint>
#include <string>

// The process's current directory (no trailing separator except for "/");
// "" when it cannot be had (for example after the folder was removed).
std::string CurrentDirectory();

// Milliseconds from an arbitrary start, wrapping at 2^32 like timeGetTime;
// never goes back apart from that wrap. Differences taken as uint32_t stay
// right across the wrap.
uint32_t TimeGetTime();

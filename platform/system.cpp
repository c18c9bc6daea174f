#include "system.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

uint32_t TimeGetTime() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return uint32_t(ms);
}

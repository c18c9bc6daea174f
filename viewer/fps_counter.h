// Frames per second: frames are counted, and whenever more than 1000 ms have
// passed since the last reset the count becomes the rate and starts again.
// Times are TimeGetTime milliseconds; differences are taken as uint32_t, so
// the counter keeps working when the clock wraps at 2^32.
#pragma once

#include <cstdint>

class FpsCounter {
 public:
  // One rendered frame at nowMs. The first frame starts the clock, so the
  // rate reads 0 until a full second has been seen.
  void Tick(uint32_t nowMs) {
    if (!started_) {
      started_ = true;
      reset_ = nowMs;
    }
    ++frames_;
    if (uint32_t(nowMs - reset_) > 1000) {
      fps_ = frames_;
      frames_ = 0;
      reset_ = nowMs;
    }
  }
  int fps() const { return fps_; }

 private:
  bool started_ = false;
  uint32_t reset_ = 0;
  int frames_ = 0;
  int fps_ = 0;
};

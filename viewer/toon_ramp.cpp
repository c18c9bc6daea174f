#include "toon_ramp.h"

namespace {

constexpr std::array<uint8_t, kToonRampSize> MakeToonRamp() {
  std::array<uint8_t, kToonRampSize> t{};
  // Header: no image id, no colour map, type 2, 16 x 16, 24 bits, descriptor 0.
  t[2] = 2;
  t[12] = 16;
  t[14] = 16;
  t[16] = 24;
  size_t at = 18;
  for (int row = 0; row < 16; ++row) {
    for (int column = 0; column < 16; ++column) {
      uint8_t b = 0, g = 0, r = 0;
      if (row == 15) {
        b = g = r = 255;
      } else if (column >= 8) {
        b = 0, g = 11, r = 0;
      } else {
        b = g = r = row <= 4 ? 89 : row <= 10 ? 128 : 255;
      }
      t[at++] = b;
      t[at++] = g;
      t[at++] = r;
    }
  }
  // Footer: extension and developer offsets 0, then the signature.
  at += 8;
  const char signature[] = "TRUEVISION-XFILE.";
  for (size_t i = 0; i < sizeof signature; ++i) t[at++] = uint8_t(signature[i]);
  return t;
}

constexpr std::array<uint8_t, kToonRampSize> kToonRamp = MakeToonRamp();
static_assert(18 + 16 * 16 * 3 + 8 + 18 == kToonRampSize);

}  // namespace

const std::array<uint8_t, kToonRampSize>& ToonRampImage() { return kToonRamp; }

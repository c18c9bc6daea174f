// Small TGA files assembled in memory for the texture tests.
#pragma once

#include <cstdint>
#include <vector>

struct TgaLayout {
  int type = 2;
  int depth = 24;
  int width = 2;
  int height = 2;
  int idLength = 0;
  int descriptor = 0;
};

// Header, id bytes ('i'), then the given stored pixel bytes and any tail.
inline std::vector<uint8_t> MakeTga(const TgaLayout& layout, const std::vector<uint8_t>& pixels,
                                    const std::vector<uint8_t>& tail = {}) {
  std::vector<uint8_t> out(18, 0);
  out[0] = uint8_t(layout.idLength);
  out[2] = uint8_t(layout.type);
  out[12] = uint8_t(layout.width);
  out[13] = uint8_t(layout.width >> 8);
  out[14] = uint8_t(layout.height);
  out[15] = uint8_t(layout.height >> 8);
  out[16] = uint8_t(layout.depth);
  out[17] = uint8_t(layout.descriptor);
  out.insert(out.end(), size_t(layout.idLength), uint8_t('i'));
  out.insert(out.end(), pixels.begin(), pixels.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

// A layout-sized image whose stored bytes count up from a seed.
inline std::vector<uint8_t> MakeTga(const TgaLayout& layout, uint8_t seed = 0) {
  std::vector<uint8_t> pixels(size_t(layout.width) * size_t(layout.height) * size_t(layout.depth / 8));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(seed + i);
  return MakeTga(layout, pixels);
}

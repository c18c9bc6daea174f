// Uncompressed true-colour TGA images (image type 2, 24 or 32 bits).
//
// Pixels come out as RGB or RGBA bytes, rows in the order the file stores
// them (the descriptor's orientation bits are not looked at, nor anything
// after the pixels such as a TGA 2.0 footer). Any input is safe: an image
// whose pixels would need more bytes than the file holds is refused before
// anything is allocated for it.
//
// Errors are shown through ui (a box with no owner, caption "Error", OK):
// "Read TGA Header Error", "No Support Image Format", "TGA File Read Error",
// "No Support Pixel Format", "Memory Allocate Error!". Missing pixel bytes
// fail without a message. ui may be null for silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class UiServices;

struct TgaImage {
  int bytesPerPixel = 0;  // 3 or 4
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * bytesPerPixel
};

// From a file (path in stored form).
std::optional<TgaImage> ReadTga(const std::string& path, UiServices* ui);
// From an image held in memory: the same checks, without the read errors
// (a block shorter than its header or image id fails silently).
std::optional<TgaImage> ReadTgaFromMemory(const uint8_t* data, size_t size, UiServices* ui);

// 8-bit RGB images to and from PNG files (libpng).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // R, G, B; top row first
};

// False (with the reason in *error) when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image, std::string* error = nullptr);
// Any PNG, converted to 8-bit RGB (alpha dropped); nothing on failure.
std::optional<RgbImage> ReadPng(const std::string& path, std::string* error = nullptr);

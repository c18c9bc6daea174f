#include "png_file.h"

#include <png.h>

#include <cstring>

bool WritePng(const std::string& path, const RgbImage& image, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = png_uint_32(image.width);
  png.height = png_uint_32(image.height);
  png.format = PNG_FORMAT_RGB;
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != size_t(image.width) * size_t(image.height) * 3) {
    if (error) *error = "bad image size";
    return false;
  }
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
    if (error) *error = png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

std::optional<RgbImage> ReadPng(const std::string& path, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    if (error) *error = png.message;
    return std::nullopt;
  }
  png.format = PNG_FORMAT_RGB;
  RgbImage image;
  image.width = int(png.width);
  image.height = int(png.height);
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
    if (error) *error = png.message;
    png_image_free(&png);
    return std::nullopt;
  }
  return image;
}

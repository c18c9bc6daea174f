// The toon look's shading ramp: a 16 x 16, 24-bit TGA image of 812 bytes
// (header, pixels, TGA 2.0 footer) built into the program and made into
// texture slot 0 at start-up. Rows are stored bottom first; columns 0-7 are
// the diffuse band (89, 128, then 255 grey going up), columns 8-15 the
// highlight band (0, 11, 0 up to the white top row).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kToonRampSize = 812;

const std::array<uint8_t, kToonRampSize>& ToonRampImage();

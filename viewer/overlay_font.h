// The information overlay's bitmap font: the 256 character codes (taken as
// Latin-1) of a bold fixed-pitch font rendered into 1-bit bitmaps in cells
// 12 pixels wide and 10 high, then made into 256 consecutive OpenGL display
// lists for glListBase/glCallLists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kOverlayCellWidth = 12;
constexpr int kOverlayCellHeight = 10;
constexpr int kOverlayGlyphCount = 256;

// One glyph as glBitmap takes it: rows bottom first, leftmost pixel in the
// top bit, each row padded to whole bytes. Drawn at a raster position on the
// bottom line of its cell.
struct GlyphBitmap {
  int width = 0;
  int height = 0;
  float xorig = 0;
  float yorig = 0;
  float xmove = kOverlayCellWidth;
  std::vector<uint8_t> bits;

  bool Pixel(int x, int row) const {  // row 0 at the bottom
    return (bits[size_t(row) * size_t((width + 7) / 8) + size_t(x / 8)] >> (7 - x % 8)) & 1;
  }
};

// The first bold fixed-pitch font found in the usual system font folders,
// or "" when there is none.
std::string FindOverlayFont();

// All 256 glyphs from a scalable font file. Control codes and characters the
// font lacks are empty cells. Empty (with the reason in *error) when the
// file cannot be used.
std::vector<GlyphBitmap> RasterizeOverlayGlyphs(const std::string& fontPath, std::string* error = nullptr);

// The display lists, on the current OpenGL context. Delete them with the
// same context current.
class OverlayFont {
 public:
  OverlayFont() = default;
  OverlayFont(const OverlayFont&) = delete;
  OverlayFont& operator=(const OverlayFont&) = delete;
  ~OverlayFont() { Delete(); }

  // 256 lists from the glyphs (empty cells when fewer are given). False
  // when OpenGL has no lists to give.
  bool Build(const std::vector<GlyphBitmap>& glyphs);
  void Delete();
  unsigned base() const { return base_; }

 private:
  unsigned base_ = 0;
};

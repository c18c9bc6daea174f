#include "overlay_font.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "files.h"

namespace {

const char* const kFontCandidates[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",  // Debian, Ubuntu
    "/usr/share/fonts/dejavu-sans-mono-fonts/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/TTF/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf",
    "/usr/share/fonts/liberation-mono/LiberationMono-Bold.ttf",
};

struct LibraryDeleter {
  void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
struct FaceDeleter {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};

// The box around the ink of the printable ASCII characters, in pixels from
// the glyph origin, y up.
struct InkBox {
  int left = 0, right = 0, bottom = 0, top = 0;
};

InkBox AsciiInk(FT_Face face) {
  InkBox box;
  for (FT_ULong code = 33; code < 127; ++code) {
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) continue;
    const FT_GlyphSlot slot = face->glyph;
    if (slot->bitmap.width == 0 || slot->bitmap.rows == 0) continue;
    box.left = std::min(box.left, slot->bitmap_left);
    box.right = std::max(box.right, slot->bitmap_left + int(slot->bitmap.width));
    box.bottom = std::min(box.bottom, slot->bitmap_top - int(slot->bitmap.rows));
    box.top = std::max(box.top, slot->bitmap_top);
  }
  return box;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

std::string FindOverlayFont() {
  for (const char* path : kFontCandidates)
    if (IsReadableFile(path)) return path;
  return "";
}

std::vector<GlyphBitmap> RasterizeOverlayGlyphs(const std::string& fontPath, std::string* error) {
  FT_Library rawLib = nullptr;
  if (FT_Init_FreeType(&rawLib)) return Fail(error, "FreeType cannot start"), std::vector<GlyphBitmap>();
  std::unique_ptr<FT_LibraryRec_, LibraryDeleter> lib(rawLib);
  FT_Face rawFace = nullptr;
  if (fontPath.empty() || FT_New_Face(lib.get(), fontPath.c_str(), 0, &rawFace))
    return Fail(error, "cannot open the font \"" + fontPath + "\""), std::vector<GlyphBitmap>();
  std::unique_ptr<FT_FaceRec_, FaceDeleter> face(rawFace);
  if (!FT_IS_SCALABLE(face.get()) || face->max_advance_width <= 0 || face->ascender - face->descender <= 0)
    return Fail(error, "not a scalable font: " + fontPath), std::vector<GlyphBitmap>();

  // Stretch the em so that the advance is the cell width and ascent plus
  // descent the cell height: a squat, wide face like the one the overlay
  // was designed around. Then shrink it until the ink of every printable
  // ASCII character, which is all the overlay draws, fits inside the cell.
  const double upem = face->units_per_EM;
  auto emWidth = FT_UInt(std::lround(kOverlayCellWidth * upem / face->max_advance_width));
  auto emHeight = FT_UInt(std::lround(kOverlayCellHeight * upem / (face->ascender - face->descender)));
  InkBox ink;
  for (;;) {
    if (FT_Set_Pixel_Sizes(face.get(), emWidth, emHeight))
      return Fail(error, "the font cannot be sized: " + fontPath), std::vector<GlyphBitmap>();
    ink = AsciiInk(face.get());
    const bool wide = ink.right - ink.left > kOverlayCellWidth, tall = ink.top - ink.bottom > kOverlayCellHeight;
    if ((!wide || emWidth <= 1) && (!tall || emHeight <= 1)) break;
    if (wide && emWidth > 1) --emWidth;
    if (tall && emHeight > 1) --emHeight;
  }
  // Where the glyph origin sits in the cell.
  const int originX = ink.left < 0 ? -ink.left : 0;
  const int baseline = ink.bottom < 0 ? -ink.bottom : 0;

  std::vector<GlyphBitmap> glyphs(kOverlayGlyphCount);
  for (int code = 0; code < kOverlayGlyphCount; ++code) {
    if (code < 32 || (code >= 127 && code < 160)) continue;
    const FT_UInt index = FT_Get_Char_Index(face.get(), FT_ULong(code));
    if (index == 0 || FT_Load_Glyph(face.get(), index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_MONO || bm.width == 0 || bm.rows == 0) continue;
    GlyphBitmap& g = glyphs[size_t(code)];
    g.width = int(bm.width);
    g.height = int(bm.rows);
    g.xorig = float(-slot->bitmap_left - originX);
    g.yorig = float(g.height - slot->bitmap_top - baseline);
    const size_t rowBytes = (bm.width + 7) / 8;
    g.bits.resize(rowBytes * bm.rows);
    bool inked = false;
    for (unsigned r = 0; r < bm.rows; ++r) {
      const unsigned char* src = bm.buffer + std::ptrdiff_t(r) * bm.pitch;
      std::memcpy(&g.bits[(bm.rows - 1 - r) * rowBytes], src, rowBytes);
      for (size_t b = 0; b < rowBytes; ++b) inked = inked || src[b] != 0;
    }
    if (!inked) g = GlyphBitmap();  // a blank such as the space
  }
  return glyphs;
}

bool OverlayFont::Build(const std::vector<GlyphBitmap>& glyphs) {
  Delete();
  const GLuint base = glGenLists(kOverlayGlyphCount);
  if (base == 0) return false;
  // The bitmaps are read when each list is compiled, with the unpacking
  // state of that moment; their rows are byte-aligned.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  static const GLubyte kNothing = 0;
  for (int code = 0; code < kOverlayGlyphCount; ++code) {
    glNewList(base + GLuint(code), GL_COMPILE);
    if (size_t(code) < glyphs.size() && !glyphs[size_t(code)].bits.empty()) {
      const GlyphBitmap& g = glyphs[size_t(code)];
      glBitmap(g.width, g.height, g.xorig, g.yorig, g.xmove, 0, g.bits.data());
    } else {
      glBitmap(0, 0, 0, 0, kOverlayCellWidth, 0, &kNothing);
    }
    glEndList();
  }
  glPopClientAttrib();
  base_ = base;
  return true;
}

void OverlayFont::Delete() {
  if (base_) glDeleteLists(base_, kOverlayGlyphCount);
  base_ = 0;
}

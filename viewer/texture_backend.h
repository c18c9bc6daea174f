// The handful of OpenGL texture calls the texture table makes, behind an
// interface so that the table's bookkeeping runs (and is tested) without a
// rendering context. GlTextureBackend is the real one.
#pragma once

#include <cstdint>
#include <vector>

// OpenGL enumerants the table passes through; the values are OpenGL's own.
constexpr int kGlNearest = 0x2600;   // 9728
constexpr int kGlLinear = 0x2601;    // 9729
constexpr int kGlModulate = 0x2100;  // 8448
constexpr int kGlClamp = 0x2900;     // 10496
constexpr int kGlRepeat = 0x2901;    // 10497
constexpr int kGlRgb = 0x1907;
constexpr int kGlRgba = 0x1908;

class TextureBackend {
 public:
  virtual ~TextureBackend() = default;
  // glGenTextures(count, ...).
  virtual std::vector<uint32_t> GenerateNames(int count) = 0;
  // glBindTexture(GL_TEXTURE_2D, name).
  virtual void Bind(uint32_t name) = 0;
  // glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode).
  virtual void SetEnvMode(int mode) = 0;
  // glDisable(GL_TEXTURE_GEN_S) and glDisable(GL_TEXTURE_GEN_T).
  virtual void DisableTexGen() = 0;
  // GL_TEXTURE_WRAP_S and _T of the bound texture.
  virtual void SetWrap(int mode) = 0;
  // GL_TEXTURE_MIN_FILTER and _MAG_FILTER of the bound texture.
  virtual void SetFilter(int mode) = 0;
  // glTexImage2D of level 0 into the bound texture; format is kGlRgb or
  // kGlRgba (internal format and format alike), rows tightly packed.
  virtual void Upload(int format, int width, int height, const uint8_t* pixels) = 0;
};

// The backend over the current OpenGL context of the calling thread.
class GlTextureBackend : public TextureBackend {
 public:
  std::vector<uint32_t> GenerateNames(int count) override;
  void Bind(uint32_t name) override;
  void SetEnvMode(int mode) override;
  void DisableTexGen() override;
  void SetWrap(int mode) override;
  void SetFilter(int mode) override;
  void Upload(int format, int width, int height, const uint8_t* pixels) override;
};

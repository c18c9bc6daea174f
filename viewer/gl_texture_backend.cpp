#include <GL/gl.h>

#include <cstddef>

#include "texture_backend.h"

static_assert(kGlNearest == GL_NEAREST && kGlLinear == GL_LINEAR && kGlModulate == GL_MODULATE &&
              kGlClamp == GL_CLAMP && kGlRepeat == GL_REPEAT && kGlRgb == GL_RGB && kGlRgba == GL_RGBA);

std::vector<uint32_t> GlTextureBackend::GenerateNames(int count) {
  std::vector<GLuint> names(count > 0 ? std::size_t(count) : 0, 0);
  if (!names.empty()) glGenTextures(GLsizei(names.size()), names.data());
  return std::vector<uint32_t>(names.begin(), names.end());
}

void GlTextureBackend::Bind(uint32_t name) { glBindTexture(GL_TEXTURE_2D, name); }

void GlTextureBackend::SetEnvMode(int mode) { glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode); }

void GlTextureBackend::DisableTexGen() {
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
}

void GlTextureBackend::SetWrap(int mode) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, mode);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, mode);
}

void GlTextureBackend::SetFilter(int mode) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mode);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mode);
}

void GlTextureBackend::Upload(int format, int width, int height, const uint8_t* pixels) {
  // Rows of RGB images are not padded to 4 bytes; with the default unpack
  // alignment GL would read past the end of odd-width images.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, GLenum(format), GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

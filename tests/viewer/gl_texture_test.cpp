// The texture table over a real OpenGL context (Mesa, no window).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "headless_gl.h"
#include "test_support.h"
#include "tga.h"
#include "tga_builder.h"
#include "texture_table.h"
#include "ui_services.h"

namespace {

std::vector<uint8_t> ReadBack(GLenum format, int width, int height) {
  int bpp = format == GL_RGBA ? 4 : 3;
  std::vector<uint8_t> out(size_t(width) * size_t(height) * size_t(bpp) + 64, 0xCD);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.data());
  out.resize(out.size() - 64);
  return out;
}

GLint Parameter(GLenum name) {
  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
  return value;
}

}  // namespace

TEST(GlTextures, UploadAndReadBack) {
  std::string why;
  std::unique_ptr<HeadlessGl> gl = HeadlessGl::Create(64, 64, &why);
  if (!gl) GTEST_SKIP() << "no headless OpenGL: " << why;

  GlTextureBackend backend;
  ScriptedUi ui;
  TextureTable table(backend, ui);
  ASSERT_EQ(table.CreateToonRamp(), 0);
  std::vector<uint8_t> ramp = ReadBack(GL_RGB, 16, 16);
  EXPECT_EQ(ramp[0], 89);
  EXPECT_EQ(ramp[(15 * 16 + 15) * 3], 255);
  EXPECT_EQ(ramp[(3 * 16 + 9) * 3 + 1], 11);
  EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);

  // A real 32-bit image comes back as its RGBA pixels, with the model settings.
  std::string photo = CorpusPath("tga/assimp/holygrail.tga");
  if (FileExists(photo)) {
    table.SetTextureDirectory(CorpusPath("tga/assimp/"));
    int slot = table.LoadModelTexture("holygrail.tga");
    ASSERT_EQ(slot, 1);
    auto image = ReadTga(photo, nullptr);
    ASSERT_TRUE(image);
    table.BindTexture(slot);
    EXPECT_EQ(ReadBack(GL_RGBA, image->width, image->height), image->pixels);
    EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(Parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
  }

  // Rows of an odd-width RGB image are not padded.
  TgaLayout odd;
  odd.width = 3;
  odd.height = 3;
  std::string oddPath = WriteTempFile("gl/odd.tga", MakeTga(odd, 1));
  table.SetTextureDirectory(TempDir() + "\\gl\\");
  int oddSlot = table.LoadTexture("odd.tga");
  ASSERT_GE(oddSlot, 1);
  table.BindTexture(oddSlot);
  EXPECT_EQ(ReadBack(GL_RGB, 3, 3), ReadTga(oddPath, nullptr)->pixels);

  // After a toon frame the ramp is bound; a failing model texture leaves it be.
  TgaLayout sixteen;
  sixteen.depth = 16;
  WriteTempFile("gl/bad.tga", MakeTga(sixteen));
  table.BindTexture(0);
  EXPECT_EQ(table.LoadModelTexture("bad.tga"), -1);
  table.BindTexture(0);
  EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Whole load cycles with textures on a real OpenGL context (Mesa, no
// window): the object is read on the loader thread while the main thread
// waits, its textures are made on the main thread afterwards, and the next
// load frees them there first. Built on its own under ThreadSanitizer too.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "headless_gl.h"
#include "shell.h"
#include "shell_fakes.h"
#include "test_support.h"
#include "viewer_model.h"

namespace fs = std::filesystem;
using namespace shelltest;

namespace {

// The host of a window-less context: making it current is the one GL duty.
class GlHost : public FakeHost {
 public:
  explicit GlHost(HeadlessGl& gl) : gl_(gl) {}
  void MakeContextCurrent() override {
    FakeHost::MakeContextCurrent();
    gl_.MakeCurrent();
  }

 private:
  HeadlessGl& gl_;
};

std::string CopyToFolder(const std::string& sample, const std::string& folder) {
  fs::create_directories(folder);
  const std::string path = folder + "/" + sample;
  fs::copy_file(SourcePath("samples/" + sample), path, fs::copy_options::overwrite_existing);
  return path;
}

// A flat grid of n x n quadrilaterals: big enough that the reader maps its
// polygon records ahead on a thread of its own.
std::string WriteGrid(const std::string& path, int n) {
  Body tags, pnts, pols, ptag, surf;
  tags.S0("Grid");
  surf.S0("Grid").S0("");
  ptag.Id("SURF");
  for (int i = 0; i < n * n; ++i) ptag.VX(uint32_t(i)).U2(0);
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x) pnts.Vec(float(x), float(y), 0);
  pols.Id("FACE");
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const uint32_t a = uint32_t(y * (n + 1) + x);
      pols.U2(4).VX(a).VX(a + 1).VX(a + uint32_t(n) + 2).VX(a + uint32_t(n) + 1);
    }
  const std::vector<uint8_t> bytes = IffBuilder("LWO2")
                                        .Chunk("TAGS", tags)
                                        .Chunk("PNTS", pnts)
                                        .Chunk("POLS", pols)
                                        .Chunk("PTAG", ptag)
                                        .Chunk("SURF", surf)
                                        .Bytes();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

}  // namespace

TEST(LoaderThread, TexturedLoadCyclesOnARealContext) {
  std::string why;
  std::unique_ptr<HeadlessGl> gl = HeadlessGl::Create(64, 64, &why);
  if (!gl) GTEST_SKIP() << "no headless OpenGL: " << why;
  // The load's own loops run in three parts each, on threads of their own
  // started from the loader thread, however small the object.
  ParallelLimitsScope threeParts(1, 3);

  const std::string dir = TempDir() + "/loader";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string textured = CopyToFolder("textured.lwo", dir + "/models");
  CopyToFolder("checker.tga", dir + "/models");
  const std::string cube = CopyToFolder("cube.lwo", dir + "/models");
  const std::string grid = WriteGrid(dir + "/models/grid.lwo", 200);

  GlTextureBackend backend;
  ScriptedUi ui;
  TextureTable table(backend, ui);
  ASSERT_EQ(table.CreateToonRamp(), 0);
  ViewerState state;
  Settings settings;
  settings.Read(dir);
  settings.SetLoadTexture(true);
  GlHost host(*gl);
  RecordedRecentMenu menu;
  Shell shell(state, settings, table, ui, host, menu);
  shell.Start();

  for (int round = 0; round < 3; ++round) {
    shell.OnDropFiles({textured});
    ASSERT_NE(state.model, nullptr);
    ASSERT_FALSE(state.model->textures.empty());
    const int slot = state.model->textures[0].handle;
    ASSERT_GE(slot, 1);
    EXPECT_EQ(state.texturesOn, 1);
    EXPECT_EQ(host.Checked(40041), true);
    // The slot's texture name holds the 64 x 64 checker image.
    table.BindTexture(slot);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // An untextured object next: the checker's slot is released.
    shell.OnDropFiles({cube});
    ASSERT_NE(state.model, nullptr);
    EXPECT_EQ(state.texturesOn, 0);
    EXPECT_EQ(table.Slot(slot), nullptr);
    EXPECT_EQ(table.FilledCount(), 1);
  }
  EXPECT_EQ(settings.RecentObject(0), cube);
  EXPECT_EQ(settings.RecentObject(1), textured);
  EXPECT_EQ(host.waits, 6);

  shell.OnDropFiles({grid});
  ASSERT_NE(state.model, nullptr);
  EXPECT_EQ(state.model->triangleCount, 2 * 200 * 200);
  EXPECT_TRUE(ui.messages().empty());

  shell.FreeContent();
  EXPECT_EQ(state.model, nullptr);
}

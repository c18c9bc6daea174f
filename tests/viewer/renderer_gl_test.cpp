// The renderer drawing into a real OpenGL context (Mesa's surfaceless EGL),
// read back pixel by pixel. Skipped where no context can be had.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "camera.h"
#include "headless_gl.h"
#include "renderer.h"
#include "sphere_model.h"
#include "test_support.h"
#include "texture_table.h"
#include "tga_builder.h"
#include "ui_services.h"
#include "viewer_model.h"

namespace {

using Rgb = uint32_t;  // 0xRRGGBB

Rgb Pack(int r, int g, int b) { return Rgb(r) << 16 | Rgb(g) << 8 | Rgb(b); }
int Channel(Rgb c, int i) { return int(c >> (16 - 8 * i)) & 0xFF; }
int Distance(Rgb a, Rgb b) {
  int d = 0;
  for (int i = 0; i < 3; ++i) d = std::max(d, std::abs(Channel(a, i) - Channel(b, i)));
  return d;
}
Rgb Scaled(const float color[3], int level) {  // colour x level/255, as the ramp modulates it
  int c[3];
  for (int i = 0; i < 3; ++i) c[i] = int(color[i] * float(level) + 0.5f);
  return Pack(c[0], c[1], c[2]);
}

const Rgb kGreen = Pack(0, 255, 0);

// A square in the z = 0 plane facing +z, two triangles, one normal per point.
ViewerModel MakeSquare(float half, const float color[3]) {
  ViewerModel m;
  m.vertices = {-half, -half, 0, half, -half, 0, half, half, 0, -half, half, 0};
  m.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
  m.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
  m.vertexCount = m.normalCount = m.uvCount = 4;
  m.normalScratchA.assign(4, 0);
  m.normalScratchB.assign(4, 0);
  SurfaceGroup g;
  g.points = {0, 1, 2, 0, 2, 3};
  g.normals = g.points;
  g.triangleCount = g.capacity = 2;
  std::copy(color, color + 3, g.color);
  m.groups.push_back(g);
  m.triangleCount = 2;
  return m;
}

class RendererGl : public testing::Test {
 protected:
  static constexpr int kSize = 128;

  void SetUp() override {
    std::string why;
    gl_ = HeadlessGl::Create(kSize, kSize, &why);
    if (!gl_ || !gl_->hasFramebuffer()) GTEST_SKIP() << "no headless OpenGL: " << why;
    textures_ = std::make_unique<TextureTable>(backend_, ui_);
    renderer_ = std::make_unique<Renderer>(state_, *textures_);
    ASSERT_TRUE(renderer_->Initialise());
    renderer_->SetViewport(kSize, kSize);
  }

  void TearDown() override {
    state_.model = nullptr;
    renderer_.reset();
    textures_.reset();
    gl_.reset();
  }

  void Show(ViewerModel* model) {
    state_.model = model;
    state_.loadState = LoadObject;
  }

  std::vector<Rgb> Read() {
    std::vector<uint8_t> bytes(size_t(kSize) * kSize * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    std::vector<Rgb> pixels(size_t(kSize) * kSize);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Pack(bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]);
    return pixels;
  }

  std::vector<Rgb> Frame() {
    renderer_->RenderFrame(0);
    return Read();
  }

  // Pixel counts per colour, the background left out.
  static std::map<Rgb, int> Colours(const std::vector<Rgb>& pixels, Rgb background = kGreen) {
    std::map<Rgb, int> out;
    for (Rgb p : pixels)
      if (p != background) ++out[p];
    return out;
  }

  std::unique_ptr<HeadlessGl> gl_;
  GlTextureBackend backend_;
  ScriptedUi ui_;
  std::unique_ptr<TextureTable> textures_;
  ViewerState state_;
  std::unique_ptr<Renderer> renderer_;
};

}  // namespace

// Content is judged by its pointer: a load that failed and left its state
// set draws nothing (and reads nothing) rather than crashing.
TEST_F(RendererGl, NothingLoadedShowsOnlyTheBackground) {
  state_.infoOn = state_.axesOn = state_.gridOn = state_.outlineOn = 1;
  EXPECT_TRUE(Colours(Frame()).empty());
  state_.loadState = LoadObject;
  EXPECT_TRUE(Colours(Frame()).empty());
  state_.loadState = LoadScene;
  EXPECT_TRUE(Colours(Frame()).empty());
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RendererGl, ToonShowsThreeTonesAndTheHighlightBand) {
  SphereOptions o;
  o.color[0] = 1.0f, o.color[1] = 0.6f, o.color[2] = 0.2f;
  o.slices = 48;
  o.stacks = 24;
  ViewerModel sphere = MakeSphereModel(o);
  Show(&sphere);
  state_.camera.distance = 90;
  for (DrawPath path : {DrawPath::VertexArrays, DrawPath::Immediate}) {
    SCOPED_TRACE(path == DrawPath::Immediate ? "immediate" : "arrays");
    renderer_->SetDrawPath(path);
    const Rgb tones[3] = {Scaled(o.color, 89), Scaled(o.color, 128), Scaled(o.color, 255)};

    state_.look = LookToonPlain;
    std::map<Rgb, int> plain = Colours(Frame());
    ASSERT_EQ(plain.size(), 3u);
    for (const auto& [colour, count] : plain) {
      int best = 255;
      for (Rgb t : tones) best = std::min(best, Distance(colour, t));
      EXPECT_LE(best, 1) << std::hex << colour;
    }

    // The band adds (0, 11, 0) everywhere below its threshold, white above.
    state_.look = LookToonSpecular;
    std::map<Rgb, int> shiny = Colours(Frame());
    ASSERT_EQ(shiny.size(), 4u);
    EXPECT_EQ(shiny.count(Pack(255, 255, 255)), 1u);
    for (const auto& [colour, count] : shiny) {
      if (colour == Pack(255, 255, 255)) continue;
      int best = 255;
      for (Rgb t : tones)
        best = std::min(best, Distance(colour, Pack(Channel(t, 0), std::min(255, Channel(t, 1) + 11), Channel(t, 2))));
      EXPECT_LE(best, 1) << std::hex << colour;
    }
  }
}

// A level of exactly 1 samples the ramp's top row, white in both bands.
TEST_F(RendererGl, ToonLevelOneSamplesTheTopRow) {
  const float color[3] = {0.5f, 0.25f, 1.0f};
  ViewerModel square = MakeSquare(1, color);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  state_.lightEyeVector[0] = 0, state_.lightEyeVector[1] = 0, state_.lightEyeVector[2] = 5;

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  renderer_->DrawModelToon(&square, false);
  EXPECT_EQ(square.normalScratchA[0], 1.0f);
  std::map<Rgb, int> plain = Colours(Read());
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_LE(Distance(plain.begin()->first, Scaled(color, 255)), 1);

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  renderer_->DrawModelToon(&square, true);
  EXPECT_EQ(square.normalScratchB[0], 1.0f);
  std::map<Rgb, int> shiny = Colours(Read());
  ASSERT_EQ(shiny.size(), 1u);
  EXPECT_EQ(shiny.begin()->first, Pack(255, 255, 255));
}

TEST_F(RendererGl, ColourMaskShowsOnlyOutlineAndEdges) {
  ScriptedUi ui;
  ViewerModel* cube = OpenViewerModel(SourcePath("samples/cube.lwo").c_str(), &ui);
  ASSERT_NE(cube, nullptr);
  Show(cube);
  state_.look = LookColorMask;
  state_.camera.distance = 100;
  state_.camera.yaw = 30;
  SetEdgeColor(state_, 0x000000FF);  // red
  for (DrawPath path : {DrawPath::VertexArrays, DrawPath::Immediate}) {
    SCOPED_TRACE(path == DrawPath::Immediate ? "immediate" : "arrays");
    renderer_->SetDrawPath(path);
    state_.outlineOn = state_.surfaceEdgesOn = 0;
    EXPECT_TRUE(Colours(Frame()).empty());

    state_.outlineOn = state_.surfaceEdgesOn = 1;
    state_.edgeSize = 0.3f;
    std::map<Rgb, int> lines = Colours(Frame());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.begin()->first, Pack(255, 0, 0));
    EXPECT_GT(lines.begin()->second, 100);

    // Pulled inside the model, the outline is hidden; the edges remain.
    state_.outlineOn = 1;
    state_.surfaceEdgesOn = 0;
    state_.edgeSize = -1;
    EXPECT_TRUE(Colours(Frame()).empty());
  }
  state_.model = nullptr;
  FreeViewerModel(cube, textures_.get());
}

// Both draw paths give the same pictures, whether the model's attributes
// share the point indices (drawn as they are) or not (unrolled per corner).
TEST_F(RendererGl, DrawPathsAgree) {
  TgaLayout layout;
  layout.width = layout.height = 8;
  const std::vector<uint8_t> tga = MakeTga(layout, 7);
  const int slot = textures_->CreateTextureFromMemory(tga.data(), tga.size());
  ASSERT_GT(slot, 0);
  textures_->SetFilter(slot, kGlLinear);

  SphereOptions o;
  o.color[0] = 0.3f, o.color[1] = 0.7f, o.color[2] = 0.9f;
  ViewerModel shared = MakeSphereModel(o);
  o.normalPerCorner = true;
  ViewerModel unrolled = MakeSphereModel(o);
  const float grey[3] = {0.8f, 0.8f, 0.8f};
  ViewerModel textured = MakeSquare(12, grey);
  textured.groups[0].textureIndex = 0;
  textured.groups[0].uvs = {0, 1, 2, 0, -1, 3};  // a corner without a UV draws (0, 0)
  textured.textures.push_back({slot, "memory"});
  state_.texturesOn = 1;
  state_.camera.yaw = 20;
  state_.camera.distance = 70;

  for (ViewerModel* model : {&shared, &unrolled, &textured}) {
    Show(model);
    for (int extras = 0; extras < 2; ++extras)
      for (int look = 0; look < kLookCount; ++look) {
        SCOPED_TRACE(testing::Message() << "model " << (model == &shared ? "shared" : model == &unrolled ? "unrolled" : "textured")
                                        << " look " << look << " extras " << extras);
        state_.look = RenderLook(look);
        state_.outlineOn = state_.surfaceEdgesOn = extras;
        state_.edgeSize = 0.2f;
        renderer_->SetDrawPath(DrawPath::Immediate);
        const std::vector<Rgb> reference = Frame();
        renderer_->SetDrawPath(DrawPath::VertexArrays);
        const std::vector<Rgb> fast = Frame();
        int worst = 0;
        for (size_t i = 0; i < fast.size(); ++i) worst = std::max(worst, Distance(fast[i], reference[i]));
        EXPECT_LE(worst, 1);
        // Only the colour mask without lines draws nothing visible.
        EXPECT_EQ(Colours(fast).empty(), look == LookColorMask && !extras);
      }
  }
}

TEST_F(RendererGl, StateEachDrawingLeavesBehind) {
  TgaLayout layout;
  const std::vector<uint8_t> tga = MakeTga(layout, 1);
  const int slot = textures_->CreateTextureFromMemory(tga.data(), tga.size());
  const float white[3] = {1, 1, 1};
  ViewerModel square = MakeSquare(5, white);
  square.groups[0].textureIndex = 0;
  square.groups[0].uvs = square.groups[0].points;
  square.textures.push_back({slot, "memory"});
  state_.texturesOn = 1;
  Show(&square);
  renderer_->UpdateCamera();
  renderer_->UpdateLight();

  auto integer = [](GLenum name) {
    GLint v = 0;
    glGetIntegerv(name, &v);
    return v;
  };
  for (DrawPath path : {DrawPath::VertexArrays, DrawPath::Immediate}) {
    renderer_->SetDrawPath(path);
    renderer_->DrawModelNormal(&square, false);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));  // a textured last group must not tint what follows
    renderer_->DrawOutline(&square, 0.1f);
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_FRONT);
    renderer_->DrawModelWireframe(&square);
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_FRONT);  // wireframe leaves culling be
    EXPECT_EQ(integer(GL_POLYGON_MODE), GL_FILL);
    renderer_->DrawModelToon(&square, true);
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    renderer_->DrawSurfaceEdges(&square, 1);
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RendererGl, SurfaceEdgesAreBuiltOnFirstUseOnly) {
  SphereOptions o;
  ViewerModel closed = MakeSphereModel(o);
  const float white[3] = {1, 1, 1};
  ViewerModel square = MakeSquare(5, white);
  for (ViewerModel* m : {&closed, &square}) ASSERT_FALSE(m->groups[0].edgesBuilt);
  renderer_->DrawSurfaceEdges(&closed, 1);
  renderer_->DrawSurfaceEdges(&square, 1);
  EXPECT_TRUE(closed.groups[0].edgesBuilt);
  EXPECT_EQ(closed.groups[0].boundaryEdgeCount, 0);  // closed: nothing, yet not absent
  EXPECT_EQ(square.groups[0].boundaryEdgeCount, 4);  // the diagonal is shared

  // A list already there is drawn as it is.
  square.groups[0].boundaryEdges = {0, 2};
  square.groups[0].boundaryEdgeCount = 1;
  renderer_->DrawSurfaceEdges(&square, 1);
  EXPECT_EQ(square.groups[0].boundaryEdgeCount, 1);
}

TEST_F(RendererGl, OverlayTextSitsInItsCells) {
  if (!renderer_->hasFont()) GTEST_SKIP() << "no overlay font installed";
  SphereOptions o;
  ViewerModel small = MakeSphereModel(o);
  Show(&small);
  state_.camera.distance = 400;  // the model stays in the middle, clear of the text
  state_.infoOn = 1;
  const std::vector<Rgb> pixels = Frame();
  auto at = [&](int x, int yDown) { return pixels[size_t(kSize - 1 - yDown) * kSize + size_t(x)]; };
  int white = 0, black = 0, stray = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < kSize; ++x) {
      const Rgb p = at(x, y);
      const bool inCell = (y % 18) >= 1 && (y % 18) <= 11 && y < 18 * 3;
      if (p == Pack(255, 255, 255)) inCell ? ++white : ++stray;
      if (p == Pack(0, 0, 0)) inCell ? ++black : ++stray;
    }
  EXPECT_GT(white, 50);
  EXPECT_GT(black, 50);
  EXPECT_EQ(stray, 0);

  state_.infoOn = 0;
  const std::vector<Rgb> plain = Frame();
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < kSize; ++x) ASSERT_EQ(plain[size_t(kSize - 1 - y) * kSize + size_t(x)], kGreen);
}

TEST_F(RendererGl, ZeroHeightViewportDrawsWithoutErrors) {
  SphereOptions o;
  ViewerModel sphere = MakeSphereModel(o);
  Show(&sphere);
  renderer_->SetViewport(kSize, 0);
  renderer_->RenderFrame(0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

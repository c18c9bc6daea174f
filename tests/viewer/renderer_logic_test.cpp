// The renderer's arithmetic, without an OpenGL context: camera, matrices,
// toon levels, outline thickness, the frame counter and the overlay glyphs.
#include <gtest/gtest.h>

#include <cmath>

#include "camera.h"
#include "edges.h"
#include "fps_counter.h"
#include "overlay_font.h"
#include "toon.h"
#include "viewer_math.h"

namespace {

Vec3 Unit(Vec3 v) { return v * (1.0f / Length(v)); }

void ExpectNear(Vec3 a, Vec3 b, float eps = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

}  // namespace

TEST(Camera, DefaultEyeAndUp) {
  OrbitCamera c;
  SetStartupCamera(c);
  CameraPose pose = ComputeCameraPose(c);
  ExpectNear(pose.eye, {0, float(60 * std::sin(60 * kDegToRad)), float(60 * std::cos(60 * kDegToRad))}, 1e-4f);
  ExpectNear(pose.up, {0, 0.5f, -float(std::sin(60 * kDegToRad))});

  c.target[0] = 1, c.target[1] = 2, c.target[2] = 3;
  c.yaw = 90;
  c.pitch = 0;
  c.distance = 10;
  pose = ComputeCameraPose(c);
  ExpectNear(pose.eye, {11, 2, 3}, 1e-4f);
  ExpectNear(pose.up, {0, 1, 0});
}

// Dragged over either pole the picture must neither flip nor jump: the up
// vector is the direction the eye moves as the pitch grows, at every pitch.
TEST(Camera, UpVectorTurnsSmoothlyOverThePoles) {
  for (float yaw : {0.0f, 37.0f, 90.0f, 200.0f, 359.5f}) {
    OrbitCamera c;
    c.yaw = yaw;
    c.distance = 25;
    Vec3 previous{};
    for (int step = 0; step <= 1440; ++step) {
      c.pitch = step * 0.25f;
      const CameraPose pose = ComputeCameraPose(c);
      SCOPED_TRACE(testing::Message() << "yaw " << yaw << " pitch " << c.pitch);
      ASSERT_NEAR(Length(pose.up), 1, 1e-5);
      ASSERT_NEAR(Dot(pose.up, Unit(pose.eye)), 0, 1e-5);
      const double p = c.pitch * kDegToRad, y = yaw * kDegToRad;
      const Vec3 motion{float(-std::sin(p) * std::sin(y)), float(std::cos(p)), float(-std::sin(p) * std::cos(y))};
      ASSERT_GT(Dot(pose.up, motion), 0.9999f);
      if (step > 0) {
        ASSERT_GT(Dot(pose.up, previous), std::cos(0.3 * kDegToRad));
      }
      previous = pose.up;
    }
  }
}

TEST(Camera, FrustumAndZeroHeight) {
  OrbitCamera c;
  SetStartupCamera(c);
  c.viewportWidth = 640;
  c.viewportHeight = 480;
  Frustum f = ComputeFrustum(c);
  const double top = std::tan(13 * kDegToRad);
  EXPECT_NEAR(f.top, top, 1e-6);
  EXPECT_NEAR(f.right, top * 640 / 480, 1e-6);
  EXPECT_EQ(f.nearPlane, 1);
  EXPECT_EQ(f.farPlane, 65535);

  c.viewportHeight = 0;  // a client area squeezed flat counts as one pixel high
  f = ComputeFrustum(c);
  EXPECT_TRUE(std::isfinite(f.right));
  EXPECT_NEAR(f.right, top * 640, 1e-3);
}

TEST(Camera, HomeSnapshotAndLoadReset) {
  ViewerState s;
  SetStartupCamera(s.camera);
  EXPECT_EQ(s.camera.fieldOfView, 26);
  RotateCamera(s.camera, 40, -30);
  PanCamera(s.camera, 10, 20);
  ZoomCamera(s.camera, -100);
  EXPECT_EQ(s.camera.distance, 1);
  EXPECT_FLOAT_EQ(s.camera.panX, 1);
  EXPECT_FLOAT_EQ(s.camera.panY, -2);
  s.modelYOffset = 3;
  s.spinAngle = 50;

  ResetViewAfterLoad(s);  // the pan survives a load
  EXPECT_EQ(s.camera.yaw, 0);
  EXPECT_EQ(s.camera.pitch, 60);
  EXPECT_EQ(s.camera.distance, 60);
  EXPECT_EQ(s.modelYOffset, 0);
  EXPECT_EQ(s.spinAngle, 0);
  EXPECT_FLOAT_EQ(s.camera.panX, 1);

  s.camera.RestoreHome();  // the start-up copy was taken with the first field of view
  EXPECT_EQ(s.camera.fieldOfView, 60);
  EXPECT_EQ(s.camera.panX, 0);
  EXPECT_EQ(s.camera.pitch, 60);
}

TEST(Camera, AnglesStayInRange) {
  EXPECT_EQ(WrapDegrees(360), 360);
  EXPECT_EQ(WrapDegrees(0), 0);
  EXPECT_FLOAT_EQ(WrapDegrees(362), 2);
  EXPECT_FLOAT_EQ(WrapDegrees(-1), 359);
  EXPECT_FLOAT_EQ(WrapDegrees(725), 5);
  EXPECT_FLOAT_EQ(WrapDegrees(-1085), 355);
  EXPECT_EQ(WrapDegrees(NAN), 0);

  OrbitCamera c;
  RotateCamera(c, 100000, -54321);  // one huge drag step
  EXPECT_GE(c.yaw, 0);
  EXPECT_LE(c.yaw, 360);
  EXPECT_GE(c.pitch, 0);
  EXPECT_LE(c.pitch, 360);

  ViewerState s;
  StepSpin(s, -5);
  EXPECT_EQ(s.spinAngle, 355);
  StepLightAngle(s, 365);
  EXPECT_EQ(s.lightAngle, 5);
  for (int i = 0; i < 30; ++i) StepEdgeSize(s, -1);
  EXPECT_NEAR(s.edgeSize, -0.3, 1e-5);  // no lower bound
  SetEdgeColor(s, 0x000080FF);
  EXPECT_EQ(s.edgeColor[0], 1);
  EXPECT_FLOAT_EQ(s.edgeColor[1], 128 / 255.0f);
  EXPECT_EQ(s.edgeColor[2], 0);
}

TEST(Matrix, InverseTimesMatrixIsIdentity) {
  Mat4 m = Multiply(Multiply(RotationX(33), RotationY(-71)), RotationZ(12));
  m[0] *= 3;  // a scale, then a translation
  m[12] = 5, m[13] = -7, m[14] = 60;
  Mat4 inv;
  ASSERT_TRUE(Invert(m, &inv));
  const Mat4 product = Multiply(m, inv), id = Identity();
  for (size_t i = 0; i < 16; ++i) EXPECT_NEAR(product[i], id[i], 1e-5) << i;

  // A zero on the diagonal needs a row swap.
  const Mat4 swap = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 2, 3, 4, 1};
  ASSERT_TRUE(Invert(swap, &inv));
  ExpectNear(TransformPoint(TransformPoint({1, 2, 3}, swap), inv), {1, 2, 3});

  Mat4 singular = Identity();
  singular[10] = 0;
  Mat4 untouched = Identity();
  EXPECT_FALSE(Invert(singular, &untouched));
  EXPECT_EQ(untouched, Identity());
}

TEST(Matrix, RotationsAreRightHandedForRowVectors) {
  ExpectNear(TransformDirection({1, 0, 0}, RotationY(90)), {0, 0, -1});
  ExpectNear(TransformDirection({0, 1, 0}, RotationX(90)), {0, 0, 1});
  ExpectNear(TransformDirection({1, 0, 0}, RotationZ(90)), {0, 1, 0});
  ExpectNear(TransformPoint({1, 1, 1}, Multiply(RotationZ(90), Mat4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1})),
             {9, 1, 1});
}

TEST(Toon, LevelsForKnownLightAndNormals) {
  // A view 60 units back: the light at (0, 0, 10) in eye space is at
  // (0, 0, 70) in the model's space, straight along +z.
  Mat4 view = Identity();
  view[14] = -60;
  const ToonVectors v = ComputeToonVectors(view, {0, 0, 10});
  ExpectNear(v.light, {0, 0, 1});
  ExpectNear(v.view, {0, 0, 1});

  const float normals[] = {0, 0, 1, 1, 0, 0, 0, 0, -1, 0.6f, 0, 0.8f, 0, 0.28f, 0.96f};
  float levels[5];
  ComputeToonLevels(normals, 5, v.light, levels);
  EXPECT_EQ(levels[0], 1);
  EXPECT_EQ(levels[1], 0);
  EXPECT_EQ(levels[2], 0);  // facing away clamps to 0
  EXPECT_FLOAT_EQ(levels[3], 0.8f);
  EXPECT_FLOAT_EQ(levels[4], 0.96f);

  // Light from +x, eye along +z: the half vector sits between them.
  ToonVectors side{{1, 0, 0}, {0, 0, 1}};
  ExpectNear(ToonHalfVector(side), {float(std::sqrt(0.5)), 0, float(std::sqrt(0.5))});
  ComputeToonLevels(normals, 5, ToonHalfVector(side), levels);
  EXPECT_NEAR(levels[3], (0.6 + 0.8) * std::sqrt(0.5), 1e-6);

  // Rotating the model turns its space, not the light.
  const ToonVectors turned = ComputeToonVectors(Multiply(RotationY(90), view), {0, 0, 10});
  ExpectNear(turned.light, {-1, 0, 0});

  Mat4 singular = Identity();
  singular[0] = 0;
  const ToonVectors none = ComputeToonVectors(singular, {0, 0, 10});
  ExpectNear(none.light, {0, 0, 0});
}

TEST(Outline, ExpansionAtDistances) {
  const float at5[3] = {0, 3, 4}, at55[3] = {0, 33, 44}, near[3] = {1, 0, 0}, far[3] = {0, 0, 500};
  EXPECT_FLOAT_EQ(OutlineExpansion(at5, 0), 0);
  EXPECT_FLOAT_EQ(OutlineExpansion(at5, 0.25f), 0.25f);
  EXPECT_FLOAT_EQ(OutlineExpansion(at55, 0), 50 * 0.0033333334f);
  EXPECT_NEAR(OutlineExpansion(at55, 0), 1.0 / 6, 1e-6);
  EXPECT_FLOAT_EQ(OutlineExpansion(near, 0.1f), 0.1f);
  EXPECT_FLOAT_EQ(OutlineExpansion(far, 0), OutlineExpansion(at55, 0));
  EXPECT_LT(OutlineExpansion(at55, -0.5f), 0);  // pulled inside: no outline
}

TEST(Fps, CountsFramesPerSecondAcrossTheClockWrap) {
  FpsCounter fps;
  for (uint32_t t = 1000; t <= 2000; t += 10) fps.Tick(t);  // 101 frames, exactly 1000 ms
  EXPECT_EQ(fps.fps(), 0);
  fps.Tick(2001);
  EXPECT_EQ(fps.fps(), 102);
  fps.Tick(2500);
  EXPECT_EQ(fps.fps(), 102);

  FpsCounter wrapping;
  uint32_t t = 0xFFFFFE00u;
  wrapping.Tick(t);
  for (int i = 0; i < 40; ++i) wrapping.Tick(t += 30);  // passes 2^32 on the way
  EXPECT_EQ(wrapping.fps(), 35);  // 1 + 34 frames when 1020 ms had passed
}

TEST(OverlayGlyphs, BoldFixedPitchCells) {
  const std::string font = FindOverlayFont();
  if (font.empty()) GTEST_SKIP() << "no fixed-pitch font installed";
  std::string why;
  const std::vector<GlyphBitmap> glyphs = RasterizeOverlayGlyphs(font, &why);
  ASSERT_EQ(glyphs.size(), size_t(kOverlayGlyphCount)) << why;
  for (int code = 0; code < kOverlayGlyphCount; ++code) {
    const GlyphBitmap& g = glyphs[size_t(code)];
    EXPECT_EQ(g.xmove, kOverlayCellWidth);
    if (code < 33 || code == 127) {
      EXPECT_TRUE(g.bits.empty()) << code;
    }
    if (g.bits.empty()) continue;
    EXPECT_EQ(g.bits.size(), size_t((g.width + 7) / 8 * g.height));
    if (code > 126) continue;
    // ASCII stays inside its cell: the raster position is the cell's
    // bottom left corner.
    EXPECT_GE(-g.yorig, 0) << code;
    EXPECT_LE(-g.yorig + g.height, kOverlayCellHeight) << code;
    EXPECT_GE(-g.xorig, 0) << code;
    EXPECT_LE(-g.xorig + g.width, kOverlayCellWidth) << code;
  }
  for (char c : std::string("0123456789fpsolygnvertx%")) EXPECT_FALSE(glyphs[size_t(c)].bits.empty()) << c;

  // Rows are stored bottom first: a T is wide at its top row.
  const GlyphBitmap& t = glyphs['T'];
  auto rowCount = [&](int row) {
    int n = 0;
    for (int x = 0; x < t.width; ++x) n += t.Pixel(x, row);
    return n;
  };
  EXPECT_GT(rowCount(t.height - 1), rowCount(0));

  EXPECT_TRUE(RasterizeOverlayGlyphs("/nonexistent/font.ttf", &why).empty());
  EXPECT_FALSE(why.empty());
}

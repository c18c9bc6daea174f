#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "clip_envelope.h"
#include "objectdb.h"
#include "surface_attributes.h"
#include "test_support.h"

namespace {

struct Surfaces {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  explicit Surfaces(int format = 2) {
    db->format = format;
    o.AddLayer(db, "layer");
  }
  ~Surfaces() { CloseObjectDb(&db); }

  SurfaceAttributes* Add(const char* name, const std::vector<uint8_t>& body) {
    o.AddSurface(db, name);
    o.SetSurfaceData(db, name, int(body.size()), body.data());
    return o.GetSurfaceAttributes(db, o.FindSurface(db, name)->id);
  }
  // Envelopes at list positions 0, 1, ... each hold one key of that value.
  void Envelopes(const std::vector<float>& values) {
    for (float v : values) {
      int ordinal = o.AddEnvelope(db, ordinal_ + 1);
      std::vector<uint8_t> body = Body().Sub("KEY ", Body().F4(0).F4(v));
      o.SetEnvelopeData(db, ordinal, int(body.size()), body.data());
      ++ordinal_;
    }
  }
  int ordinal_ = 0;
};

TEST(SurfaceAttributesTest, EmptyBodyGivesTheDefaults) {
  Surfaces s;
  SurfaceAttributes* a = s.Add("plain", {});
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->name, "plain");
  EXPECT_EQ(a->format, 2);
  EXPECT_EQ(a->flags, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(a->color[i], 0.78f);
    EXPECT_FLOAT_EQ(a->diffuseColor[i], 0.78f);
    EXPECT_FLOAT_EQ(a->specularColor[i], 0);
    EXPECT_FLOAT_EQ(a->emission[i], 0);
  }
  EXPECT_FLOAT_EQ(a->color[3], 1);
  EXPECT_FLOAT_EQ(a->diffuseColor[3], 1);
  EXPECT_FLOAT_EQ(a->diffuse, 1);
  EXPECT_FLOAT_EQ(a->refractiveIndex, 1);
  EXPECT_FLOAT_EQ(a->smoothingAngle, 1.56207f);
  EXPECT_TRUE(a->layers.empty());
  double angle = 0;
  EXPECT_FALSE(GetSurfaceSmoothing(s.db, 0, &angle));
  EXPECT_EQ(s.o.GetSurfaceAttributes(s.db, 7), nullptr);
  EXPECT_EQ(s.o.PrepareSurfaceAttributes(s.db, 7, 0), 0);
}

TEST(SurfaceAttributesTest, Lwo2LevelsMultiplyIntoColours) {
  Surfaces s;
  SurfaceAttributes* a = s.Add("shiny", Body()
                                            .Sub("COLR", Body().Vec(0.5f, 0.25f, 1).VX(0))
                                            .Sub("DIFF", Body().F4(0.5f).VX(0))
                                            .Sub("SPEC", Body().F4(0.4f).VX(0))
                                            .Sub("CLRH", Body().F4(0.5f).VX(0))
                                            .Sub("GLOS", Body().F4(0.25f).VX(0))
                                            .Sub("LUMI", Body().F4(0.2f).VX(0))
                                            .Sub("TRAN", Body().F4(0.25f).VX(0))
                                            .Sub("SMAN", Body().F4(1.0f))
                                            .Sub("SIDE", Body().U2(3))
                                            .Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint")));
  ASSERT_NE(a, nullptr);
  const float color[3] = {0.5f, 0.25f, 1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(a->diffuseColor[i], color[i] * 0.5f);
    EXPECT_FLOAT_EQ(a->specularColor[i], 0.4f * 0.5f + 0.5f * color[i]);
    EXPECT_FLOAT_EQ(a->emission[i], color[i] * 0.2f);
  }
  for (const float* c : {a->color, a->diffuseColor, a->specularColor, a->emission}) EXPECT_FLOAT_EQ(c[3], 0.75f);
  EXPECT_FLOAT_EQ(a->shininess[0], 32);
  EXPECT_EQ(a->flags, SURF_SMOOTHING | SURF_DOUBLE_SIDED | SURF_COLOR_HIGHLIGHTS);
  EXPECT_EQ(a->vertexColorType, ID_RGBA);
  EXPECT_EQ(a->vertexColorMap, "paint");
  double angle = 0;
  EXPECT_TRUE(GetSurfaceSmoothing(s.db, 0, &angle));
  EXPECT_FLOAT_EQ(float(angle), 1.0f);
}

TEST(SurfaceAttributesTest, ColourEnvelopesNeedAllThreeOrdinals) {
  Surfaces s;
  s.Envelopes({0.1f, 0.2f, 0.3f, 0.4f});
  // Index e takes list positions e - 1, e and e + 1.
  SurfaceAttributes* group =
      s.Add("group", Body().Sub("COLR", Body().Vec(1, 1, 1).VX(2)).Sub("DIFF", Body().F4(1).VX(4)));
  EXPECT_FLOAT_EQ(group->color[0], 0.2f);
  EXPECT_FLOAT_EQ(group->color[1], 0.3f);
  EXPECT_FLOAT_EQ(group->color[2], 0.4f);
  EXPECT_FLOAT_EQ(group->diffuse, 0.4f);
  EXPECT_FLOAT_EQ(group->diffuseColor[1], 0.3f * 0.4f);
  SurfaceAttributes* partial = s.Add("partial", Body().Sub("COLR", Body().Vec(1, 0.5f, 1).VX(4)));
  EXPECT_EQ(partial->colorEnvelope[0], nullptr);
  EXPECT_FLOAT_EQ(partial->color[1], 0.5f);

  // Unchanged time: not evaluated again. A new time: evaluated again.
  group->color[0] = 9;
  EXPECT_EQ(s.o.GetSurfaceAttributes(s.db, 0), group);
  EXPECT_FLOAT_EQ(group->color[0], 9);
  s.db->time = 1;
  s.o.GetSurfaceAttributes(s.db, 0);
  EXPECT_FLOAT_EQ(group->color[0], 0.2f);
}

std::vector<uint8_t> Block(const char* channel, int projection, int axis, uint32_t clip, const char* vmap) {
  Body head;
  head.S0("\x80").Sub("CHAN", Body().Id(channel)).Sub("OPAC", Body().U2(0).F4(0.5f).VX(0));
  Body tmap;
  tmap.Sub("CNTR", Body().Vec(1, 2, 3).VX(0))
      .Sub("SIZE", Body().Vec(4, 5, 6).VX(0))
      .Sub("ROTA", Body().Vec(0.5f, 0, 0).VX(0));
  Body b;
  b.Sub("IMAP", head).Sub("TMAP", tmap);
  b.Sub("PROJ", Body().U2(uint16_t(projection))).Sub("AXIS", Body().U2(uint16_t(axis)));
  b.Sub("WRAP", Body().U2(2).U2(3)).Sub("WRPW", Body().F4(2).VX(0)).Sub("WRPH", Body().F4(3).VX(0));
  if (clip) b.Sub("IMAG", Body().VX(clip));
  if (vmap) b.Sub("VMAP", Body().S0(vmap));
  return b;
}

TEST(SurfaceAttributesTest, Lwo2BlocksBecomeTextureLayersPerChannel) {
  Surfaces s;
  int clip = AddClipFromPath(s.db, "C:\\maps\\wood.tga");
  SurfaceAttributes* a = s.Add("textured", Body()
                                               .Sub("BLOK", Block("DIFF", 0, 1, 0, nullptr))
                                               .Sub("BLOK", Block("COLR", 1, 2, uint32_t(clip), nullptr))
                                               .Sub("BLOK", Block("COLR", 5, 0, 0, "Texture")));
  ASSERT_EQ(a->layers.size(), 3u);
  EXPECT_EQ(s.o.PrepareSurfaceAttributes(s.db, 0, 0), 2);  // COLR
  EXPECT_EQ(s.o.PrepareSurfaceAttributes(s.db, 0, 1), 1);  // DIFF
  EXPECT_EQ(s.o.PrepareSurfaceAttributes(s.db, 0, 2), 0);
  TextureLayer* first = s.o.GetTextureLayer(s.db, a, TEX_COLR, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->index, 0);
  EXPECT_EQ(first->projection, PROJ_CYLINDRICAL);
  EXPECT_EQ(first->axis, AXIS_Z);
  EXPECT_EQ(first->imageName, "C:\\maps\\wood.tga");
  EXPECT_EQ(first->imageFlags, TEXLAYER_IMAGE);
  EXPECT_FLOAT_EQ(first->opacity, 0.5f);
  EXPECT_FLOAT_EQ(first->center[2], 3);
  EXPECT_FLOAT_EQ(first->size[1], 5);
  EXPECT_FLOAT_EQ(first->rotation[0], 0.5f);
  EXPECT_EQ(first->wrapModeWidth, WRAP_MIRROR);
  EXPECT_FLOAT_EQ(first->wrapHeight, 3);
  TextureLayer* second = s.o.GetTextureLayer(s.db, a, TEX_COLR, 1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->index, 1);
  EXPECT_EQ(second->uvMapName, "Texture");
  EXPECT_EQ(s.o.GetTextureLayer(s.db, a, TEX_DIFF, 0)->channel, TEX_DIFF);
  EXPECT_EQ(s.o.GetTextureLayer(s.db, a, TEX_COLR, 2), nullptr);

  s.o.SelectTextureLayers(s.db, TEX_COLR, 1);
  EXPECT_EQ(a->currentLayer, second);
  s.o.SelectTextureLayers(s.db, 0, 0);
  EXPECT_EQ(a->currentLayer, nullptr);
}

std::vector<uint8_t> LwobBody(uint16_t glos, uint16_t wrap, const char* texture) {
  return Body()
      .Sub("COLR", Body().U1(255).U1(0).U1(51).U1(0))
      .Sub("FLAG", Body().U2(0x4 | 0x8 | 0x100))
      .Sub("DIFF", Body().U2(128))
      .Sub("VSPC", Body().F4(0.75f))
      .Sub("SPEC", Body().U2(64))
      .Sub("GLOS", Body().U2(glos))
      .Sub("CTEX", Body().S0(texture))
      .Sub("TFLG", Body().U2(0x2 | 0x10))
      .Sub("TSIZ", Body().Vec(2, 3, 4))
      .Sub("TWRP", Body().U2(wrap).U2(1))
      .Sub("TFP0", Body().F4(2))
      .Sub("TIMG", Body().S0("Images/bark.iff"))
      .Sub("DTEX", Body().S0("Fractal Noise"));
}

TEST(SurfaceAttributesTest, LwobSurfacesAndHostileValues) {
  struct Case {
    uint16_t glos, wrap;
    const char* texture;
    float glossiness;
    uint16_t wrapMode;
    int projection;
  } cases[] = {
      {0, 0, "Planar Image Map", 0, WRAP_RESET, PROJ_PLANAR},
      {1, 1, "Cylindrical Image Map", 0, WRAP_EDGE, PROJ_CYLINDRICAL},
      {256, 2, "Spherical Image Map", 76.8f, WRAP_REPEAT, PROJ_SPHERICAL},
      {65535, 3, "Front Projection Image Map", 128, WRAP_MIRROR, PROJ_FRONT},
      {64, 7, "Marble", 51.2f, WRAP_REPEAT, PROJ_PLANAR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texture);
    Surfaces s(1);
    SurfaceAttributes* a = s.Add("old", LwobBody(c.glos, c.wrap, c.texture));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->format, 1);
    EXPECT_FLOAT_EQ(a->shininess[0], c.glossiness);
    EXPECT_FLOAT_EQ(a->color[2], 0.2f);
    EXPECT_FLOAT_EQ(a->diffuse, 0.5f);
    EXPECT_FLOAT_EQ(a->specular, 0.75f);  // the float form wins
    EXPECT_EQ(a->flags, SURF_SMOOTHING | SURF_COLOR_HIGHLIGHTS | SURF_DOUBLE_SIDED);
    EXPECT_FLOAT_EQ(a->specularColor[0], 1);  // highlights 1: all colour
    TextureLayer* t = s.o.GetTextureLayer(s.db, a, TEX_COLR, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->projection, c.projection);
    EXPECT_EQ(t->axis, AXIS_Y);
    EXPECT_EQ(t->negative, 1);
    EXPECT_EQ(t->wrapModeWidth, c.wrapMode);
    EXPECT_EQ(t->wrapModeHeight, WRAP_EDGE);
    EXPECT_FLOAT_EQ(t->wrapWidth, 2);
    EXPECT_FLOAT_EQ(t->size[2], 4);
    EXPECT_EQ(t->imageName, "Images/bark.iff");
    EXPECT_NE(s.o.GetTextureLayer(s.db, a, TEX_DIFF, 0), nullptr);
    EXPECT_EQ(s.o.PrepareSurfaceAttributes(s.db, 0, 1), 1);
  }
}

// Two unit quads meeting at a right angle along the edge x = 0, z = 0.
int NormalsBuiltWith(const std::vector<uint8_t>& surface) {
  Surfaces s;
  s.o.AddSurface(s.db, "fold");
  s.o.SetSurfaceData(s.db, "fold", int(surface.size()), surface.data());
  const double points[6][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 1}, {0, 0, 1}};
  for (auto& p : points) s.o.AddPoint(s.db, p[0], p[1], p[2]);
  int32_t floor[4] = {0, 1, 2, 3}, wall[4] = {5, 4, 1, 0};
  s.o.AddPolygon(s.db, 4, floor, "fold");
  s.o.AddPolygon(s.db, 4, wall, "fold");
  EXPECT_EQ(s.o.BuildNormals(s.db, 0), 0);
  return s.o.GetNormalCount(s.db);
}

TEST(SurfaceAttributesTest, AngleModeNormalsFollowTheSmoothingAngle) {
  EXPECT_EQ(NormalsBuiltWith(Body().Sub("SMAN", Body().F4(1.6f))), 6);  // the shared edge is smoothed
  EXPECT_EQ(NormalsBuiltWith(Body().Sub("SMAN", Body().F4(1.5f))), 8);  // 90 degrees is beyond 1.5 rad
  EXPECT_EQ(NormalsBuiltWith({}), 2);                                   // no smoothing: one per face
}

}  // namespace

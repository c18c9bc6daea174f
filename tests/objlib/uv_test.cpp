#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "object_checks.h"
#include "objectdb.h"
#include "surface_attributes.h"
#include "test_support.h"

namespace {

using Point = std::array<double, 3>;
using Uv = std::array<double, 2>;

struct Scene {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  Scene() { o.AddLayer(db, "layer"); }
  ~Scene() { CloseObjectDb(&db); }

  int Polygon(const std::vector<Point>& points, const char* surface = nullptr) {
    std::vector<int32_t> index;
    for (const Point& p : points) index.push_back(o.AddPoint(db, p[0], p[1], p[2]));
    return o.AddPolygon(db, int(index.size()), index.data(), surface);
  }
  int Polygon(const std::vector<int32_t>& index, const char* surface = nullptr) {
    return o.AddPolygon(db, int(index.size()), index.data(), surface);
  }
  std::vector<CornerUv> Project(TextureLayer& t, int polygon, int flags = 0, int* status = nullptr) {
    std::vector<CornerUv> out(size_t(o.GetPolygon(db, polygon)->vertexCount));
    int s = o.ProjectCornerUv(db, &t, flags, polygon, out.data());
    if (status) *status = s;
    return out;
  }
};

TextureLayer Layer(int projection, int axis, float size = 1, float wrapW = 1, float wrapH = 1) {
  TextureLayer t;
  t.projection = uint16_t(projection);
  t.axis = uint16_t(axis);
  t.size[0] = t.size[1] = t.size[2] = size;
  t.wrapWidth = wrapW;
  t.wrapHeight = wrapH;
  return t;
}

struct ProjectionCase {
  const char* name;
  TextureLayer layer;
  std::vector<Point> polygon;
  std::vector<Uv> expected;
};

TEST(ProjectionTest, CornersOfEachProjection) {
  TextureLayer rotated = Layer(PROJ_PLANAR, AXIS_Z);
  rotated.rotation[0] = float(M_PI / 2);  // heading
  rotated.rotation[1] = float(M_PI / 2);  // pitch
  const double kRoot = std::sqrt(0.5);
  const ProjectionCase cases[] = {
      {"planar Z, size 2", Layer(PROJ_PLANAR, AXIS_Z, 2), {{1, 1, 0}, {-1, -1, 0}, {1, -1, 0}}, {{1, 1}, {0, 0}, {1, 0}}},
      {"planar X", Layer(PROJ_PLANAR, AXIS_X), {{0, 0, 0.25}, {0, 0.5, 0}, {0, 0, -0.5}}, {{0.75, 0.5}, {0.5, 1}, {0, 0.5}}},
      {"planar Y", Layer(PROJ_PLANAR, AXIS_Y), {{0.25, 0, 0.25}, {-0.25, 0, 0}}, {{0.75, 0.75}, {0.25, 0.5}}},
      // Z first, then Y (heading), then X (-pitch): (1, 0, 0) ends at (0, -1, 0).
      {"planar Z rotated", rotated, {{1, 0, 0}}, {{0.5, -0.5}}},
      {"cylinder Y", Layer(PROJ_CYLINDRICAL, AXIS_Y), {{1, 0, 0}, {0, 0, -1}, {kRoot, 0, -kRoot}},
       {{0.75, 0.5}, {0.5, 0.5}, {0.625, 0.5}}},
      {"cylinder Y across the seam", Layer(PROJ_CYLINDRICAL, AXIS_Y), {{-1, 0, 0.1}, {-1, 0, -0.1}, {-1, 0.5, 0.1}},
       {{0.2341372412847078, 0.5}, {0.2658627587152922, 0.5}, {0.2341372412847078, 1}}},
      {"cylinder Y, point on the axis", Layer(PROJ_CYLINDRICAL, AXIS_Y), {{0, 0.25, 0}, {1, 0.25, 0}, {0, 0.25, -1}},
       {{1, 0.75}, {0.75, 0.75}, {0.5, 0.75}}},
      {"cylinder X, wrap 2", Layer(PROJ_CYLINDRICAL, AXIS_X, 1, 2), {{0, 0, 1}, {0.25, -1, 0}},
       {{0.5, 0.5}, {0, 0.75}}},
      {"cylinder Z", Layer(PROJ_CYLINDRICAL, AXIS_Z), {{0, -1, 0}, {1, 0, 0.25}}, {{1, 0.5}, {0.75, 0.75}}},
      {"sphere Y, north pole", Layer(PROJ_SPHERICAL, AXIS_Y), {{0, 1, 0}, {1, 1, 0}, {0, 1, -1}},
       {{1, 1}, {0.75, 0.75}, {0.5, 0.75}}},
      {"sphere Y, south pole", Layer(PROJ_SPHERICAL, AXIS_Y), {{0, -1, 0}, {1, -1, 0}, {0, -1, -1}},
       {{1, 0}, {0.75, 0.25}, {0.5, 0.25}}},
      {"sphere Y, centre", Layer(PROJ_SPHERICAL, AXIS_Y), {{0, 0, 0}, {1, 0, 0}, {0, 0, -1}},
       {{1, 0.5}, {0.75, 0.5}, {0.5, 0.5}}},
      {"front projection", Layer(PROJ_FRONT, AXIS_Z), {{3, 4, 5}, {-1, 2, 0}}, {{0, 0}, {0, 0}}},
      {"unknown projection code acts as planar", Layer(9, 7, 2), {{1, 1, 0}}, {{1, 1}}},
  };
  for (const ProjectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s;
    TextureLayer t = c.layer;
    int polygon = s.Polygon(c.polygon);
    int status = -1;
    auto out = s.Project(t, polygon, 0, &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(out.size(), c.expected.size());
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_NEAR(out[i].u, c.expected[i][0], 1e-6) << "corner " << i;
      EXPECT_NEAR(out[i].v, c.expected[i][1], 1e-6) << "corner " << i;
      EXPECT_EQ(out[i].w, 1.0);
      EXPECT_EQ(out[i].point, s.o.GetPolygon(s.db, polygon)->points[i]);
    }
  }
}

TEST(ProjectionTest, CubicPicksTheAxisOfTheLargestNormalComponent) {
  struct TieCase {
    const char* name;
    std::vector<Point> triangle;
    int axis;
  } cases[] = {
      {"|nx| strictly largest", {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}, AXIS_X},
      {"|nx| = |nz|", {{0, 0, 0}, {0, 1, 0}, {1, 0, -1}}, AXIS_Z},
      {"|ny| = |nz|", {{0, 0, 0}, {1, 0, 0}, {0, 1, -1}}, AXIS_Z},
      {"|nx| = |ny|", {{0, 0, 0}, {0, 0, 1}, {1, -1, 0}}, AXIS_Y},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s;
    int polygon = s.Polygon(c.triangle);
    TextureLayer cubic = Layer(PROJ_CUBIC, AXIS_X, 0.5f), planar = Layer(PROJ_PLANAR, c.axis, 0.5f);
    auto got = s.Project(cubic, polygon), want = s.Project(planar, polygon);
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_DOUBLE_EQ(got[i].u, want[i].u);
      EXPECT_DOUBLE_EQ(got[i].v, want[i].v);
    }
  }
}

TEST(ProjectionTest, HostileSizesAndShiftsGiveFiniteCoordinates) {
  Scene s;
  int polygon = s.Polygon({{1, 1, 1}, {0, 0, 0}, {-2, 3, 1}});
  for (int projection : {PROJ_PLANAR, PROJ_CYLINDRICAL, PROJ_SPHERICAL, PROJ_CUBIC}) {
    TextureLayer zero = Layer(projection, AXIS_Y, 0, 0, 0);
    TextureLayer nan = Layer(projection, AXIS_Z, NAN, INFINITY, NAN);
    for (TextureLayer* t : {&zero, &nan})
      for (const CornerUv& c : s.Project(*t, polygon, UV_SHIFT)) {
        EXPECT_TRUE(std::isfinite(c.u) && std::isfinite(c.v)) << projection;
      }
  }
  // Shifting by whole units: one step, whatever the distance.
  int far = s.Polygon({{-1e20, 0, 0}, {-1e20 + 1e5, 0, 0}});
  TextureLayer planar = Layer(PROJ_PLANAR, AXIS_Z);
  for (const CornerUv& c : s.Project(planar, far, UV_SHIFT)) EXPECT_TRUE(std::isfinite(c.u));
  int near = s.Polygon({{-2, 0, 0}, {-1.2, 0, 0}});
  auto shifted = s.Project(planar, near, UV_SHIFT);
  EXPECT_NEAR(shifted[0].u, 0.5, 1e-12);
  EXPECT_NEAR(shifted[1].u, 1.3, 1e-12);
  int high = s.Polygon({{2.7, 0, 0}, {3.6, 0, 0}});
  shifted = s.Project(planar, high, UV_SHIFT);
  EXPECT_NEAR(shifted[0].u, 0.2, 1e-12);
  EXPECT_NEAR(shifted[1].u, 1.1, 1e-12);
}

// Polygon 0 uses points 0, 1, 2 and polygon 1 points 0, 2, 3; the map has no
// value for point 3, and the discontinuous map overrides point 0 for polygon 0.
struct UvMapScene : Scene {
  UvMapScene() {
    o.AddSurface(db, "skin");
    for (int i = 0; i < 4; ++i) o.AddPoint(db, i, i % 2, 0);
    Polygon(std::vector<int32_t>{0, 1, 2}, "skin");
    Polygon(std::vector<int32_t>{0, 2, 3}, "skin");
    int map = o.AddVMap(db, ID_TXUV, "uv", 2);
    for (int p = 0; p < 3; ++p) {
      float v[2] = {0.1f * float(p + 1), 0.2f * float(p + 1)};
      o.SetVMapValue(db, map, p, v);
    }
    int mad = o.AddVMad(db, ID_TXUV, "uv", 2);
    float seam[2] = {0.9f, 0.8f};
    o.SetVMadValue(db, mad, 0, 0, seam);
    int thin = o.AddVMap(db, ID_TXUV, "thin", 1);
    float one = 0.5f;
    for (int p = 0; p < 4; ++p) o.SetVMapValue(db, thin, p, &one);
  }
};

TEST(UvMapTest, DiscontinuousValuesOverrideAndMissingOnesGive13) {
  UvMapScene s;
  TextureLayer t = Layer(PROJ_UV_MAP, AXIS_X);
  t.uvMapName = "uv";
  int status = -1;
  auto first = s.Project(t, 0, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_FLOAT_EQ(float(first[0].u), 0.9f);
  EXPECT_FLOAT_EQ(float(first[0].v), 0.8f);
  EXPECT_FLOAT_EQ(float(first[1].u), 0.2f);
  EXPECT_FLOAT_EQ(float(first[1].v), 0.4f);
  auto second = s.Project(t, 1, 0, &status);
  EXPECT_EQ(status, ERR_UV_TEXTURE);
  EXPECT_FLOAT_EQ(float(second[0].u), 0.1f);  // the map, not polygon 0's override
  EXPECT_EQ(second[2].u, 0);
  EXPECT_EQ(second[2].v, 0);

  t.uvMapName = "thin";  // one value per point: too few for u and v
  s.Project(t, 0, 0, &status);
  EXPECT_EQ(status, ERR_UV_TEXTURE);
}

TEST(UvMapTest, MapPolygonUvsWritesNoIndicesForAPolygonWithMissingValues) {
  UvMapScene s;
  SurfaceAttributes* a = s.o.GetSurfaceAttributes(s.db, 0);
  ASSERT_NE(a, nullptr);
  TextureLayer* t = s.o.NewTextureLayer(s.db, a);
  t->channel = TEX_COLR;
  t->projection = PROJ_UV_MAP;
  t->uvMapName = "uv";
  ASSERT_EQ(s.o.BuildUvs(s.db, TEX_COLR, 2, UV_SHARE), 0);
  ObjPolygon* p0 = s.o.GetPolygon(s.db, 0);
  ASSERT_NE(p0->currentChannel, nullptr);
  EXPECT_EQ(s.o.GetUvCount(s.db), 3);
  EXPECT_FLOAT_EQ(float(s.o.GetUv(s.db, p0->currentChannel->values[0])->u), 0.9f);
  EXPECT_EQ(s.o.GetPolygon(s.db, 1)->currentChannel, nullptr);
  EXPECT_EQ(s.o.FindPolygonChannel(s.db, 1, TEX_COLR, 0), nullptr);
  // The point links built for sharing are gone again.
  EXPECT_FALSE(s.db->currentLayer->pointLinksBuilt);
  EXPECT_EQ(s.o.GetPoint(s.db, 0)->userData, nullptr);
}

TEST(UvListTest, SharingMatchesWithinEpsilonThroughCurrentChannels) {
  Scene s;
  s.Polygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});  // never given a channel
  int a = s.Polygon(std::vector<int32_t>{0, 2, 1});
  int uv = s.o.AddUv(s.db, 0.5, 0.5, 1);
  s.o.SelectPolygonChannel(s.db, a, TEX_COLR, 0);
  int32_t values[3] = {uv, uv, uv};
  s.o.SetPolygonChannelValues(s.db, a, 3, values);
  EXPECT_EQ(s.o.AddSharedUv(s.db, 0, 0.5 + 1e-8, 0.5, 1), uv);
  EXPECT_NE(s.o.AddSharedUv(s.db, 0, 0.5 + 1e-6, 0.5, 1), uv);
  // Polygon 0, met first, has no current channel: it is passed over.
  EXPECT_EQ(s.o.AddSharedUv(s.db, 2, 0.5, 0.5, 1), uv);
  EXPECT_EQ(s.o.GetUv(s.db, s.o.GetUvCount(s.db)), nullptr);
  EXPECT_EQ(s.o.SetUv(s.db, -1, 0, 0, 0), ERR_PARAM);
  EXPECT_EQ(s.o.FreeUvs(s.db), 0);
  EXPECT_EQ(s.o.GetUvCount(s.db), 0);
  EXPECT_EQ(s.o.GetPolygon(s.db, a)->currentChannel, nullptr);
}

// Where the current layers' UV lists of two objects first differ, empty when
// they hold the same coordinates.
std::string UvListDifference(ObjectDb* a, ObjectDb* b) {
  if (a->ops.GetUvCount(a) != b->ops.GetUvCount(b)) return "count";
  for (int i = 0; i < a->ops.GetUvCount(a); ++i) {
    const ObjUv *p = a->ops.GetUv(a, i), *q = b->ops.GetUv(b, i);
    if (p->u != q->u || p->v != q->v || p->w != q->w) return "coordinate " + std::to_string(i);
  }
  return "";
}

// The library's own AddSharedUv, reached through a pointer of another value:
// a pass then cannot tell it is the library's and walks the polygons.
int (*g_librarySharedUv)(ObjectDb*, int, double, double, double) = nullptr;
int WalkingSharedUv(ObjectDb* db, int point, double u, double v, double w) {
  return g_librarySharedUv(db, point, u, v, w);
}

// A fan of triangles around point 0, each giving that point the coordinate
// u[k] through a discontinuous map (and its other points their own), mapped
// with shared coordinates by the pass's mapped corners or, with `walk`, by
// the walk over the polygons. Returns each triangle's coordinate index at
// point 0; *uvCount is the length of the UV list.
std::vector<int32_t> SharedAtTheHub(const std::vector<float>& u, bool walk, int* uvCount) {
  Scene s;
  const int32_t n = int32_t(u.size());
  s.o.AddSurface(s.db, "skin");
  s.o.AddPoint(s.db, 0, 0, 0);
  for (int32_t i = 0; i <= n; ++i) s.o.AddPoint(s.db, std::cos(i * 0.5), std::sin(i * 0.5), 0);
  for (int32_t i = 1; i <= n; ++i) s.Polygon(std::vector<int32_t>{0, i, i + 1}, "skin");
  const int map = s.o.AddVMap(s.db, ID_TXUV, "uv", 2);
  for (int32_t p = 0; p <= n + 1; ++p) {
    float v[2] = {0.1f * float(p), 0.9f};
    s.o.SetVMapValue(s.db, map, p, v);
  }
  const int mad = s.o.AddVMad(s.db, ID_TXUV, "uv", 2);
  for (int32_t p = 0; p < n; ++p) {
    float v[2] = {u[size_t(p)], 0.5f};
    s.o.SetVMadValue(s.db, mad, 0, p, v);
  }
  TextureLayer* t = s.o.NewTextureLayer(s.db, s.o.GetSurfaceAttributes(s.db, 0));
  t->channel = TEX_COLR;
  t->projection = PROJ_UV_MAP;
  t->uvMapName = "uv";
  if (walk) {
    g_librarySharedUv = s.o.AddSharedUv;
    s.o.AddSharedUv = WalkingSharedUv;
  }
  std::vector<int32_t> atHub;
  if (s.o.BuildUvs(s.db, TEX_COLR, 1, UV_SHARE) != 0) return atHub;
  for (int32_t p = 0; p < n; ++p) {
    const CornerChannel* c = s.o.GetPolygon(s.db, p)->currentChannel;
    atHub.push_back(c ? c->values[0] : -2);
  }
  *uvCount = s.o.GetUvCount(s.db);
  return atHub;
}

// Three triangles around point 0 give it coordinates a, then b (too far from
// a to share it), then q, within reach of both: q takes the first corner's,
// a, both when the pass answers from its mapped corners and when it walks.
TEST(UvListTest, SharingTakesTheFirstMatchingCornerAtThePoint) {
  for (bool walk : {false, true}) {
    SCOPED_TRACE(walk ? "walk" : "mapped corners");
    int uvCount = 0;
    const std::vector<int32_t> at0 = SharedAtTheHub({0.1f, 0.1f + 1.5e-7f, 0.1f + 0.75e-7f}, walk, &uvCount);
    ASSERT_EQ(at0.size(), 3u);
    EXPECT_GE(at0[0], 0);
    EXPECT_NE(at0[1], at0[0]);
    EXPECT_EQ(at0[2], at0[0]);
    EXPECT_EQ(uvCount, 6);  // points 1 to 4, then a and b at point 0
  }
}

// Six triangles around point 0 give it coordinates a, b, c, then one within
// reach of b, one of c and one of a: each repeat takes the corner it is near,
// and only the first three are added, whether the pass answers from its
// mapped corners (which keep a point's distinct coordinates in a chain once
// it has more than one) or walks the polygons.
TEST(UvListTest, APointWithSeveralCoordinatesSharesEachWithItsNeighbours) {
  for (bool walk : {false, true}) {
    SCOPED_TRACE(walk ? "walk" : "mapped corners");
    int uvCount = 0;
    const std::vector<int32_t> at0 =
        SharedAtTheHub({0.2f, 0.4f, 0.6f, 0.4f + 0.5e-7f, 0.6f - 0.5e-7f, 0.2f + 0.5e-7f}, walk, &uvCount);
    ASSERT_EQ(at0.size(), 6u);
    EXPECT_GE(at0[0], 0);
    EXPECT_NE(at0[0], at0[1]);
    EXPECT_NE(at0[1], at0[2]);
    EXPECT_NE(at0[0], at0[2]);
    EXPECT_EQ(at0[3], at0[1]);
    EXPECT_EQ(at0[4], at0[2]);
    EXPECT_EQ(at0[5], at0[0]);
    EXPECT_EQ(uvCount, 10);  // points 1 to 7, then a, b and c at point 0
  }
}

// Shared coordinates are the same whether a pass answers lookups from the
// corners it has mapped or walks the polygons at each point, including when
// a second texture layer maps over polygons that already have channels.
TEST(UvCorpus, MappedCornersShareWhatTheWalkShares) {
  std::vector<std::string> files;
  for (const char* folder : {"lwo2", "lwob"})
    for (auto& f : FilesUnder(CorpusPath(folder), ".lwo")) files.push_back(f);
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  LoadOptions options;
  options.flags = LOAD_UVS;
  options.uvChannels = 0xFF;
  options.uvLayerCount = 4;
  options.uvFlags = UV_SHARE;
  int compared = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* tracked = OpenObjectDb(file.c_str(), &options);
    if (!tracked) continue;
    ObjectDb* walked = CreateObjectDb(0);
    g_librarySharedUv = walked->ops.AddSharedUv;
    walked->ops.AddSharedUv = WalkingSharedUv;
    ASSERT_EQ(OpenObjectDbInto(walked, file.c_str(), &options), 0);
    for (int layer = 0; layer < tracked->ops.GetLayerCount(tracked); ++layer) {
      tracked->ops.SelectLayer(tracked, layer);
      walked->ops.SelectLayer(walked, layer);
      ASSERT_EQ(UvListDifference(tracked, walked), "");
      ASSERT_EQ(tracked->ops.GetPolygonCount(tracked), walked->ops.GetPolygonCount(walked));
      for (int p = 0; p < tracked->ops.GetPolygonCount(tracked); ++p) {
        const ObjPolygon *a = tracked->ops.GetPolygon(tracked, p), *b = walked->ops.GetPolygon(walked, p);
        ASSERT_EQ(a->channels.size(), b->channels.size()) << p;
        ASSERT_EQ(a->currentChannel == nullptr, b->currentChannel == nullptr) << p;
        if (a->currentChannel) {
          EXPECT_EQ(a->currentChannel->key2, b->currentChannel->key2) << p;
        }
        auto ca = a->channels.begin();
        for (const CornerChannel& cb : b->channels) {
          EXPECT_TRUE(ca->key == cb.key && ca->key2 == cb.key2) << p;
          EXPECT_EQ(std::vector<int32_t>(ca->values), std::vector<int32_t>(cb.values)) << p;
          ++ca;
        }
      }
      compared += tracked->ops.GetUvCount(tracked) > 0;
    }
    CloseObjectDb(&tracked);
    CloseObjectDb(&walked);
  }
  if (files.size() < 10) GTEST_SKIP() << "corpus not present";
  EXPECT_GE(compared, 10);
}

TEST(UvCorpus, MappingModesBuildFiniteCoordinatesForEveryPolygon) {
  auto files = FilesUnder(CorpusPath("lwo2/assimp/MappingModes"), ".lwo");
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  LoadOptions options;
  options.flags = LOAD_UVS;
  options.uvChannels = 1;
  options.uvLayerCount = 2;
  options.uvFlags = UV_SHARE;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* db = OpenObjectDb(file.c_str(), &options);
    ASSERT_NE(db, nullptr);
    const int expected = file.find("_uv_") != std::string::npos            ? PROJ_UV_MAP
                         : file.find("planar") != std::string::npos        ? PROJ_PLANAR
                         : file.find("cylindrical") != std::string::npos   ? PROJ_CYLINDRICAL
                                                                           : PROJ_SPHERICAL;
    TextureLayer* t = db->ops.GetTextureLayer(db, db->ops.GetSurfaceAttributes(db, 0), TEX_COLR, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->projection, expected);
    ASSERT_GT(db->ops.GetUvCount(db), 0);
    for (int i = 0; i < db->ops.GetUvCount(db); ++i) {
      ObjUv* uv = db->ops.GetUv(db, i);
      ASSERT_TRUE(std::isfinite(uv->u) && std::isfinite(uv->v) && std::isfinite(uv->w)) << i;
    }
    for (int p = 0; p < db->ops.GetPolygonCount(db); ++p) {
      CornerChannel* c = db->ops.GetPolygon(db, p)->currentChannel;
      ASSERT_NE(c, nullptr) << p;
      for (int32_t v : c->values) ASSERT_NE(db->ops.GetUv(db, v), nullptr);
    }
    EXPECT_EQ(FindInconsistency(db), "");
    CloseObjectDb(&db);
  }
}

// A load with shared UVs and normals builds the point links once for both
// steps: it must give what the two steps give when each builds links of its
// own, and leave no links (nor their memory) behind.
TEST(UvCorpus, LoadSharesPointLinksBetweenUvsAndNormals) {
  auto files = FilesUnder(CorpusPath("lwo2/assimp/MappingModes"), ".lwo");
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  for (int normalFlags : {4, 6}) {
    for (const std::string& file : files) {
      SCOPED_TRACE(file + " normal flags " + std::to_string(normalFlags));
      LoadOptions both;
      both.flags = LOAD_UVS | LOAD_NORMALS;
      both.uvChannels = 1;
      both.uvLayerCount = 2;
      both.uvFlags = UV_SHARE;
      both.normalFlags = normalFlags;
      ObjectDb* a = OpenObjectDb(file.c_str(), &both);
      LoadOptions plain;
      ObjectDb* b = OpenObjectDb(file.c_str(), &plain);
      ASSERT_NE(a, nullptr);
      ASSERT_NE(b, nullptr);
      a->ops.SelectLayer(a, 0);
      b->ops.SelectLayer(b, 0);
      ASSERT_EQ(b->ops.BuildUvs(b, 1, 2, UV_SHARE), 0);
      ASSERT_EQ(b->ops.BuildNormals(b, normalFlags), 0);

      EXPECT_EQ(UvListDifference(a, b), "");
      ASSERT_EQ(a->ops.GetNormalCount(a), b->ops.GetNormalCount(b));
      for (int i = 0; i < a->ops.GetNormalCount(a); ++i) {
        const ObjNormal *na = a->ops.GetNormal(a, i), *nb = b->ops.GetNormal(b, i);
        EXPECT_TRUE(na->x == nb->x && na->y == nb->y && na->z == nb->z) << i;
      }
      ASSERT_EQ(a->ops.GetPolygonCount(a), b->ops.GetPolygonCount(b));
      for (int p = 0; p < a->ops.GetPolygonCount(a); ++p) {
        const ObjPolygon *pa = a->ops.GetPolygon(a, p), *pb = b->ops.GetPolygon(b, p);
        EXPECT_EQ(pa->normals, pb->normals) << p;
        ASSERT_EQ(pa->currentChannel == nullptr, pb->currentChannel == nullptr) << p;
        if (pa->currentChannel) {
          EXPECT_EQ(pa->currentChannel->values, pb->currentChannel->values) << p;
        }
      }

      const ObjLayer* l = a->currentLayer;
      EXPECT_FALSE(l->pointLinksBuilt);
      EXPECT_FALSE(l->pointLinksHeld);
      EXPECT_EQ(l->pointLinkPool.capacity(), 0u);
      EXPECT_TRUE(l->pointUserData.empty());
      for (int i = 0; i < a->ops.GetPointCount(a); ++i) {
        ASSERT_EQ(a->ops.GetPoint(a, i)->userData, nullptr) << i;
      }
      CloseObjectDb(&a);
      CloseObjectDb(&b);
    }
  }
}

// Post-processing passes over clearing corner values on layers as their
// reader left them; that rests on the readers giving polygons none.
TEST(PostProcessAsRead, ReadersGivePolygonsNoCornerValues) {
  std::vector<std::string> files;
  for (const char* folder : {"lwo2", "lwob", "lws"})
    for (auto& f : FilesUnder(CorpusPath(folder), ".lwo")) files.push_back(f);
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  LoadOptions none;
  int read = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* db = OpenObjectDb(file.c_str(), &none);
    if (!db) continue;
    ++read;
    for (int layer = 0; layer < db->ops.GetLayerCount(db); ++layer) {
      db->ops.SelectLayer(db, layer);
      for (const PolygonTypeGroup& g : db->currentLayer->groups)
        for (const ObjPolygon& p : g.polygons) {
          ASSERT_TRUE(p.channels.empty()) << p.index;
          ASSERT_EQ(p.currentChannel, nullptr) << p.index;
          ASSERT_TRUE(p.colors.empty()) << p.index;
        }
    }
    CloseObjectDb(&db);
  }
  if (files.size() < 10) GTEST_SKIP() << "corpus not present";
  EXPECT_GE(read, 40);
}

// A load into an object that has layers already post-processes those too;
// they are not as a reader left them, so their stray corner values go.
TEST(PostProcessAsRead, LoadIntoAnObjectClearsItsEarlierLayersCornerValues) {
  const std::string file = SourcePath("samples/textured.lwo");
  LoadOptions options;
  options.flags = LOAD_UVS | LOAD_COLORS;
  options.uvChannels = 1;
  options.uvLayerCount = 2;
  options.uvFlags = UV_SHARE;
  ObjectDb* db = OpenObjectDb(file.c_str(), &options);
  ASSERT_NE(db, nullptr);
  ObjectDbOps& o = db->ops;
  o.SelectLayer(db, 0);
  ObjLayer* earlier = db->currentLayer;
  const int polygons = o.GetPolygonCount(db);
  ASSERT_GT(polygons, 0);
  std::vector<bool> mapped;
  for (int p = 0; p < polygons; ++p) mapped.push_back(o.GetPolygon(db, p)->currentChannel != nullptr);
  ASSERT_TRUE(mapped[0]);
  const int color = o.AddColor(db, 1, 0, 0, 1);
  for (int p = 0; p < polygons; ++p) {
    const int n = o.GetPolygon(db, p)->vertexCount;
    ASSERT_NE(o.SelectPolygonChannel(db, p, TEX_COLR, 5), nullptr);
    o.SetPolygonChannelValues(db, p, n, std::vector<int32_t>(size_t(n), 0).data());
    o.SetPolygonColors(db, p, n, std::vector<int32_t>(size_t(n), color).data());
  }

  o.Load(db, file.c_str(), 2, &options);  // the colour step's status: there is no side file
  EXPECT_EQ(db->readStatus, 0);
  bool found = false;
  for (int layer = 0; layer < o.GetLayerCount(db); ++layer) {
    o.SelectLayer(db, layer);
    if (db->currentLayer != earlier) continue;
    found = true;
    for (int p = 0; p < o.GetPolygonCount(db); ++p) {
      const ObjPolygon* polygon = o.GetPolygon(db, p);
      for (const CornerChannel& c : polygon->channels) EXPECT_NE(c.key2, 5) << p;
      ASSERT_EQ(polygon->currentChannel != nullptr, mapped[size_t(p)]) << p;
      if (polygon->currentChannel) {
        EXPECT_EQ(polygon->currentChannel->key2, 0) << p;
      }
      EXPECT_TRUE(polygon->colors.empty()) << p;
    }
  }
  EXPECT_TRUE(found);
  CloseObjectDb(&db);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <cstring>

#include "objectdb.h"
#include "test_support.h"
#include "ui_services.h"
#include "viewer_model.h"

namespace {

struct Model {
  ViewerModel* m = nullptr;
  explicit Model(ViewerModel* model) : m(model) {}
  ~Model() { FreeViewerModel(m, nullptr); }
  ViewerModel* operator->() { return m; }
};

// An object of triangles in one layer: points, then triangles with surface
// tags (tag index per triangle).
std::vector<uint8_t> Object(const std::vector<std::array<float, 3>>& points,
                            const std::vector<std::array<int, 4>>& triangles,
                            const std::vector<const char*>& surfaces) {
  Body tags, pnts, pols, ptag;
  for (auto* s : surfaces) tags.S0(s);
  for (auto& p : points) pnts.Vec(p[0], p[1], p[2]);
  pols.Id("FACE");
  ptag.Id("SURF");
  for (size_t i = 0; i < triangles.size(); ++i) {
    pols.U2(3).VX(uint32_t(triangles[i][0])).VX(uint32_t(triangles[i][1])).VX(uint32_t(triangles[i][2]));
    ptag.VX(uint32_t(i)).U2(uint16_t(triangles[i][3]));
  }
  Body layr;
  layr.U2(0).U2(0).Vec(0, 0, 0).S0("");
  return IffBuilder("LWO2")
      .Chunk("TAGS", tags)
      .Chunk("LAYR", layr)
      .Chunk("PNTS", pnts)
      .Chunk("POLS", pols)
      .Chunk("PTAG", ptag)
      .Bytes();
}

ViewerModel* Build(const std::vector<uint8_t>& bytes, int normalise) {
  ObjectDb* db = CreateObjectDb(0);
  LoadOptions options = ViewerLoadOptions();
  EXPECT_EQ(db->readStatus, -1);
  LoadObjectFromMemory(db, bytes.data(), bytes.size(), 2, &options);
  auto* model = new ViewerModel;
  BuildViewerModel(db, model, normalise);
  CloseObjectDb(&db);
  for (auto& g : model->groups) BuildSurfaceEdges(model, &g);
  return model;
}

// Every index in range and every value finite.
std::string CheckModel(ViewerModel* m) {
  for (float v : m->vertices)
    if (!std::isfinite(v)) return "vertex";
  for (float v : m->normals)
    if (!std::isfinite(v)) return "normal";
  int total = 0;
  for (auto& g : m->groups) {
    total += g.triangleCount;
    if (g.points.size() < size_t(g.triangleCount) * 3) return "group size";
    for (int i = 0; i < g.triangleCount * 3; ++i) {
      if (g.points[size_t(i)] < 0 || g.points[size_t(i)] >= m->vertexCount) return "point index";
      if (m->normalCount && (g.normals[size_t(i)] < 0 || g.normals[size_t(i)] >= m->normalCount)) return "normal index";
      if (!g.uvs.empty() && (g.uvs[size_t(i)] < -1 || g.uvs[size_t(i)] >= m->uvCount)) return "uv index";
    }
    if (g.textureIndex >= int(m->textures.size())) return "texture index";
  }
  if (total != m->triangleCount) return "triangle count";
  return "";
}

// The model as built from a fully loaded object (triangulated and sorted
// polygon list), the way scenes build theirs.
ViewerModel* BuildFromSortedList(const std::string& path) {
  LoadOptions options = ViewerLoadOptions();
  ObjectDb* db = OpenObjectDb(path.c_str(), &options);
  if (!db) return nullptr;
  auto* model = new ViewerModel;
  BuildViewerModel(db, model, 1);
  CloseObjectDb(&db);
  for (auto& g : model->groups) BuildSurfaceEdges(model, &g);
  return model;
}

// The first difference between two models, empty when there is none.
std::string Difference(const ViewerModel& a, const ViewerModel& b) {
  if (a.vertexCount != b.vertexCount || a.vertices != b.vertices) return "vertices";
  if (a.normalCount != b.normalCount || a.normals != b.normals) return "normals";
  if (a.uvCount != b.uvCount || a.uvs != b.uvs) return "uvs";
  if (a.triangleCount != b.triangleCount) return "triangle count";
  if (a.radius != b.radius || a.centreHeight != b.centreHeight) return "radius or centre";
  if (a.textures.size() != b.textures.size()) return "textures";
  for (size_t i = 0; i < a.textures.size(); ++i)
    if (a.textures[i].name != b.textures[i].name) return "texture name";
  if (a.weightMaps.size() != b.weightMaps.size()) return "weight maps";
  if (a.groups.size() != b.groups.size()) return "group count";
  for (size_t i = 0; i < a.groups.size(); ++i) {
    const SurfaceGroup &g = a.groups[i], &h = b.groups[i];
    const std::string at = " of group " + std::to_string(i);
    if (g.capacity != h.capacity || g.triangleCount != h.triangleCount) return "triangles" + at;
    if (g.points != h.points) return "point indices" + at;
    if (g.normals != h.normals) return "normal indices" + at;
    if (g.uvs != h.uvs) return "uv indices" + at;
    if (g.faceNormals != h.faceNormals) return "face normals" + at;
    if (g.boundaryEdges != h.boundaryEdges) return "boundary edges" + at;
    if (g.textureIndex != h.textureIndex || g.surfaceName != h.surfaceName) return "texture or surface" + at;
  }
  return "";
}

TEST(ViewerModelBuild, AxesCornersAndNormalisation) {
  auto bytes = Object({{1, 2, 3}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2, 0}}, {"S"});
  Model raw(Build(bytes, 0));
  ASSERT_EQ(raw->vertexCount, 3);
  EXPECT_EQ(raw->vertices[0], 1.0f);
  EXPECT_EQ(raw->vertices[1], 2.0f);
  EXPECT_EQ(raw->vertices[2], -3.0f);
  ASSERT_EQ(raw->triangleCount, 1);
  EXPECT_EQ(raw->groups[0].points, (std::vector<int32_t>{2, 1, 0}));
  EXPECT_EQ(raw->groups[0].textureIndex, -1);
  EXPECT_TRUE(raw->groups[0].uvs.empty());
  EXPECT_FLOAT_EQ(raw->centreHeight, 1.0f);

  // A cube of side 2 about the origin: radius sqrt(3), every corner at 15.
  std::vector<std::array<float, 3>> cube;
  for (int i = 0; i < 8; ++i) cube.push_back({(i & 1) ? 1.f : -1.f, (i & 2) ? 1.f : -1.f, (i & 4) ? 1.f : -1.f});
  Model m(Build(Object(cube, {{0, 1, 3, 0}, {4, 5, 7, 0}, {2, 6, 7, 0}, {0, 2, 6, 0}}, {"S"}), 1));
  EXPECT_NEAR(m->radius, std::sqrt(3.0f), 1e-6);
  EXPECT_EQ(m->centreHeight, 0.0f);
  for (int i = 0; i < 8; ++i) {
    const float* v = &m->vertices[size_t(i) * 3];
    EXPECT_NEAR(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 15.0f, 1e-4);
  }
  EXPECT_EQ(CheckModel(m.m), "");

  // All points above the ground: the vertical extent is centred on 0.
  Model up(Build(Object({{0, 0, 0}, {0, 10, 0}, {1, 0, 0}}, {{0, 1, 2, 0}}, {"S"}), 1));
  EXPECT_FLOAT_EQ(up->centreHeight, 5.0f);
  EXPECT_NEAR(up->vertices[1], -5.0f * 15.0f / up->radius, 1e-4);
}

TEST(ViewerModelBuild, BoundaryEdgesPerGroup) {
  std::vector<std::array<float, 3>> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  Model same(Build(Object(square, {{0, 1, 2, 0}, {0, 2, 3, 0}}, {"A"}), 0));
  EXPECT_EQ(same->groups[0].boundaryEdgeCount, 4);
  Model split(Build(Object(square, {{0, 1, 2, 0}, {0, 2, 3, 1}}, {"A", "B"}), 0));
  ASSERT_EQ(split->groups.size(), 2u);
  EXPECT_EQ(split->groups[0].boundaryEdgeCount, 3);
  EXPECT_EQ(split->groups[1].boundaryEdgeCount, 3);
  for (size_t i = 0; i < same->groups[0].boundaryEdges.size(); i += 2)
    EXPECT_LT(same->groups[0].boundaryEdges[i], same->groups[0].boundaryEdges[i + 1]);
}

TEST(ViewerModelOpen, LowestLayerOnlyAndFailures) {
  ScriptedUi ui;
  Model layers(OpenViewerModel(SourcePath("samples/layers.lwo").c_str(), &ui));
  ASSERT_NE(layers.m, nullptr);
  EXPECT_EQ(layers->vertexCount, 8);
  EXPECT_EQ(layers->triangleCount, 12);
  EXPECT_EQ(CheckModel(layers.m), "");

  std::string missing = TempDir() + "/missing.lwo";
  EXPECT_EQ(OpenViewerModel(missing.c_str(), &ui), nullptr);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0].text, "ファイルがオープンできません");
  EXPECT_EQ(ui.messages()[0].caption, missing);
}

TEST(ViewerModelOpen, EveryCorpusObjectBuildsInRange) {
  std::vector<std::string> files;
  for (const char* folder : {"lwo2", "lwob", "lws"})
    for (auto& f : FilesUnder(CorpusPath(folder), ".lwo")) files.push_back(f);
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  if (files.size() < 10) GTEST_SKIP() << "corpus not present";
  ScriptedUi ui;
  int built = 0;
  for (auto& f : files) {
    SCOPED_TRACE(f);
    ViewerModel* m = nullptr;
    {
      ParallelLimitsScope oneThread(1, 1);
      m = OpenViewerModel(f.c_str(), &ui);
    }
    if (!m) continue;  // the refused forms and the empty file
    ++built;
    EXPECT_EQ(CheckModel(m), "");
    // The program's load keeps the added triangles beside the polygon list
    // and never sorts it; its model is the one the sorted list gives. Both
    // split their loops into parts here, even for the smallest objects:
    // the parts change nothing.
    ParallelLimitsScope threeParts(1, 3);
    Model sorted(BuildFromSortedList(f));
    ASSERT_NE(sorted.m, nullptr);
    EXPECT_EQ(Difference(*m, *sorted.m), "");
    Model split(OpenViewerModel(f.c_str(), &ui));
    ASSERT_NE(split.m, nullptr);
    EXPECT_EQ(Difference(*m, *split.m), "");
    FreeViewerModel(m, nullptr);
  }
  EXPECT_GE(built, int(files.size()) - 6);
}

TEST(ViewerModelOpen, SameModelAsTheSortedListWithMixedSurfacesAndShapes) {
  // Surfaces alternate from polygon to polygon, and the polygons mix
  // triangles, quads, a concave arrow, a star, repeated corners and
  // polygons too small to draw, so the sort moves polygons within and
  // between surfaces and the triangulation adds triangles to each.
  Body tags, pnts, pols, ptag;
  tags.S0("A").S0("B").S0("C");
  std::vector<std::array<float, 2>> xy = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 2}, {6, 0}, {6, 4}, {8, 2},
                                          {3, 1}, {1, 3}, {5, 5}, {7, 7}};
  for (auto& p : xy) pnts.Vec(p[0], p[1], 0);
  // A ten-corner star around (10, 10).
  const uint32_t star = uint32_t(xy.size());
  for (int k = 0; k < 10; ++k) {
    const double a = k * 3.14159265358979 / 5, r = (k % 2) ? 1.0 : 3.0;
    pnts.Vec(float(10 + r * std::cos(a)), float(10 + r * std::sin(a)), 0);
  }
  std::vector<std::vector<uint32_t>> polygons = {
      {0, 1, 2, 3},                 // quad
      {1, 5, 6, 2},                 // quad
      {0, 1, 4},                    // triangle
      {5, 7, 6, 2, 4, 1},           // concave arrow
      {3, 3, 9, 4, 4, 0},           // repeated corners
      {10, 11},                     // a line: not drawn
      {0, 8, 4, 9, 3, 2, 1},        // concave seven corners
      {}, {6},                      // empty and single corner
  };
  std::vector<uint32_t> starCorners;
  for (uint32_t k = 0; k < 10; ++k) starCorners.push_back(star + k);
  polygons.push_back(starCorners);
  polygons.push_back({0, 1, 2, 3});
  pols.Id("FACE");
  ptag.Id("SURF");
  for (size_t i = 0; i < polygons.size(); ++i) {
    pols.U2(uint16_t(polygons[i].size()));
    for (uint32_t v : polygons[i]) pols.VX(v);
    ptag.VX(uint32_t(i)).U2(uint16_t(i % 3 == 2 ? 0 : i % 3 == 1 ? 2 : 1));
  }
  Body layr;
  layr.U2(0).U2(0).Vec(0, 0, 0).S0("");
  const std::string path = WriteTempFile("mixed/mixed.lwo", IffBuilder("LWO2")
                                                                 .Chunk("TAGS", tags)
                                                                 .Chunk("LAYR", layr)
                                                                 .Chunk("PNTS", pnts)
                                                                 .Chunk("POLS", pols)
                                                                 .Chunk("PTAG", ptag)
                                                                 .Bytes());
  Model opened(OpenViewerModel(path.c_str(), nullptr));
  Model sorted(BuildFromSortedList(path));
  ASSERT_NE(opened.m, nullptr);
  ASSERT_NE(sorted.m, nullptr);
  EXPECT_GT(opened->triangleCount, int(polygons.size()));
  EXPECT_EQ(CheckModel(opened.m), "");
  EXPECT_EQ(Difference(*opened.m, *sorted.m), "");
  // In more parts than some loops have items.
  ParallelLimitsScope manyParts(1, 7);
  Model split(OpenViewerModel(path.c_str(), nullptr));
  ASSERT_NE(split.m, nullptr);
  EXPECT_EQ(Difference(*opened.m, *split.m), "");
}

TEST(ViewerModelWeights, LookupByNameAndPoint) {
  ViewerModel m;
  m.weightMaps.push_back({"arm", {3, 5}, {0.25f, 0.75f}});
  float w = -1;
  EXPECT_EQ(GetWeightValue(&m, "arm", 5, &w), 1);
  EXPECT_EQ(w, 0.75f);
  EXPECT_EQ(GetWeightValue(&m, "arm", 4, &w), 1);
  EXPECT_EQ(w, 0.0f);
  EXPECT_EQ(GetWeightValue(&m, "leg", 3, &w), 0);
  EXPECT_EQ(ImageFileName("C:\\images\\wood.tga"), "wood.tga");
  EXPECT_EQ(ImageFileName("images/wood.tga"), "wood.tga");
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "object_checks.h"
#include "objectdb.h"
#include "ops_internal.h"
#include "prefault.h"
#include "surface_attributes.h"
#include "test_support.h"

namespace {

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  ~Db() { CloseObjectDb(&db); }
  ObjectDb* operator->() { return db; }
};

// A unit square (points 0-3) in the z = 0 plane, wound like LightWave's
// front faces seen from -z.
void AddSquarePoints(Db& d, double x = 0) {
  d.o.AddPoint(d.db, x, 0, 0);
  d.o.AddPoint(d.db, x, 1, 0);
  d.o.AddPoint(d.db, x + 1, 1, 0);
  d.o.AddPoint(d.db, x + 1, 0, 0);
}

TEST(ObjectDbContract, IndexRangesAndErrorText) {
  Db d;
  d.o.AddLayer(d.db, "one");
  AddSquarePoints(d);
  int32_t quad[4] = {0, 1, 2, 3};
  ASSERT_EQ(d.o.AddPolygon(d.db, 4, quad, nullptr), 0);
  EXPECT_EQ(d.o.GetPoint(d.db, -1), nullptr);
  EXPECT_EQ(d.o.GetPoint(d.db, 4), nullptr);
  EXPECT_NE(d.o.GetPoint(d.db, 3), nullptr);
  EXPECT_EQ(d.o.GetPolygon(d.db, 1), nullptr);
  EXPECT_EQ(d.o.SetPolygonPoints(d.db, 1, 4, quad), ERR_PARAM);

  d->error = ERR_BAD_FORMAT;
  EXPECT_EQ(d.o.SelectLayer(d.db, 1), ERR_PARAM);
  EXPECT_EQ(d.o.SelectLayer(d.db, -1), ERR_PARAM);
  EXPECT_EQ(d->error, ERR_BAD_FORMAT);  // range errors leave the field alone
  EXPECT_STREQ(d.o.TakeErrorText(d.db), "bad file format");
  EXPECT_STREQ(d.o.TakeErrorText(d.db), "no error");
  EXPECT_STREQ(d.o.GetVersionText(d.db), "1.0b22");
}

TEST(ObjectDbContract, MissingFileGivesFileOpenError) {
  Db d;
  std::string path = TempDir() + "/does-not-exist.lwo";
  EXPECT_EQ(d.o.Load(d.db, path.c_str(), 2, nullptr), ERR_FILE_OPEN);
  EXPECT_EQ(d->failedPath, path);
  EXPECT_STREQ(d.o.TakeErrorText(d.db), "file open error");
  EXPECT_STREQ(d.o.TakeErrorText(d.db), "no error");
  EXPECT_EQ(d.o.Load(d.db, path.c_str(), 3, nullptr), ERR_PARAM);
  EXPECT_EQ(OpenObjectDb(path.c_str(), nullptr), nullptr);
}

TEST(ObjectDbContract, PolygonTypesAndTags) {
  Db d;
  EXPECT_EQ(d.o.NextPolygonType(d.db, 0), ID_FACE);
  EXPECT_EQ(d.o.NextPolygonType(d.db, ID_MBAL), ID_BONE);
  EXPECT_EQ(d.o.NextPolygonType(d.db, ID_BONE), 0u);
  EXPECT_EQ(d.o.NextPolygonType(d.db, MakeId4("XXXX")), 0u);
  d.o.AddLayer(d.db, nullptr);
  d.o.BeginPolygonType(d.db, MakeId4("XXXX"));
  EXPECT_EQ(d->currentLayer->CurrentType(), ID_FACE);

  EXPECT_EQ(d.o.AddTag(d.db, "a", 0), 0);
  EXPECT_EQ(d.o.AddTag(d.db, "a", 0), 1);  // type 0 always appends
  EXPECT_EQ(d.o.AddTag(d.db, "a", ID_SURF), 2);
  EXPECT_EQ(d.o.AddTag(d.db, "a", ID_SURF), 2);
  EXPECT_EQ(d.o.GetTagCount(d.db), 3);
  std::string longName(300, 'n');
  int id = d.o.AddTag(d.db, longName.c_str(), ID_PART);
  EXPECT_EQ(strlen(d.o.GetTag(d.db, id)->name), 255u);
  EXPECT_EQ(d.o.AddTag(d.db, longName.c_str(), ID_PART), id);
}

TEST(ObjectDbTags, TablesGrowWithPolygonsAddedLater) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  d.o.AddSurface(d.db, "Paint");
  int32_t tri[3] = {0, 1, 2};
  d.o.AddPolygon(d.db, 3, tri, "Paint");
  for (int i = 0; i < 2000; ++i)
    ASSERT_EQ(d.o.AddPolygon(d.db, 3, tri, i % 2 ? "Paint" : "Other"), i + 1);
  PolygonTagTable* table = d.o.FindPolygonTagTable(d.db, nullptr, 0, ID_SURF);
  ASSERT_NE(table, nullptr);
  for (int i = 0; i <= 2000; ++i) {
    ObjTag* tag = d.o.GetPolygonTag(d.db, table, i);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->name, i % 2 == 0 ? "Paint" : "Other");
  }
  EXPECT_EQ(d.o.CountPolygonsOfSurface(d.db, "Paint"), 1001);
  EXPECT_EQ(d.o.CopyPolygonTags(d.db, 2, 1), 0);
  EXPECT_STREQ(d.o.GetPolygonTag(d.db, table, 1)->name, "Paint");
  EXPECT_STREQ(d.o.GetPolygon(d.db, 1)->surfaceName, "Other");  // tables only, not the polygon's field
}

TEST(ObjectDbSort, PolygonsBySurfaceRenumberTablesEdgesAndOnlyTheirOwnVMads) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  d.o.AddSurface(d.db, "Zero");
  d.o.AddSurface(d.db, "One");
  int32_t tri[3] = {0, 1, 2}, tri2[3] = {0, 2, 3};
  d.o.AddPolygon(d.db, 3, tri, "One");
  d.o.AddPolygon(d.db, 3, tri2, "Zero");
  int face = d.o.AddVMad(d.db, ID_TXUV, "uv", 2);
  float uv[2] = {0.25f, 0.5f};
  d.o.SetVMadValue(d.db, face, 0, 0, uv);

  d.o.BeginPolygonType(d.db, ID_PTCH);
  for (int i = 0; i < 3; ++i) d.o.AddPolygon(d.db, 3, tri, nullptr);
  int patch = d.o.AddVMad(d.db, ID_TXUV, "patch", 2);
  d.o.SetVMadValue(d.db, patch, 1, 2, uv);
  d.o.BeginPolygonType(d.db, ID_FACE);
  d.o.BuildEdges(d.db);

  ASSERT_EQ(d.o.SortPolygons(d.db), 0);
  EXPECT_STREQ(d.o.GetPolygon(d.db, 0)->surfaceName, "Zero");
  EXPECT_EQ(d.o.GetPolygon(d.db, 1)->index, 1);
  PolygonTagTable* table = d.o.FindPolygonTagTable(d.db, nullptr, 0, ID_SURF);
  EXPECT_STREQ(d.o.GetPolygonTag(d.db, table, 0)->name, "Zero");
  // The FACE map follows its polygon to index 1; the PTCH map is untouched.
  EXPECT_NE(d.o.GetVMadValue(d.db, d.o.FindVMad(d.db, ID_TXUV, "uv"), 0, 1), nullptr);
  EXPECT_EQ(d.o.GetVMadValue(d.db, d.o.FindVMad(d.db, ID_TXUV, "uv"), 0, 0), nullptr);
  EXPECT_NE(d.o.GetVMadValue(d.db, d.o.FindVMad(d.db, ID_TXUV, "patch"), 1, 2), nullptr);
  // The edge 0-1 belonged to the "One" triangle, now polygon 1.
  for (int e = 0; e < d.o.GetEdgeCount(d.db); ++e) {
    ObjEdge* edge = d.o.GetEdge(d.db, e);
    if ((edge->first == 0 && edge->second == 1) || (edge->first == 1 && edge->second == 0)) {
      EXPECT_EQ(edge->polygon, 1);
    }
  }
  EXPECT_EQ(FindInconsistency(d.db), "");
}

TEST(ObjectDbSort, SurfacesByNameBytesSignedWithPrefixFirst) {
  Db d;
  d.o.AddSurface(d.db, "b");
  d.o.AddSurface(d.db, "a");
  d.o.AddSurface(d.db, "\x82\xa0");
  d.o.AddSurface(d.db, "ab");
  ASSERT_EQ(d.o.SortSurfaces(d.db), 0);
  EXPECT_STREQ(d.o.GetSurface(d.db, 0)->name, "\x82\xa0");
  EXPECT_STREQ(d.o.GetSurface(d.db, 1)->name, "a");
  EXPECT_STREQ(d.o.GetSurface(d.db, 2)->name, "ab");
  EXPECT_STREQ(d.o.GetSurface(d.db, 3)->name, "b");
}

TEST(ObjectDbNormals, FaceNormalsFollowTheOutlineWhateverCornerComesFirst) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  // An L shape in z = 0 whose corner 0 is the reflex corner.
  const double pts[6][2] = {{1, 1}, {1, 2}, {2, 2}, {2, 0}, {0, 0}, {0, 1}};
  for (auto& p : pts) d.o.AddPoint(d.db, p[0], p[1], 0);
  int32_t l[6] = {0, 1, 2, 3, 4, 5};
  d.o.AddPolygon(d.db, 6, l, nullptr);
  int32_t square[4] = {4, 5, 2, 3};
  d.o.AddPolygon(d.db, 4, square, nullptr);
  double a[3], b[3];
  d.o.GetPolygonNormal(d.db, 0, a);
  d.o.GetPolygonNormal(d.db, 1, b);
  EXPECT_NEAR(a[2], b[2], 1e-12);
  EXPECT_NEAR(std::fabs(a[2]), 1.0, 1e-12);

  int32_t line[2] = {0, 1};
  d.o.AddPolygon(d.db, 2, line, nullptr);
  d.o.GetPolygonNormal(d.db, 2, a);
  EXPECT_EQ(a[0] * a[0] + a[1] * a[1] + a[2] * a[2], 0.0);
}

TEST(ObjectDbNormals, PerPointAndExcludedSurfaces) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  d.o.AddPoint(d.db, 5, 5, 5);  // used only by a line
  int32_t quad[4] = {0, 1, 2, 3}, line[2] = {4, 0};
  d.o.AddPolygon(d.db, 4, quad, "Flat");
  d.o.AddPolygon(d.db, 2, line, "Flat");
  ASSERT_EQ(d.o.BuildNormals(d.db, 2), 0);
  ASSERT_EQ(d.o.GetNormalCount(d.db), 5);
  ObjNormal* n4 = d.o.GetNormal(d.db, 4);
  EXPECT_EQ(n4->x * n4->x + n4->y * n4->y + n4->z * n4->z, 0.0);
  EXPECT_EQ(d.o.GetPolygon(d.db, 0)->normals[2], 2);

  // Angle mode: a surface with bit 0 set keeps -1 at every corner.
  d.o.AddSurface(d.db, "Flat");
  d.o.ResolveSurfaceIds(d.db);
  d.o.FindSurface(d.db, "Flat")->flags = 1;
  ASSERT_EQ(d.o.BuildNormals(d.db, 0), 0);
  for (int32_t n : d.o.GetPolygon(d.db, 0)->normals) EXPECT_EQ(n, -1);

  // Without smoothing every polygon gets its face normal; shared mode reuses it.
  d.o.FindSurface(d.db, "Flat")->flags = 0;
  int32_t quad2[4] = {3, 2, 1, 0};
  d.o.AddPolygon(d.db, 4, quad2, nullptr);  // no surface at all
  ASSERT_EQ(d.o.BuildNormals(d.db, 4), 0);
  EXPECT_EQ(d.o.GetPolygon(d.db, 0)->normals[0], d.o.GetPolygon(d.db, 0)->normals[3]);
  EXPECT_NE(d.o.GetPolygon(d.db, 2)->normals[0], -1);
  EXPECT_EQ(FindInconsistency(d.db), "");
}

TEST(ObjectDbEdges, SharedEdgesNeighboursAndLines) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  int32_t t0[3] = {0, 1, 2}, t1[3] = {0, 2, 3}, line[2] = {1, 3};
  d.o.AddPolygon(d.db, 3, t0, nullptr);
  d.o.AddPolygon(d.db, 3, t1, nullptr);
  d.o.AddPolygon(d.db, 2, line, nullptr);
  ASSERT_EQ(d.o.BuildEdges(d.db), 0);
  EXPECT_EQ(d.o.GetEdgeCount(d.db), 6);
  int shared = 0;
  for (int e = 0; e < d.o.GetEdgeCount(d.db); ++e) {
    ObjEdge* edge = d.o.GetEdge(d.db, e);
    if (edge->polygon2 >= 0) {
      ++shared;
      EXPECT_EQ(edge->first, 2);  // first seen as 2 -> 0 in triangle 0
      EXPECT_EQ(edge->polygon, 0);
      EXPECT_EQ(edge->polygon2, 1);
      // First neighbour: from point 0 to the point after it in triangle 0.
      ObjEdge* n = d.o.GetEdge(d.db, edge->neighbour[0]);
      EXPECT_TRUE((n->first == 0 && n->second == 1) || (n->first == 1 && n->second == 0));
    }
  }
  EXPECT_EQ(shared, 1);
  EXPECT_EQ(d.o.GetPolygon(d.db, 2)->edge, 5);
}

TEST(ObjectDbLayers, ParentsAreLayerNumbers) {
  Db d;
  ObjLayer* a = d.o.AddLayer(d.db, "root");
  a->number = 7;
  ObjLayer* b = d.o.AddLayer(d.db, "child");
  EXPECT_EQ(b->number, 8);
  d.o.SetParentLayerByName(d.db, "root");
  EXPECT_EQ(b->parent, 7);
  char name[kNameSize];
  d.o.GetParentLayerName(d.db, name);
  EXPECT_STREQ(name, "root");
  d.o.SetParentLayerByName(d.db, "nobody");
  EXPECT_EQ(b->parent, -1);
}

TEST(ObjectDbPolygons, GrowingTheCornerListGrowsPerCornerData) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  int32_t tri[3] = {0, 1, 2}, quad[4] = {0, 1, 2, 3};
  d.o.AddPolygon(d.db, 3, tri, nullptr);
  d.o.BuildNormals(d.db, 2);
  d.o.SelectPolygonChannel(d.db, 0, 1, 0);
  ASSERT_EQ(d.o.SetPolygonPoints(d.db, 0, 4, quad), 0);
  ObjPolygon* p = d.o.GetPolygon(d.db, 0);
  EXPECT_EQ(p->normals.size(), 4u);
  EXPECT_EQ(p->normals[3], -1);
  EXPECT_EQ(p->currentChannel->values.size(), 4u);
  int32_t three[3] = {1, 2, 3};
  EXPECT_EQ(d.o.SetPolygonNormals(d.db, 0, 3, three), ERR_PARAM);
}

TEST(ObjectDbVMaps, RangesRenameDeleteAndPairedMads) {
  Db d;
  d.o.AddLayer(d.db, nullptr);
  AddSquarePoints(d);
  int m = d.o.AddVMap(d.db, ID_TXUV, "uv", 2);
  d.o.AddVMad(d.db, ID_TXUV, "uv", 2);
  float v[2] = {1, 2};
  EXPECT_EQ(d.o.SetVMapValue(d.db, m, 4, v), ERR_PARAM);  // past the point count
  EXPECT_EQ(d.o.SetVMapValue(d.db, m, 3, v), 0);
  v[0] = 9;
  EXPECT_EQ(d.o.SetVMapValue(d.db, m, 3, v), 0);  // overwrites
  ObjVMap* map = d.o.FindVMap(d.db, ID_TXUV, "uv");
  EXPECT_EQ(map->Count(), 1);
  EXPECT_EQ(d.o.GetVMapValue(d.db, map, 3)[0], 9.0f);
  EXPECT_EQ(d.o.GetVMapValue(d.db, map, 2), nullptr);
  // A point given another's values straight from the map, as the map grows.
  for (int point = 0; point < 3; ++point) {
    map->values.shrink_to_fit();
    ASSERT_EQ(d.o.SetVMapValue(d.db, m, point, d.o.GetVMapValue(d.db, map, 3)), 0);
    EXPECT_EQ(d.o.GetVMapValue(d.db, map, point)[0], 9.0f);
    EXPECT_EQ(d.o.GetVMapValue(d.db, map, point)[1], 2.0f);
  }
  ASSERT_EQ(d.o.SetVMapValue(d.db, m, 3, d.o.GetVMapValue(d.db, map, 0)), 0);
  EXPECT_EQ(d.o.GetVMapValue(d.db, map, 3)[0], 9.0f);
  EXPECT_EQ(d.o.RenameVMap(d.db, m, "tex"), 0);
  EXPECT_NE(d.o.FindVMad(d.db, ID_TXUV, "tex"), nullptr);
  EXPECT_EQ(d.o.RenameVMap(d.db, 5, "x"), ERR_PARAM);
  EXPECT_EQ(d.o.DeleteVMap(d.db, m), 0);
  EXPECT_EQ(d.o.GetVMapCount(d.db, 0), 0);
  EXPECT_EQ(d.o.GetVMadCount(d.db, 0), 0);
}

TEST(ObjectDbOpen, ReadFileIsKeptWhenALaterStepFails) {
  LoadOptions options;
  options.flags = LOAD_NORMALS | LOAD_COLORS;  // colours come last and fail here (no map, no side file)
  std::string path = SourcePath("samples/cube.lwo");
  ObjectDb* db = CreateObjectDb(0);
  int status = db->ops.Load(db, path.c_str(), 2, &options);
  CloseObjectDb(&db);
  ObjectDb* opened = OpenObjectDb(path.c_str(), &options);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->format, 2);
  EXPECT_GT(opened->ops.GetNormalCount(opened), 0);
  CloseObjectDb(&opened);
  if (status == 0) GTEST_SKIP() << "colour building succeeded";
}

// One layer post-processed on its own ends as Load leaves it, and the call
// between the steps comes after the texture coordinates, before the normals.
TEST(ObjectDbOpen, OneLayerPostProcessedAloneEndsAsLoadLeavesIt) {
  LoadOptions options;
  options.flags = LOAD_UVS | LOAD_NORMALS | LOAD_TRIANGULATE | LOAD_SORT;
  options.normalFlags = 6;
  options.uvFlags = UV_SHARE;
  options.uvChannels = 1;
  options.uvLayerCount = 2;
  LoadOptions readOnly = options;
  readOnly.flags = 0;
  int uvs = 0, layers = 0;
  for (const char* sample : {"samples/textured.lwo", "samples/layers.lwo"}) {
    SCOPED_TRACE(sample);
    const std::string path = SourcePath(sample);
    ObjectDb* loaded = OpenObjectDb(path.c_str(), &options);
    ObjectDb* alone = OpenObjectDb(path.c_str(), &readOnly);
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(alone, nullptr);
    struct Seen {
      int uvs = -1, normals = -1;
    } seen;
    alone->ops.SelectLayer(alone, 0);
    PostProcessCurrentLayer(alone, &options, [](ObjectDb* db, void* context) {
      auto* s = static_cast<Seen*>(context);
      s->uvs = db->ops.GetUvCount(db);
      s->normals = db->ops.GetNormalCount(db);
    }, &seen);
    EXPECT_EQ(seen.normals, 0);
    EXPECT_EQ(seen.uvs, loaded->ops.GetUvCount(loaded));
    uvs += seen.uvs;
    ASSERT_EQ(alone->ops.GetPolygonCount(alone), loaded->ops.GetPolygonCount(loaded));
    EXPECT_EQ(alone->ops.GetNormalCount(alone), loaded->ops.GetNormalCount(loaded));
    for (int i = 0; i < loaded->ops.GetPolygonCount(loaded); ++i) {
      const ObjPolygon *a = alone->ops.GetPolygon(alone, i), *b = loaded->ops.GetPolygon(loaded, i);
      EXPECT_EQ(std::vector<int32_t>(a->points), std::vector<int32_t>(b->points)) << i;
      EXPECT_EQ(std::vector<int32_t>(a->normals), std::vector<int32_t>(b->normals)) << i;
      ASSERT_EQ(a->currentChannel != nullptr, b->currentChannel != nullptr) << i;
      if (a->currentChannel) {
        EXPECT_EQ(std::vector<int32_t>(a->currentChannel->values), std::vector<int32_t>(b->currentChannel->values));
      }
    }
    // The other layers were left as read.
    if (alone->ops.GetLayerCount(alone) > 1) {
      ++layers;
      alone->ops.SelectLayer(alone, 1);
      EXPECT_EQ(alone->ops.GetNormalCount(alone), 0);
    }
    CloseObjectDb(&loaded);
    CloseObjectDb(&alone);
  }
  EXPECT_GT(uvs, 0);
  EXPECT_EQ(layers, 1);
  ObjectDb* empty = CreateObjectDb(0);
  EXPECT_EQ(PostProcessCurrentLayer(empty, &options), ERR_PARAM);  // no layer
  CloseObjectDb(&empty);
}

// Each lookup is asked twice in a row, so the second answer comes from what
// the record remembers of the first; every change that removes or replaces
// an entry (renames, frees, also through a clone sharing the data) must show
// in the next answer.
TEST(ObjectDbTags, LookupsFollowRenamesAndFrees) {
  Db d;
  d.o.AddLayer(d.db, "layer");
  ObjectDb* clone = d.o.Clone(d.db);
  ASSERT_NE(clone, nullptr);
  auto findTagTwice = [&](const char* name, Id4 type) {
    ObjTag* first = d.o.FindTag(d.db, name, type);
    EXPECT_EQ(d.o.FindTag(d.db, name, type), first);
    return first;
  };
  auto findSurfaceTwice = [&](const char* name) {
    ObjSurface* first = d.o.FindSurface(d.db, name);
    EXPECT_EQ(d.o.FindSurface(d.db, name), first);
    return first;
  };

  const char* stored = d.o.AddSurface(d.db, "old");
  const int tag = d.o.AddTag(d.db, "old", ID_SURF);
  ASSERT_NE(findSurfaceTwice("old"), nullptr);
  EXPECT_EQ(findSurfaceTwice("old")->name, stored);
  ASSERT_NE(findTagTwice("old", ID_SURF), nullptr);
  EXPECT_EQ(findTagTwice("old", ID_SURF)->id, tag);
  EXPECT_EQ(findTagTwice("old", ID_PART), nullptr);

  ASSERT_EQ(d.o.RenameSurface(d.db, "old", "new"), 0);
  EXPECT_EQ(findSurfaceTwice("old"), nullptr);
  EXPECT_EQ(findTagTwice("old", ID_SURF), nullptr);
  ASSERT_NE(findTagTwice("new", ID_SURF), nullptr);
  EXPECT_EQ(findTagTwice("new", ID_SURF)->id, tag);

  // Tagging a polygon finds the renamed tag; a new tag of another type
  // leaves it where it was.
  const int32_t points[1] = {d.o.AddPoint(d.db, 0, 0, 0)};
  const int polygon = d.o.AddPolygon(d.db, 1, points, nullptr);
  ASSERT_NE(d.o.SetPolygonTag(d.db, polygon, ID_SURF, "new"), nullptr);
  EXPECT_EQ(findTagTwice("new", ID_SURF)->id, tag);
  const int second = d.o.AddTag(d.db, "x", ID_PART);
  EXPECT_EQ(findTagTwice("x", ID_PART)->id, second);

  // Freed through the clone: the record's own memory must not answer.
  clone->ops.FreeTags(clone);
  EXPECT_EQ(findTagTwice("new", ID_SURF), nullptr);
  EXPECT_EQ(findTagTwice("x", ID_PART), nullptr);
  EXPECT_EQ(d.o.AddTag(d.db, "new", ID_SURF), 0);
  EXPECT_EQ(findTagTwice("new", ID_SURF)->id, 0);
  clone->ops.FreeSurfaces(clone);
  EXPECT_EQ(findSurfaceTwice("new"), nullptr);
  const char* again = d.o.AddSurface(d.db, "new");
  EXPECT_EQ(findSurfaceTwice("new")->name, again);
  // A name longer than any stored one is found in neither lookup.
  const std::string longName(300, 'n');
  EXPECT_EQ(findSurfaceTwice(longName.c_str()), nullptr);
  CloseObjectDb(&clone);
}

// Prefaulting maps pages ahead of writes; what the range holds must read
// back unchanged, in memory already written and in fresh memory alike, and
// ranges without a whole page (or reversed) are left alone.
TEST(ObjectDbMemory, PrefaultingLeavesTheBytesAsTheyWere) {
  std::vector<uint8_t> bytes(size_t(3) << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 1);
  PrefaultForWriting(bytes.data() + 100, bytes.data() + bytes.size() - 100);
  PrefaultForWriting(bytes.data() + 10, bytes.data() + 20);
  PrefaultForWriting(bytes.data() + 20, bytes.data() + 10);
  for (size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], uint8_t(i * 7 + 1)) << i;
  }

  const size_t size = size_t(8) << 20;
  uint8_t* fresh = static_cast<uint8_t*>(calloc(size, 1));
  ASSERT_NE(fresh, nullptr);
  PrefaultForWriting(fresh, fresh + size);
  size_t nonZero = 0;
  for (size_t i = 0; i < size; ++i) nonZero += fresh[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  fresh[size - 1] = 5;
  EXPECT_EQ(fresh[size - 1], 5);
  free(fresh);
}

// A writer filling a range with pages mapped just ahead of it: what it
// wrote and what the range held read back as they were, and when it stops
// half way, nothing far past where it stopped has been mapped.
TEST(ObjectDbMemory, PrefaultAheadMapsJustAheadOfTheWriter) {
  ParallelLimitsScope twoParts(1, 2);
  const size_t size = size_t(40) << 20, half = size / 2;
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  uint8_t* bytes = static_cast<uint8_t*>(block);
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  for (size_t i = half + (size_t(12) << 20); i < size; i += page) bytes[i] = 3;  // written before
  {
    PrefaultAhead ahead(bytes, bytes + size);
    for (size_t i = 0; i < half; i += 64) {
      ahead.Reached(bytes + i);
      bytes[i] = uint8_t(i >> 6);
    }
    // Time enough for the mapping thread to run on, were it not held back.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (size_t i = 0; i < half; i += 64) ASSERT_EQ(bytes[i], uint8_t(i >> 6)) << i;
  std::vector<unsigned char> resident(size / page);
  ASSERT_EQ(mincore(block, size, resident.data()), 0);
  size_t mappedPast = 0;
  for (size_t i = half / page; i < (half + (size_t(12) << 20)) / page; ++i) mappedPast += resident[i] & 1;
  // The rest of the writer's 2 MiB and kPrefaultAhead more, at most.
  EXPECT_LE(mappedPast * page, kPrefaultAhead + (size_t(2) << 20)) << mappedPast;
  for (size_t i = half; i < half + (size_t(12) << 20); i += 4093) ASSERT_EQ(bytes[i], 0) << i;
  for (size_t i = half + (size_t(12) << 20); i < size; i += page) ASSERT_EQ(bytes[i], 3) << i;
  munmap(block, size);
}

// A long range is mapped by several threads, each from a huge-page boundary:
// together they map every page of it, and none outside it.
TEST(ObjectDbMemory, PrefaultingInPartsMapsTheWholeRange) {
  ParallelLimitsScope threeParts(1, 3);
  const size_t size = (size_t(13) << 20) + 4096 * 5;
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  uint8_t* bytes = static_cast<uint8_t*>(block);
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  // Written pages at both ends keep what they hold.
  bytes[0] = 9;
  bytes[size - 1] = 7;
  const size_t from = page * 3 + 100, to = size - page * 2 - 100;
  PrefaultForWriting(bytes + from, bytes + to);
  std::vector<unsigned char> resident(size / page);
  ASSERT_EQ(mincore(block, size, resident.data()), 0);
  size_t inside = 0, outside = 0;
  for (size_t i = 0; i < resident.size(); ++i) {
    const bool within = i * page >= from && (i + 1) * page <= to;
    if (within)
      inside += resident[i] & 1;
    else if (i != 0 && i + 1 != resident.size())
      outside += resident[i] & 1;
  }
  if (inside == 0) {
    munmap(block, size);
    GTEST_SKIP() << "pages are not mapped ahead on this system";
  }
  const size_t whole = (to / page) - (from + page - 1) / page;
  EXPECT_EQ(inside, whole);
  // Huge pages may bring a neighbouring page in; never a whole step more.
  EXPECT_LT(outside, (size_t(2) << 20) / page * 2);
  EXPECT_EQ(bytes[0], 9);
  EXPECT_EQ(bytes[size - 1], 7);
  for (size_t i = from; i < to; i += 4093) ASSERT_EQ(bytes[i], 0) << i;
  munmap(block, size);
}

TEST(ObjectDbClone, SharesDataAndClosesAlone) {
  ObjectDb* db = OpenObjectDb(SourcePath("samples/layers.lwo").c_str(), nullptr);
  ASSERT_NE(db, nullptr);
  ObjectDb* clone = db->ops.Clone(db);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->flags & 1, 1);
  clone->ops.SelectLayer(clone, 1);
  EXPECT_EQ(clone->currentLayer->number, 2);
  EXPECT_EQ(db->currentLayer->number, 1);  // each record has its own current layer
  clone->ops.AddSurface(clone, "Added");
  EXPECT_EQ(db->ops.GetSurfaceCount(db), 3);  // one store behind both
  CloseObjectDb(&clone);
  EXPECT_EQ(clone, nullptr);
  EXPECT_EQ(db->ops.GetPointCount(db), 8);
  EXPECT_EQ(FindInconsistency(db), "");
  CloseObjectDb(&db);
}

}  // namespace

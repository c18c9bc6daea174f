#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "objectdb.h"
#include "parallel.h"
#include "test_support.h"

namespace {

TEST(Parallel, PartsCoverTheItemsInOrderAndNearlyEvenly) {
  for (size_t count : {size_t(0), size_t(1), size_t(2), size_t(5), size_t(7), size_t(100), size_t(1000003)})
    for (unsigned parts : {1u, 2u, 3u, 4u, 7u}) {
      SCOPED_TRACE(std::to_string(count) + " in " + std::to_string(parts));
      EXPECT_EQ(PartBegin(0, parts, count), 0u);
      EXPECT_EQ(PartBegin(parts, parts, count), count);
      for (unsigned k = 0; k < parts; ++k) {
        const size_t size = PartBegin(k + 1, parts, count) - PartBegin(k, parts, count);
        EXPECT_GE(size, count / parts);
        EXPECT_LE(size, count / parts + 1);
      }
    }
}

TEST(Parallel, LimitsDecideThePartsAndEveryPartRunsBeforeAFailureIsThrown) {
  {
    ParallelLimitsScope limits(10, 3);
    EXPECT_EQ(PartsFor(9), 1u);
    EXPECT_EQ(PartsFor(10), 3u);
  }
  EXPECT_EQ(PartsFor(kParallelMinimum - 1), 1u);
  EXPECT_GE(PartsFor(kParallelMinimum), 1u);
  EXPECT_LE(PartsFor(kParallelMinimum), kParallelParts);

  std::vector<std::atomic<int>> ran(5);
  auto work = [&](unsigned k) {
    ++ran[k];
    if (k == 1 || k == 3) throw std::runtime_error("part " + std::to_string(k));
  };
  try {
    RunParts(5, work);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "part 1");  // the lowest part's, whichever failed first
  }
  for (auto& r : ran) EXPECT_EQ(r.load(), 1);
}

// Each point's links, as (polygon, corner) pairs in list order.
std::vector<std::vector<std::pair<int, int>>> Links(ObjectDb* db) {
  std::vector<std::vector<std::pair<int, int>>> all;
  ObjLayer* l = db->currentLayer;
  for (const ObjPoint& p : l->points) {
    all.emplace_back();
    const auto* links = static_cast<const PolygonLinks*>(p.userData);
    if (!links) continue;
    for (int k = 0; k < links->count; ++k) all.back().push_back({links->polygons[k], links->corners[k]});
  }
  return all;
}

TEST(Parallel, PointLinksInPartsAreTheLinksOfOnePass) {
  std::vector<std::string> files = FilesUnder(SourcePath("samples"), ".lwo");
  for (auto& f : FilesUnder(CorpusPath("lwo2/onthez"), ".lwo")) files.push_back(f);
  LoadOptions options;
  options.flags = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* db = OpenObjectDb(file.c_str(), &options);
    if (!db) continue;
    for (int layer = 0; layer < db->ops.GetLayerCount(db); ++layer) {
      db->ops.SelectLayer(db, layer);
      if (db->currentLayer->points.empty()) continue;
      ASSERT_EQ(db->ops.BuildPointPolygonLinks(db), 0);
      const auto once = Links(db);
      db->ops.FreePointPolygonLinks(db);
      {
        ParallelLimitsScope limits(1, 3);
        ASSERT_EQ(db->ops.BuildPointPolygonLinks(db), 0);
      }
      EXPECT_EQ(Links(db), once);
      // Every corner of a polygon is listed at its point, once.
      size_t corners = 0, listed = 0;
      for (auto& p : db->currentLayer->Polygons()) corners += size_t(std::max(p.vertexCount, 0));
      for (auto& point : once) listed += point.size();
      EXPECT_EQ(listed, corners);
      db->ops.FreePointPolygonLinks(db);
    }
    CloseObjectDb(&db);
  }
}

// Per-point normals taken in parts: the same list, the same corner indices
// and the same stored face normals as one pass, including those of polygons
// too small or too flat to have one.
TEST(Parallel, PerPointNormalsInPartsAreThoseOfOnePass) {
  // Polygons read before their points have no face normal stored yet.
  Body pnts, pols;
  for (int i = 0; i < 6; ++i) pnts.Vec(float(i % 3), float(i / 3), float(i % 2));
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(3).U2(4).VX(1).VX(2).VX(5).VX(4).U2(3).VX(3).VX(4).VX(0);
  std::vector<std::string> files = {WriteTempFile(
      "late-points.lwo", IffBuilder("LWO2").Chunk("POLS", pols).Chunk("PNTS", pnts).Bytes())};
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  for (auto& f : FilesUnder(CorpusPath("lwo2/onthez"), ".lwo")) files.push_back(f);
  LoadOptions options;
  options.flags = LOAD_NORMALS;
  options.normalFlags = 6;
  int compared = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* once = nullptr;
    {
      ParallelLimitsScope limits(1, 1);
      once = OpenObjectDb(file.c_str(), &options);
    }
    if (!once) continue;
    ObjectDb* split = nullptr;
    {
      ParallelLimitsScope limits(1, 3);
      split = OpenObjectDb(file.c_str(), &options);
    }
    ASSERT_NE(split, nullptr);
    for (int layer = 0; layer < once->ops.GetLayerCount(once); ++layer) {
      once->ops.SelectLayer(once, layer);
      split->ops.SelectLayer(split, layer);
      ObjLayer &a = *once->currentLayer, &b = *split->currentLayer;
      ASSERT_EQ(a.normals.size(), b.normals.size());
      for (size_t i = 0; i < a.normals.size(); ++i) {
        ASSERT_EQ(a.normals[i].x, b.normals[i].x) << i;
        ASSERT_EQ(a.normals[i].y, b.normals[i].y) << i;
        ASSERT_EQ(a.normals[i].z, b.normals[i].z) << i;
      }
      ASSERT_EQ(a.Polygons().size(), b.Polygons().size());
      for (size_t i = 0; i < a.Polygons().size(); ++i) {
        const ObjPolygon &p = a.Polygons()[i], &q = b.Polygons()[i];
        ASSERT_EQ(std::vector<int32_t>(p.normals), std::vector<int32_t>(q.normals)) << i;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(p.normal[c], q.normal[c]) << i;
      }
      compared += !a.normals.empty();
    }
    CloseObjectDb(&once);
    CloseObjectDb(&split);
  }
  EXPECT_GE(compared, 5);
}

decltype(ObjectDbOps::AddPolygon) g_libraryAddPolygon = nullptr;
int PassingAddPolygon(ObjectDb* db, int count, const int32_t* points, const char* surface) {
  return g_libraryAddPolygon(db, count, points, surface);
}

// The reader computes a chunk's face normals after the chunk, in parts, when
// AddPolygon is the library's own: the same normals as AddPolygon gives each
// polygon as it is added (which a replaced AddPolygon makes the reader use).
TEST(Parallel, ChunkFaceNormalsAreThoseOfEachAddedPolygon) {
  Body pnts, pols, more;
  for (int i = 0; i < 6; ++i) pnts.Vec(float(i % 3), float(i / 3), float(i % 2));
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(3).U2(4).VX(1).VX(2).VX(5).VX(4).U2(3).VX(3).VX(4).VX(0);
  more.Id("FACE").U2(4).VX(0).VX(2).VX(5).VX(3).U2(2).VX(1).VX(4);
  std::vector<std::string> files = {
      WriteTempFile("late-points.lwo", IffBuilder("LWO2").Chunk("POLS", pols).Chunk("PNTS", pnts).Bytes()),
      WriteTempFile("two-pols.lwo",
                    IffBuilder("LWO2").Chunk("PNTS", pnts).Chunk("POLS", pols).Chunk("POLS", more).Bytes())};
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  for (auto& f : FilesUnder(CorpusPath("lwo2/onthez"), ".lwo")) files.push_back(f);
  LoadOptions options;
  options.flags = 0;
  ParallelLimitsScope limits(1, 3);
  int compared = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* own = OpenObjectDb(file.c_str(), &options);
    if (!own) continue;
    ObjectDb* each = CreateObjectDb(0);
    g_libraryAddPolygon = each->ops.AddPolygon;
    each->ops.AddPolygon = PassingAddPolygon;
    ASSERT_EQ(OpenObjectDbInto(each, file.c_str(), &options), 0);
    ASSERT_EQ(own->ops.GetLayerCount(own), each->ops.GetLayerCount(each));
    for (int layer = 0; layer < own->ops.GetLayerCount(own); ++layer) {
      own->ops.SelectLayer(own, layer);
      each->ops.SelectLayer(each, layer);
      auto &a = own->currentLayer->Polygons(), &b = each->currentLayer->Polygons();
      ASSERT_EQ(a.size(), b.size());
      for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(std::vector<int32_t>(a[i].points), std::vector<int32_t>(b[i].points)) << i;
        ASSERT_TRUE(a[i].vertexCount == b[i].vertexCount && a[i].flags == b[i].flags && a[i].index == b[i].index) << i;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(a[i].normal[c], b[i].normal[c]) << i;
      }
      compared += !a.empty();
    }
    CloseObjectDb(&own);
    CloseObjectDb(&each);
  }
  EXPECT_GE(compared, 5);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "objectdb.h"
#include "strips.h"
#include "test_support.h"

namespace {

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  std::string logPath;
  Db() { o.AddLayer(db, "layer"); }
  ~Db() {
    if (db->logFile) fclose(db->logFile);
    CloseObjectDb(&db);
  }
  void StartLog(const std::string& name) {
    logPath = WriteTempFile(name, {});
    db->logFile = fopen(logPath.c_str(), "w");
  }
  std::string Log() {
    fflush(db->logFile);
    auto bytes = ReadFileBytes(logPath);
    return std::string(bytes.begin(), bytes.end());
  }
  int Poly(std::vector<int32_t> pts, const char* surface = "s") {
    return o.AddPolygon(db, int(pts.size()), pts.data(), surface);
  }
  // A row of n unit quads in the z = 0 plane, facing +z.
  void QuadRow(int n) {
    for (int i = 0; i <= n; ++i) {
      o.AddPoint(db, i, 0, 0);
      o.AddPoint(db, i, 1, 0);
    }
    for (int i = 0; i < n; ++i) Poly({2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1});
  }
  std::vector<LoopItem> Items(int loop) {
    std::vector<LoopItem> out;
    for (LoopItem* it = o.GetLoop(db, loop)->first; it; it = it->next) out.push_back(*it);
    return out;
  }
};

// Every non-degenerate triple of a strip must be a triangle of its polygons
// with the polygons' winding (odd triangles swap their first two corners).
void ExpectStripWinding(Db& d, int loop) {
  auto items = d.Items(loop);
  std::set<std::vector<int>> allowed;  // rotations of oriented triangles
  for (size_t i = 0; i + 2 < items.size(); ++i) {
    int a = items[i].point, b = items[i + 1].point, c = items[i + 2].point;
    if (a == b || b == c || a == c) continue;
    if (i % 2) std::swap(a, b);
    bool ok = false;
    // (a, b, c) must appear in cyclic order in some polygon of the strip.
    for (const LoopItem& it : items) {
      const ObjPolygon* p = d.o.GetPolygon(d.db, it.polygon);
      auto pos = [&](int pt) {
        for (int k = 0; k < p->vertexCount; ++k)
          if (p->points[size_t(k)] == pt) return k;
        return -1;
      };
      int ia = pos(a), ib = pos(b), ic = pos(c);
      if (ia < 0 || ib < 0 || ic < 0) continue;
      int n = p->vertexCount;
      if ((ib - ia + n) % n < (ic - ia + n) % n) ok = true;
    }
    EXPECT_TRUE(ok) << "triangle " << i << " of loop " << loop;
  }
}

TEST(Strips, RowOfQuadsIsOneStrip) {
  for (int n : {1, 2, 3, 7}) {
    Db d;
    d.QuadRow(n);
    ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
    ASSERT_EQ(1, d.o.GetLoopCount(d.db)) << n;
    EXPECT_EQ(2 * (n + 1), d.o.GetLoop(d.db, 0)->itemCount);
    EXPECT_EQ(LOOP_STRIP, d.o.GetLoop(d.db, 0)->kind);
    ExpectStripWinding(d, 0);
    EXPECT_EQ(nullptr, d.o.GetLoop(d.db, 1));
    EXPECT_EQ(nullptr, d.o.GetLoopItem(d.db, 0, 2 * (n + 1)));
    EXPECT_EQ(nullptr, d.o.GetLoop(d.db, -1));
  }
}

TEST(Strips, TwoTrianglesMakeFourItems) {
  Db d;
  for (int i = 0; i < 4; ++i) d.o.AddPoint(d.db, i == 1 || i == 2, i >= 2, 0);
  d.Poly({0, 1, 2});
  d.Poly({0, 2, 3});
  ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
  ASSERT_EQ(1, d.o.GetLoopCount(d.db));
  EXPECT_EQ(4, d.o.GetLoop(d.db, 0)->itemCount);
  ExpectStripWinding(d, 0);
}

TEST(Strips, StartInTheMiddleKeepsWindingBothWays) {
  // The first polygon in index order is the middle one, so the strip grows
  // backward too; odd and even backward runs both need to keep the winding.
  for (int left : {1, 2}) {
    Db d;
    const int n = left + 3;
    for (int i = 0; i <= n; ++i) {
      d.o.AddPoint(d.db, i, 0, 0);
      d.o.AddPoint(d.db, i, 1, 0);
    }
    std::vector<int> order;
    for (int i = left; i < n; ++i) order.push_back(i);
    for (int i = 0; i < left; ++i) order.push_back(i);
    for (int i : order) d.Poly({2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1});
    // Triangles mixed in: a fan-less row of triangles also strips.
    ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
    ASSERT_EQ(1, d.o.GetLoopCount(d.db));
    EXPECT_GE(d.o.GetLoop(d.db, 0)->itemCount, 2 * (n + 1));
    ExpectStripWinding(d, 0);
  }
}

TEST(Strips, UvSeamSplitsUnlessCrossed) {
  for (bool cross : {false, true}) {
    Db d;
    d.QuadRow(2);
    // Per-corner UVs: the two quads disagree along their shared edge.
    const int32_t a[4] = {d.o.AddUv(d.db, 0, 0, 0), d.o.AddUv(d.db, 1, 0, 0), d.o.AddUv(d.db, 1, 1, 0),
                          d.o.AddUv(d.db, 0, 1, 0)};
    const int32_t b[4] = {d.o.AddUv(d.db, 0.5, 0, 0), d.o.AddUv(d.db, 1, 0, 0),
                          d.o.AddUv(d.db, 1, 1, 0), d.o.AddUv(d.db, 0.5, 1, 0)};
    for (int p = 0; p < 2; ++p) {
      ASSERT_NE(nullptr, d.o.SelectPolygonChannel(d.db, p, 1, 0));
      ASSERT_EQ(0, d.o.SetPolygonChannelValues(d.db, p, 4, p ? b : a));
    }
    LoopOptions opt;
    opt.flags = cross ? LOOP_CROSS_SEAMS : 0;
    ASSERT_EQ(0, d.o.BuildLoops(d.db, &opt));
    if (cross) {
      ASSERT_EQ(1, d.o.GetLoopCount(d.db));
      EXPECT_EQ(8, d.o.GetLoop(d.db, 0)->itemCount);  // two repeated items
      ExpectStripWinding(d, 0);
    } else {
      EXPECT_EQ(2, d.o.GetLoopCount(d.db));
    }
  }
}

TEST(Strips, LineChains) {
  {
    // A "6": a tail 0-1-2 running into the cycle 2-3-4-2.
    Db d;
    for (int i = 0; i < 5; ++i) d.o.AddPoint(d.db, i, i * i, 0);
    d.Poly({0, 1});
    d.Poly({1, 2});
    d.Poly({2, 3});
    d.Poly({3, 4});
    d.Poly({4, 2});
    ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
    int items = 0;
    for (int i = 0; i < d.o.GetLoopCount(d.db); ++i) {
      EXPECT_EQ(LOOP_LINE, d.o.GetLoop(d.db, i)->kind);
      items += d.o.GetLoop(d.db, i)->itemCount;
    }
    EXPECT_EQ(1, d.o.GetLoopCount(d.db));
    EXPECT_EQ(6, items);  // every line once
  }
  {
    Db d;
    d.StartLog("ring.log");
    for (int i = 0; i < 4; ++i) d.o.AddPoint(d.db, i % 2, i / 2, 0);
    d.Poly({0, 1});
    d.Poly({1, 3});
    d.Poly({3, 2});
    d.Poly({2, 0});
    d.Poly({0, 3}, "other");  // another surface never joins
    d.o.AddSurface(d.db, "s");
    d.o.AddSurface(d.db, "other");
    d.o.ResolveSurfaceIds(d.db);
    ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
    EXPECT_EQ(2, d.o.GetLoopCount(d.db));
    EXPECT_EQ(5, d.o.GetLoop(d.db, 0)->itemCount);
    const std::string log = d.Log();
    EXPECT_EQ(log.find("LOOP LINE MESH\n"), log.rfind("LOOP LINE MESH\n"));
    EXPECT_NE(std::string::npos, log.find("LOOP LINE MESH\n"));
    EXPECT_NE(std::string::npos, log.find("RESULT 4/0/5\n"));
  }
}

TEST(Strips, PointRunsAndMaximum) {
  Db d;
  for (int i = 0; i < 5; ++i) d.o.AddPoint(d.db, i, 0, 0);
  for (int i = 0; i < 5; ++i) d.Poly({i}, i == 2 ? "b" : "a");
  d.o.AddSurface(d.db, "a");
  d.o.AddSurface(d.db, "b");
  d.o.ResolveSurfaceIds(d.db);
  LoopOptions opt;
  opt.maxItems = 3;
  ASSERT_EQ(0, d.o.BuildLoops(d.db, &opt));
  ASSERT_EQ(3, d.o.GetLoopCount(d.db));  // a: 3 + 1, b: 1
  EXPECT_EQ(3, d.o.GetLoop(d.db, 0)->itemCount);
  int total = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(LOOP_POINTS, d.o.GetLoop(d.db, i)->kind);
    total += int(d.Items(i).size());
  }
  EXPECT_EQ(5, total);
}

TEST(Strips, FansAndNonManifold) {
  Db d;
  // Four quads round point 0, plus a third polygon on one edge.
  d.o.AddPoint(d.db, 0, 0, 0);
  const double r[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
  for (auto& p : r) d.o.AddPoint(d.db, p[0], p[1], 0);
  for (int q = 0; q < 4; ++q) d.Poly({0, 1 + 2 * q, 2 + 2 * q, 1 + (2 * q + 2) % 8});
  d.o.AddPoint(d.db, 0.5, 0, 1);
  d.Poly({0, 1, 9});
  LoopOptions opt;
  opt.flags = LOOP_FANS;
  opt.minFanPolygons = 4;
  ASSERT_EQ(0, d.o.BuildLoops(d.db, &opt));
  int polys = 0;
  std::set<int> seen;
  for (int i = 0; i < d.o.GetLoopCount(d.db); ++i)
    for (auto& it : d.Items(i)) seen.insert(it.polygon);
  polys = int(seen.size());
  EXPECT_EQ(5, polys);  // every polygon ends in some loop
  EXPECT_EQ(LOOP_FAN, d.o.GetLoop(d.db, 0)->kind);
}

TEST(Strips, SortKeys) {
  EXPECT_EQ(0x00000102u, LoopSortKey(0, 1, 2));
  EXPECT_EQ(0xFF000000u, LoopSortKey(1.5f, 0, 0));
  EXPECT_EQ(0x00000000u, LoopSortKey(-0.2f, 0, 0));
  EXPECT_EQ(0x00000000u, LoopSortKey(std::numeric_limits<float>::quiet_NaN(), 0, 0));
  EXPECT_EQ(0x80FFFF03u, LoopSortKey(0.5f, 0x1FFFF, 3));

  Db d;
  d.QuadRow(1);
  for (int i = 0; i < 3; ++i) d.o.AddPoint(d.db, i, 5, 0);
  d.Poly({4, 5, 6}, "a");
  d.o.ResolveSurfaceIds(d.db);
  ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
  ASSERT_EQ(2, d.o.GetLoopCount(d.db));
  d.o.GetLoop(d.db, 0)->sortKey = LoopSortKey(1.2f, 0, 0);
  ASSERT_EQ(0, d.o.SortLoops(d.db));
  EXPECT_EQ(3, d.o.GetLoop(d.db, 0)->itemCount);  // the opaque one first
  EXPECT_EQ(0, d.o.FreeLoops(d.db));
  EXPECT_EQ(0, d.o.GetLoopCount(d.db));
}

TEST(Strips, SortingPolygonsRenumbersItems) {
  Db d;
  d.QuadRow(1);
  for (int i = 0; i < 3; ++i) d.o.AddPoint(d.db, i, 5, 0);
  d.Poly({4, 5, 6}, "a");  // sorts before the quad
  ASSERT_EQ(0, d.o.BuildLoops(d.db, nullptr));
  ASSERT_EQ(0, d.o.SortPolygons(d.db));
  for (int i = 0; i < d.o.GetLoopCount(d.db); ++i)
    for (auto& it : d.Items(i))
      EXPECT_EQ(it.point, d.o.GetPolygon(d.db, it.polygon)->points[size_t(it.corner)]);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

#include "object_checks.h"
#include "objectdb.h"
#include "test_support.h"
#include "triangulate.h"

namespace {

struct V2 {
  double x, y;
};

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  Db() { o.AddLayer(db, "layer"); }
  ~Db() { CloseObjectDb(&db); }

  // A polygon over new points, corner i using point first + i.
  int Polygon(const std::vector<std::array<double, 3>>& pts, const char* surface = nullptr) {
    std::vector<int32_t> idx;
    for (auto& p : pts) idx.push_back(o.AddPoint(db, p[0], p[1], p[2]));
    return o.AddPolygon(db, int(idx.size()), idx.data(), surface);
  }
  int Flat(const std::vector<V2>& pts, const char* surface = nullptr) {
    std::vector<std::array<double, 3>> p3;
    for (auto& p : pts) p3.push_back({p.x, p.y, 0});
    return Polygon(p3, surface);
  }
  std::vector<int32_t> Corners(int polygon) { return o.GetPolygon(db, polygon)->points; }
  const ObjPoint& P(int i) { return *o.GetPoint(db, i); }
};

double Cross2(V2 a, V2 b, V2 c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

double Area2(const std::vector<V2>& poly) {
  double a = 0;
  for (size_t i = 0; i < poly.size(); ++i) {
    const V2 &p = poly[i], &q = poly[(i + 1) % poly.size()];
    a += p.x * q.y - q.x * p.y;
  }
  return a / 2;
}

bool Inside(const std::vector<V2>& poly, V2 p) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const V2 &a = poly[i], &b = poly[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

bool SegmentsCross(V2 a, V2 b, V2 c, V2 d) {
  double d1 = Cross2(c, d, a), d2 = Cross2(c, d, b), d3 = Cross2(a, b, c), d4 = Cross2(a, b, d);
  return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0));
}

// Simple polygons: star-shaped, or a random walk untangled by 2-opt moves.
// Rejects outlines with a corner angle under 1 degree.
std::vector<V2> RandomSimplePolygon(std::mt19937& rng, int n, bool star) {
  std::uniform_real_distribution<double> u(0, 1);
  for (;;) {
    std::vector<V2> p(size_t(n), V2{0, 0});
    if (star) {
      std::vector<double> a(static_cast<size_t>(n));
      for (auto& x : a) x = u(rng) * 2 * M_PI;
      std::sort(a.begin(), a.end());
      for (int i = 0; i < n; ++i) {
        double r = 0.2 + u(rng);
        p[size_t(i)] = {r * std::cos(a[size_t(i)]), r * std::sin(a[size_t(i)])};
      }
    } else {
      V2 at{0, 0};
      for (auto& q : p) {
        at.x += u(rng) - 0.5;
        at.y += u(rng) - 0.5;
        q = at;
      }
      for (bool changed = true; changed;) {
        changed = false;
        for (int i = 0; i < n; ++i)
          for (int j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;
            if (SegmentsCross(p[size_t(i)], p[size_t(i + 1)], p[size_t(j)], p[size_t((j + 1) % n)])) {
              std::reverse(p.begin() + i + 1, p.begin() + j + 1);
              changed = true;
            }
          }
      }
    }
    bool ok = true;
    for (int i = 0; i < n && ok; ++i)  // a star with a gap over 180 degrees may cross itself
      for (int j = i + 2; j < n && ok; ++j)
        ok = (i == 0 && j == n - 1) ||
             !SegmentsCross(p[size_t(i)], p[size_t(i + 1)], p[size_t(j)], p[size_t((j + 1) % n)]);
    for (int i = 0; i < n && ok; ++i) {
      V2 a = p[size_t((i + n - 1) % n)], b = p[size_t(i)], c = p[size_t((i + 1) % n)];
      double la = std::hypot(a.x - b.x, a.y - b.y), lc = std::hypot(c.x - b.x, c.y - b.y);
      double s = std::fabs(Cross2(b, a, c)) / (la * lc);
      ok = la > 1e-3 && lc > 1e-3 && s > std::sin(M_PI / 180);
    }
    if (ok) return p;
  }
}

// Checks that the layer's polygons are triangles of points (2-D positions
// in pos) that cover `outer` less `hole` exactly: each faces the way `outer`
// winds and has its centroid in the region (zero-area ones from collinear
// corners aside), and their areas add up within rel * area.
void CheckCover(Db& t, const std::vector<V2>& pos, const std::vector<V2>& outer,
                const std::vector<V2>& hole = {}, double rel = 1e-9) {
  const double sign = Area2(outer) > 0 ? 1 : -1;
  double area = 0;
  for (int i = 0; i < t.o.GetPolygonCount(t.db); ++i) {
    auto k = t.Corners(i);
    ASSERT_EQ(k.size(), 3u) << "polygon " << i;
    for (int32_t c : k) ASSERT_TRUE(c >= 0 && size_t(c) < pos.size());
    V2 a = pos[size_t(k[0])], b = pos[size_t(k[1])], c = pos[size_t(k[2])];
    const double twice = Cross2(a, b, c) * sign;
    EXPECT_GE(twice, 0) << "triangle " << i << " faces away";
    area += std::fabs(twice) / 2;
    V2 m{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
    if (twice > 1e-12) {
      EXPECT_TRUE(Inside(outer, m) && (hole.empty() || !Inside(hole, m))) << "triangle " << i << " outside";
    }
  }
  const double want = std::fabs(Area2(outer)) - std::fabs(Area2(hole));
  EXPECT_NEAR(area, want, rel * want);
}

// ------------------------------------------------------------------------

TEST(TriangulateBasics, QuadFanTrianglesAndFlags) {
  Db t;
  int quad = t.Flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, 1, 0), ERR_PARAM);
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, -1, 0), ERR_PARAM);
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, quad, TRI_KEEP_QUADS), 0);
  EXPECT_EQ(t.o.GetPolygonCount(t.db), 1);
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, quad, TRI_KEEP_CONVEX), 0);
  EXPECT_EQ(t.o.GetPolygonCount(t.db), 1);
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, quad, 0), 0);
  ASSERT_EQ(t.o.GetPolygonCount(t.db), 2);
  EXPECT_EQ(t.Corners(1), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(t.Corners(0), (std::vector<int32_t>{0, 2, 3}));
  // A triangle is left alone.
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, 1, 0), 0);
  EXPECT_EQ(t.Corners(1), (std::vector<int32_t>{0, 1, 2}));
}

TEST(TriangulateBasics, RepeatedCornersGoFirstEvenWithKeepQuads) {
  Db t;
  // Five corners, the last repeating the first at another point index.
  t.Flat({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}});
  ObjPolygon* p = t.o.GetPolygon(t.db, 0);
  p->colors = {10, 11, 12, 13, 14};
  EXPECT_EQ(t.o.TriangulatePolygons(t.db, TRI_KEEP_QUADS), 0);
  ASSERT_EQ(t.o.GetPolygonCount(t.db), 2);
  EXPECT_EQ(t.Corners(1), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(t.Corners(0), (std::vector<int32_t>{0, 2, 3}));
  EXPECT_EQ(t.o.GetPolygon(t.db, 0)->colors, (std::vector<int32_t>{10, 12, 13}));

  // Everything at one spot: reduced to one corner, nothing appended.
  Db u;
  u.Flat({{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}});
  EXPECT_EQ(u.o.TriangulatePolygons(u.db, 0), 0);
  EXPECT_EQ(u.o.GetPolygonCount(u.db), 1);
  EXPECT_EQ(u.o.GetPolygon(u.db, 0)->vertexCount, 1);
}

// Shapes the fan would get wrong, and the fan's own special cases.
TEST(TriangulateShapes, ConcaveBridgeCrossingCollinearAndVertical) {
  // Corner 0 reflex; corner 0 mid-way along a straight edge (three-point
  // normal zero); a comb with collinear corners. Each in the XY plane and in
  // the XZ plane facing -Y and +Y.
  const std::vector<std::vector<V2>> outlines = {
      {{2, 1}, {4, 0}, {4, 4}, {0, 4}, {0, 0}},
      {{2, 0}, {4, 0}, {4, 4}, {3, 4}, {3, 1}, {1, 1}, {1, 4}, {0, 4}, {0, 0}},
      {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}},
  };
  for (size_t s = 0; s < outlines.size(); ++s)
    for (int plane = 0; plane < 3; ++plane) {
      SCOPED_TRACE("outline " + std::to_string(s) + " plane " + std::to_string(plane));
      std::vector<V2> outline = outlines[s];
      if (plane == 2) std::reverse(outline.begin() + 1, outline.end());
      std::vector<std::array<double, 3>> p3;
      for (auto& v : outline) p3.push_back(plane == 0 ? std::array<double, 3>{v.x, v.y, 0} : std::array<double, 3>{v.x, 0, v.y});
      Db t;
      t.Polygon(p3);
      t.o.TriangulatePolygons(t.db, 0);
      CheckCover(t, outline, outline);
    }

  // Holes joined by a bridge, starting the outline at every corner (so the
  // bridge is also the closing edge). The second hole meets its bridge at a
  // sharp corner, where a plain sideways shift would cross the hole's edge.
  struct Bridged {
    std::vector<V2> outer, hole;  // outer counter-clockwise, hole clockwise; bridge from corner 0 to 0
  };
  const Bridged bridged[] = {
      {{{0, 0}, {4, 0}, {4, 4}, {0, 4}}, {{1, 1}, {1, 3}, {3, 3}, {3, 1}}},
      {{{4, 0}, {2, 3.5}, {-2, 3.5}, {-4, 0}, {-2, -3.5}, {2, -3.5}}, {{-0.75, 1.25}, {0.75, 0.5}, {-0.75, -0.5}}},
  };
  for (const Bridged& g : bridged) {
    std::vector<V2> pos = g.outer;
    pos.insert(pos.end(), g.hole.begin(), g.hole.end());
    std::vector<int32_t> ring;
    const int no = int(g.outer.size()), nh = int(g.hole.size());
    for (int i = 0; i <= no; ++i) ring.push_back(i % no);
    for (int i = 0; i <= nh; ++i) ring.push_back(no + i % nh);
    for (size_t start = 0; start < ring.size(); ++start) {
      SCOPED_TRACE("bridged outline from corner " + std::to_string(start));
      Db h;
      for (V2 v : pos) h.o.AddPoint(h.db, v.x, v.y, 0);
      std::rotate(ring.begin(), ring.begin() + 1, ring.end());
      h.o.AddPolygon(h.db, int(ring.size()), ring.data(), nullptr);
      h.o.TriangulatePolygons(h.db, 0);
      CheckCover(h, pos, g.outer, g.hole, 1e-6);
    }
  }

  // A bow-tie is fanned; so is a polygon whose corners lie on one line.
  Db b;
  b.Flat({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
  b.Flat({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
  b.o.TriangulatePolygons(b.db, 0);
  ASSERT_EQ(b.o.GetPolygonCount(b.db), 4);
  EXPECT_EQ(b.Corners(0), (std::vector<int32_t>{0, 2, 3}));
  EXPECT_EQ(b.Corners(2), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(b.Corners(1), (std::vector<int32_t>{4, 6, 7}));
  EXPECT_EQ(b.Corners(3), (std::vector<int32_t>{4, 5, 6}));
  // With TRI_KEEP_CONVEX the bow-tie stays whole.
  Db k;
  k.Flat({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
  k.o.TriangulatePolygons(k.db, TRI_KEEP_CONVEX);
  EXPECT_EQ(k.o.GetPolygonCount(k.db), 1);
}

// Random simple polygons in random planes, both windings: n - 2 triangles of
// original corners that cover the polygon exactly, lie inside it, face its
// way and carry their corners' values.
TEST(TriangulateProperty, RandomSimplePolygons) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 1000; ++trial) {
    const bool star = trial % 2 == 0;
    const int n = 4 + int(rng() % 57);
    std::vector<V2> outline = RandomSimplePolygon(rng, n, star);
    if (trial % 4 >= 2) std::reverse(outline.begin(), outline.end());
    // Placed in a random plane: orthonormal axes x, y (y = x cross r), a
    // scale and an offset.
    double x[3] = {u(rng), u(rng), u(rng)}, r[3] = {u(rng), u(rng), u(rng)};
    double y[3] = {x[1] * r[2] - x[2] * r[1], x[2] * r[0] - x[0] * r[2], x[0] * r[1] - x[1] * r[0]};
    const double lx = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    const double ly = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
    const double scale = std::pow(10.0, u(rng) * 2), off[3] = {u(rng) * 5, u(rng) * 5, u(rng) * 5};
    SCOPED_TRACE("trial " + std::to_string(trial) + " n " + std::to_string(n));
    Db t;
    std::vector<std::array<double, 3>> p3;
    for (auto& v : outline) {
      p3.emplace_back();
      for (int i = 0; i < 3; ++i) p3.back()[size_t(i)] = off[i] + scale * (v.x * x[i] / lx + v.y * y[i] / ly);
    }
    t.Polygon(p3);
    std::vector<int32_t> values(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) values[size_t(i)] = 1000 + i;
    t.o.GetPolygon(t.db, 0)->colors = values;
    t.o.SelectPolygonChannel(t.db, 0, 1, 0);
    t.o.SetPolygonChannelValues(t.db, 0, n, values.data());

    ASSERT_EQ(t.o.TriangulatePolygons(t.db, 0), 0);
    ASSERT_EQ(t.o.GetPolygonCount(t.db), n - 2);
    std::set<std::vector<int32_t>> seen;
    for (int i = 0; i < n - 2; ++i) {
      ObjPolygon* p = t.o.GetPolygon(t.db, i);
      ASSERT_EQ(p->vertexCount, 3);
      ASSERT_TRUE(p->currentChannel);
      for (int c = 0; c < 3; ++c) {
        ASSERT_TRUE(p->points[size_t(c)] >= 0 && p->points[size_t(c)] < n);
        EXPECT_EQ(p->colors[size_t(c)], 1000 + p->points[size_t(c)]);
        EXPECT_EQ(p->currentChannel->values[size_t(c)], 1000 + p->points[size_t(c)]);
      }
      auto key = p->points;
      std::sort(key.begin(), key.end());
      EXPECT_TRUE(seen.insert(key).second) << "repeated triangle";
    }
    CheckCover(t, outline, outline);
  }
}

TEST(TriangulateValues, TagsChannelsAndVMadsFollowTheirCorners) {
  Db t;
  t.o.AddSurface(t.db, "skin");
  // A triangle, then the quad that is cut.
  t.Flat({{5, 5}, {6, 5}, {6, 6}}, "skin");
  t.Flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, "skin");
  t.o.SetPolygonTag(t.db, 1, ID_PART, "arm");
  // Two texture layers; the first is the current one.
  t.o.SelectPolygonChannel(t.db, 1, 1, 0);
  t.o.SelectPolygonChannel(t.db, 1, 1, 1);
  t.o.SelectPolygonChannel(t.db, 1, 1, 0);
  int uv = t.o.AddVMad(t.db, ID_TXUV, "uv", 2);
  for (int c = 0; c < 4; ++c) {
    float v[2] = {float(c), 0.5f};
    t.o.SetVMadValue(t.db, uv, 3 + c, 1, v);
  }
  // A map of another polygon type: its entry for polygon 1 must not move.
  t.o.BeginPolygonType(t.db, ID_PTCH);
  for (int i = 0; i < 2; ++i) t.o.AddPolygon(t.db, 3, std::vector<int32_t>{3, 4, 5}.data(), nullptr);
  int patch = t.o.AddVMad(t.db, ID_TXUV, "patch", 2);
  float pv[2] = {9, 9};
  t.o.SetVMadValue(t.db, patch, 3, 1, pv);
  t.o.BeginPolygonType(t.db, ID_FACE);

  EXPECT_EQ(t.o.TriangulatePolygons(t.db, 0), 0);
  ASSERT_EQ(t.o.GetPolygonCount(t.db), 3);
  EXPECT_EQ(t.Corners(2), (std::vector<int32_t>{3, 4, 5}));
  EXPECT_EQ(t.Corners(1), (std::vector<int32_t>{3, 5, 6}));
  ObjVMad* map = t.o.FindVMad(t.db, ID_TXUV, "uv");
  for (int poly : {1, 2}) {
    ObjPolygon* p = t.o.GetPolygon(t.db, poly);
    EXPECT_STREQ(p->surfaceName, "skin");
    PolygonTagTable* part = t.o.FindPolygonTagTable(t.db, nullptr, poly, ID_PART);
    ASSERT_TRUE(part);
    EXPECT_STREQ(t.o.GetPolygonTag(t.db, part, poly)->name, "arm");
    ASSERT_TRUE(p->currentChannel);
    EXPECT_EQ(p->currentChannel->key, 1);
    EXPECT_EQ(p->currentChannel->key2, 0);
    EXPECT_EQ(p->channels.size(), 2u);
    for (int c = 0; c < 3; ++c) {
      const float* v = t.o.GetVMadValue(t.db, map, p->points[size_t(c)], poly);
      ASSERT_TRUE(v) << "polygon " << poly << " corner " << c;
      EXPECT_EQ(v[0], float(p->points[size_t(c)] - 3));
    }
  }
  // Point 4 left polygon 1 entirely, so its value moved rather than copied.
  EXPECT_FALSE(t.o.GetVMadValue(t.db, map, 4, 1));
  EXPECT_FALSE(t.o.GetVMadValue(t.db, map, 6, 2));
  EXPECT_EQ(FindInconsistency(t.db), "");
  t.o.BeginPolygonType(t.db, ID_PTCH);
  const float* kept = t.o.GetVMadValue(t.db, t.o.FindVMad(t.db, ID_TXUV, "patch"), 3, 1);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept[0], 9);
  EXPECT_FALSE(t.o.GetVMadValue(t.db, t.o.FindVMad(t.db, ID_TXUV, "patch"), 3, 2));
}

// Polygons of every kind the aside triangles must describe: surfaces of
// either id, none at all; with and without
// per-corner normals; current channel the second of two, or none.
void FillForAside(Db& t) {
  t.o.AddSurface(t.db, "base");
  t.o.AddSurface(t.db, "skin");
  t.Flat({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, "skin");
  t.Flat({{2, 0}, {4, 0}, {4, 2}, {3, 1}, {2, 2}}, "base");  // concave
  t.Flat({{5, 0}, {6, 0}, {6, 1}, {5.5, 1.5}, {5, 1}});
  t.Flat({{7, 0}, {8, 0}, {8, 1}}, "skin");
  for (int i = 0; i < 5; ++i) t.o.AddNormal(t.db, 0, 0, 1);
  const int32_t normals[5] = {4, 3, 2, 1, 0};
  t.o.SetPolygonNormals(t.db, 1, 5, normals);
  for (int poly : {0, 1}) {
    t.o.SelectPolygonChannel(t.db, poly, 1, 0);
    const int32_t first[5] = {10, 11, 12, 13, 14};
    t.o.SetPolygonChannelValues(t.db, poly, t.o.GetPolygon(t.db, poly)->vertexCount, first);
    t.o.SelectPolygonChannel(t.db, poly, 1, 1);
    const int32_t second[5] = {20, 21, 22, 23, 24};
    t.o.SetPolygonChannelValues(t.db, poly, t.o.GetPolygon(t.db, poly)->vertexCount, second);
  }
}

// A part whose polygons lose corners (repeats, here) adds fewer triangles
// than it has room for; the parts after it close up behind it.
TEST(TriangulateValues, AsideTrianglesInPartsCloseUpBehindAPartThatAddsFewer) {
  auto fill = [](Db& t) {
    t.o.AddSurface(t.db, "base");
    t.Flat({{0, 0}, {1, 0}, {1, 0}, {1, 1}, {1, 1}, {0, 1}}, "base");  // two repeats: a quad
    t.Flat({{2, 0}, {3, 0}, {3, 1}, {2.5, 1.5}, {2, 1}}, "base");
    t.Flat({{4, 0}, {5, 0}, {5, 1}, {4, 1}}, "base");
    t.Flat({{6, 0}, {7, 0}, {7, 1}, {6.5, 1.5}, {6, 1}}, "base");
  };
  Db whole, split;
  fill(whole);
  fill(split);
  AsideTriangles one, parts;
  ASSERT_EQ(TriangulatePolygonsAside(whole.db, 0, &one), 0);
  {
    ParallelLimitsScope limits(1, 4);
    ASSERT_EQ(TriangulatePolygonsAside(split.db, 0, &parts), 0);
  }
  ASSERT_EQ(one.Count(), 6u);  // 1 + 2 + 1 + 2
  EXPECT_EQ(parts.surfaceIds, one.surfaceIds);
  EXPECT_EQ(parts.points, one.points);
  EXPECT_EQ(parts.normals, one.normals);
  EXPECT_EQ(parts.channel, one.channel);
  for (int i = 0; i < whole.o.GetPolygonCount(whole.db); ++i) {
    EXPECT_EQ(std::vector<int32_t>(whole.o.GetPolygon(whole.db, i)->points),
              std::vector<int32_t>(split.o.GetPolygon(split.db, i)->points))
        << i;
  }

  // Without normals kept, in one pass or in parts, the other lists are the
  // same and the normals stay empty.
  for (unsigned partCount : {1u, 4u}) {
    SCOPED_TRACE(partCount);
    Db bare;
    fill(bare);
    AsideTriangles noNormals;
    noNormals.keepNormals = false;
    ParallelLimitsScope limits(1, partCount);
    ASSERT_EQ(TriangulatePolygonsAside(bare.db, 0, &noNormals), 0);
    EXPECT_TRUE(noNormals.normals.empty());
    EXPECT_EQ(noNormals.surfaceIds, one.surfaceIds);
    EXPECT_EQ(noNormals.points, one.points);
    EXPECT_EQ(noNormals.channel, one.channel);
  }
}

TEST(TriangulateValues, AsideTrianglesReadAsTheAppendedRecords) {
  Db appended, aside;
  FillForAside(appended);
  FillForAside(aside);
  const int count = appended.o.GetPolygonCount(appended.db);
  ASSERT_EQ(appended.o.TriangulatePolygons(appended.db, 0), 0);
  AsideTriangles set;
  ASSERT_EQ(TriangulatePolygonsAside(aside.db, 0, &set), 0);
  ASSERT_EQ(aside.o.GetPolygonCount(aside.db), count);
  ASSERT_EQ(int(set.Count()), appended.o.GetPolygonCount(appended.db) - count);
  ASSERT_EQ(set.points.size(), 3 * set.Count());
  ASSERT_EQ(set.normals.size(), 3 * set.Count());
  ASSERT_EQ(set.channel.size(), 3 * set.Count());
  for (int i = 0; i < count; ++i) {
    const ObjPolygon* a = appended.o.GetPolygon(appended.db, i);
    const ObjPolygon* b = aside.o.GetPolygon(aside.db, i);
    EXPECT_EQ(std::vector<int32_t>(a->points), std::vector<int32_t>(b->points)) << i;
    EXPECT_EQ(std::vector<int32_t>(a->normals), std::vector<int32_t>(b->normals)) << i;
  }
  for (size_t t = 0; t < set.Count(); ++t) {
    SCOPED_TRACE(t);
    const ObjPolygon* p = appended.o.GetPolygon(appended.db, count + int(t));
    EXPECT_EQ(set.surfaceIds[t], p->surfaceId);
    for (size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(set.points[3 * t + c], p->points[c]);
      EXPECT_EQ(set.normals[3 * t + c], p->normals.empty() ? -1 : p->normals[c]);
      EXPECT_EQ(set.channel[3 * t + c], p->currentChannel ? p->currentChannel->values[c] : -1);
    }
  }
  // What was asked of the aside set was there to ask: a surface id other
  // than 0, per-corner normals and current-channel values.
  EXPECT_NE(std::count(set.surfaceIds.begin(), set.surfaceIds.end(), 1), 0);
  EXPECT_NE(std::count(set.normals.begin(), set.normals.end(), -1), std::ptrdiff_t(set.normals.size()));
  EXPECT_NE(std::count(set.channel.begin(), set.channel.end(), 21), 0);
  EXPECT_EQ(TriangulatePolygonsAside(aside.db, 0, nullptr), ERR_PARAM);
  EXPECT_EQ(FindInconsistency(aside.db), "");

  // Cut in parts on threads of their own, the polygons and the set come out
  // as one pass leaves them.
  Db split;
  FillForAside(split);
  AsideTriangles splitSet;
  {
    ParallelLimitsScope limits(1, 3);
    ASSERT_EQ(TriangulatePolygonsAside(split.db, 0, &splitSet), 0);
  }
  EXPECT_EQ(splitSet.surfaceIds, set.surfaceIds);
  EXPECT_EQ(splitSet.points, set.points);
  EXPECT_EQ(splitSet.normals, set.normals);
  EXPECT_EQ(splitSet.channel, set.channel);
  ASSERT_EQ(split.o.GetPolygonCount(split.db), count);
  for (int i = 0; i < count; ++i) {
    const ObjPolygon* a = aside.o.GetPolygon(aside.db, i);
    const ObjPolygon* b = split.o.GetPolygon(split.db, i);
    EXPECT_EQ(std::vector<int32_t>(a->points), std::vector<int32_t>(b->points)) << i;
    EXPECT_EQ(std::vector<int32_t>(a->normals), std::vector<int32_t>(b->normals)) << i;
  }
}

// Degenerate and hostile outlines must neither crash nor leave bad indices.
TEST(TriangulateHostile, DegenerateOutlinesStayConsistent) {
  const double nan = std::nan("");
  const std::vector<std::vector<std::array<double, 3>>> shapes = {
      {{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}, {0, 1, 0}, {0.5, 0.5, 0}},
      {{0, 0, 0}, {1e300, 0, 0}, {1e300, 1e300, 0}, {0, 1, 0}, {0.5, 0.2, 0}},
      {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 1, 0}},  // back and forth
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 1e-9}, {2, 1, 0}, {1, 1e-9, 0}, {0, 1, 0}},
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 0}, {0.2, 0.9, 0.3}},  // not planar
  };
  for (size_t s = 0; s < shapes.size(); ++s) {
    SCOPED_TRACE(s);
    Db t;
    t.Polygon(shapes[s]);
    t.o.TriangulatePolygons(t.db, 0);
    EXPECT_EQ(FindInconsistency(t.db), "");
  }
  // A spike and a zero-length bridge: corners that reuse point indices.
  Db r;
  for (V2 v : std::vector<V2>{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 2}}) r.o.AddPoint(r.db, v.x, v.y, 0);
  std::vector<int32_t> spike = {0, 1, 4, 1, 2, 3, 4, 3};
  r.o.AddPolygon(r.db, int(spike.size()), spike.data(), nullptr);
  r.o.TriangulatePolygons(r.db, 0);
  EXPECT_EQ(FindInconsistency(r.db), "");
  // Out-of-range point index: the polygon is left alone.
  ObjPolygon* p = r.o.GetPolygon(r.db, 0);
  p->points = {0, 1, 2, 99};
  p->vertexCount = 4;
  p->normals.clear();
  p->colors.clear();
  p->channels.clear();
  const int before = r.o.GetPolygonCount(r.db);
  EXPECT_EQ(r.o.TriangulatePolygon(r.db, 0, 0), 0);
  EXPECT_EQ(r.o.GetPolygonCount(r.db), before);
}

// Four-cornered polygons cut without a log take a shorter road than the
// traced sweep; both must give the same triangles, whatever the outline.
TEST(TriangulateShapes, QuadsCutAsTheTracedSweepCutsThem) {
  const double nan = std::nan("");
  std::vector<std::vector<std::array<double, 3>>> quads = {
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},        // convex
      {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}},        // clockwise
      {{0, 0, 0}, {2, 0, 0}, {1, 0.3, 0}, {1, 2, 0}},      // dart: one reflex corner
      {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}},        // bow tie
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}},        // collinear corners
      {{0, 0, 0}, {1, 0, 0.4}, {1, 1, 0}, {0, 1, 0.4}},    // not planar
      {{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}, {0, 1, 0}},      // not finite
      {{0, 0, 0}, {1e300, 0, 0}, {1e300, 1e300, 0}, {0, 1, 0}},
      {{0, 0, 0}, {1, 0, 0}, {1, 1e-9, 0}, {0, 1, 0}},     // nearly repeated corner
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> at(-1, 1);
  for (int i = 0; i < 200; ++i) {
    std::vector<std::array<double, 3>> q(4);
    for (auto& c : q) c = {at(random), at(random), at(random) * 0.2};
    quads.push_back(q);
  }
  // Point indices repeated out of turn (a bridge), and two points at one place.
  const std::vector<std::vector<int32_t>> shared = {{0, 1, 0, 2}, {0, 1, 2, 1}, {0, 1, 2, 3}};
  auto cut = [&](bool traced, std::vector<int32_t>* out) {
    Db t;
    FILE* log = traced ? tmpfile() : nullptr;
    ASSERT_TRUE(log || !traced);
    t.db->logFile = log;
    for (auto& q : quads) t.Polygon(q);
    const int first = t.o.GetPointCount(t.db);
    for (V2 v : std::vector<V2>{{0, 0}, {1, 0}, {1, 1}, {1, 1}}) t.o.AddPoint(t.db, v.x, v.y, 0);
    for (auto idx : shared) {
      for (int32_t& k : idx) k += first;
      t.o.AddPolygon(t.db, 4, idx.data(), nullptr);
    }
    t.o.TriangulatePolygons(t.db, 0);
    t.db->logFile = nullptr;
    if (log) fclose(log);
    EXPECT_EQ(FindInconsistency(t.db), "");
    for (int i = 0; i < t.o.GetPolygonCount(t.db); ++i) {
      const ObjPolygon* p = t.o.GetPolygon(t.db, i);
      out->push_back(-1);
      out->insert(out->end(), p->points.begin(), p->points.end());
    }
  };
  std::vector<int32_t> traced, quick;
  cut(true, &traced);
  cut(false, &quick);
  EXPECT_EQ(quick, traced);
}

// The trace goes to the log file; a long concave outline stays fast.
TEST(TriangulateHostile, TraceAndLargeConcavePolygon) {
  Db logged;
  FILE* log = tmpfile();
  ASSERT_TRUE(log);
  logged.db->logFile = log;
  logged.Flat({{0, 0}, {4, 0}, {4, 4}, {2, 1}, {0, 4}});
  EXPECT_EQ(logged.o.TriangulatePolygon(logged.db, 0, 0), 0);
  logged.db->logFile = nullptr;
  EXPECT_GT(ftell(log), 0);
  fclose(log);
  EXPECT_EQ(logged.o.GetPolygonCount(logged.db), 3);

  // A comb: flat bottom, 499 teeth along the top (the valleys are merge
  // corners), 1001 corners in all.
  Db t;
  const int teeth = 499;
  std::vector<V2> comb = {{0, 0}, {double(teeth), 0}};
  for (int i = teeth; i >= 1; --i) {
    comb.push_back({double(i), 3 + 0.5 * std::sin(i * 0.7)});
    comb.push_back({i - 0.5, 1 + 0.5 * std::cos(i * 1.3)});
  }
  comb.push_back({0, 3});
  t.Flat(comb);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(t.o.TriangulatePolygon(t.db, 0, 0), 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);  // generous under sanitizers
  EXPECT_EQ(t.o.GetPolygonCount(t.db), int(comb.size()) - 2);
  CheckCover(t, comb, comb);
}

// Every FACE polygon of the corpus objects is cut, and what it became adds
// up: n distinct corners give n - 2 triangles less the degenerate ones.
TEST(TriangulateCorpus, EveryFacePolygonIsCutAndCountsAddUp) {
  int files = 0;
  for (auto& path : FilesUnder(CorpusPath("lwo2"), ".lwo")) {
    auto bytes = ReadFileBytes(path);
    if (bytes.size() < 12 || memcmp(bytes.data() + 8, "LWO2", 4) != 0) continue;
    ObjectDb* db = OpenObjectDb(path.c_str(), nullptr);
    if (!db) continue;
    ++files;
    for (int layer = 0; layer < db->ops.GetLayerCount(db); ++layer) {
      db->ops.SelectLayer(db, layer);
      TriangulateCounts counts;
      EXPECT_EQ(TriangulatePolygonsCounted(db, 0, &counts), 0) << path;
      EXPECT_EQ(counts.leftWhole, 0) << path;
      EXPECT_EQ(counts.triangles + counts.dropped, counts.expected) << path;
    }
    EXPECT_EQ(FindInconsistency(db), "") << path;
    CloseObjectDb(&db);
  }
  if (files == 0) GTEST_SKIP() << "no LWO2 corpus";
}

}  // namespace

// Boundary edges of a surface group against a plain counting reference:
// random triangle sets (shared, repeated and degenerate edges) and a large
// fan whose centre every edge shares.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "viewer_model.h"

namespace {

// Edges used by exactly one triangle, in the order first met, smaller first.
std::vector<int32_t> Reference(const std::vector<int32_t>& points) {
  std::map<std::pair<int32_t, int32_t>, int> uses;
  auto edge = [&](size_t e) {
    const int32_t a = points[e], b = points[e % 3 == 2 ? e - 2 : e + 1];
    return std::make_pair(std::min(a, b), std::max(a, b));
  };
  for (size_t e = 0; e < points.size(); ++e) ++uses[edge(e)];
  std::vector<int32_t> out;
  for (size_t e = 0; e < points.size(); ++e)
    if (uses[edge(e)] == 1) {
      out.push_back(edge(e).first);
      out.push_back(edge(e).second);
    }
  return out;
}

std::vector<int32_t> Boundary(const std::vector<int32_t>& points) {
  ViewerModel model;
  SurfaceGroup group;
  group.points = points;
  group.triangleCount = int32_t(points.size() / 3);
  BuildSurfaceEdges(&model, &group);
  EXPECT_TRUE(group.edgesBuilt);
  EXPECT_EQ(size_t(group.boundaryEdgeCount) * 2, group.boundaryEdges.size());
  return group.boundaryEdges;
}

TEST(SurfaceEdges, MatchCountingReferenceOnRandomTriangles) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const int pointCount = 3 + round;
    std::uniform_int_distribution<int32_t> pick(0, pointCount - 1);
    std::vector<int32_t> points;
    const int triangles = 1 + round * 3;
    for (int t = 0; t < triangles * 3; ++t) points.push_back(pick(random));
    EXPECT_EQ(Boundary(points), Reference(points)) << round;
  }
  EXPECT_TRUE(Boundary({}).empty());
}

// Triangles that all hold point 0 over a few other points: point 0's bucket
// grows by two edges a triangle, through the sizes that are matched pair by
// pair and on to those that are sorted, with edges used once, twice and
// more often.
TEST(SurfaceEdges, MatchCountingReferenceAsOneBucketGrows) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> pick(1, 12);
  for (int triangles = 1; triangles <= 40; ++triangles) {
    std::vector<int32_t> points;
    for (int t = 0; t < triangles; ++t) points.insert(points.end(), {0, pick(random), pick(random)});
    EXPECT_EQ(Boundary(points), Reference(points)) << triangles;
  }
}

// A closed fan (every edge shared) and an open one: the centre's bucket
// holds every spoke.
TEST(SurfaceEdges, LargeFanAroundOnePoint) {
  const int32_t spokes = 200000;
  std::vector<int32_t> closed, open;
  for (int32_t i = 0; i < spokes; ++i) {
    closed.insert(closed.end(), {0, 1 + i, 1 + (i + 1) % spokes});
    if (i + 1 < spokes) open.insert(open.end(), {0, 1 + i, 2 + i});
  }
  const std::vector<int32_t> closedEdges = Boundary(closed);
  EXPECT_EQ(closedEdges, Reference(closed));
  EXPECT_EQ(closedEdges.size(), size_t(spokes) * 2);  // the rim
  const std::vector<int32_t> openEdges = Boundary(open);
  EXPECT_EQ(openEdges, Reference(open));
  EXPECT_EQ(openEdges.size(), size_t(spokes + 1) * 2);  // rim and the two end spokes
}

}  // namespace

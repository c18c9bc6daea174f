// Spheres built straight into ViewerModels, for renderer tests and the
// benchmark: slices x stacks quads split into triangles (fans at the poles),
// 2 * slices * (stacks - 1) triangles in one surface group.
#pragma once

#include <cmath>
#include <vector>

#include "viewer_model.h"

struct SphereOptions {
  int slices = 24;
  int stacks = 12;
  float radius = 15;
  float color[3] = {1, 1, 1};
  // One normal per corner (normal indices unlike point indices) instead of
  // one per point.
  bool normalPerCorner = false;
};

inline ViewerModel MakeSphereModel(const SphereOptions& o) {
  const double pi = 3.14159265358979323846;
  ViewerModel m;
  std::vector<float> unit;  // unit normals per point
  auto add = [&](double x, double y, double z) {
    unit.insert(unit.end(), {float(x), float(y), float(z)});
    m.vertices.insert(m.vertices.end(), {float(x * o.radius), float(y * o.radius), float(z * o.radius)});
    return int32_t(m.vertices.size() / 3 - 1);
  };
  const int32_t top = add(0, 1, 0), bottom = add(0, -1, 0);
  auto ring = [&](int s, int k) { return int32_t(2 + (s - 1) * o.slices + (k % o.slices)); };
  for (int s = 1; s < o.stacks; ++s)
    for (int k = 0; k < o.slices; ++k) {
      const double theta = pi * s / o.stacks, phi = 2 * pi * k / o.slices;
      add(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
    }
  SurfaceGroup g;
  auto tri = [&](int32_t a, int32_t b, int32_t c) { g.points.insert(g.points.end(), {a, b, c}); };
  for (int k = 0; k < o.slices; ++k) {
    tri(top, ring(1, k), ring(1, k + 1));
    for (int s = 1; s + 1 < o.stacks; ++s) {
      tri(ring(s, k), ring(s + 1, k), ring(s + 1, k + 1));
      tri(ring(s, k), ring(s + 1, k + 1), ring(s, k + 1));
    }
    tri(bottom, ring(o.stacks - 1, k + 1), ring(o.stacks - 1, k));
  }
  g.triangleCount = g.capacity = int32_t(g.points.size() / 3);
  if (o.normalPerCorner) {
    for (size_t c = 0; c < g.points.size(); ++c) {
      const size_t p = size_t(g.points[c]);
      m.normals.insert(m.normals.end(), {unit[p * 3], unit[p * 3 + 1], unit[p * 3 + 2]});
      g.normals.push_back(int32_t(c));
    }
  } else {
    m.normals = unit;
    g.normals = g.points;
  }
  g.faceNormals.assign(g.points.size(), 0.0f);
  g.scratch.assign(size_t(g.triangleCount), 0.0f);
  for (int i = 0; i < 3; ++i) g.color[i] = o.color[i];
  m.vertexCount = int32_t(m.vertices.size() / 3);
  m.normalCount = int32_t(m.normals.size() / 3);
  m.normalScratchA.assign(size_t(m.normalCount), 0.0f);
  m.normalScratchB.assign(size_t(m.normalCount), 0.0f);
  m.triangleCount = g.triangleCount;
  m.radius = o.radius;
  m.groups.push_back(std::move(g));
  return m;
}

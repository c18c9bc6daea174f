#include "toon.h"

#include <cstddef>

ToonVectors ComputeToonVectors(const Mat4& modelView, Vec3 lightEye) {
  Mat4 inverse;
  if (!Invert(modelView, &inverse)) return {};
  ToonVectors v;
  v.light = TransformPoint(lightEye, inverse);
  v.view = TransformDirection({0, 0, 1}, inverse);
  v.view = Normalise(v.view);
  v.light = Normalise(v.light);
  return v;
}

void ComputeToonLevels(const float* normals, int count, Vec3 direction, float* levels) {
  for (int i = 0; i < count; ++i) {
    const float* n = normals + std::size_t(i) * 3;
    float d = direction.x * n[0] + direction.y * n[1] + direction.z * n[2];
    levels[i] = d > 0 ? (d < 1 ? d : 1) : 0;  // NaN gives 0
  }
}

Vec3 ToonHalfVector(const ToonVectors& v) { return Normalise(v.light + v.view); }

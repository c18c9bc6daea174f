#include "viewer_math.h"

#include <cmath>
#include <utility>

float Length(Vec3 v) { return std::sqrt(Dot(v, v)); }

Vec3 Normalise(Vec3 v) {
  float len = Length(v);
  if (!(len > 0)) return v;
  Vec3 n{v.x / len, v.y / len, v.z / len};
  if (n.x > 1) n.x = 1;
  if (n.y > 1) n.y = 1;
  if (n.z > 1) n.z = 1;
  return n;
}

Mat4 Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat4 Multiply(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a[size_t(i * 4 + k)] * b[size_t(k * 4 + j)];
      r[size_t(i * 4 + j)] = s;
    }
  return r;
}

bool Invert(const Mat4& m, Mat4* out) {
  double a[4][8];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m[size_t(i * 4 + j)];
      a[i][j + 4] = i == j ? 1 : 0;
    }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (a[pivot][col] == 0) return false;
    if (pivot != col) std::swap(a[pivot], a[col]);
    const double p = a[col][col];
    for (int j = 0; j < 8; ++j) a[col][j] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0) continue;
      const double f = a[r][col];
      for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
    }
  }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) (*out)[size_t(i * 4 + j)] = float(a[i][j + 4]);
  return true;
}

Vec3 TransformPoint(Vec3 v, const Mat4& m) {
  return {v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12], v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13],
          v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14]};
}

Vec3 TransformDirection(Vec3 v, const Mat4& m) {
  return {v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
          v.x * m[2] + v.y * m[6] + v.z * m[10]};
}

Mat4 RotationX(float degrees) { return MatrixFromQuaternion(QuaternionFromAxisAngle({1, 0, 0}, degrees)); }
Mat4 RotationY(float degrees) { return MatrixFromQuaternion(QuaternionFromAxisAngle({0, 1, 0}, degrees)); }
Mat4 RotationZ(float degrees) { return MatrixFromQuaternion(QuaternionFromAxisAngle({0, 0, 1}, degrees)); }

Quaternion QuaternionFromAxisAngle(Vec3 axis, float degrees) {
  const double half = degrees * kDegToRad * 0.5;
  const float s = float(std::sin(half));
  return {axis.x * s, axis.y * s, axis.z * s, float(std::cos(half))};
}

Mat4 MatrixFromQuaternion(const Quaternion& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  // The transpose of the usual column-vector form, for row vectors.
  return {1 - 2 * (y * y + z * z), 2 * (x * y + w * z),     2 * (x * z - w * y),     0,
          2 * (x * y - w * z),     1 - 2 * (x * x + z * z), 2 * (y * z + w * x),     0,
          2 * (x * z + w * y),     2 * (y * z - w * x),     1 - 2 * (x * x + y * y), 0,
          0,                       0,                       0,                       1};
}

float WrapDegrees(float degrees) {
  if (degrees >= 0 && degrees <= 360) return degrees;
  if (!std::isfinite(degrees)) return 0;
  float r = std::fmod(degrees, 360.0f);
  if (r < 0) r += 360;
  return r;
}

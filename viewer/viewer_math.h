// Vector and matrix helpers of the viewer.
//
// Matrices are 4 x 4 floats applied to row vectors (v' = v * M, translation
// in the fourth row). Stored row by row, that is exactly OpenGL's
// column-major layout, so a matrix read with glGetFloatv is used as is.
#pragma once

#include <array>

constexpr double kDegToRad = 0.017453292519943295;

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Length(Vec3 v);
// Divides by the length when it is above 0 and clamps components that come
// out above 1 to 1; a zero-length vector is returned unchanged.
Vec3 Normalise(Vec3 v);

using Mat4 = std::array<float, 16>;

Mat4 Identity();
// a then b: v * (a * b) == (v * a) * b.
Mat4 Multiply(const Mat4& a, const Mat4& b);
// Gauss-Jordan elimination with partial pivoting; false (out untouched) for
// a singular matrix.
bool Invert(const Mat4& m, Mat4* out);
Vec3 TransformPoint(Vec3 v, const Mat4& m);      // w = 1, translation applied
Vec3 TransformDirection(Vec3 v, const Mat4& m);  // w = 0

// Right-handed rotations by an angle in degrees, as glRotatef makes them.
Mat4 RotationX(float degrees);
Mat4 RotationY(float degrees);
Mat4 RotationZ(float degrees);

struct Quaternion {
  float x = 0, y = 0, z = 0, w = 1;
};
// The unit quaternion (axis * sin(a/2), cos(a/2)); the axis is used as given.
Quaternion QuaternionFromAxisAngle(Vec3 axis, float degrees);
Mat4 MatrixFromQuaternion(const Quaternion& q);

// An angle in degrees brought into [0, 360]. Values already inside are kept
// (360 stays 360); anything outside is reduced with a remainder, so a single
// step past either end gives what adding or subtracting 360 once would.
float WrapDegrees(float degrees);

// The toon look's arithmetic: light and view vectors in model space and the
// per-normal levels that pick a row of the ramp texture. No OpenGL here.
#pragma once

#include "viewer_math.h"

// Rows of the ramp: a diffuse level below 0.3125 shows 89/255 of the colour,
// below 0.6875 128/255, otherwise the full colour; a specular level from
// 0.9375 up adds white, below it (0, 11/255, 0).
constexpr float kToonDiffuseS = 0.2f;
constexpr float kToonSpecularS = 0.7f;

struct ToonVectors {
  Vec3 light;  // normalised; zero when the model-view matrix is singular
  Vec3 view;   // normalised
};

// The light (its eye-space position taken back as a point) and the view
// direction (0, 0, 1) in the space of the given model-view matrix.
ToonVectors ComputeToonVectors(const Mat4& modelView, Vec3 lightEye);

// level[i] = dot(direction, normal i) clamped to [0, 1], for count normals
// of 3 floats each. The diffuse levels take the light, the specular ones
// the half vector.
void ComputeToonLevels(const float* normals, int count, Vec3 direction, float* levels);
Vec3 ToonHalfVector(const ToonVectors& v);

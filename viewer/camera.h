// The orbit camera's numbers and the small steps the shell applies to the
// view (drags, wheel, keys, menu commands). No OpenGL here.
#pragma once

#include <cstdint>

#include "viewer_math.h"
#include "viewer_state.h"

struct CameraPose {
  Vec3 eye;
  Vec3 up;  // unit, perpendicular to the line of sight
};

// Eye at target + distance * (cos p sin y, sin p, cos p cos y). The up
// vector is (0, 1, 0) turned by the pitch about a horizontal axis whose side
// flips at pitch 90 and 270, so it turns smoothly over the poles and the
// picture stays upright while the pitch is dragged over the top.
CameraPose ComputeCameraPose(const CameraBlock& camera);

struct Frustum {
  double left, right, bottom, top, nearPlane, farPlane;
};
// The perspective frustum for the camera's field of view and viewport; a
// viewport height below 1 counts as 1.
Frustum ComputeFrustum(const OrbitCamera& camera);

// The camera at start-up: defaults, with the home snapshot taken while the
// field of view is still 60 before it becomes 26 (so restoring that
// snapshot gives 60).
void SetStartupCamera(OrbitCamera& camera);
// After every load attempt: yaw 0, distance 60, pitch 60, target at the
// origin, model offset and spin 0; the pan is kept.
void ResetViewAfterLoad(ViewerState& state);

// Drag deltas in client pixels.
void RotateCamera(OrbitCamera& camera, float dx, float dy);  // yaw -0.5/px, pitch +0.5/px
void ZoomCamera(OrbitCamera& camera, float dy);               // 2 per px, distance >= 1
void PanCamera(OrbitCamera& camera, float dx, float dy);      // 0.1 per px, y inverted

void StepEdgeSize(ViewerState& state, int steps);      // 0.01 each, no bound
void StepSpin(ViewerState& state, float degrees);      // kept in [0, 360]
void StepLightAngle(ViewerState& state, float degrees);
void StepModelOffset(ViewerState& state, float amount);
// A Windows colour value 0x00BBGGRR as the edge colour.
void SetEdgeColor(ViewerState& state, uint32_t color);

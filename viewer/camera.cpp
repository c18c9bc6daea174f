#include "camera.h"

#include <algorithm>
#include <cmath>

CameraPose ComputeCameraPose(const CameraBlock& camera) {
  const double p = camera.pitch * kDegToRad, y = camera.yaw * kDegToRad, d = camera.distance;
  const double ox = d * std::cos(p) * std::sin(y), oy = d * std::sin(p), oz = d * std::cos(p) * std::cos(y);
  CameraPose pose;
  pose.eye = {float(camera.target[0] + ox), float(camera.target[1] + oy), float(camera.target[2] + oz)};

  const double a = -ox, b = -oz;
  double axis[3];
  if (camera.pitch <= 90 || camera.pitch > 270) {
    axis[0] = b;
    axis[2] = -a;
  } else {
    axis[0] = -b;
    axis[2] = a;
  }
  axis[1] = 0;
  double len = std::hypot(axis[0], axis[2]);
  if (!(len > 0)) {
    // Straight over a pole the offset has no horizontal part; the axis the
    // branch above approaches from either side is (-cos y, 0, sin y).
    axis[0] = -std::cos(y);
    axis[2] = std::sin(y);
    len = 1;
  }
  axis[0] /= len;
  axis[2] /= len;
  const Quaternion q = QuaternionFromAxisAngle({float(axis[0]), 0, float(axis[2])}, camera.pitch);
  pose.up = Normalise(TransformDirection({0, 1, 0}, MatrixFromQuaternion(q)));
  return pose;
}

Frustum ComputeFrustum(const OrbitCamera& camera) {
  const double top = std::tan(camera.fieldOfView * 0.5 * kDegToRad) * camera.nearPlane;
  const double height = camera.viewportHeight < 1 ? 1.0 : double(camera.viewportHeight);
  const double aspect = double(camera.viewportWidth) / height;
  return {-top * aspect, top * aspect, -top, top, camera.nearPlane, camera.farPlane};
}

void SetStartupCamera(OrbitCamera& camera) {
  const float width = camera.viewportWidth, height = camera.viewportHeight;
  camera = OrbitCamera();
  camera.viewportWidth = width;
  camera.viewportHeight = height;
  camera.fieldOfView = 60;
  camera.SaveHome();
  camera.fieldOfView = 26;
}

void ResetViewAfterLoad(ViewerState& state) {
  OrbitCamera& c = state.camera;
  c.yaw = 0;
  c.distance = 60;
  c.pitch = 60;
  c.target[0] = c.target[1] = c.target[2] = 0;
  state.modelYOffset = 0;
  state.spinAngle = 0;
}

void RotateCamera(OrbitCamera& camera, float dx, float dy) {
  camera.yaw = WrapDegrees(camera.yaw + dx * -0.5f);
  camera.pitch = WrapDegrees(camera.pitch + dy * 0.5f);
}

void ZoomCamera(OrbitCamera& camera, float dy) { camera.distance = std::max(1.0f, camera.distance + dy * 2); }

void PanCamera(OrbitCamera& camera, float dx, float dy) {
  camera.panX += dx * 0.1f;
  camera.panY += dy * -0.1f;
}

void StepEdgeSize(ViewerState& state, int steps) { state.edgeSize += float(steps) * 0.01f; }

void StepSpin(ViewerState& state, float degrees) { state.spinAngle = WrapDegrees(state.spinAngle + degrees); }

void StepLightAngle(ViewerState& state, float degrees) { state.lightAngle = WrapDegrees(state.lightAngle + degrees); }

void StepModelOffset(ViewerState& state, float amount) { state.modelYOffset += amount; }

void SetEdgeColor(ViewerState& state, uint32_t color) {
  state.edgeColor[0] = float(color & 0xFF) / 255.0f;
  state.edgeColor[1] = float((color >> 8) & 0xFF) / 255.0f;
  state.edgeColor[2] = float((color >> 16) & 0xFF) / 255.0f;
}

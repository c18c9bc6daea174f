// The viewer's process-wide state: what is loaded, the camera, the light,
// the look and its switches. One record, owned by the shell; the renderer
// and the loader read and change it on the main thread (the loader thread
// only while the main thread waits for it).
#pragma once

#include <cstdint>
#include <string>

#include "fps_counter.h"

struct ViewerModel;
class Renderer;
class TextureTable;

enum RenderLook : int {
  LookNormal = 0,
  LookToonPlain = 1,
  LookToonSpecular = 2,
  LookColorMask = 3,
  LookWireframe = 4,
};
constexpr int kLookCount = 5;

enum LoadState : int {
  LoadNothing = 0,
  LoadScene = 1,
  LoadObject = 2,
  LoadXFile = 3,  // Direct3D only
};

// The part of the camera that the home snapshot saves and restores.
struct CameraBlock {
  float eye[3] = {0, 0, 0};  // derived every frame
  float target[3] = {0, 0, 0};
  float fieldOfView = 26;  // vertical, degrees
  float nearPlane = 1;
  float farPlane = 65535;
  float distance = 60;  // never below 1
  float yaw = 0;        // degrees in [0, 360]
  float pitch = 60;     // degrees in [0, 360]
  float panX = 0, panY = 0, panZ = 0;
};

struct OrbitCamera : CameraBlock {
  CameraBlock home;  // restored by the right-button double-click
  float viewportWidth = 480, viewportHeight = 480;

  void SaveHome() { home = static_cast<const CameraBlock&>(*this); }
  void RestoreHome() { static_cast<CameraBlock&>(*this) = home; }
};

// What the renderer needs of a loaded scene; the viewer scene provides it.
class SceneContent {
 public:
  virtual ~SceneContent() = default;
  // Every item under its matrix at the current frame, in the look, with
  // outlines when asked (scenes get no surface edges).
  virtual void Draw(Renderer& renderer, RenderLook look, bool outlineOn, float expansion) = 0;
  // Called once per rendered frame; moves on when playing.
  virtual void AdvanceFrame() = 0;
  virtual int PolygonCount() const = 0;
  virtual int VertexCount() const = 0;
  virtual int CurrentFrame() const = 0;

  // Playback, from the motion menu, the keys and the wheel. The defaults
  // suit content without motion.
  virtual void TogglePlay() {}
  // Playing stops, then the frame goes back to the first.
  virtual void Stop() {}
  // Back to the first frame; playing or not stays as it is.
  virtual void Rewind() {}
  // One frame increment forward (direction 1) or back (-1).
  virtual void Step(int /*direction*/) {}
  virtual int FrameIncrement() const { return 0; }
  virtual void SetFrameIncrement(int /*increment*/) {}
  // The items' image maps through the table, on the main thread with the
  // context current; true when at least one texture got a slot.
  virtual bool LoadTextures(TextureTable& /*table*/) { return false; }
};

struct ViewerState {
  int platform = 1;  // 1 OpenGL, 0 Direct3D 8; fixed before the window shows

  // What is loaded. Content is judged by its pointer: a load that failed may
  // leave loadState set with nothing behind it.
  LoadState loadState = LoadNothing;
  ViewerModel* model = nullptr;
  SceneContent* scene = nullptr;
  int xFile = -1;

  RenderLook look = LookNormal;
  int outlineOn = 0, surfaceEdgesOn = 0, axesOn = 0, gridOn = 0, texturesOn = 0, infoOn = 0;
  int autoSpin = 0, autoLight = 0;

  OrbitCamera camera;
  float modelYOffset = 0;
  float spinAngle = 0;  // degrees in [0, 360]
  float lightAngle = 0;  // degrees in [0, 360]
  float lightEyeVector[3] = {0, 0, 0};  // light position in eye space, this frame

  float edgeColor[3] = {0, 0, 0};
  float edgeSize = 0;  // unbounded both ways
  float surfaceEdgeWidth = 1.0f;
  int toonRampSlot = 0;
  uint32_t backgroundColor = 0x0000FF00;  // 0x00BBGGRR
  FpsCounter fps;

  // Input, kept by the shell.
  int shiftDown = 0;
  int rotating = 0, zooming = 0, panning = 0, snapshotPending = 0;
  int leftDrag = 0;  // 1 rotate, 3 pan
  float lastX = 0, lastY = 0;
  std::string lastFileName;    // without its folder
  std::string lastFileFolder;  // ending in a separator, or ""
};

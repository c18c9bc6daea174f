// The OpenGL renderer: the orbit camera and the light, the five looks, the
// outline and surface edges, axes, grid and the information overlay, drawn
// with OpenGL 1.1 fixed-function calls on the calling thread's context.
//
// Two draw paths give the same pixels: immediate mode (glBegin/glEnd, one
// call per corner attribute) is the reference; GL 1.1 client vertex arrays,
// the default, reach interactive rates on large models on a software
// rasteriser. Only how triangles are handed over differs; every state change
// is shared.
//
// Models are drawn as they are: every index a ViewerModel holds must be in
// range (UV indices may be -1, drawn as (0, 0)).
//
// Main thread only, with the context current, for every call including the
// destructor.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "edges.h"
#include "overlay_font.h"
#include "viewer_state.h"

struct ViewerModel;
struct SurfaceGroup;
class TextureTable;

enum class DrawPath { Immediate, VertexArrays };

class Renderer {
 public:
  Renderer(ViewerState& state, TextureTable& textures);
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Start-up on the current context: blending, depth test, CCW front faces
  // and normalising on; the overlay font from fontPath (FindOverlayFont()
  // when empty); the camera defaults; light 0 white and on; the toon ramp
  // into texture slot 0; the background colour of the state. False when the
  // ramp could not be made. A missing font only leaves the overlay blank.
  bool Initialise(const std::string& fontPath = "");
  bool hasFont() const { return hasFont_; }

  void SetDrawPath(DrawPath path) { path_ = path; }
  DrawPath drawPath() const { return path_; }

  // The window's client size (glViewport and the camera's aspect).
  void SetViewport(int width, int height);
  // A Windows colour value 0x00BBGGRR as the clear colour.
  void ApplyBackgroundColor(uint32_t color);

  // The eye from yaw, pitch and distance; projection and view matrices.
  void UpdateCamera();
  // Advances the automatic light rotation and places light 0 (directional)
  // with the view matrix current; keeps its eye-space position for toon.
  void UpdateLight();

  // The looks. Each does nothing without a model, and each leaves
  // texturing off.
  void DrawModelNormal(const ViewerModel* model, bool colorMaskOnly);
  // Writes the model's per-normal scratch arrays (diffuse, specular levels).
  void DrawModelToon(ViewerModel* model, bool withSpecular);
  void DrawModelWireframe(const ViewerModel* model);
  // The inverted hull: back faces pushed out along the corner normals by
  // expansion, in the edge colour. Leaves front-face culling on.
  void DrawOutline(const ViewerModel* model, float expansion);
  // Each group's boundary edges in the edge colour, building lists not yet
  // built.
  void DrawSurfaceEdges(ViewerModel* model, float lineWidth);
  void DrawAxes();
  void DrawGrid();
  // One line of text with its cell's top left at window pixel (x, y), y down.
  void DrawOverlayText(const std::string& text, int x, int y, const float color[3]);

  // One frame: clear, then with content loaded camera, spin, light, axes,
  // grid, the content in its look with surface edges and outline, the
  // scene's frame step; the frame count; the overlay. nowMs is a
  // TimeGetTime reading; the shell swaps buffers afterwards.
  void RenderFrame(uint32_t nowMs);
  void RenderFrame();

  // The object in the current look, then its surface edges and outline when
  // switched on: what RenderFrame draws for an object, inside the model
  // placement. Needs UpdateCamera first (the outline's thickness).
  void DrawObject(ViewerModel* model);

 private:
  enum class TexSource { None, ModelUv, Level };
  struct CornerAttributes {
    bool normals = false;
    TexSource tex = TexSource::None;
    const float* levels = nullptr;  // one per normal, with TexSource::Level
    float levelS = 0;
    const float* levelCoords = nullptr;  // (levelS, level) per normal, for client arrays
    bool displaced = false;  // points pushed along their corner normals
    float expansion = 0;
  };

  bool HasContent() const;
  int GroupTextureSlot(const ViewerModel& model, const SurfaceGroup& group) const;
  // The group's triangles with the attributes asked for; `before` runs
  // inside glBegin on the immediate path (material, colour), before the draw
  // call otherwise.
  void DrawGroup(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs,
                 const std::function<void()>& before);
  void EmitImmediate(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs);
  void DrawArrays(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs);
  // (s, level) per normal for the vertex-array path; null on the other.
  const float* LevelCoords(int which, const ViewerModel& model, const float* levels, float s);
  void DrawOverlay();

  ViewerState& state_;
  TextureTable& textures_;
  OverlayFont font_;
  bool hasFont_ = false;
  DrawPath path_ = DrawPath::VertexArrays;

  // Reused buffers of the vertex-array path.
  std::vector<float> cornerPoints_, cornerNormals_, cornerTex_;
  std::vector<float> levelCoords_[2];  // (s, level) per normal: diffuse, specular
  std::vector<float> displaced_;       // outline points, per point, for one DrawOutline
  bool displacedReady_ = false;
};

#include "renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "camera.h"
#include "system.h"
#include "texture_table.h"
#include "toon.h"
#include "viewer_model.h"

Renderer::Renderer(ViewerState& state, TextureTable& textures) : state_(state), textures_(textures) {}

Renderer::~Renderer() = default;

bool Renderer::Initialise(const std::string& fontPath) {
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glFrontFace(GL_CCW);
  glEnable(GL_NORMALIZE);

  const std::string path = fontPath.empty() ? FindOverlayFont() : fontPath;
  std::vector<GlyphBitmap> glyphs = RasterizeOverlayGlyphs(path);
  hasFont_ = !glyphs.empty();
  font_.Build(glyphs);

  SetStartupCamera(state_.camera);
  const GLfloat white[4] = {1, 1, 1, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, white);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_SPECULAR, white);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);

  const int ramp = textures_.CreateToonRamp();
  state_.toonRampSlot = ramp < 0 ? TextureTable::kToonRampSlot : ramp;
  ApplyBackgroundColor(state_.backgroundColor);
  return ramp >= 0;
}

void Renderer::SetViewport(int width, int height) {
  state_.camera.viewportWidth = float(width);
  state_.camera.viewportHeight = float(height);
  glViewport(0, 0, width, height);
}

void Renderer::ApplyBackgroundColor(uint32_t color) {
  state_.backgroundColor = color;
  glClearColor(float(color & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
               float((color >> 16) & 0xFF) / 255.0f, 1.0f);
}

void Renderer::UpdateCamera() {
  OrbitCamera& c = state_.camera;
  const CameraPose pose = ComputeCameraPose(c);
  c.eye[0] = pose.eye.x;
  c.eye[1] = pose.eye.y;
  c.eye[2] = pose.eye.z;
  const Frustum f = ComputeFrustum(c);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(f.left, f.right, f.bottom, f.top, f.nearPlane, f.farPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(pose.eye.x, pose.eye.y, pose.eye.z, c.target[0], c.target[1], c.target[2], pose.up.x, pose.up.y,
            pose.up.z);
  glTranslatef(c.panX, c.panY, c.panZ);
}

void Renderer::UpdateLight() {
  if (state_.autoLight) state_.lightAngle = WrapDegrees(state_.lightAngle + 2);
  const double theta = state_.lightAngle * kDegToRad;
  const GLfloat position[4] = {float(2 * std::sin(theta)), 2.0f, float(2 * std::cos(theta)), 0.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  Mat4 view;
  glGetFloatv(GL_MODELVIEW_MATRIX, view.data());
  const Vec3 eye = TransformPoint({position[0], position[1], position[2]}, view);
  state_.lightEyeVector[0] = eye.x;
  state_.lightEyeVector[1] = eye.y;
  state_.lightEyeVector[2] = eye.z;
}

int Renderer::GroupTextureSlot(const ViewerModel& model, const SurfaceGroup& group) const {
  if (!state_.texturesOn || group.textureIndex < 0 || size_t(group.textureIndex) >= model.textures.size())
    return -1;
  const int slot = model.textures[size_t(group.textureIndex)].handle;
  return slot >= 0 ? slot : -1;
}

void Renderer::EmitImmediate(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs) {
  const size_t corners = size_t(group.triangleCount) * 3;
  const size_t uvCount = model.uvs.size() / 2;
  const bool hasUvs = group.uvs.size() >= corners;
  for (size_t c = 0; c < corners; ++c) {
    const float* p = &model.vertices[size_t(group.points[c]) * 3];
    const size_t n = size_t(group.normals[c]);
    if (attrs.tex == TexSource::ModelUv) {
      const int32_t uv = hasUvs ? group.uvs[c] : -1;
      if (uv >= 0 && size_t(uv) < uvCount)
        glTexCoord2fv(&model.uvs[size_t(uv) * 2]);
      else
        glTexCoord2f(0, 0);
    } else if (attrs.tex == TexSource::Level) {
      glTexCoord2f(attrs.levelS, attrs.levels[n]);
    }
    if (attrs.normals) glNormal3fv(&model.normals[n * 3]);
    if (attrs.displaced) {
      const float* d = &model.normals[n * 3];
      glVertex3f(p[0] + attrs.expansion * d[0], p[1] + attrs.expansion * d[1], p[2] + attrs.expansion * d[2]);
    } else {
      glVertex3fv(p);
    }
  }
}

const float* Renderer::LevelCoords(int which, const ViewerModel& model, const float* levels, float s) {
  if (path_ != DrawPath::VertexArrays) return nullptr;
  std::vector<float>& out = levelCoords_[which];
  const size_t count = size_t(model.normalCount);
  out.resize(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out[i * 2] = s;
    out[i * 2 + 1] = levels[i];
  }
  return out.data();
}

// Client arrays. When every attribute a group needs is indexed by the point
// index (one normal and UV per point, the viewer's own load options), the
// model's arrays go to glDrawElements as they are; otherwise the corners are
// unrolled into flat arrays for glDrawArrays.
void Renderer::DrawArrays(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs) {
  const size_t corners = size_t(group.triangleCount) * 3;
  if (corners == 0) return;
  const size_t bytes = corners * sizeof(int32_t);
  const bool needNormals = attrs.normals || attrs.displaced || attrs.tex == TexSource::Level;
  bool shared = !needNormals || std::memcmp(group.normals.data(), group.points.data(), bytes) == 0;
  if (shared && attrs.tex == TexSource::ModelUv)
    shared = group.uvs.size() >= corners && std::memcmp(group.uvs.data(), group.points.data(), bytes) == 0;

  const float* points = model.vertices.data();
  const float* normals = model.normals.data();
  const float* tex = nullptr;
  if (shared) {
    if (attrs.tex == TexSource::ModelUv) tex = model.uvs.data();
    if (attrs.tex == TexSource::Level) tex = attrs.levelCoords;
    if (attrs.displaced) {
      if (!displacedReady_) {
        const size_t count = model.vertices.size() / 3, withNormal = std::min(count, size_t(model.normalCount));
        displaced_.assign(model.vertices.begin(), model.vertices.end());
        for (size_t i = 0; i < withNormal; ++i)
          for (size_t k = 0; k < 3; ++k) displaced_[i * 3 + k] += attrs.expansion * model.normals[i * 3 + k];
        displacedReady_ = true;
      }
      points = displaced_.data();
    }
  } else {
    cornerPoints_.resize(corners * 3);
    if (attrs.normals) cornerNormals_.resize(corners * 3);
    if (attrs.tex != TexSource::None) cornerTex_.resize(corners * 2);
    const size_t uvCount = model.uvs.size() / 2;
    const bool hasUvs = group.uvs.size() >= corners;
    for (size_t c = 0; c < corners; ++c) {
      const float* p = &model.vertices[size_t(group.points[c]) * 3];
      const size_t n = size_t(group.normals[c]);
      float* out = &cornerPoints_[c * 3];
      if (attrs.displaced) {
        const float* d = &model.normals[n * 3];
        for (int k = 0; k < 3; ++k) out[k] = p[k] + attrs.expansion * d[k];
      } else {
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
      }
      if (attrs.normals) std::memcpy(&cornerNormals_[c * 3], &model.normals[n * 3], 3 * sizeof(float));
      if (attrs.tex == TexSource::ModelUv) {
        const int32_t uv = hasUvs ? group.uvs[c] : -1;
        const bool valid = uv >= 0 && size_t(uv) < uvCount;
        cornerTex_[c * 2] = valid ? model.uvs[size_t(uv) * 2] : 0.0f;
        cornerTex_[c * 2 + 1] = valid ? model.uvs[size_t(uv) * 2 + 1] : 0.0f;
      } else if (attrs.tex == TexSource::Level) {
        cornerTex_[c * 2] = attrs.levelS;
        cornerTex_[c * 2 + 1] = attrs.levels[n];
      }
    }
    points = cornerPoints_.data();
    normals = cornerNormals_.data();
    tex = cornerTex_.data();
  }

  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, points);
  if (attrs.normals) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, normals);
  }
  if (attrs.tex != TexSource::None) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, tex);
  }
  if (shared)
    glDrawElements(GL_TRIANGLES, GLsizei(corners), GL_UNSIGNED_INT, group.points.data());
  else
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(corners));
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void Renderer::DrawGroup(const ViewerModel& model, const SurfaceGroup& group, const CornerAttributes& attrs,
                         const std::function<void()>& before) {
  if (path_ == DrawPath::Immediate) {
    glBegin(GL_TRIANGLES);
    before();
    EmitImmediate(model, group, attrs);
    glEnd();
  } else {
    before();
    DrawArrays(model, group, attrs);
  }
}

void Renderer::DrawModelNormal(const ViewerModel* model, bool colorMaskOnly) {
  if (!model) return;
  if (colorMaskOnly) glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_LIGHTING);
  for (const SurfaceGroup& g : model->groups) {
    const int slot = GroupTextureSlot(*model, g);
    if (slot >= 0) {
      glEnable(GL_TEXTURE_2D);
      textures_.BindTexture(slot);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    CornerAttributes attrs;
    attrs.normals = true;
    attrs.tex = slot >= 0 ? TexSource::ModelUv : TexSource::None;
    DrawGroup(*model, g, attrs, [&] {
      const float grey[3] = {1, 1, 1};
      const float* c = slot >= 0 ? grey : g.color;
      const GLfloat ambient[4] = {0.3f * c[0], 0.3f * c[1], 0.3f * c[2], 1};
      const GLfloat diffuse[4] = {0.8f * c[0], 0.8f * c[1], 0.8f * c[2], 1};
      const GLfloat specular[4] = {1, 1, 1, 1};
      glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
      glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
      glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
      glMaterialf(GL_FRONT, GL_SHININESS, 100);
    });
  }
  // A textured last group would otherwise tint whatever lines come next.
  glDisable(GL_TEXTURE_2D);
  if (colorMaskOnly) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void Renderer::DrawModelToon(ViewerModel* model, bool withSpecular) {
  if (!model) return;
  const int ramp = state_.toonRampSlot;
  glEnable(GL_TEXTURE_2D);
  textures_.BindTexture(ramp);

  Mat4 modelView;
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  const ToonVectors v = ComputeToonVectors(
      modelView, {state_.lightEyeVector[0], state_.lightEyeVector[1], state_.lightEyeVector[2]});
  const size_t normalCount = size_t(model->normalCount);
  if (model->normalScratchA.size() < normalCount) model->normalScratchA.resize(normalCount);
  if (model->normalScratchB.size() < normalCount) model->normalScratchB.resize(normalCount);
  ComputeToonLevels(model->normals.data(), model->normalCount, v.light, model->normalScratchA.data());
  if (withSpecular)
    ComputeToonLevels(model->normals.data(), model->normalCount, ToonHalfVector(v), model->normalScratchB.data());

  // Three tones from the ramp's diffuse band.
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glDisable(GL_LIGHTING);
  CornerAttributes tones;
  tones.tex = TexSource::Level;
  tones.levels = model->normalScratchA.data();
  tones.levelS = kToonDiffuseS;
  tones.levelCoords = LevelCoords(0, *model, tones.levels, tones.levelS);
  for (const SurfaceGroup& g : model->groups)
    DrawGroup(*model, g, tones, [&] {
      if (GroupTextureSlot(*model, g) >= 0)
        glColor3f(1, 1, 1);
      else
        glColor3fv(g.color);
    });

  // Image maps multiply what is there.
  glDepthFunc(GL_LEQUAL);
  glBlendFunc(GL_ZERO, GL_SRC_COLOR);
  CornerAttributes mapped;
  mapped.normals = true;
  mapped.tex = TexSource::ModelUv;
  for (const SurfaceGroup& g : model->groups) {
    const int slot = GroupTextureSlot(*model, g);
    if (slot < 0) continue;
    textures_.SetEnvMode(slot, GL_DECAL);
    textures_.BindTexture(slot);
    textures_.SetEnvMode(slot, GL_MODULATE);
    DrawGroup(*model, g, mapped, [] { glColor3f(0, 0, 0); });
  }
  glDepthFunc(GL_LESS);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);

  if (!withSpecular) return;
  // The highlight band, added.
  glDepthFunc(GL_LEQUAL);
  glBlendFunc(GL_ONE, GL_ONE);
  glEnable(GL_TEXTURE_2D);
  textures_.BindTexture(ramp);
  CornerAttributes highlight;
  highlight.tex = TexSource::Level;
  highlight.levels = model->normalScratchB.data();
  highlight.levelS = kToonSpecularS;
  highlight.levelCoords = LevelCoords(1, *model, highlight.levels, highlight.levelS);
  for (const SurfaceGroup& g : model->groups) DrawGroup(*model, g, highlight, [] { glColor3f(1, 1, 1); });
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthFunc(GL_LESS);
  glDisable(GL_TEXTURE_2D);
}

void Renderer::DrawModelWireframe(const ViewerModel* model) {
  if (!model) return;
  // Face culling stays as the last drawing left it.
  glDepthFunc(GL_LESS);
  glLineWidth(1);
  glDisable(GL_LIGHTING);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  for (const SurfaceGroup& g : model->groups) DrawGroup(*model, g, CornerAttributes(), [&] { glColor3fv(g.color); });
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void Renderer::DrawAxes() {
  glDisable(GL_LIGHTING);
  glBegin(GL_LINES);
  glColor3f(0.6f, 0, 0);
  glVertex3f(-50, 0, 0);
  glVertex3f(50, 0, 0);
  glColor3f(0, 0.6f, 0);
  glVertex3f(0, -50, 0);
  glVertex3f(0, 50, 0);
  glColor3f(0, 0, 0.6f);
  glVertex3f(0, 0, -50);
  glVertex3f(0, 0, 50);
  glEnd();
}

void Renderer::DrawGrid() {
  glDisable(GL_LIGHTING);
  glBegin(GL_LINES);
  for (int x = -50; x <= 50; x += 2) {
    const float grey = x % 10 == 0 ? 0.1f : 0.3f;
    glColor3f(grey, grey, grey);
    glVertex3f(float(x), 0, -50);
    glVertex3f(float(x), 0, 50);
  }
  for (int z = -50; z <= 50; z += 2) {
    const float grey = z % 10 == 0 ? 0.1f : 0.3f;
    glColor3f(grey, grey, grey);
    glVertex3f(-50, 0, float(z));
    glVertex3f(50, 0, float(z));
  }
  glEnd();
}

void Renderer::DrawOverlayText(const std::string& text, int x, int y, const float color[3]) {
  if (!font_.base() || text.empty()) return;
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, viewport[2], viewport[3], 0, 1, 65535);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glColor3fv(color);
  glRasterPos3f(float(x), float(y + kOverlayCellHeight), -1.1f);
  glListBase(font_.base());
  glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
  glPopAttrib();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

bool Renderer::HasContent() const {
  return (state_.loadState == LoadObject && state_.model) || (state_.loadState == LoadScene && state_.scene);
}

void Renderer::DrawObject(ViewerModel* model) {
  if (!model) return;
  switch (state_.look) {
    case LookNormal:
      DrawModelNormal(model, false);
      break;
    case LookToonPlain:
    case LookToonSpecular:
      glEnable(GL_TEXTURE_2D);
      textures_.BindTexture(state_.toonRampSlot);
      DrawModelToon(model, state_.look == LookToonSpecular);
      break;
    case LookColorMask:
      DrawModelNormal(model, true);
      break;
    case LookWireframe:
      DrawModelWireframe(model);
      break;
  }
  if (state_.surfaceEdgesOn) DrawSurfaceEdges(model, state_.surfaceEdgeWidth);
  if (state_.outlineOn) DrawOutline(model, OutlineExpansion(state_.camera.eye, state_.edgeSize));
}

void Renderer::DrawOverlay() {
  const float black[3] = {0, 0, 0}, white[3] = {1, 1, 1};
  char lines[4][48];
  int count = 0;
  std::snprintf(lines[count++], sizeof lines[0], "%03d fps", state_.fps.fps());
  const bool object = state_.loadState == LoadObject;
  const int polygons = object ? state_.model->triangleCount : state_.scene->PolygonCount();
  const int vertices = object ? state_.model->vertexCount : state_.scene->VertexCount();
  std::snprintf(lines[count++], sizeof lines[0], "%d polygon", polygons);
  std::snprintf(lines[count++], sizeof lines[0], "%d vertex", vertices);
  if (!object) std::snprintf(lines[count++], sizeof lines[0], "%d frame", state_.scene->CurrentFrame());
  for (int i = 0; i < count; ++i) {
    DrawOverlayText(lines[i], 2, 2 + 18 * i, black);
    DrawOverlayText(lines[i], 1, 1 + 18 * i, white);
  }
}

void Renderer::RenderFrame(uint32_t nowMs) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const bool content = HasContent();
  if (content) {
    UpdateCamera();
    if (state_.autoSpin) state_.spinAngle = WrapDegrees(state_.spinAngle + 2);
    UpdateLight();
    if (state_.axesOn) DrawAxes();
    if (state_.gridOn) DrawGrid();
    glPushMatrix();
    glTranslatef(0, state_.modelYOffset, 0);
    glRotatef(state_.spinAngle, 0, 1, 0);
    if (state_.loadState == LoadObject)
      DrawObject(state_.model);
    else
      state_.scene->Draw(*this, state_.look, state_.outlineOn != 0,
                         OutlineExpansion(state_.camera.eye, state_.edgeSize));
    glPopMatrix();
    if (state_.loadState == LoadScene) state_.scene->AdvanceFrame();
  }
  state_.fps.Tick(nowMs);
  if (state_.infoOn && content) DrawOverlay();
}

void Renderer::RenderFrame() { RenderFrame(TimeGetTime()); }

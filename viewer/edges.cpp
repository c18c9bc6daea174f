#include "edges.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "renderer.h"
#include "viewer_model.h"

float OutlineExpansion(const float eye[3], float edgeSize) {
  float d = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
  d = std::min(55.0f, std::max(5.0f, d));
  return (d - 5) * 0.0033333334f + edgeSize;
}

void Renderer::DrawOutline(const ViewerModel* model, float expansion) {
  if (!model) return;
  glColor3fv(state_.edgeColor);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_FRONT);  // left so: the next shaded look culls back faces again
  glDisable(GL_LIGHTING);
  CornerAttributes hull;
  hull.displaced = true;
  hull.expansion = expansion;
  displacedReady_ = false;
  for (const SurfaceGroup& g : model->groups) DrawGroup(*model, g, hull, [] {});
}

void Renderer::DrawSurfaceEdges(ViewerModel* model, float lineWidth) {
  if (!model) return;
  for (SurfaceGroup& g : model->groups)
    if (!g.edgesBuilt) BuildSurfaceEdges(model, &g);
  // Lines lying exactly on the drawn surface pass.
  glDepthFunc(GL_LEQUAL);
  glLineWidth(lineWidth);
  glColor3fv(state_.edgeColor);
  glDisable(GL_LIGHTING);
  if (path_ == DrawPath::Immediate) {
    glBegin(GL_LINES);
    for (const SurfaceGroup& g : model->groups)
      for (size_t i = 0; i + 1 < g.boundaryEdges.size(); i += 2) {
        glVertex3fv(&model->vertices[size_t(g.boundaryEdges[i]) * 3]);
        glVertex3fv(&model->vertices[size_t(g.boundaryEdges[i + 1]) * 3]);
      }
    glEnd();
  } else {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, model->vertices.data());
    for (const SurfaceGroup& g : model->groups)
      if (g.boundaryEdges.size() >= 2)
        glDrawElements(GL_LINES, GLsizei(g.boundaryEdges.size() / 2 * 2), GL_UNSIGNED_INT, g.boundaryEdges.data());
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  glDepthFunc(GL_LESS);
}

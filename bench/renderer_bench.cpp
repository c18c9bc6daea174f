// renderer-bench: frames per second of every look, drawn off screen at
// 480 x 480 through the viewer's renderer, for spheres of 100,000 and
// 1,000,000 triangles. On a machine without a GPU this measures Mesa's
// software rasteriser, the floor the viewer must stay fluid on.
//
//   renderer-bench [--seconds S] [--path arrays|immediate|both]
//
// Prints a table; the figures are for reading, nothing is asserted.
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "camera.h"
#include "headless_gl.h"
#include "renderer.h"
#include "sphere_model.h"
#include "texture_table.h"
#include "ui_services.h"
#include "viewer_state.h"

namespace {

struct Case {
  const char* name;
  int look;
  bool outline;
  bool edges;
};

const Case kCases[] = {
    {"normal", LookNormal, false, false},          {"toon", LookToonPlain, false, false},
    {"toon+specular", LookToonSpecular, false, false}, {"colour mask", LookColorMask, false, false},
    {"wireframe", LookWireframe, false, false},    {"normal+outline", LookNormal, true, false},
    {"colour mask+outline+edges", LookColorMask, true, true},
};

double MeasureFps(Renderer& renderer, ViewerState& state, double seconds) {
  using Clock = std::chrono::steady_clock;
  renderer.RenderFrame();  // first frame compiles Mesa's shaders
  glFinish();
  int frames = 0;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  do {
    state.spinAngle = WrapDegrees(state.spinAngle + 3);  // keep the toon levels changing
    renderer.RenderFrame();
    glFinish();
    ++frames;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds || frames < 3);
  return frames / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 2;
  std::string paths = "both";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--path") && i + 1 < argc) paths = argv[++i];
    else {
      std::fprintf(stderr, "usage: renderer-bench [--seconds S] [--path arrays|immediate|both]\n");
      return 2;
    }
  }
  std::string why;
  std::unique_ptr<HeadlessGl> gl = HeadlessGl::Create(480, 480, &why);
  if (!gl || !gl->hasFramebuffer()) {
    std::fprintf(stderr, "renderer-bench: no off-screen OpenGL: %s\n", why.c_str());
    return 1;
  }
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

  ScriptedUi ui;
  GlTextureBackend backend;
  TextureTable textures(backend, ui);
  ViewerState state;
  Renderer renderer(state, textures);
  renderer.Initialise();
  renderer.SetViewport(480, 480);

  struct Size {
    const char* name;
    int slices, stacks;
  } sizes[] = {{"100,000", 250, 201}, {"1,000,000", 1000, 501}};
  for (const Size& size : sizes) {
    SphereOptions o;
    o.slices = size.slices;
    o.stacks = size.stacks;
    o.color[0] = 0.9f, o.color[1] = 0.6f, o.color[2] = 0.3f;
    ViewerModel model = MakeSphereModel(o);
    state.model = &model;
    state.loadState = LoadObject;
    std::printf("\n%s triangles, %d points\n", size.name, model.vertexCount);
    std::printf("  %-28s %12s %12s\n", "look", "arrays fps", "immediate fps");
    for (const Case& c : kCases) {
      state.look = RenderLook(c.look);
      state.outlineOn = c.outline;
      state.surfaceEdgesOn = c.edges;
      double fps[2] = {-1, -1};
      if (paths != "immediate") {
        renderer.SetDrawPath(DrawPath::VertexArrays);
        fps[0] = MeasureFps(renderer, state, seconds);
      }
      if (paths != "arrays") {
        renderer.SetDrawPath(DrawPath::Immediate);
        fps[1] = MeasureFps(renderer, state, seconds);
      }
      std::printf("  %-28s %12.1f %12.1f\n", c.name, fps[0], fps[1]);
      std::fflush(stdout);
    }
    state.model = nullptr;
    state.loadState = LoadNothing;
  }
  return 0;
}

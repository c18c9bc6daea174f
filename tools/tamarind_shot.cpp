// tamarind-shot: renders an object file off screen with the viewer's own
// renderer and writes the picture as a PNG.
//
//   tamarind-shot [--look 0..4] [--size WxH] [--yaw D] [--pitch D]
//                 [--distance D] [--outline] [--edges] [--edge-size F]
//                 [--axes] [--grid] [--textures] [--info]
//                 [--background RRGGBB] [--immediate] -o OUT.png FILE
//
// Starts from the viewer's start-up state (480 x 480, its background colour,
// look 0) and needs no display: the context is Mesa's surfaceless EGL. It
// never waits for a person: every question is answered No and every dialog
// cancelled, so a missing texture is drawn untextured; what was missing is
// reported on standard error.
#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "camera.h"
#include "files.h"
#include "headless_gl.h"
#include "png_file.h"
#include "renderer.h"
#include "settings.h"
#include "texture_table.h"
#include "ui_services.h"
#include "viewer_model.h"
#include "viewer_state.h"

namespace {

const char kUsage[] =
    "usage: tamarind-shot [--look 0..4] [--size WxH] [--yaw D] [--pitch D] [--distance D]\n"
    "                     [--outline] [--edges] [--edge-size F] [--axes] [--grid] [--textures]\n"
    "                     [--info] [--background RRGGBB] [--immediate] -o OUT.png FILE\n";

// Answers No and cancels, saying on standard error what it was asked.
class ShotUi : public UiServices {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                            DialogOwner) override {
    if (buttons == MessageButtons::YesNo) {
      std::fprintf(stderr, "tamarind-shot: missing: %s (drawn untextured)\n", caption.c_str());
      return MessageAnswer::No;
    }
    std::fprintf(stderr, "tamarind-shot: %s: %s\n", caption.c_str(), text.c_str());
    return MessageAnswer::Ok;
  }
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const FolderRequest&) override { return std::nullopt; }
};

struct Options {
  int look = LookNormal;
  int width = 480, height = 480;
  bool hasYaw = false, hasPitch = false, hasDistance = false;
  float yaw = 0, pitch = 0, distance = 0;
  bool outline = false, edges = false, axes = false, grid = false, textures = false, info = false;
  float edgeSize = 0;
  bool hasBackground = false;
  uint32_t background = 0;  // 0x00BBGGRR
  bool immediate = false;
  std::string output, input;
};

bool ParseFloat(const char* text, float* out) {
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (end == text || *end != 0 || errno == ERANGE || !std::isfinite(v)) return false;
  *out = float(v);
  return std::isfinite(*out);
}

bool ParseInt(const char* text, long lo, long hi, int* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || errno == ERANGE || v < lo || v > hi) return false;
  *out = int(v);
  return true;
}

bool ParseSize(const char* text, int* w, int* h) {
  const char* x = std::strchr(text, 'x');
  if (!x) return false;
  std::string first(text, size_t(x - text));
  return ParseInt(first.c_str(), 1, 8192, w) && ParseInt(x + 1, 1, 8192, h);
}

bool ParseColor(const char* text, uint32_t* out) {
  if (std::strlen(text) != 6) return false;
  char* end = nullptr;
  unsigned long rgb = std::strtoul(text, &end, 16);
  if (*end != 0) return false;
  *out = uint32_t(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  return true;
}

// 0 on success, 2 on a usage error (message printed).
int ParseOptions(int argc, char** argv, Options* o) {
  auto bad = [](const std::string& what) {
    std::fprintf(stderr, "tamarind-shot: %s\n%s", what.c_str(), kUsage);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char** v) {
      if (i + 1 >= argc) return false;
      *v = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (a == "--outline") o->outline = true;
    else if (a == "--edges") o->edges = true;
    else if (a == "--axes") o->axes = true;
    else if (a == "--grid") o->grid = true;
    else if (a == "--textures") o->textures = true;
    else if (a == "--info") o->info = true;
    else if (a == "--immediate") o->immediate = true;
    else if (a == "--look") {
      if (!value(&v) || !ParseInt(v, 0, kLookCount - 1, &o->look)) return bad("--look takes 0 to 4");
    } else if (a == "--size") {
      if (!value(&v) || !ParseSize(v, &o->width, &o->height)) return bad("--size takes WxH (1 to 8192 each)");
    } else if (a == "--yaw") {
      if (!value(&v) || !ParseFloat(v, &o->yaw)) return bad("--yaw takes degrees");
      o->hasYaw = true;
    } else if (a == "--pitch") {
      if (!value(&v) || !ParseFloat(v, &o->pitch)) return bad("--pitch takes degrees");
      o->hasPitch = true;
    } else if (a == "--distance") {
      if (!value(&v) || !ParseFloat(v, &o->distance)) return bad("--distance takes a number");
      o->hasDistance = true;
    } else if (a == "--edge-size") {
      if (!value(&v) || !ParseFloat(v, &o->edgeSize)) return bad("--edge-size takes a number");
    } else if (a == "--background") {
      if (!value(&v) || !ParseColor(v, &o->background)) return bad("--background takes RRGGBB in hex");
      o->hasBackground = true;
    } else if (a == "-o") {
      if (!value(&v)) return bad("-o takes a file name");
      o->output = v;
    } else if (!a.empty() && a[0] == '-') {
      return bad("unknown option " + a);
    } else if (o->input.empty()) {
      o->input = a;
    } else {
      return bad("only one FILE");
    }
  }
  if (o->output.empty() || o->input.empty()) return bad("need -o OUT.png and FILE");
  return 0;
}

RgbImage ReadFrame(int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  const size_t row = size_t(width) * 3;
  std::vector<uint8_t> bottomUp(row * size_t(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  image.pixels.resize(bottomUp.size());
  for (int y = 0; y < height; ++y)
    std::memcpy(&image.pixels[size_t(y) * row], &bottomUp[size_t(height - 1 - y) * row], row);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (int status = ParseOptions(argc, argv, &o)) return status;

  std::string why;
  std::unique_ptr<HeadlessGl> gl = HeadlessGl::Create(o.width, o.height, &why);
  if (!gl || !gl->hasFramebuffer()) {
    std::fprintf(stderr, "tamarind-shot: no off-screen OpenGL: %s\n", gl ? "no pbuffer surface" : why.c_str());
    return 1;
  }

  ShotUi ui;
  GlTextureBackend backend;
  TextureTable textures(backend, ui);
  ViewerState state;
  state.backgroundColor = o.hasBackground ? o.background : Settings().Color(kGlBackColor);
  int status = 0;
  {
    Renderer renderer(state, textures);
    if (!renderer.Initialise()) {
      std::fprintf(stderr, "tamarind-shot: the toon ramp texture could not be made\n");
      return 1;
    }
    if (o.info && !renderer.hasFont()) std::fprintf(stderr, "tamarind-shot: no overlay font found, no text drawn\n");
    renderer.SetDrawPath(o.immediate ? DrawPath::Immediate : DrawPath::VertexArrays);
    renderer.SetViewport(o.width, o.height);

    ViewerModel* model = OpenViewerModel(o.input.c_str(), &ui);
    ResetViewAfterLoad(state);
    if (!model) {
      std::fprintf(stderr, "tamarind-shot: %s: cannot be loaded\n", o.input.c_str());
      return 1;
    }
    state.loadState = LoadObject;
    state.model = model;
    if (o.textures && !model->textures.empty()) {
      textures.SetTextureDirectory(PathFolder(o.input));
      state.texturesOn = LoadViewerModelTextures(model, textures) ? 1 : 0;
    }

    state.look = RenderLook(o.look);
    state.outlineOn = o.outline;
    state.surfaceEdgesOn = o.edges;
    state.axesOn = o.axes;
    state.gridOn = o.grid;
    state.infoOn = o.info;
    state.edgeSize = o.edgeSize;
    if (o.hasYaw) state.camera.yaw = WrapDegrees(o.yaw);
    if (o.hasPitch) state.camera.pitch = WrapDegrees(o.pitch);
    if (o.hasDistance) state.camera.distance = std::max(1.0f, o.distance);

    renderer.RenderFrame();
    glFinish();
    RgbImage image = ReadFrame(o.width, o.height);
    if (!WritePng(o.output, image, &why)) {
      std::fprintf(stderr, "tamarind-shot: %s: %s\n", o.output.c_str(), why.c_str());
      status = 1;
    }
    state.model = nullptr;
    state.loadState = LoadNothing;
    FreeViewerModel(model, &textures);
  }
  return status;
}

#include "headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

namespace {

bool HasExtension(const char* list, const char* name) {
  if (!list) return false;
  size_t n = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n)
    if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return true;
  return false;
}

void SetError(std::string* error, const char* text) {
  char code[32];
  std::snprintf(code, sizeof code, " (EGL error 0x%04x)", unsigned(eglGetError()));
  if (error) *error = std::string(text) + code;
}

}  // namespace

std::unique_ptr<HeadlessGl> HeadlessGl::Create(int width, int height, std::string* error) {
  if (!HasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
    SetError(error, "EGL has no surfaceless platform");
    return nullptr;
  }
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) {
    SetError(error, "eglGetPlatformDisplayEXT is missing");
    return nullptr;
  }
  EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  // Every context shares the one display, which stays initialised for the
  // life of the process: terminating it unloads Mesa's driver, which costs a
  // reload next time and strands memory the leak checker then reports.
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
    SetError(error, "no surfaceless EGL display");
    return nullptr;
  }

  std::unique_ptr<HeadlessGl> gl(new HeadlessGl);
  gl->display_ = display;
  gl->width_ = width;
  gl->height_ = height;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    SetError(error, "EGL cannot bind desktop OpenGL");
    return nullptr;
  }
  const EGLint withPbuffer[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                EGL_DEPTH_SIZE, 24, EGL_NONE};
  const EGLint withoutSurface[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  bool pbuffer = eglChooseConfig(display, withPbuffer, &config, 1, &count) && count > 0;
  if (!pbuffer && !(eglChooseConfig(display, withoutSurface, &config, 1, &count) && count > 0)) {
    SetError(error, "no EGL configuration for desktop OpenGL");
    return nullptr;
  }
  gl->context_ = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  if (!gl->context_) {
    SetError(error, "EGL cannot create a desktop OpenGL context");
    return nullptr;
  }
  if (pbuffer) {
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, size);
    if (surface != EGL_NO_SURFACE) gl->surface_ = surface;
  }
  if (!gl->MakeCurrent()) {
    SetError(error, "EGL cannot make the context current");
    return nullptr;
  }
  return gl;
}

HeadlessGl::~HeadlessGl() {
  if (!display_) return;
  if (eglGetCurrentContext() == context_) eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (surface_) eglDestroySurface(display_, surface_);
  if (context_) eglDestroyContext(display_, context_);
  eglReleaseThread();
}

bool HeadlessGl::MakeCurrent() {
  EGLSurface surface = surface_ ? surface_ : EGL_NO_SURFACE;
  return eglMakeCurrent(display_, surface, surface, context_) == EGL_TRUE;
}

// An OpenGL context without a window, for tests and off-screen tools: Mesa's
// surfaceless EGL platform, a desktop OpenGL (compatibility profile) context
// and, when the driver offers one, a pbuffer of the requested size as the
// default framebuffer.
#pragma once

#include <memory>
#include <string>

class HeadlessGl {
 public:
  // A context made current on the calling thread, or null (with the reason
  // in *error) when EGL cannot give one, e.g. without Mesa's drivers.
  static std::unique_ptr<HeadlessGl> Create(int width, int height, std::string* error = nullptr);
  ~HeadlessGl();
  HeadlessGl(const HeadlessGl&) = delete;
  HeadlessGl& operator=(const HeadlessGl&) = delete;

  bool MakeCurrent();
  // False when the context runs without a surface (nothing to draw into
  // unless the caller makes its own framebuffer).
  bool hasFramebuffer() const { return surface_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  HeadlessGl() = default;

  void* display_ = nullptr;
  void* context_ = nullptr;
  void* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

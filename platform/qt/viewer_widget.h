// The main window's client area: an OpenGL widget that owns the renderer,
// the texture table and the shell, draws a frame whenever the event loop is
// idle, and turns mouse, wheel and resize events into shell calls.
//
// The shell and renderer exist from initializeGL on; they are freed in the
// destructor with the context current, before the context goes.
#pragma once

#include <QOpenGLWidget>
#include <QTimer>
#include <functional>
#include <memory>

#include "shell.h"
#include "texture_backend.h"

class Renderer;
class Settings;
class TextureTable;

class ViewerWidget : public QOpenGLWidget {
 public:
  // Everything the shell is built over; owned by the main window, which
  // outlives this widget.
  struct Services {
    ViewerState* state;
    Settings* settings;
    UiServices* ui;
    ShellHost* host;
    RecentMenu* recentMenu;
    ContentReaders* readers;
  };

  ViewerWidget(const Services& services, QWidget* parent);
  ~ViewerWidget() override;

  // Null until the context is made.
  Shell* shell() const { return shell_.get(); }
  Renderer* renderer() const { return renderer_.get(); }
  TextureTable* textures() const { return textures_.get(); }

  // Runs fn once the shell has started (at once when it has).
  void WhenStarted(std::function<void()> fn);

  // Frames drawn one after another while idle (on by default).
  void SetContinuousRendering(bool on);
  bool continuousRendering() const { return idle_.isActive(); }
  // Stops drawing (keeping the last frame) while a load runs.
  void PauseRendering(bool paused);
  int framesDrawn() const { return framesDrawn_; }
  // The client area starts at 480 x 480.
  QSize sizeHint() const override { return QSize(480, 480); }

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Button(QMouseEvent* event, int action);
  void Teardown();

  Services services_;
  GlTextureBackend backend_;
  std::unique_ptr<TextureTable> textures_;
  std::unique_ptr<Renderer> renderer_;
  std::unique_ptr<Shell> shell_;
  std::vector<std::function<void()>> whenStarted_;
  QTimer idle_;
  QMetaObject::Connection contextGoing_;
  bool paused_ = false;
  bool continuous_ = true;
  int framesDrawn_ = 0;
};

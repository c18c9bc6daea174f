#include "viewer_widget.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>

#include "input_mapping.h"
#include "renderer.h"
#include "system.h"
#include "texture_table.h"

ViewerWidget::ViewerWidget(const Services& services, QWidget* parent) : QOpenGLWidget(parent), services_(services) {
  // The last frame must survive a pause: the loading text is shown over it.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  // Render, then let the loop take what is waiting; a zero interval with
  // swap interval 0 leaves the frame rate to the renderer.
  idle_.setInterval(0);
  connect(&idle_, &QTimer::timeout, this, [this] { update(); });
}

ViewerWidget::~ViewerWidget() {
  disconnect(contextGoing_);
  Teardown();
}

void ViewerWidget::Teardown() {
  idle_.stop();
  if (!shell_ && !renderer_) return;
  makeCurrent();
  if (shell_) {
    shell_->FreeContent();
    shell_->SetRenderer(nullptr);
  }
  shell_.reset();
  renderer_.reset();
  textures_.reset();
  doneCurrent();
}

void ViewerWidget::initializeGL() {
  // A widget moved to another window gets a new context; what lived in the
  // old one has to go with it.
  disconnect(contextGoing_);
  contextGoing_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { Teardown(); }, Qt::DirectConnection);
  textures_ = std::make_unique<TextureTable>(backend_, *services_.ui);
  renderer_ = std::make_unique<Renderer>(*services_.state, *textures_);
  renderer_->Initialise();
  shell_ = std::make_unique<Shell>(*services_.state, *services_.settings, *textures_, *services_.ui, *services_.host,
                                   *services_.recentMenu, services_.readers);
  shell_->SetRenderer(renderer_.get());
  shell_->Start();
  if (continuous_) idle_.start();
  std::vector<std::function<void()>> waiting;
  waiting.swap(whenStarted_);
  for (auto& fn : waiting) fn();
}

void ViewerWidget::WhenStarted(std::function<void()> fn) {
  if (shell_)
    fn();
  else
    whenStarted_.push_back(std::move(fn));
}

void ViewerWidget::SetContinuousRendering(bool on) {
  continuous_ = on;
  if (on && shell_ && !paused_)
    idle_.start();
  else if (!on)
    idle_.stop();
}

void ViewerWidget::PauseRendering(bool paused) {
  paused_ = paused;
  if (paused)
    idle_.stop();
  else if (continuous_ && shell_)
    idle_.start();
}

void ViewerWidget::resizeGL(int width, int height) {
  if (!shell_) return;
  const qreal ratio = devicePixelRatioF();
  shell_->OnResize(int(width * ratio + 0.5), int(height * ratio + 0.5));
}

void ViewerWidget::paintGL() {
  // While the loader thread owns the content nothing may read it; the frame
  // buffer keeps the last picture.
  if (!renderer_ || paused_ || (shell_ && shell_->loading())) return;
  renderer_->RenderFrame(TimeGetTime());
  ++framesDrawn_;
}

void ViewerWidget::Button(QMouseEvent* event, int action) {
  int button = ShellButtonFromQt(event->button());
  if (!shell_ || button < 0) return;
  QPointF at = event->position();
  shell_->OnButton(button, action, float(qRound(at.x())), float(qRound(at.y())));
}

void ViewerWidget::mousePressEvent(QMouseEvent* event) { Button(event, kButtonDown); }
void ViewerWidget::mouseReleaseEvent(QMouseEvent* event) { Button(event, kButtonUp); }
void ViewerWidget::mouseDoubleClickEvent(QMouseEvent* event) { Button(event, kButtonDoubleClick); }

void ViewerWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!shell_) return;
  QPointF at = event->position();
  shell_->OnMouseMove(float(qRound(at.x())), float(qRound(at.y())));
}

void ViewerWidget::wheelEvent(QWheelEvent* event) {
  if (!shell_) return;
  int delta = event->angleDelta().y();
  if (delta != 0) shell_->OnWheel(delta, MouseKeyFlagsFromQt(event->buttons(), event->modifiers()));
  event->accept();
}

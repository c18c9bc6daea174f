#include "window_test_support.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "app_setup.h"
#include "test_support.h"
#include "viewer_widget.h"

namespace {

// One QApplication for the whole run, made when the tests start (not when
// they are only listed).
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Every window test runs under a decimal-comma locale when there is one,
    // which the program must not let near its numbers.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) setenv("LC_ALL", "de_DE.UTF-8", 1);
    SetDefaultSurfaceFormat();
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    ConfigureApplication(*app_);
  }
  // The application stays until the process ends: closing its display would
  // unload Mesa's driver before the leak check could name what it keeps.

 private:
  QApplication* app_ = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool ProcessUntil(const std::function<bool()>& pred) {
  for (int i = 0; i < 6000; ++i) {
    if (pred()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
  return pred();
}

void ProcessEvents() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void AnswerNextModalWidget(std::function<bool(QWidget*)> fn) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    if (!fn(modal)) ADD_FAILURE() << "unexpected dialog " << modal->metaObject()->className();
  });
  timer->start();
}

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at,
               Qt::KeyboardModifiers modifiers) {
  QPointF local(at);
  QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, modifiers);
  QApplication::sendEvent(widget, &event);
}

void SendWheel(QWidget* widget, int delta, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  QPointF local(widget->width() / 2, widget->height() / 2);
  QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), buttons, modifiers,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

void DropFiles(QWidget* window, const QStringList& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  mime.setUrls(urls);
  // The drop goes to the widget that accepted the drag's entry.
  const QPoint at(window->width() / 2, window->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
}

std::string SamplePath(const char* name) { return SourcePath(std::string("samples/") + name); }

void WindowTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  folder_ = TempDir() + "/" + info->test_suite_name() + "." + info->name();
  std::filesystem::create_directories(folder_);
  previousFolder_ = QDir::currentPath().toStdString();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder_)));
  Open();
}

void WindowTest::Open() {
  window_ = std::make_unique<MainWindow>(1);
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(ProcessUntil([&] { return window_->shell() != nullptr; })) << "the window never started";
  if (!QTest::qWaitForWindowActive(window_.get())) QApplication::setActiveWindow(window_.get());
  // The tests drive frames themselves.
  window_->view()->SetContinuousRendering(false);
}

void WindowTest::TearDown() {
  window_.reset();
  ProcessEvents();
  QDir::setCurrent(QString::fromStdString(previousFolder_));
}

void WindowTest::Restart() {
  window_.reset();
  ProcessEvents();
  Open();
}

void WindowTest::DropAndWait(const QStringList& paths) {
  DropFiles(window_.get(), paths);
  // The drop is opened from a queued call, and the whole load runs inside it.
  ProcessEvents();
  EXPECT_TRUE(ProcessUntil([&] { return !window_->shell()->loading(); }));
}

#include "gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || OnGuiThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

// tamarind [--platform gl] [FILE]
//
// The desktop viewer. Without arguments it asks for the drawing platform
// and opens an empty window; "--platform gl" skips the question, and FILE
// is opened once the window is up, as a dropped file is.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app_setup.h"
#include "main_window.h"
#include "platform_dialog.h"
#include "viewer_widget.h"

namespace {

struct Options {
  bool platformGl = false;
  std::string file;
  std::string screenshot;  // undocumented: save the first frames' picture and quit
};

int Usage() {
  std::fprintf(stderr, "usage: tamarind [--platform gl] [FILE]\n");
  return 2;
}

// Takes our options out of argv before Qt sees it: Qt reads "--platform" as
// its own platform-plugin option.
bool ParseOptions(int argc, char** argv, Options& options, std::vector<char*>& qtArgs) {
  qtArgs.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--platform") == 0) {
      if (i + 1 >= argc || std::strcmp(argv[i + 1], "gl") != 0) return false;
      options.platformGl = true;
      ++i;
    } else if (std::strcmp(argv[i], "--screenshot") == 0) {
      if (i + 1 >= argc) return false;
      options.screenshot = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      qtArgs.push_back(argv[i]);  // Qt's own options (-style, -geometry, ...)
    } else if (options.file.empty()) {
      options.file = argv[i];
    } else {
      return false;
    }
  }
  qtArgs.push_back(nullptr);
  return true;
}

// Waits until the window has started and no load runs, lets a few frames
// pass, then writes the client area's picture and quits.
void ScheduleScreenshot(MainWindow& window, const QString& path) {
  auto* poll = new QTimer(&window);
  auto quietPolls = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, &window, [&window, path, poll, quietPolls] {
    Shell* shell = window.shell();
    if (!shell || shell->loading()) {
      *quietPolls = 0;
      return;
    }
    if (++*quietPolls < 5) return;
    poll->stop();
    QImage picture = window.view()->grabFramebuffer();
    if (!picture.save(path)) std::fprintf(stderr, "tamarind: cannot write %s\n", qPrintable(path));
    window.close();
  });
  poll->start(200);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<char*> qtArgs;
  if (!ParseOptions(argc, argv, options, qtArgs)) return Usage();
  int qtArgc = int(qtArgs.size()) - 1;

  SetDefaultSurfaceFormat();
  QApplication app(qtArgc, qtArgs.data());
  ConfigureApplication(app);

  int platform = 1;
  if (!options.platformGl) {
    PlatformDialog dialog(Direct3d8Available());
    switch (dialog.Run()) {
      case PlatformDialog::Choice::Exit: return 0;
      case PlatformDialog::Choice::Direct3d8: platform = 0; break;
      case PlatformDialog::Choice::OpenGl: platform = 1; break;
    }
  }

  MainWindow window(platform);
  window.show();
  if (!options.file.empty()) {
    QString path = QFileInfo(QFile::decodeName(options.file.c_str())).absoluteFilePath();
    window.OpenAsDropped(QFile::encodeName(path).toStdString());
  }
  if (!options.screenshot.empty()) ScheduleScreenshot(window, QString::fromLocal8Bit(options.screenshot.c_str()));
  return app.exec();
}

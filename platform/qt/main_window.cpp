#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "artwork.h"
#include "cell_font.h"
#include "gui_thread.h"
#include "input_mapping.h"
#include "large_pages.h"
#include "shell_commands.h"
#include "shell_dialogs.h"
#include "system.h"
#include "viewer_widget.h"

namespace {

// Drops the user's input to one window while a load runs, as the loading
// loop takes messages off the queue without dispatching them. Paints, timers
// and the loader thread's requests pass, and so does input to other windows
// (a message box the loader shows must still answer its OK).
class InputDropper : public QObject {
 public:
  explicit InputDropper(QWidget* window) : window_(window) {}

  bool eventFilter(QObject* target, QEvent* event) override {
    if (!IsInput(event->type())) return false;
    if (event->type() == QEvent::Shortcut) return !target->isWidgetType() || ForWindow(target);
    return ForWindow(target);
  }

 private:
  static bool IsInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
      case QEvent::Close:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
        return true;
      default:
        return false;
    }
  }

  bool ForWindow(QObject* target) const {
    if (target->isWidgetType()) return static_cast<QWidget*>(target)->window() == window_;
    if (target->isWindowType()) return target == window_->windowHandle();
    return false;
  }

  QWidget* window_;
};

}  // namespace

QColor ColorFromWindows(uint32_t color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

uint32_t WindowsFromColor(const QColor& color) {
  return uint32_t(color.red()) | uint32_t(color.green()) << 8 | uint32_t(color.blue()) << 16;
}

MainWindow::MainWindow(int platform, ContentReaders* readers, QWidget* parent)
    : QMainWindow(parent), readers_(readers) {
  state_.platform = platform;
  settings_.Read(CurrentDirectory());
  ui_.SetMainWindow(this);
  setWindowTitle("Tamarind Ver1.08");
  setWindowIcon(ApplicationIcon());
  setAcceptDrops(true);
  BuildMenus();

  ViewerWidget::Services services{&state_, &settings_, &ui_, this, this, readers_};
  view_ = new ViewerWidget(services, this);
  setCentralWidget(view_);
  view_->setFocus();

  loadingText_ = new QLabel(view_);
  loadingText_->setObjectName("loadingText");
  loadingText_->setFont(ArialCellFont(16, QFont::Medium));
  loadingText_->setAutoFillBackground(true);
  loadingText_->setMargin(0);
  loadingText_->hide();
}

MainWindow::~MainWindow() {
  // The client area frees the content with the context current, while the
  // state it points into still exists.
  delete view_;
  view_ = nullptr;
}

Shell* MainWindow::shell() const { return view_ ? view_->shell() : nullptr; }

QAction* MainWindow::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::recentPopup(int position) const {
  if (position == kRecentObjectPopup) return recentPopups_[0];
  if (position == kRecentScenePopup) return recentPopups_[1];
  return nullptr;
}

bool MainWindow::IsChecked(int id) const {
  auto it = checked_.find(id);
  return it != checked_.end() && it->second;
}

void MainWindow::BuildMenus() {
  for (const MenuNode& top : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromStdString(top.text));
    AddMenuNodes(menu, top.children, &top == &MainMenu().front());
  }
  for (const Accelerator& accelerator : AcceleratorTable()) {
    QAction* a = action(accelerator.command);
    if (!a) continue;
    a->setShortcut(ShortcutFromAccelerator(accelerator));
    // Taken before the key reaches key handling, as long as the window is
    // active: Ctrl+F is the surface edges while F alone steps a frame.
    a->setShortcutContext(Qt::WindowShortcut);
  }
}

void MainWindow::AddMenuNodes(QMenu* menu, const std::vector<MenuNode>& nodes, bool fileMenu) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    const MenuNode& node = nodes[i];
    switch (node.kind) {
      case MenuNode::Kind::Command:
        AddCommand(menu, node.id, QString::fromStdString(node.text));
        break;
      case MenuNode::Kind::Separator:
        menu->addSeparator();
        break;
      case MenuNode::Kind::Popup: {
        QMenu* popup = menu->addMenu(QString::fromStdString(node.text));
        if (fileMenu && int(i) == kRecentObjectPopup) recentPopups_[0] = popup;
        if (fileMenu && int(i) == kRecentScenePopup) recentPopups_[1] = popup;
        AddMenuNodes(popup, node.children, false);
        break;
      }
    }
  }
}

QAction* MainWindow::AddCommand(QMenu* menu, int id, const QString& text) {
  QAction* a = menu->addAction(text);
  a->setData(id);
  actions_[id] = a;
  connect(a, &QAction::triggered, this, [this, id, a] {
    // The shell alone sets check marks: undo Qt's own toggle first, so that
    // choosing the current look keeps its mark.
    if (a->isCheckable()) a->setChecked(IsChecked(id));
    RunCommand(id);
  });
  return a;
}

void MainWindow::RunCommand(int id) {
  if (Shell* s = shell()) {
    view_->makeCurrent();
    s->OnCommand(id);
  }
}

void MainWindow::OpenAsDropped(const std::string& path) {
  view_->WhenStarted([this, path] { OpenDropped({path}); });
}

void MainWindow::OpenDropped(std::vector<std::string> paths) {
  // Opened from the event loop, after the drop has finished, as the drop
  // message arrives after the drag.
  QTimer::singleShot(0, this, [this, paths] {
    Shell* s = shell();
    if (!s || s->loading()) return;
    view_->makeCurrent();
    s->OnDropFiles(paths);
  });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  int key = VirtualKeyFromQt(event->key(), event->modifiers());
  Shell* s = shell();
  if (!key || !s) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  view_->makeCurrent();
  s->OnKeyDown(key);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
  int key = VirtualKeyFromQt(event->key(), event->modifiers());
  Shell* s = shell();
  if (!key || !s || event->isAutoRepeat()) {
    QMainWindow::keyReleaseEvent(event);
    return;
  }
  s->OnKeyUp(key);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(FromQtPath(url.toLocalFile()));
  if (paths.empty()) return;
  event->acceptProposedAction();
  OpenDropped(std::move(paths));
}

void MainWindow::SetWindowTitle(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

void MainWindow::CheckMenuItem(int id, bool checked) {
  RunOnGuiThread([&] {
    QAction* a = action(id);
    if (!a) return;
    checked_[id] = checked;
    a->setCheckable(true);
    a->setChecked(checked);
  });
}

void MainWindow::EnableMenuItem(int id, bool enabled) {
  RunOnGuiThread([&] {
    if (QAction* a = action(id)) a->setEnabled(enabled);
  });
}

std::optional<uint32_t> MainWindow::ChooseColor(uint32_t initial) {
  // Qt's own dialog: the sixteen custom colours start white.
  for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, Qt::white);
  QColorDialog dialog(ColorFromWindows(initial), this);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return WindowsFromColor(dialog.selectedColor());
}

std::optional<std::string> MainWindow::ChooseSaveFile(const SaveFileRequest& request) {
  QFileDialog dialog(this, QString::fromStdString(request.title), ToQtPath(request.initialFolder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << QtNameFilter(f);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  if (!request.presetName.empty()) dialog.selectFile(QString::fromStdString(request.presetName));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FromQtPath(dialog.selectedFiles().front());
}

void MainWindow::ShowAboutBox() {
  AboutDialog dialog(this);
  dialog.exec();
}

std::optional<std::string> MainWindow::EditFrameIncrement(const std::string& shown) {
  FrameIncrementDialog dialog(shown, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.text();
}

std::optional<SettingsDialogValues> MainWindow::EditSettings(const SettingsDialogValues& shown) {
  SettingsDialog dialog(shown, ui_, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.values();
}

void MainWindow::SetWindowBackground(uint32_t color) {
  RunOnGuiThread([&] {
    background_ = color;
    QPalette palette = view_ ? view_->palette() : this->palette();
    palette.setColor(QPalette::Window, ColorFromWindows(color));
    if (view_) view_->setPalette(palette);
  });
}

// Qt grabs the pointer for the widget a button went down in until every
// button is up, which is what the capture is for.
void MainWindow::SetMouseCapture(bool) {}

void MainWindow::Quit() { close(); }

void MainWindow::MakeContextCurrent() {
  if (view_) view_->makeCurrent();
}

void MainWindow::ShowLoadingText(const std::string& text) {
  QPalette palette = loadingText_->palette();
  palette.setColor(QPalette::Window, ColorFromWindows(background_));
  palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  loadingText_->setPalette(palette);
  loadingText_->setText(QString::fromStdString(text));
  loadingText_->adjustSize();
  loadingText_->move(view_->width() - 120, view_->height() - 18);
  loadingText_->show();
  loadingText_->raise();
}

void MainWindow::WaitWhileLoading(const std::atomic<int>& loading) {
  if (!loading.load()) {
    ReleaseBlockCache();
    return;
  }
  InputDropper dropper(this);
  qApp->installEventFilter(&dropper);
  view_->PauseRendering(true);

  QEventLoop loop;
  QTimer tick;
  tick.setInterval(10);
  int counter = 0;
  std::string text;
  connect(&tick, &QTimer::timeout, &loop, [&] {
    if (!loading.load()) {
      loop.quit();
      return;
    }
    counter = NextSpinnerCounter(counter);
    text = SpinnerText(counter, text);
    ShowLoadingText(text);
  });
  tick.start();
  loop.exec();

  loadingText_->hide();
  view_->PauseRendering(false);
  qApp->removeEventFilter(&dropper);
  // The pages of the blocks the load freed were kept for its own later
  // blocks; once it is over they are given back.
  ReleaseBlockCache();
}

void MainWindow::RemoveItem(int popup, int id) {
  RunOnGuiThread([&] {
    QMenu* menu = recentPopup(popup);
    QAction* a = action(id);
    if (!menu || !a || !menu->actions().contains(a)) return;
    menu->removeAction(a);
    actions_.erase(id);
    checked_.erase(id);
    delete a;
  });
}

void MainWindow::AppendItem(int popup, int id, const std::string& text) {
  RunOnGuiThread([&] {
    QMenu* menu = recentPopup(popup);
    if (!menu) return;
    if (QAction* old = action(id)) {
      // One item per id: a second append replaces the text.
      old->setText(QString::fromStdString(text));
      return;
    }
    AddCommand(menu, id, QString::fromStdString(text));
  });
}

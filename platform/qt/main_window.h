// The main window: menu 101 with accelerator table 105, the OpenGL client
// area, drag and drop, keys, and every window-system service the shell
// asks for (ShellHost) including the recent-file popups (RecentMenu) and
// the loading wait.
//
// The settings are read from the current directory when the window is
// made. GUI thread only; the recent-menu calls may come from the loader
// thread and are carried over.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

#include "qt_ui_services.h"
#include "settings.h"
#include "shell.h"
#include "shell_commands.h"
#include "viewer_state.h"

class QAction;
class QLabel;
class QMenu;
class ViewerWidget;

class MainWindow : public QMainWindow, public ShellHost, public RecentMenu {
 public:
  // platform: 1 OpenGL, 0 Direct3D 8. readers: the optional content
  // readers handed to the shell (may be null).
  explicit MainWindow(int platform, ContentReaders* readers = nullptr, QWidget* parent = nullptr);
  ~MainWindow() override;

  ViewerState& state() { return state_; }
  Settings& settings() { return settings_; }
  QtUiServices& ui() { return ui_; }
  ViewerWidget* view() const { return view_; }
  // Null until the client area's context exists.
  Shell* shell() const;

  // The menu item of a command id (recent entries included), or null.
  QAction* action(int id) const;
  // The recent popup at this position of the File menu (7 or 8), or null.
  QMenu* recentPopup(int position) const;
  // The check mark the shell last set.
  bool IsChecked(int id) const;
  // The loading text over the picture (hidden when no load runs).
  QLabel* loadingText() const { return loadingText_; }

  // Opens a file once the window has started, as a dropped file is opened.
  void OpenAsDropped(const std::string& path);

  // ShellHost.
  void SetWindowTitle(const std::string& text) override;
  void CheckMenuItem(int id, bool checked) override;
  void EnableMenuItem(int id, bool enabled) override;
  std::optional<uint32_t> ChooseColor(uint32_t initial) override;
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
  void ShowAboutBox() override;
  std::optional<std::string> EditFrameIncrement(const std::string& shown) override;
  std::optional<SettingsDialogValues> EditSettings(const SettingsDialogValues& shown) override;
  void SetWindowBackground(uint32_t color) override;
  void SetMouseCapture(bool on) override;
  void Quit() override;
  void WaitWhileLoading(const std::atomic<int>& loading) override;
  void MakeContextCurrent() override;

  // RecentMenu.
  void RemoveItem(int popup, int id) override;
  void AppendItem(int popup, int id, const std::string& text) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void AddMenuNodes(QMenu* menu, const std::vector<MenuNode>& nodes, bool fileMenu);
  QAction* AddCommand(QMenu* menu, int id, const QString& text);
  void RunCommand(int id);
  void OpenDropped(std::vector<std::string> paths);
  void ShowLoadingText(const std::string& text);

  ViewerState state_;
  Settings settings_;
  QtUiServices ui_;
  ContentReaders* readers_;
  ViewerWidget* view_ = nullptr;
  QLabel* loadingText_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, bool> checked_;
  QMenu* recentPopups_[2] = {nullptr, nullptr};
  uint32_t background_ = 0;
};

// 0x00BBGGRR and back.
QColor ColorFromWindows(uint32_t color);
uint32_t WindowsFromColor(const QColor& color);

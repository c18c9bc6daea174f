// UiServices on Qt widgets: message boxes, the open-file dialog and the
// folder chooser, owned by the main window when asked. Requests from the
// loader thread are carried over to the GUI thread and block until
// answered.
//
// Tests replace any of the three with a hook; a hook runs on the GUI thread
// in place of the dialog, so nothing waits for a user.
#pragma once

#include <functional>

#include "ui_services.h"

class QWidget;
class QString;

class QtUiServices : public UiServices {
 public:
  using MessageHook = std::function<MessageAnswer(const std::string& text, const std::string& caption,
                                                  MessageButtons buttons, DialogOwner owner)>;
  using OpenFileHook = std::function<std::optional<std::string>(const OpenFileRequest&)>;
  using FolderHook = std::function<std::optional<std::string>(const FolderRequest&)>;

  // The window that owns DialogOwner::MainWindow dialogs; null for none.
  void SetMainWindow(QWidget* window) { mainWindow_ = window; }

  void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  void SetOpenFileHook(OpenFileHook hook) { openFileHook_ = std::move(hook); }
  void SetFolderHook(FolderHook hook) { folderHook_ = std::move(hook); }

  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                            DialogOwner owner) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  std::optional<std::string> ChooseFolder(const FolderRequest& request) override;

 private:
  QWidget* Owner(DialogOwner owner) const;

  QWidget* mainWindow_ = nullptr;
  MessageHook messageHook_;
  OpenFileHook openFileHook_;
  FolderHook folderHook_;
};

// Conversions between the viewer's UTF-8 stored-form paths and Qt's.
QString ToQtPath(const std::string& storedPath);
std::string FromQtPath(const QString& path);
// The filter line a Qt file dialog shows for a filter ("lwoファイル(*.lwo)").
QString QtNameFilter(const FileFilter& filter);

// The shell's three dialogs on Qt widgets: the about box (103), the frame
// increment (107) and the settings (108). Each is modal to its parent and
// opens centred on it. Object names let tests find the controls: the
// resource's control ids ("edit1001", "check1002", "button1005", ...).
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "shell.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// "バージョン情報": icon 104, "Tamarind Version 1.08" and OK.
class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(QWidget* parent);
};

// "Frame Increment Value": a right-aligned edit of at most 16 characters
// and OK; Escape cancels.
class FrameIncrementDialog : public QDialog {
 public:
  FrameIncrementDialog(const std::string& shown, QWidget* parent);
  std::string text() const;

 private:
  QLineEdit* edit_;
};

// "Setting": the texture group (load, set path, folder, browse, note), the
// content directory group, OK and "ｷｬﾝｾﾙ". The browse buttons ask `ui` for a
// folder, starting at the stored content directory.
class SettingsDialog : public QDialog {
 public:
  SettingsDialog(const SettingsDialogValues& shown, UiServices& ui, QWidget* parent);
  SettingsDialogValues values() const;

 private:
  void ApplyEnableRules();
  void Browse(QLineEdit* edit, const char* title);

  UiServices& ui_;
  std::string initialFolder_;
  QCheckBox* loadTexture_;
  QCheckBox* setTexPath_;
  QLineEdit* textureFolder_;
  QPushButton* browseTexture_;
  QLineEdit* contentFolder_;
};

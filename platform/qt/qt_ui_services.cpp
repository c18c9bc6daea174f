#include "qt_ui_services.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

#include "files.h"
#include "gui_thread.h"

QString ToQtPath(const std::string& storedPath) { return QFile::decodeName(QByteArray::fromStdString(ToFsPath(storedPath))); }

std::string FromQtPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString QtNameFilter(const FileFilter& filter) {
  QString description = QString::fromStdString(filter.description);
  QString pattern = QString::fromStdString(filter.pattern);
  // Qt takes the patterns from the last parentheses of the line.
  if (description.endsWith("(" + pattern + ")")) return description;
  return description + " (" + pattern + ")";
}

QWidget* QtUiServices::Owner(DialogOwner owner) const {
  return owner == DialogOwner::MainWindow ? mainWindow_ : nullptr;
}

MessageAnswer QtUiServices::ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                                        DialogOwner owner) {
  MessageAnswer answer = buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  RunOnGuiThread([&] {
    if (messageHook_) {
      answer = messageHook_(text, caption, buttons, owner);
      return;
    }
    QMessageBox box(Owner(owner));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    if (buttons == MessageButtons::Ok) {
      box.setStandardButtons(QMessageBox::Ok);
    } else {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
    }
    int result = box.exec();
    if (buttons == MessageButtons::YesNo) answer = result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
  });
  return answer;
}

std::optional<std::string> QtUiServices::ChooseOpenFile(const OpenFileRequest& request) {
  std::optional<std::string> chosen;
  RunOnGuiThread([&] {
    if (openFileHook_) {
      chosen = openFileHook_(request);
      return;
    }
    QFileDialog dialog(Owner(request.owner), QString::fromStdString(request.title), ToQtPath(request.initialFolder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList filters;
    for (const FileFilter& f : request.filters) filters << QtNameFilter(f);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.presetPath.empty()) dialog.selectFile(ToQtPath(request.presetPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    chosen = FromQtPath(dialog.selectedFiles().front());
  });
  return chosen;
}

std::optional<std::string> QtUiServices::ChooseFolder(const FolderRequest& request) {
  std::optional<std::string> chosen;
  RunOnGuiThread([&] {
    if (folderHook_) {
      chosen = folderHook_(request);
      return;
    }
    QString folder = QFileDialog::getExistingDirectory(Owner(request.owner), QString::fromStdString(request.title),
                                                       ToQtPath(request.initialFolder));
    if (folder.isEmpty()) return;
    if (!folder.endsWith('/')) folder += '/';
    chosen = FromQtPath(folder);
  });
  return chosen;
}

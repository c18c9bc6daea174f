#include "ui_services.h"

MessageAnswer ScriptedUi::ShowMessage(const std::string& text, const std::string& caption,
                                      MessageButtons buttons, DialogOwner owner) {
  messages_.push_back({text, caption, buttons, owner});
  if (answers_.empty()) return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  MessageAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUi::ChooseOpenFile(const OpenFileRequest& request) {
  openFileRequests_.push_back(request);
  if (files_.empty()) return std::nullopt;
  std::optional<std::string> path = std::move(files_.front());
  files_.pop_front();
  return path;
}

std::optional<std::string> ScriptedUi::ChooseFolder(const FolderRequest& request) {
  folderRequests_.push_back(request);
  if (folders_.empty()) return std::nullopt;
  std::optional<std::string> folder = std::move(folders_.front());
  folders_.pop_front();
  return folder;
}

void ScriptedUi::ClearRecord() {
  messages_.clear();
  openFileRequests_.clear();
  folderRequests_.clear();
}

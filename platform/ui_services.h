// What the loaders ask of the user: message boxes, the open-file dialog and a
// folder choice. The viewer's code talks only to this interface; the window
// system provides one implementation, and ScriptedUi answers from a script
// and records every request (tests, tools that run without a screen).
//
// Calls may come from the loader thread; an implementation on a GUI toolkit
// must carry them over to its GUI thread and block until they are answered.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };
// A dialog either belongs to the main window (modal to it) or stands alone.
enum class DialogOwner { None, MainWindow };

struct FileFilter {
  std::string description;  // "tgaファイル(*.tga)"
  std::string pattern;      // "*.tga"
};

struct OpenFileRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // without the dot
  std::string initialFolder;     // stored form
  std::string presetPath;        // the name the dialog opens with
  bool mustExist = false;
  DialogOwner owner = DialogOwner::MainWindow;
};

struct FolderRequest {
  std::string title;
  std::string initialFolder;
  DialogOwner owner = DialogOwner::MainWindow;
};

class UiServices {
 public:
  virtual ~UiServices() = default;
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                    MessageButtons buttons, DialogOwner owner) = 0;
  // The chosen file's full path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) = 0;
  // The chosen folder ending in a separator, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFolder(const FolderRequest& request) = 0;
};

// Answers from queues filled beforehand, in order. With its queue empty a
// message box answers Ok (an OK box) or No (a Yes/No box) and a dialog is
// cancelled, so an unscripted prompt never gets a "yes".
class ScriptedUi : public UiServices {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    DialogOwner owner;
  };

  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  void QueueOpenFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  void QueueFolder(std::optional<std::string> folder) { folders_.push_back(std::move(folder)); }

  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                            DialogOwner owner) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileRequest& request) override;
  std::optional<std::string> ChooseFolder(const FolderRequest& request) override;

  const std::vector<Message>& messages() const { return messages_; }
  const std::vector<OpenFileRequest>& openFileRequests() const { return openFileRequests_; }
  const std::vector<FolderRequest>& folderRequests() const { return folderRequests_; }
  // Forgets the requests seen so far (the queues stay).
  void ClearRecord();

 private:
  std::deque<MessageAnswer> answers_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::optional<std::string>> folders_;
  std::vector<Message> messages_;
  std::vector<OpenFileRequest> openFileRequests_;
  std::vector<FolderRequest> folderRequests_;
};

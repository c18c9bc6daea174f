// The application shell's logic: menu commands, keys, mouse drags, the
// wheel, dropped files, titles, and every load through the loader thread.
// Plain code over ViewerState; the window system turns its events into
// these calls and provides the ShellHost services (tests use a fake).
//
// Main thread only, except what the loader thread does while the main
// thread waits in ShellHost::WaitWhileLoading.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui_services.h"
#include "viewer_state.h"

class Settings;
class TextureTable;
class RecentMenu;
class Renderer;

// Windows mouse-key flags as the wheel handler takes them.
constexpr int kMkLButton = 0x0001;
constexpr int kMkRButton = 0x0002;
constexpr int kMkShift = 0x0004;
constexpr int kMkControl = 0x0008;
constexpr int kMkMButton = 0x0010;

enum MouseButton { kButtonLeft = 0, kButtonRight = 1, kButtonMiddle = 2 };
enum MouseAction { kButtonUp = 0, kButtonDown = 1, kButtonDoubleClick = 2 };

struct SaveFileRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // without the dot
  std::string initialFolder;     // stored form
  std::string presetName;        // the name the dialog opens with
  bool overwritePrompt = true;
};

// What the settings dialog shows and returns.
struct SettingsDialogValues {
  bool loadTexture = false;
  bool setTexPath = false;
  std::string textureFolder;  // TEXDIR
  std::string contentFolder;  // CONTENTDIR
};

// Which of the settings dialog's texture controls are enabled, from its two
// check boxes: 1003 (set path), 1004 (folder edit) and 1005 (browse).
struct SettingsDialogEnables {
  bool setTexPath = false;
  bool textureFolder = false;
  bool browseTexture = false;
};
SettingsDialogEnables SettingsDialogEnableRules(bool loadTexture, bool setTexPath);
// A folder typed or chosen, as the settings file keeps it: at most 255 bytes
// (cut on a UTF-8 character boundary).
std::string ClampSettingsFolder(const std::string& folder);
// The settings dialog's browse buttons (ids below) ask UiServices::ChooseFolder
// with this: title "Texture Path" (1005) or "Content Directory" (1007), both
// starting at the stored content folder, owned by the main window.
constexpr int kSettingsBrowseTexture = 1005;
constexpr int kSettingsBrowseContent = 1007;
FolderRequest SettingsBrowseRequest(int button, const std::string& storedContentFolder);

// The frame-increment dialog's text: the new increment, or nothing (the
// increment stays) for text that is not a number in int range. At most the
// first 16 characters count; leading blanks and a sign are allowed and
// trailing non-digits end the number, as atoi reads.
std::optional<int> ParseFrameIncrement(const std::string& text);

// "a.b.lwo" -> "a.b.dxf"; a name without "." gives "".
std::string ExportDefaultName(const std::string& lastFileName);
// The window title: "Tamarind Ver1.08(GL) <path>" and the like.
std::string WindowTitle(int platform, const std::string* path);
// The text after the last path separator ('\' or '/'), and the folder up to
// and including it ("" when there is none).
std::string FileNameOf(const std::string& path);
std::string FolderOf(const std::string& path);

// The loading spinner: counter i steps 0,1,2,3,4,0,...; the text for i
// (4 keeps the previous text, given as `previous`).
int NextSpinnerCounter(int i);
std::string SpinnerText(int i, const std::string& previous);

// Services of the window system the shell calls.
class ShellHost {
 public:
  virtual ~ShellHost() = default;
  virtual void SetWindowTitle(const std::string& text) = 0;
  virtual void CheckMenuItem(int id, bool checked) = 0;
  virtual void EnableMenuItem(int id, bool enabled) = 0;
  // The colour dialog starting at `initial` (0x00BBGGRR); nothing on cancel.
  virtual std::optional<uint32_t> ChooseColor(uint32_t initial) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) = 0;
  virtual void ShowAboutBox() = 0;
  // The frame-increment dialog opened with `shown`; the text on OK.
  virtual std::optional<std::string> EditFrameIncrement(const std::string& shown) = 0;
  // The settings dialog (its browse buttons ask UiServices::ChooseFolder);
  // the values on OK, nothing on cancel.
  virtual std::optional<SettingsDialogValues> EditSettings(const SettingsDialogValues& shown) = 0;
  // The window's background before GL draws (the widget palette).
  virtual void SetWindowBackground(uint32_t color) = 0;
  virtual void SetMouseCapture(bool on) = 0;
  virtual void Quit() = 0;
  // Keeps the last frame on screen with the spinner text over it until
  // `loading` reads 0, stepping the spinner about every 10 ms. Drops user
  // input meanwhile, but serves the loader thread's UI requests and paints.
  virtual void WaitWhileLoading(const std::atomic<int>& loading) = 0;
  // Makes the rendering context current on the calling (main) thread.
  virtual void MakeContextCurrent() = 0;
};

// Readers of content kinds the shell may be built without. A kind whose
// reader is absent behaves as an unknown extension: the current content is
// freed and nothing loads.
class ContentReaders {
 public:
  virtual ~ContentReaders() = default;
  // Each returns true when it handles the kind (then its result, possibly a
  // failure, is the load's outcome).
  virtual bool ReadScene(const std::string& /*path*/, std::string& /*contentFolder*/, ViewerState&) { return false; }
  virtual bool ReadQns(const std::string& /*path*/, ViewerState&) { return false; }
  virtual bool ReadQno(const std::string& /*path*/, ViewerState&) { return false; }
  virtual bool ReadDxf(const std::string& /*path*/, ViewerState&) { return false; }
  virtual bool OpenXFile(const std::string& /*path*/, ViewerState&) { return false; }
  virtual void FreeScene(ViewerState&) {}
  virtual void FreeXFile(ViewerState&) {}
  // DXF export of the current content; false on failure or when absent.
  virtual bool ExportDxf(const std::string& /*path*/, const ViewerState&) { return false; }
  virtual bool HasDxfExport() const { return false; }
  virtual bool HasSceneReader() const { return false; }
  virtual bool HasDxfReader() const { return false; }
  // The X-file reader (Direct3D only).
  virtual bool HasXFileReader() const { return false; }
};

class Shell {
 public:
  Shell(ViewerState& state, Settings& settings, TextureTable& textures, UiServices& ui, ShellHost& host,
        RecentMenu& recentMenu, ContentReaders* readers = nullptr);
  ~Shell();  // joins a running loader thread

  // The renderer that draws the state (background colour, viewport).
  void SetRenderer(Renderer* renderer) { renderer_ = renderer; }

  // After the window exists and the context is made: menu marks of a new
  // window, greyed commands, the title, recent menus, the background colour
  // of the platform, the camera defaults.
  void Start();
  // Frees the current content (making the context current first): before
  // the context or device is torn down, and never from inside
  // WaitWhileLoading.
  void FreeContent();

  void OnCommand(int id);
  void OnKeyDown(int virtualKey);
  void OnKeyUp(int virtualKey);
  void OnMouseMove(float x, float y);
  void OnButton(int button, int action, float x, float y);
  // delta in 1/120 notches; keyFlags a set of kMk* flags.
  void OnWheel(int delta, int keyFlags);
  // Loads the first path; the title is left as it is.
  void OnDropFiles(const std::vector<std::string>& paths);
  void OnResize(int width, int height);

  // The title with or without a path; with one, remembers its file name.
  void SetTitle(const std::string* path);

  // The whole load; returns when it is over. The path is copied first. A
  // path whose file name has no "." changes nothing at all. Otherwise, on
  // the main thread with the context current, the previous content and its
  // textures are freed; the worker thread then reads the file (and pushes
  // the recent list, rebuilding its menu, and resets the camera) while the
  // host waits in WaitWhileLoading; after the join the main thread makes the
  // textures, sets the texture mark and the last folder. Ignored while a
  // load runs.
  void LoadFile(const std::string& path);
  bool loading() const { return loading_.load() != 0; }

  // The scene content folder handed to the scene reader.
  std::string& sceneContentFolder() { return sceneContentFolder_; }

 private:
  void LoaderThread(std::string path);
  void SetLook(int look);
  void Toggle(int& flag, int id);
  void OpenFromMenu(int id);
  void ChooseColour(bool background);
  void ExportDxf();
  void RunSettingsDialog();
  void RunFrameIncrementDialog();
  // False for the commands the window shows grey (their action never runs).
  bool CommandEnabled(int id) const;
  void ApplyBackground(uint32_t color);
  // Frees the model, scene and X file, whichever exist (main thread).
  void ReleaseContent();

  ViewerState& state_;
  Settings& settings_;
  TextureTable& textures_;
  UiServices& ui_;
  ShellHost& host_;
  RecentMenu& recentMenu_;
  ContentReaders* readers_;
  ContentReaders noReaders_;
  Renderer* renderer_ = nullptr;
  std::atomic<int> loading_{0};
  std::thread worker_;
  std::string sceneContentFolder_;
  int wheelRemainder_ = 0;  // high-resolution wheel deltas below one notch
};

// The viewer's settings file "Tamarind.ini" and its two recent-file lists.
//
// The file lives in the current directory at start-up. It is read once by
// Read and written key by key the moment a value changes; nothing is written
// at exit. Folders are kept in stored form, ending in a backslash.
//
//   [SETTING]        CONTENTDIR OBJECTDIR SCENEDIR TEXDIR DXFDIR
//                    LOADTEXTURE SETTEXPATH ("1"/"0") VERSION ("1.08")
//   [COLOR]          GLEDGECOLOR DXEDGECOLOR GLBKCOLOR DXBKCOLOR
//                    (0x00BBGGRR as eight lower-case hex digits)
//   [RECENT OJBECT]  obj0..obj7            (the section name is spelt so)
//   [RECENT SCENE]   scn0/cnt0..scn7/cnt7  (scene path, content folder)
//
// Not thread-safe; the loader thread pushes recent entries while the main
// thread waits for it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The two recent-file popups of the File menu, provided by the shell.
// Rebuilds run on the loader thread; an implementation on a GUI toolkit must
// carry them over to its GUI thread.
class RecentMenu {
 public:
  virtual ~RecentMenu() = default;
  // Removes the item with this command id from the popup at this position of
  // the File menu; nothing when it is not there.
  virtual void RemoveItem(int popup, int id) = 0;
  virtual void AppendItem(int popup, int id, const std::string& text) = 0;
};

constexpr int kRecentCount = 8;
constexpr int kRecentMenuCount = 4;
constexpr int kRecentObjectPopup = 7;
constexpr int kRecentScenePopup = 8;
// Entry i of the menu has command id first + i; the "none" item first + 4.
constexpr int kRecentObjectFirstId = 50000;
constexpr int kRecentSceneFirstId = 60000;

enum class SettingFolder { Content = 0, Object, Scene, Texture, Dxf };
// Colour indices (GL: OpenGL, DX: Direct3D).
enum SettingColor { kGlEdgeColor = 0, kDxEdgeColor = 1, kGlBackColor = 2, kDxBackColor = 3 };

struct RecentScene {
  std::string path;
  std::string folder;  // content folder handed to the scene reader
  bool operator==(const RecentScene& o) const { return path == o.path && folder == o.folder; }
};

class Settings {
 public:
  // Reads the file in currentDirectory (creating it with the defaults when
  // missing) and repairs missing or malformed keys in it. Every folder
  // defaults to currentDirectory + "\".
  void Read(const std::string& currentDirectory);
  const std::string& iniPath() const { return iniPath_; }

  const std::string& Folder(SettingFolder which) const { return folders_[int(which)]; }
  void SetFolder(SettingFolder which, const std::string& folder);
  bool loadTexture() const { return loadTexture_; }
  void SetLoadTexture(bool on);
  bool setTexPath() const { return setTexPath_; }
  void SetSetTexPath(bool on);
  // A Windows colour value 0x00BBGGRR; index is a SettingColor.
  uint32_t Color(int index) const;
  void SetColor(int index, uint32_t color);

  // Put a path at the top of its list (an equal entry moves up, else the
  // last one drops out) and write the whole list. The arguments are copies,
  // so an entry of the list itself may be pushed.
  void PushRecentObject(std::string path);
  void PushRecentScene(std::string path, std::string folder);

  // Entry i (0 to 7), or nothing when it is empty or out of range.
  std::optional<std::string> RecentObject(int i) const;
  std::optional<RecentScene> RecentSceneEntry(int i) const;

  void RebuildRecentObjectMenu(RecentMenu& menu) const;
  void RebuildRecentSceneMenu(RecentMenu& menu) const;

 private:
  void WriteRecentObjects() const;
  void WriteRecentScenes() const;

  std::string iniPath_;
  std::array<std::string, 5> folders_;
  bool loadTexture_ = false;
  bool setTexPath_ = false;
  std::array<uint32_t, 4> colors_{0x00000000u, 0x00000000u, 0x0000FF00u, 0x00FF0000u};
  std::array<std::string, kRecentCount> objects_;
  std::array<RecentScene, kRecentCount> scenes_;
};

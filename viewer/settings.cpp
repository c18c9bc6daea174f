#include "settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "files.h"
#include "ini_file.h"

namespace {

const char kSetting[] = "SETTING";
const char kColor[] = "COLOR";
const char kRecentObjects[] = "RECENT OJBECT";
const char kRecentScenes[] = "RECENT SCENE";
const char kVersion[] = "1.08";

const char* const kFolderKeys[] = {"CONTENTDIR", "OBJECTDIR", "SCENEDIR", "TEXDIR", "DXFDIR"};
const char* const kColorKeys[] = {"GLEDGECOLOR", "DXEDGECOLOR", "GLBKCOLOR", "DXBKCOLOR"};
constexpr std::array<uint32_t, 4> kDefaultColors{0x00000000u, 0x00000000u, 0x0000FF00u, 0x00FF0000u};

std::string Hex8(uint32_t color) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", unsigned(color));
  return text;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtoul(text, nullptr, 16) with a 32-bit unsigned long: leading blanks,
// a sign and "0x" allowed, stops at the first other character, saturates.
uint32_t ParseHexColor(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      IsHexDigit(text[i + 2]))
    i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && IsHexDigit(text[i]); ++i) {
    char c = text[i];
    int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    value = value * 16 + uint64_t(digit);
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  return negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
}

bool NonEmpty(const std::optional<std::string>& v) { return v && !v->empty(); }

std::string Key(const char* prefix, int i) { return prefix + std::to_string(i); }

void RebuildMenu(RecentMenu& menu, int popup, int firstId, const std::string* paths) {
  // The "none" item goes too, or it would linger beside the first entry.
  for (int i = 0; i <= kRecentMenuCount; ++i) menu.RemoveItem(popup, firstId + i);
  bool any = false;
  for (int i = 0; i < kRecentMenuCount; ++i) {
    if (paths[i].empty()) continue;
    menu.AppendItem(popup, firstId + i, paths[i]);
    any = true;
  }
  if (!any) menu.AppendItem(popup, firstId + kRecentMenuCount, "none");
}

}  // namespace

void Settings::Read(const std::string& currentDirectory) {
  std::string here = currentDirectory.empty() ? std::string(".") : currentDirectory;
  iniPath_ = here + "\\Tamarind.ini";
  const std::string defaultFolder = here + "\\";
  folders_.fill(defaultFolder);
  loadTexture_ = false;
  setTexPath_ = false;
  colors_ = kDefaultColors;
  objects_ = {};
  scenes_ = {};

  struct stat st;
  if (stat(ToFsPath(iniPath_).c_str(), &st) != 0) {
    IniEntries setting;
    for (const char* key : kFolderKeys) setting.emplace_back(key, defaultFolder);
    setting.emplace_back("LOADTEXTURE", "0");
    setting.emplace_back("SETTEXPATH", "0");
    setting.emplace_back("VERSION", kVersion);
    IniEntries color;
    for (int i = 0; i < 4; ++i) color.emplace_back(kColorKeys[i], Hex8(kDefaultColors[i]));
    IniEntries objects, scenes;
    for (int i = 0; i < kRecentCount; ++i) {
      objects.emplace_back(Key("obj", i), "");
      scenes.emplace_back(Key("scn", i), "");
      scenes.emplace_back(Key("cnt", i), "");
    }
    IniDocument doc;
    doc.ReplaceSection(kSetting, setting);
    doc.ReplaceSection(kColor, color);
    doc.ReplaceSection(kRecentObjects, objects);
    doc.ReplaceSection(kRecentScenes, scenes);
    doc.Save(iniPath_);
    return;
  }

  const IniDocument doc = IniDocument::Load(iniPath_);
  // Repairs are collected and written in one go, in the order they arise.
  std::vector<IniWrite> repairs;
  for (int i = 0; i < 5; ++i) {
    std::optional<std::string> v = doc.Get(kSetting, kFolderKeys[i]);
    if (NonEmpty(v))
      folders_[i] = *v;
    else
      repairs.push_back({kSetting, kFolderKeys[i], defaultFolder});
  }
  for (auto [key, flag] : {std::pair{"LOADTEXTURE", &loadTexture_}, std::pair{"SETTEXPATH", &setTexPath_}}) {
    std::optional<std::string> v = doc.Get(kSetting, key);
    if (v == "1") {
      *flag = true;
    } else if (v != "0") {
      repairs.push_back({kSetting, key, "0"});
    }
  }
  repairs.push_back({kSetting, "VERSION", kVersion});
  for (int i = 0; i < 4; ++i) {
    if (std::optional<std::string> v = doc.Get(kColor, kColorKeys[i]))
      colors_[i] = ParseHexColor(*v);
    else
      repairs.push_back({kColor, kColorKeys[i], Hex8(kDefaultColors[i])});
  }
  for (int i = 0; i < kRecentCount; ++i) {
    std::optional<std::string> v = doc.Get(kRecentObjects, Key("obj", i));
    if (NonEmpty(v))
      objects_[i] = *v;
    else
      repairs.push_back({kRecentObjects, Key("obj", i), ""});
  }
  for (int i = 0; i < kRecentCount; ++i) {
    std::optional<std::string> scn = doc.Get(kRecentScenes, Key("scn", i));
    if (NonEmpty(scn)) {
      scenes_[i].path = *scn;
      std::optional<std::string> cnt = doc.Get(kRecentScenes, Key("cnt", i));
      if (NonEmpty(cnt)) {
        scenes_[i].folder = *cnt;
        continue;
      }
      // Shown this run with an empty folder, gone from the file.
    }
    repairs.push_back({kRecentScenes, Key("scn", i), ""});
    repairs.push_back({kRecentScenes, Key("cnt", i), ""});
  }
  IniWriteStrings(iniPath_, repairs);
}

void Settings::SetFolder(SettingFolder which, const std::string& folder) {
  folders_[int(which)] = folder;
  IniWriteString(iniPath_, kSetting, kFolderKeys[int(which)], folder);
}

void Settings::SetLoadTexture(bool on) {
  loadTexture_ = on;
  IniWriteString(iniPath_, kSetting, "LOADTEXTURE", on ? "1" : "0");
}

void Settings::SetSetTexPath(bool on) {
  setTexPath_ = on;
  IniWriteString(iniPath_, kSetting, "SETTEXPATH", on ? "1" : "0");
}

uint32_t Settings::Color(int index) const { return index >= 0 && index < 4 ? colors_[index] : 0; }

void Settings::SetColor(int index, uint32_t color) {
  if (index < 0 || index >= 4) return;
  colors_[index] = color;
  IniWriteString(iniPath_, kColor, kColorKeys[index], Hex8(color));
}

void Settings::PushRecentObject(std::string path) {
  int p = kRecentCount - 1;
  for (int i = 0; i < kRecentCount; ++i) {
    if (objects_[i] == path) {
      p = i;
      break;
    }
  }
  for (int i = p; i > 0; --i) objects_[i] = std::move(objects_[i - 1]);
  objects_[0] = std::move(path);
  WriteRecentObjects();
}

void Settings::PushRecentScene(std::string path, std::string folder) {
  RecentScene entry{std::move(path), std::move(folder)};
  int p = kRecentCount - 1;
  for (int i = 0; i < kRecentCount; ++i) {
    if (scenes_[i] == entry) {
      p = i;
      break;
    }
  }
  for (int i = p; i > 0; --i) scenes_[i] = std::move(scenes_[i - 1]);
  scenes_[0] = std::move(entry);
  WriteRecentScenes();
}

std::optional<std::string> Settings::RecentObject(int i) const {
  if (i < 0 || i >= kRecentCount || objects_[i].empty()) return std::nullopt;
  return objects_[i];
}

std::optional<RecentScene> Settings::RecentSceneEntry(int i) const {
  if (i < 0 || i >= kRecentCount || scenes_[i].path.empty()) return std::nullopt;
  return scenes_[i];
}

void Settings::WriteRecentObjects() const {
  std::vector<IniWrite> writes;
  for (int i = 0; i < kRecentCount; ++i) writes.push_back({kRecentObjects, Key("obj", i), objects_[i]});
  IniWriteStrings(iniPath_, writes);
}

void Settings::WriteRecentScenes() const {
  std::vector<IniWrite> writes;
  for (int i = 0; i < kRecentCount; ++i) {
    writes.push_back({kRecentScenes, Key("scn", i), scenes_[i].path});
    writes.push_back({kRecentScenes, Key("cnt", i), scenes_[i].folder});
  }
  IniWriteStrings(iniPath_, writes);
}

void Settings::RebuildRecentObjectMenu(RecentMenu& menu) const {
  RebuildMenu(menu, kRecentObjectPopup, kRecentObjectFirstId, objects_.data());
}

void Settings::RebuildRecentSceneMenu(RecentMenu& menu) const {
  std::string paths[kRecentMenuCount];
  for (int i = 0; i < kRecentMenuCount; ++i) paths[i] = scenes_[i].path;
  RebuildMenu(menu, kRecentScenePopup, kRecentSceneFirstId, paths);
}

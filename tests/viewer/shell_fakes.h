// Stand-ins for the window system around the shell: a host that records
// titles, check marks, enables and dialog requests and answers dialogs from
// queues; the recent popups; a texture backend without a context; a scene
// that counts its playback calls; readers that can be switched on.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "settings.h"
#include "shell.h"
#include "test_support.h"
#include "texture_backend.h"
#include "texture_table.h"

namespace shelltest {

class FakeHost : public ShellHost {
 public:
  void SetWindowTitle(const std::string& text) override { titles.push_back(text); }
  void CheckMenuItem(int id, bool checked) override {
    marks.emplace_back(id, checked);
    checkedNow[id] = checked;
  }
  void EnableMenuItem(int id, bool enabled) override { enabled_[id] = enabled; }
  std::optional<uint32_t> ChooseColor(uint32_t initial) override {
    colorRequests.push_back(initial);
    return Pop(colors);
  }
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override {
    saveRequests.push_back(request);
    return Pop(saveFiles);
  }
  void ShowAboutBox() override { ++aboutBoxes; }
  std::optional<std::string> EditFrameIncrement(const std::string& shown) override {
    incrementShown.push_back(shown);
    return Pop(incrementTexts);
  }
  std::optional<SettingsDialogValues> EditSettings(const SettingsDialogValues& shown) override {
    settingsShown.push_back(shown);
    return Pop(settingsAnswers);
  }
  void SetWindowBackground(uint32_t color) override { backgrounds.push_back(color); }
  void SetMouseCapture(bool on) override { capture.push_back(on); }
  void Quit() override { ++quits; }
  void WaitWhileLoading(const std::atomic<int>& loading) override {
    ++waits;
    while (loading.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void MakeContextCurrent() override { ++contextRequests; }

  std::optional<bool> Enabled(int id) const {
    auto it = enabled_.find(id);
    if (it == enabled_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<bool> Checked(int id) const {
    auto it = checkedNow.find(id);
    if (it == checkedNow.end()) return std::nullopt;
    return it->second;
  }

  std::vector<std::string> titles;
  std::vector<std::pair<int, bool>> marks;
  std::map<int, bool> checkedNow;
  std::deque<std::optional<uint32_t>> colors;
  std::vector<uint32_t> colorRequests;
  std::deque<std::optional<std::string>> saveFiles;
  std::vector<SaveFileRequest> saveRequests;
  std::deque<std::optional<std::string>> incrementTexts;
  std::vector<std::string> incrementShown;
  std::deque<std::optional<SettingsDialogValues>> settingsAnswers;
  std::vector<SettingsDialogValues> settingsShown;
  std::vector<uint32_t> backgrounds;
  std::vector<bool> capture;
  int aboutBoxes = 0, quits = 0, waits = 0, contextRequests = 0;

 private:
  template <typename T>
  static std::optional<T> Pop(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> value = std::move(queue.front());
    queue.pop_front();
    return value;
  }
  std::map<int, bool> enabled_;
};

// The recent popups as (id, text) lists per File-menu position.
class RecordedRecentMenu : public RecentMenu {
 public:
  void RemoveItem(int popup, int id) override {
    auto& items = popups[popup];
    for (auto it = items.begin(); it != items.end(); ++it)
      if (it->first == id) {
        items.erase(it);
        return;
      }
  }
  void AppendItem(int popup, int id, const std::string& text) override { popups[popup].emplace_back(id, text); }
  std::map<int, std::vector<std::pair<int, std::string>>> popups;
};

// Texture calls that go nowhere; names 1000 and up.
class NullTextureBackend : public TextureBackend {
 public:
  std::vector<uint32_t> GenerateNames(int count) override {
    std::vector<uint32_t> names;
    for (int i = 0; i < count; ++i) names.push_back(uint32_t(1000 + i));
    return names;
  }
  void Bind(uint32_t) override {}
  void SetEnvMode(int) override {}
  void DisableTexGen() override {}
  void SetWrap(int) override {}
  void SetFilter(int) override {}
  void Upload(int, int, int, const uint8_t*) override { ++uploads; }
  int uploads = 0;
};

struct SceneLog {
  int toggles = 0, stops = 0, rewinds = 0, freed = 0;
  std::vector<int> steps;
  int increment = 1;
};

class FakeScene : public SceneContent {
 public:
  explicit FakeScene(SceneLog& log) : log_(log) {}
  void Draw(Renderer&, RenderLook, bool, float) override {}
  void AdvanceFrame() override {}
  int PolygonCount() const override { return 0; }
  int VertexCount() const override { return 0; }
  int CurrentFrame() const override { return 0; }
  void TogglePlay() override { ++log_.toggles; }
  void Stop() override { ++log_.stops; }
  void Rewind() override { ++log_.rewinds; }
  void Step(int direction) override { log_.steps.push_back(direction); }
  int FrameIncrement() const override { return log_.increment; }
  void SetFrameIncrement(int increment) override { log_.increment = increment; }

 private:
  SceneLog& log_;
};

// Readers switched on one by one; a scene "loads" unless its path holds
// "bad", and every read is recorded with the content folder it got.
class FakeReaders : public ContentReaders {
 public:
  bool ReadScene(const std::string& path, std::string& contentFolder, ViewerState& state) override {
    if (!scene) return false;
    sceneReads.emplace_back(path, contentFolder);
    if (path.find("bad") == std::string::npos) state.scene = new FakeScene(log);
    return true;
  }
  bool ReadDxf(const std::string& path, ViewerState&) override {
    if (!dxf) return false;
    dxfReads.push_back(path);
    return true;  // always fails: no model
  }
  void FreeScene(ViewerState& state) override {
    ++log.freed;
    delete state.scene;
    state.scene = nullptr;
  }
  bool ExportDxf(const std::string& path, const ViewerState&) override {
    exports.push_back(path);
    return exportSucceeds;
  }
  bool HasDxfExport() const override { return dxfExport; }
  bool HasSceneReader() const override { return scene; }
  bool HasDxfReader() const override { return dxf; }

  bool scene = false, dxf = false, dxfExport = false, exportSucceeds = false;
  SceneLog log;
  std::vector<std::pair<std::string, std::string>> sceneReads;
  std::vector<std::string> dxfReads;
  std::vector<std::string> exports;
};

// Everything a shell needs, with the settings file in a fresh folder.
struct ShellRig {
  explicit ShellRig(const std::string& name, int platform = 1, TextureBackend* backend = nullptr)
      : table(backend ? *backend : nullBackend, ui) {
    dir = TempDir() + "/shell-" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    settings.Read(dir);
    table.CreateToonRamp();  // slot 0, as at start-up
    state.platform = platform;
    shell = std::make_unique<Shell>(state, settings, table, ui, host, menu, &readers);
  }
  ~ShellRig() { shell->FreeContent(); }

  NullTextureBackend nullBackend;
  ScriptedUi ui;
  TextureTable table;
  ViewerState state;
  Settings settings;
  FakeHost host;
  RecordedRecentMenu menu;
  FakeReaders readers;
  std::string dir;
  std::unique_ptr<Shell> shell;
};

}  // namespace shelltest

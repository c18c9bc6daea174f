// The application shell's logic (see shell.h).
#include "shell.h"

#include <cstring>
#include <system_error>

#include "camera.h"
#include "files.h"
#include "renderer.h"
#include "settings.h"
#include "shell_commands.h"
#include "system.h"
#include "texture_table.h"
#include "viewer_model.h"

namespace {

const char kTitleBase[] = "Tamarind Ver1.08";
const char kSpinnerBase[] = "Now Loading ...   ";

bool HasPrefix(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The open-file dialogs of the File menu.
struct OpenCommand {
  int id;
  const char* title;
  const char* filterText;
  const char* filterPattern;
  const char* extension;
  SettingFolder initialFolder;
  bool remembersFolder;
};

const OpenCommand kOpenCommands[] = {
    {cmd::kLoadObject, "Load Object File", "lwoファイル(*.lwo)", "*.lwo", "lwo", SettingFolder::Object, true},
    {cmd::kLoadXFile, "Load X File", "Xファイル(*.x)", "*.x", "x", SettingFolder::Object, false},
    {cmd::kLoadScene, "Load Scene File", "lwsファイル(*.lws)", "*.lws", "lws", SettingFolder::Scene, true},
    {cmd::kLoadDxf, "Load DXF File", "dxfファイル(*.dxf)", "*.dxf", "dxf", SettingFolder::Dxf, true},
};

}  // namespace

SettingsDialogEnables SettingsDialogEnableRules(bool loadTexture, bool setTexPath) {
  SettingsDialogEnables e;
  e.setTexPath = loadTexture;
  e.textureFolder = loadTexture && setTexPath;
  e.browseTexture = loadTexture && setTexPath;
  return e;
}

std::string ClampSettingsFolder(const std::string& folder) {
  constexpr size_t kMaxBytes = 255;
  if (folder.size() <= kMaxBytes) return folder;
  size_t cut = kMaxBytes;
  // Never leave half of a multi-byte character behind.
  while (cut > 0 && (static_cast<unsigned char>(folder[cut]) & 0xC0) == 0x80) --cut;
  return folder.substr(0, cut);
}

FolderRequest SettingsBrowseRequest(int button, const std::string& storedContentFolder) {
  FolderRequest request;
  request.title = button == kSettingsBrowseTexture ? "Texture Path" : "Content Directory";
  request.initialFolder = storedContentFolder;
  request.owner = DialogOwner::MainWindow;
  return request;
}

std::optional<int> ParseFrameIncrement(const std::string& text) {
  const std::string t = text.substr(0, 16);
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  const int64_t limit = negative ? int64_t(2147483648LL) : int64_t(2147483647LL);
  int64_t value = 0;
  size_t digits = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (t[i] - '0');
    if (value > limit) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return int(negative ? -value : value);
}

std::string ExportDefaultName(const std::string& lastFileName) {
  const size_t dot = lastFileName.rfind('.');
  if (dot == std::string::npos) return "";
  return lastFileName.substr(0, dot) + ".dxf";
}

std::string WindowTitle(int platform, const std::string* path) {
  std::string title = std::string(kTitleBase) + (platform == 1 ? "(GL)" : "(DX8)");
  if (path) title += " " + *path;
  return title;
}

std::string FileNameOf(const std::string& path) { return PathFileName(path); }

std::string FolderOf(const std::string& path) { return PathFolder(path); }

int NextSpinnerCounter(int i) { return i + 1 > 4 ? 0 : i + 1; }

std::string SpinnerText(int i, const std::string& previous) {
  static const char* const kMarks[4] = {"/ ", "- ", "\\ ", "| "};
  if (i < 0 || i > 3) return previous;
  return std::string(kSpinnerBase) + kMarks[i];
}

Shell::Shell(ViewerState& state, Settings& settings, TextureTable& textures, UiServices& ui, ShellHost& host,
             RecentMenu& recentMenu, ContentReaders* readers)
    : state_(state), settings_(settings), textures_(textures), ui_(ui), host_(host), recentMenu_(recentMenu),
      readers_(readers ? readers : &noReaders_) {}

Shell::~Shell() {
  if (worker_.joinable()) worker_.join();
}

void Shell::Start() {
  state_.look = LookNormal;
  state_.outlineOn = state_.surfaceEdgesOn = state_.gridOn = state_.axesOn = 0;
  host_.CheckMenuItem(cmd::kLookNormal, true);
  for (int id : {cmd::kOutline, cmd::kSurfaceEdges, cmd::kGrid, cmd::kAxes}) host_.CheckMenuItem(id, false);
  for (int id : {cmd::kLoadScene, cmd::kLoadXFile, cmd::kLoadDxf, cmd::kExportDxf})
    host_.EnableMenuItem(id, CommandEnabled(id));

  SetTitle(nullptr);
  settings_.RebuildRecentObjectMenu(recentMenu_);
  settings_.RebuildRecentSceneMenu(recentMenu_);

  // The edge colour in use starts black; the stored one seeds the dialog.
  state_.edgeColor[0] = state_.edgeColor[1] = state_.edgeColor[2] = 0;
  ApplyBackground(settings_.Color(state_.platform == 1 ? kGlBackColor : kDxBackColor));
  SetStartupCamera(state_.camera);
  const std::string here = CurrentDirectory();
  state_.lastFileFolder = here.empty() ? std::string() : here + "\\";
}

void Shell::FreeContent() {
  if (worker_.joinable()) worker_.join();
  host_.MakeContextCurrent();
  ReleaseContent();
  state_.loadState = LoadNothing;
}

void Shell::ReleaseContent() {
  if (state_.scene) readers_->FreeScene(state_);
  state_.scene = nullptr;
  FreeViewerModel(state_.model, &textures_);
  state_.model = nullptr;
  if (state_.xFile >= 0) readers_->FreeXFile(state_);
  state_.xFile = -1;
}

bool Shell::CommandEnabled(int id) const {
  switch (id) {
    case cmd::kLoadXFile:
      return state_.platform == 0 && readers_->HasXFileReader();
    case cmd::kLoadScene:
      return readers_->HasSceneReader();
    case cmd::kLoadDxf:
      return readers_->HasDxfReader();
    case cmd::kExportDxf:
      return readers_->HasDxfExport();
    default:
      return true;
  }
}

void Shell::ApplyBackground(uint32_t color) {
  state_.backgroundColor = color;
  if (renderer_) {
    host_.MakeContextCurrent();
    renderer_->ApplyBackgroundColor(color);
  }
  host_.SetWindowBackground(color);
}

void Shell::SetTitle(const std::string* path) {
  host_.SetWindowTitle(WindowTitle(state_.platform, path));
  if (path) state_.lastFileName = FileNameOf(*path);
}

void Shell::OnCommand(int id) {
  if (loading() || !CommandEnabled(id)) return;
  if (id >= cmd::kRecentObjectFirst && id < cmd::kRecentObjectFirst + kRecentMenuCount) {
    const std::optional<std::string> path = settings_.RecentObject(id - cmd::kRecentObjectFirst);
    if (!path) return;
    LoadFile(*path);
    SetTitle(&*path);
    return;
  }
  if (id >= cmd::kRecentSceneFirst && id < cmd::kRecentSceneFirst + kRecentMenuCount) {
    const std::optional<RecentScene> entry = settings_.RecentSceneEntry(id - cmd::kRecentSceneFirst);
    if (!entry) return;
    sceneContentFolder_ = entry->folder;
    LoadFile(entry->path);
    SetTitle(&entry->path);
    return;
  }
  for (int look = 0; look < kLookCount; ++look)
    if (id == kLookCommands[look]) return SetLook(look);

  switch (id) {
    case cmd::kLoadObject:
    case cmd::kLoadScene:
    case cmd::kLoadXFile:
    case cmd::kLoadDxf:
      return OpenFromMenu(id);
    case cmd::kSettings:
      return RunSettingsDialog();
    case cmd::kExportDxf:
      return ExportDxf();
    case cmd::kExit:
      return host_.Quit();
    case cmd::kOutline:
      return Toggle(state_.outlineOn, id);
    case cmd::kSurfaceEdges:
      return Toggle(state_.surfaceEdgesOn, id);
    case cmd::kTextures:
      return Toggle(state_.texturesOn, id);
    case cmd::kEdgeSizeUp:
      return StepEdgeSize(state_, 1);
    case cmd::kEdgeSizeDown:
      return StepEdgeSize(state_, -1);
    case cmd::kAxes:
      return Toggle(state_.axesOn, id);
    case cmd::kGrid:
      return Toggle(state_.gridOn, id);
    case cmd::kAutoSpin:
      return Toggle(state_.autoSpin, id);
    case cmd::kAutoLight:
      return Toggle(state_.autoLight, id);
    case cmd::kBackgroundColor:
      return ChooseColour(true);
    case cmd::kEdgeColor:
      return ChooseColour(false);
    case cmd::kInfo:
      return Toggle(state_.infoOn, id);
    case cmd::kPlayPause:
      if (state_.scene) state_.scene->TogglePlay();
      return;
    case cmd::kStop:
      if (state_.scene) state_.scene->Stop();
      return;
    case cmd::kFrameIncrement:
      return RunFrameIncrementDialog();
    case cmd::kAbout:
      return host_.ShowAboutBox();
    default:
      return;
  }
}

void Shell::SetLook(int look) {
  if (look < 0 || look >= kLookCount || look == state_.look) return;
  state_.look = RenderLook(look);
  for (int i = 0; i < kLookCount; ++i) host_.CheckMenuItem(kLookCommands[i], i == look);
}

void Shell::Toggle(int& flag, int id) {
  flag = flag ? 0 : 1;
  host_.CheckMenuItem(id, flag != 0);
}

void Shell::OpenFromMenu(int id) {
  const OpenCommand* command = nullptr;
  for (const OpenCommand& c : kOpenCommands)
    if (c.id == id) command = &c;
  if (!command) return;
  OpenFileRequest request;
  request.title = command->title;
  request.filters = {{command->filterText, command->filterPattern}};
  request.defaultExtension = command->extension;
  request.initialFolder = settings_.Folder(command->initialFolder);
  request.owner = DialogOwner::MainWindow;
  const std::optional<std::string> chosen = ui_.ChooseOpenFile(request);
  if (!chosen) return;
  const std::string path = *chosen;
  sceneContentFolder_.clear();
  LoadFile(path);
  if (command->remembersFolder) settings_.SetFolder(command->initialFolder, FolderOf(path));
  SetTitle(&path);
}

void Shell::ChooseColour(bool background) {
  const bool gl = state_.platform == 1;
  const int index = background ? (gl ? kGlBackColor : kDxBackColor) : (gl ? kGlEdgeColor : kDxEdgeColor);
  const std::optional<uint32_t> color = host_.ChooseColor(settings_.Color(index));
  if (!color) return;
  const uint32_t value = *color & 0x00FFFFFFu;
  settings_.SetColor(index, value);
  if (background)
    ApplyBackground(value);
  else
    SetEdgeColor(state_, value);
}

void Shell::ExportDxf() {
  SaveFileRequest request;
  request.title = "Save Object File";
  request.filters = {{"dxfファイル(*.dxf)", "*.dxf"}};
  request.defaultExtension = "dxf";
  request.initialFolder = state_.lastFileFolder;
  request.presetName = ExportDefaultName(state_.lastFileName);
  request.overwritePrompt = true;
  const std::optional<std::string> path = host_.ChooseSaveFile(request);
  if (!path) return;
  if (!readers_->ExportDxf(*path, state_))
    ui_.ShowMessage("保存に失敗しました", "Error", MessageButtons::Ok, DialogOwner::MainWindow);
}

void Shell::RunSettingsDialog() {
  SettingsDialogValues shown;
  shown.loadTexture = settings_.loadTexture();
  shown.setTexPath = settings_.setTexPath();
  shown.textureFolder = settings_.Folder(SettingFolder::Texture);
  shown.contentFolder = settings_.Folder(SettingFolder::Content);
  const std::optional<SettingsDialogValues> values = host_.EditSettings(shown);
  if (!values) return;
  settings_.SetFolder(SettingFolder::Texture, ClampSettingsFolder(values->textureFolder));
  settings_.SetFolder(SettingFolder::Content, ClampSettingsFolder(values->contentFolder));
  settings_.SetLoadTexture(values->loadTexture);
  settings_.SetSetTexPath(values->setTexPath);
}

void Shell::RunFrameIncrementDialog() {
  const int shown = state_.scene ? state_.scene->FrameIncrement() : 0;
  const std::optional<std::string> text = host_.EditFrameIncrement(std::to_string(shown));
  if (!text) return;
  const std::optional<int> increment = ParseFrameIncrement(*text);
  if (increment && state_.scene) state_.scene->SetFrameIncrement(*increment);
}

void Shell::OnKeyDown(int virtualKey) {
  if (loading()) return;
  switch (virtualKey) {
    case vk::kShift:
      state_.shiftDown = 1;
      break;
    case vk::kSpace:
      if (state_.scene) state_.scene->Rewind();
      break;
    case vk::kUp:
      StepModelOffset(state_, state_.shiftDown ? 0.1f : 1.0f);
      break;
    case vk::kDown:
      StepModelOffset(state_, state_.shiftDown ? -0.1f : -1.0f);
      break;
    case vk::kB:
    case vk::kNumpad2:
      if (state_.scene) state_.scene->Step(-1);
      break;
    case vk::kC:
    case vk::kNumpad3:
      // The menu's check marks are left as they are.
      state_.look = RenderLook((int(state_.look) + 1) % kLookCount);
      break;
    case vk::kF:
    case vk::kNumpad6:
      if (state_.scene) state_.scene->Step(1);
      break;
    default:
      break;
  }
}

void Shell::OnKeyUp(int virtualKey) {
  if (virtualKey == vk::kShift) state_.shiftDown = 0;
}

void Shell::OnMouseMove(float x, float y) {
  if (loading()) return;
  if (x == state_.lastX && y == state_.lastY) return;
  const float dx = x - state_.lastX, dy = y - state_.lastY;
  if (state_.rotating || state_.zooming || state_.panning) {
    if (state_.snapshotPending) {
      state_.camera.SaveHome();
      state_.snapshotPending = 0;
    }
    if (state_.rotating)
      RotateCamera(state_.camera, dx, dy);
    else if (state_.zooming)
      ZoomCamera(state_.camera, dy);
    else
      PanCamera(state_.camera, dx, dy);
  }
  state_.lastX = x;
  state_.lastY = y;
}

void Shell::OnButton(int button, int action, float x, float y) {
  if (loading()) return;
  // Rotate and pan drags take their start point and a home snapshot on the
  // first move; a zoom drag takes no snapshot.
  auto startDrag = [&](int& drag) {
    if (!drag) {
      state_.lastX = x;
      state_.lastY = y;
      state_.snapshotPending = 1;
    }
    drag = 1;
  };
  switch (button) {
    case kButtonLeft:
      if (action == kButtonDown) {
        host_.SetMouseCapture(true);
        if (state_.shiftDown) {
          state_.leftDrag = 3;
          startDrag(state_.panning);
        } else {
          state_.leftDrag = 1;
          startDrag(state_.rotating);
        }
      } else if (action == kButtonUp) {
        host_.SetMouseCapture(false);
        if (state_.leftDrag == 3)
          state_.panning = 0;
        else if (state_.leftDrag == 1)
          state_.rotating = 0;
      }
      break;
    case kButtonRight:
      if (action == kButtonDown) {
        host_.SetMouseCapture(true);
        if (!state_.zooming) {
          state_.lastX = x;
          state_.lastY = y;
        }
        state_.snapshotPending = 0;
        state_.zooming = 1;
      } else if (action == kButtonUp) {
        host_.SetMouseCapture(false);
        state_.zooming = 0;
      } else if (action == kButtonDoubleClick) {
        state_.camera.RestoreHome();
      }
      break;
    case kButtonMiddle:
      if (action == kButtonDown) {
        host_.SetMouseCapture(true);
        startDrag(state_.panning);
      } else if (action == kButtonUp) {
        host_.SetMouseCapture(false);
        state_.panning = 0;
      }
      break;
    default:
      break;
  }
}

void Shell::OnWheel(int delta, int keyFlags) {
  if (loading()) return;
  int notches = 0;
  if (delta > -120 && delta < 120) {
    // A high-resolution wheel: gather its small steps into whole notches.
    if (delta == 0) return;
    if ((wheelRemainder_ < 0) != (delta < 0)) wheelRemainder_ = 0;
    wheelRemainder_ += delta;
    notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
  } else {
    wheelRemainder_ = 0;
    notches = delta / 120;
  }
  if (notches != 1 && notches != -1) return;
  const float amount = (keyFlags & kMkControl) ? 5.0f : 1.0f;
  if (keyFlags & kMkLButton)
    StepSpin(state_, -float(notches) * amount);
  else if (keyFlags & kMkRButton)
    StepLightAngle(state_, -float(notches) * amount);
  else if (state_.scene)
    state_.scene->Step(-notches);
}

void Shell::OnDropFiles(const std::vector<std::string>& paths) {
  if (loading() || paths.empty()) return;
  const std::string first = paths.front();
  LoadFile(first);
}

void Shell::OnResize(int width, int height) {
  width = width < 0 ? 0 : width;
  height = height < 0 ? 0 : height;
  if (renderer_) {
    host_.MakeContextCurrent();
    renderer_->SetViewport(width, height);
  } else {
    state_.camera.viewportWidth = float(width);
    state_.camera.viewportHeight = float(height);
  }
}

void Shell::LoadFile(const std::string& pathIn) {
  if (loading() || worker_.joinable()) return;
  const std::string path = pathIn;
  // A name without an extension is not a load at all.
  if (PathExtension(path).empty()) return;

  // The previous content goes first. Its textures are the context's, so it
  // is freed here on the main thread rather than by the worker.
  host_.MakeContextCurrent();
  state_.loadState = LoadNothing;
  ReleaseContent();

  loading_.store(1);
  try {
    worker_ = std::thread(&Shell::LoaderThread, this, path);
  } catch (const std::system_error&) {
    LoaderThread(path);
  }
  host_.WaitWhileLoading(loading_);
  if (worker_.joinable()) worker_.join();

  host_.MakeContextCurrent();
  state_.texturesOn = 0;
  if (settings_.loadTexture()) {
    const bool object = state_.loadState == LoadObject && state_.model && !state_.model->textures.empty();
    const bool scene = state_.loadState == LoadScene && state_.scene;
    if (object || scene) {
      textures_.SetTextureDirectory(settings_.setTexPath() ? settings_.Folder(SettingFolder::Texture)
                                                           : FolderOf(path));
      const bool any = object ? LoadViewerModelTextures(state_.model, textures_) : state_.scene->LoadTextures(textures_);
      state_.texturesOn = any ? 1 : 0;
    }
  }
  host_.CheckMenuItem(cmd::kTextures, state_.texturesOn != 0);
  state_.lastFileFolder = FolderOf(path);
}

void Shell::LoaderThread(std::string path) {
  try {
    const std::string ext = AsciiLower(PathExtension(path));
    state_.loadState = LoadNothing;
    if (HasPrefix(ext, ".lws")) {
      if (readers_->HasSceneReader() && sceneContentFolder_.empty())
        sceneContentFolder_ = settings_.Folder(SettingFolder::Content);
      state_.loadState = LoadScene;
      if (readers_->ReadScene(path, sceneContentFolder_, state_) && state_.scene) {
        settings_.PushRecentScene(path, sceneContentFolder_);
        settings_.RebuildRecentSceneMenu(recentMenu_);
      } else {
        state_.loadState = LoadNothing;
      }
    } else if (HasPrefix(ext, ".lwo")) {
      state_.loadState = LoadObject;
      state_.model = OpenViewerModel(path.c_str(), &ui_);
      if (state_.model) {
        settings_.PushRecentObject(path);
        settings_.RebuildRecentObjectMenu(recentMenu_);
      } else {
        state_.loadState = LoadNothing;
      }
    } else if (HasPrefix(ext, ".x")) {
      if (state_.platform == 0) {
        state_.loadState = LoadXFile;
        if (!readers_->OpenXFile(path, state_)) state_.loadState = LoadNothing;
      }
    } else if (HasPrefix(ext, ".qno")) {
      state_.loadState = LoadObject;
      if (!readers_->ReadQno(path, state_)) state_.loadState = LoadNothing;
    } else if (HasPrefix(ext, ".qns")) {
      state_.loadState = LoadScene;
      if (!readers_->ReadQns(path, state_)) state_.loadState = LoadNothing;
    } else if (HasPrefix(ext, ".dxf")) {
      state_.loadState = LoadObject;
      if (!readers_->ReadDxf(path, state_)) state_.loadState = LoadNothing;
    }
  } catch (...) {
    // A reader that throws (out of memory) leaves whatever it built.
    if (!state_.model && !state_.scene && state_.xFile < 0) state_.loadState = LoadNothing;
  }
  ResetViewAfterLoad(state_);
  loading_.store(0);
}

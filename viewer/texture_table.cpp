#include "texture_table.h"

#include "files.h"
#include "tga.h"
#include "toon_ramp.h"
#include "ui_services.h"

int TextureTable::FirstEmpty() const {
  for (int i = 0; i < kSlotCount; ++i)
    if (!slots_[size_t(i)]) return i;
  return -1;
}

const TextureSlot* TextureTable::Slot(int slot) const {
  return Filled(slot) ? &*slots_[size_t(slot)] : nullptr;
}

int TextureTable::FilledCount() const {
  int n = 0;
  for (const auto& s : slots_) n += s.has_value();
  return n;
}

// Where the file really is: as named, then without regard to letter case,
// then wherever the user points. Nothing when the user declines.
std::optional<std::string> TextureTable::Locate(std::string fullPath) {
  if (IsReadableFile(fullPath)) return fullPath;
  if (std::optional<std::string> found = FindFileIgnoringCase(fullPath)) return found;
  if (ui_.ShowMessage("ファイルが存在しません。指定しますか?", fullPath, MessageButtons::YesNo,
                      DialogOwner::MainWindow) != MessageAnswer::Yes)
    return std::nullopt;
  OpenFileRequest request;
  request.title = "Load Texture File";
  request.filters = {{"tgaファイル(*.tga)", "*.tga"}};
  request.defaultExtension = "tga";
  request.initialFolder = textureDirectory_;
  request.presetPath = fullPath;
  request.mustExist = true;
  request.owner = DialogOwner::MainWindow;
  std::optional<std::string> chosen = ui_.ChooseOpenFile(request);
  if (!chosen) return std::nullopt;
  // The rest of this load's textures are looked for beside the chosen one.
  textureDirectory_ = PathFolder(*chosen);
  return chosen;
}

int TextureTable::LoadTexture(const std::string& name) {
  std::string fullPath = textureDirectory_ + name;
  if (AsciiLower(PathExtension(fullPath)) != ".tga") return -1;
  std::optional<std::string> path = Locate(std::move(fullPath));
  if (!path) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    TextureSlot* s = slots_[size_t(i)] ? &*slots_[size_t(i)] : nullptr;
    if (s && !s->path.empty() && s->path == *path) {
      ++s->refCount;
      return i;
    }
  }
  int slot = FirstEmpty();
  if (slot < 0) return -1;
  std::optional<TgaImage> image = ReadTga(*path, &ui_);
  if (!image) return -1;
  return Install(slot, *image, std::move(*path));
}

int TextureTable::LoadModelTexture(const std::string& name) {
  int slot = LoadTexture(name);
  if (slot < 0) return -1;
  SetFilter(slot, kGlLinear);
  SetEnvMode(slot, kGlModulate);
  SetWrap(slot, kGlRepeat);
  return slot;
}

int TextureTable::CreateTextureFromMemory(const uint8_t* data, size_t size) {
  int slot = FirstEmpty();
  if (slot < 0) return -1;
  std::optional<TgaImage> image = ReadTgaFromMemory(data, size, &ui_);
  if (!image) return -1;
  return Install(slot, *image, std::string());
}

int TextureTable::CreateToonRamp() {
  const auto& ramp = ToonRampImage();
  int slot = CreateTextureFromMemory(ramp.data(), ramp.size());
  if (slot < 0) return -1;
  SetWrap(slot, kGlClamp);
  SetFilter(slot, kGlNearest);
  slots_[size_t(slot)]->envMode = kGlModulate;
  BindTexture(slot);
  return slot;
}

int TextureTable::Install(int slot, const TgaImage& image, std::string path) {
  if (names_.empty()) {
    names_ = backend_.GenerateNames(kSlotCount);
    names_.resize(kSlotCount, 0);
  }
  backend_.Bind(names_[size_t(slot)]);
  backend_.SetWrap(kGlClamp);
  backend_.SetFilter(kGlLinear);
  backend_.Upload(image.bytesPerPixel == 4 ? kGlRgba : kGlRgb, image.width, image.height, image.pixels.data());
  TextureSlot& s = slots_[size_t(slot)].emplace();
  s.envMode = kGlModulate;
  s.bytesPerPixel = image.bytesPerPixel;
  s.width = image.width;
  s.height = image.height;
  s.refCount = 1;
  s.path = std::move(path);
  return slot;
}

void TextureTable::ReleaseTexture(int slot) {
  if (slot < 1 || !Filled(slot)) return;
  if (--slots_[size_t(slot)]->refCount <= 0) slots_[size_t(slot)].reset();
}

void TextureTable::BindTexture(int slot) {
  if (!Filled(slot)) return;
  backend_.Bind(names_[size_t(slot)]);
  backend_.SetEnvMode(slots_[size_t(slot)]->envMode);
  backend_.DisableTexGen();
}

void TextureTable::SetWrap(int slot, int mode) {
  if (!Filled(slot)) return;
  BindTexture(slot);
  backend_.SetWrap(mode);
}

void TextureTable::SetFilter(int slot, int mode) {
  if (!Filled(slot)) return;
  BindTexture(slot);
  backend_.SetFilter(mode);
}

void TextureTable::SetEnvMode(int slot, int mode) {
  if (slot < 1 || !Filled(slot)) return;
  slots_[size_t(slot)]->envMode = mode;
}

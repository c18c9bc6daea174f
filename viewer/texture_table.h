// The process-wide table of textures shared by every loaded model and scene
// item: 256 reference-counted slots, slot 0 holding the toon ramp for the
// life of the program. A texture is shared by the full path it was loaded
// from (exact, case-sensitive). The texture names are generated together,
// 256 at once, when the first slot is filled; slot i always uses name i.
//
// Main thread only, with the rendering context current (the backend's calls
// go straight to it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "texture_backend.h"

class UiServices;
struct TgaImage;

struct TextureSlot {
  int envMode = kGlModulate;  // applied by BindTexture
  int bytesPerPixel = 0;      // 3 or 4
  int width = 0;
  int height = 0;
  int refCount = 0;
  std::string path;  // "" for an image from memory
};

class TextureTable {
 public:
  static constexpr int kSlotCount = 256;
  static constexpr int kToonRampSlot = 0;

  TextureTable(TextureBackend& backend, UiServices& ui) : backend_(backend), ui_(ui) {}
  TextureTable(const TextureTable&) = delete;
  TextureTable& operator=(const TextureTable&) = delete;

  // Prefixed to every texture name: a folder ending in a separator, or "".
  // Set before each load's textures are fetched; a file picked in the
  // missing-file dialog moves it to that file's folder.
  void SetTextureDirectory(std::string folder) { textureDirectory_ = std::move(folder); }
  const std::string& textureDirectory() const { return textureDirectory_; }

  // Texture directory + name as a TGA texture: the slot, or -1 on any
  // failure or refusal. Only names ending in ".tga" (any letter case) are
  // tried; others give -1 silently. A file that is not there as named is
  // looked for without regard to letter case, then the user is asked to
  // point at it (Yes/No, then the open-file dialog).
  int LoadTexture(const std::string& name);
  // LoadTexture, and the slot obtained gets linear filters, modulate and
  // repeat wrapping, the settings of a model's image maps. -1 on failure,
  // with no texture touched.
  int LoadModelTexture(const std::string& name);
  // A TGA image held in memory, not shared: the slot or -1.
  int CreateTextureFromMemory(const uint8_t* data, size_t size);
  // The toon ramp into the first empty slot (slot 0 at start-up), with
  // clamping, nearest filters and modulate, left bound. The slot or -1.
  int CreateToonRamp();

  // Drops one reference; at none the slot is empty again (its texture name
  // stays and serves the next texture put there). Slots below 1 (the ramp
  // lives for the program, -1 marks a failed load), from 256 on, or empty
  // are ignored.
  void ReleaseTexture(int slot);
  // Binds the slot's name, applies its environment mode and turns texture
  // coordinate generation off. An empty or invalid slot does nothing.
  void BindTexture(int slot);
  // Bind, then set both wrap modes / both filters. Only filled slots: a
  // parameter must never land on whatever texture happens to be bound.
  void SetWrap(int slot, int mode);
  void SetFilter(int slot, int mode);
  // Stored for filled slots above 0 (the ramp keeps modulate); takes effect
  // at the next BindTexture.
  void SetEnvMode(int slot, int mode);

  // The slot's record, or null when it is empty or out of range.
  const TextureSlot* Slot(int slot) const;
  int FilledCount() const;

 private:
  bool Filled(int slot) const { return slot >= 0 && slot < kSlotCount && slots_[size_t(slot)].has_value(); }
  int FirstEmpty() const;
  std::optional<std::string> Locate(std::string fullPath);
  int Install(int slot, const TgaImage& image, std::string path);

  TextureBackend& backend_;
  UiServices& ui_;
  std::array<std::optional<TextureSlot>, kSlotCount> slots_;
  std::vector<uint32_t> names_;
  std::string textureDirectory_;
};

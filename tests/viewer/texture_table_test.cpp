#include "texture_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "test_support.h"
#include "tga_builder.h"
#include "ui_services.h"

namespace fs = std::filesystem;

namespace {

// Keeps the state a GL context would: per texture name its wrap, filter and
// image; the bound name and the environment mode. Every call is counted.
class FakeBackend : public TextureBackend {
 public:
  struct Texture {
    int wrap = 0, filter = 0, format = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;
  };

  std::vector<uint32_t> GenerateNames(int count) override {
    ++generateCalls;
    std::vector<uint32_t> names;
    for (int i = 0; i < count; ++i) names.push_back(uint32_t(1000 + i));
    return names;
  }
  void Bind(uint32_t name) override { ++calls, bound = name; }
  void SetEnvMode(int mode) override { ++calls, envMode = mode; }
  void DisableTexGen() override { ++calls; }
  void SetWrap(int mode) override { ++calls, textures[bound].wrap = mode; }
  void SetFilter(int mode) override { ++calls, textures[bound].filter = mode; }
  void Upload(int format, int width, int height, const uint8_t* pixels) override {
    ++calls;
    Texture& t = textures[bound];
    t.format = format, t.width = width, t.height = height;
    t.pixels.assign(pixels, pixels + size_t(width) * size_t(height) * (format == kGlRgba ? 4 : 3));
  }

  int generateCalls = 0;
  int calls = 0;
  uint32_t bound = 0;
  int envMode = 0;
  std::map<uint32_t, Texture> textures;
};

// A folder of textures; the stored-form prefix ends in a backslash.
struct Fixture {
  FakeBackend gl;
  ScriptedUi ui;
  TextureTable table{gl, ui};
  std::string dir;

  explicit Fixture(const std::string& name) {
    dir = TempDir() + "/tex-" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    table.SetTextureDirectory(dir + "\\");
  }
  std::string Add(const std::string& name, const std::vector<uint8_t>& bytes) {
    return WriteTempFile(dir.substr(TempDir().size() + 1) + "/" + name, bytes);
  }
  const FakeBackend::Texture& TextureOf(int slot) { return gl.textures[uint32_t(1000 + slot)]; }
};

}  // namespace

TEST(TextureTable, ToonRampIsSlotZeroForGood) {
  Fixture f("ramp");
  ASSERT_EQ(f.table.CreateToonRamp(), 0);
  EXPECT_EQ(f.gl.generateCalls, 1);
  const auto& ramp = f.TextureOf(0);
  EXPECT_EQ(ramp.format, kGlRgb);
  EXPECT_EQ(ramp.width, 16);
  EXPECT_EQ(ramp.height, 16);
  EXPECT_EQ(ramp.wrap, kGlClamp);
  EXPECT_EQ(ramp.filter, kGlNearest);
  EXPECT_EQ(f.gl.bound, 1000u);
  EXPECT_EQ(f.gl.envMode, kGlModulate);
  EXPECT_EQ(std::vector<uint8_t>(ramp.pixels.begin(), ramp.pixels.begin() + 3), (std::vector<uint8_t>{89, 89, 89}));

  f.table.SetEnvMode(0, 0x2101);
  f.table.ReleaseTexture(0);
  ASSERT_TRUE(f.table.Slot(0));
  EXPECT_EQ(f.table.Slot(0)->envMode, kGlModulate);
  EXPECT_EQ(f.table.Slot(0)->path, "");
}

TEST(TextureTable, OnlyTgaNamesAreTried) {
  Fixture f("ext");
  f.Add("WOOD.TGA", MakeTga(TgaLayout{}));
  f.Add("wood.png", MakeTga(TgaLayout{}));
  fs::create_directories(f.dir + "/my.folder");
  f.Add("my.folder/wood", MakeTga(TgaLayout{}));

  int slot = f.table.LoadTexture("WOOD.TGA");
  ASSERT_EQ(slot, 0);
  EXPECT_EQ(f.table.Slot(slot)->path, f.dir + "\\WOOD.TGA");
  int calls = f.gl.calls;
  EXPECT_EQ(f.table.LoadTexture("wood.png"), -1);
  EXPECT_EQ(f.table.LoadTexture("my.folder\\wood"), -1);
  EXPECT_EQ(f.table.LoadTexture("no-extension"), -1);
  EXPECT_TRUE(f.ui.messages().empty());
  EXPECT_EQ(f.gl.calls, calls);
}

TEST(TextureTable, SameFileSharesOneSlot) {
  Fixture f("share");
  TgaLayout rgba;
  rgba.depth = 32;
  f.Add("a.tga", MakeTga(rgba, 7));
  f.Add("b.tga", MakeTga(TgaLayout{}));
  ASSERT_EQ(f.table.CreateToonRamp(), 0);

  // Two surfaces (or two models) naming one file.
  int first = f.table.LoadModelTexture("a.tga");
  int second = f.table.LoadModelTexture("a.tga");
  ASSERT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(f.table.Slot(1)->refCount, 2);
  EXPECT_EQ(f.table.Slot(1)->bytesPerPixel, 4);
  EXPECT_EQ(f.TextureOf(1).format, kGlRgba);
  EXPECT_EQ(f.TextureOf(1).wrap, kGlRepeat);
  EXPECT_EQ(f.TextureOf(1).filter, kGlLinear);
  EXPECT_EQ(f.gl.generateCalls, 1);

  // Freeing one model keeps the texture for the other.
  f.table.ReleaseTexture(1);
  ASSERT_TRUE(f.table.Slot(1));
  EXPECT_EQ(f.table.Slot(1)->refCount, 1);
  int other = f.table.LoadTexture("b.tga");
  EXPECT_EQ(other, 2);
  f.table.ReleaseTexture(1);
  EXPECT_FALSE(f.table.Slot(1));

  // The emptied slot is taken again, with the same texture name.
  EXPECT_EQ(f.table.LoadTexture("b.tga"), 2);
  EXPECT_EQ(f.table.LoadTexture("a.tga"), 1);
  EXPECT_EQ(f.gl.bound, 1001u);
  EXPECT_EQ(f.TextureOf(1).pixels[0], 9) << "blue and red swapped";
  EXPECT_EQ(f.table.Slot(2)->refCount, 2);
  EXPECT_EQ(f.gl.generateCalls, 1);
}

TEST(TextureTable, FailuresLeaveEveryTextureAlone) {
  Fixture f("fail");
  TgaLayout sixteen;
  sixteen.depth = 16;
  f.Add("bad.tga", MakeTga(sixteen));
  ASSERT_EQ(f.table.CreateToonRamp(), 0);

  // The ramp is bound after a toon frame; a failed model texture must not
  // turn it linear or repeating.
  f.table.BindTexture(0);
  EXPECT_EQ(f.table.LoadModelTexture("bad.tga"), -1);
  ASSERT_EQ(f.ui.messages().size(), 1u);
  EXPECT_EQ(f.ui.messages()[0].text, "No Support Pixel Format");
  EXPECT_EQ(f.TextureOf(0).wrap, kGlClamp);
  EXPECT_EQ(f.TextureOf(0).filter, kGlNearest);
  EXPECT_EQ(f.table.FilledCount(), 1);

  int calls = f.gl.calls;
  for (int slot : {-2, -1, 5, 256, 1 << 30}) {
    f.table.ReleaseTexture(slot);
    f.table.BindTexture(slot);
    f.table.SetWrap(slot, kGlRepeat);
    f.table.SetFilter(slot, kGlLinear);
    f.table.SetEnvMode(slot, kGlModulate);
    EXPECT_FALSE(f.table.Slot(slot));
  }
  EXPECT_EQ(f.gl.calls, calls);
  EXPECT_EQ(f.table.FilledCount(), 1);
}

TEST(TextureTable, MissingFileAsksTheUser) {
  Fixture f("ask");
  std::string elsewhere = TempDir() + "/tex-elsewhere";
  fs::create_directories(elsewhere);
  std::string picked = WriteTempFile("tex-elsewhere/found.tga", MakeTga(TgaLayout{}));
  WriteTempFile("tex-elsewhere/next.tga", MakeTga(TgaLayout{}));

  // No, then Yes and cancel.
  EXPECT_EQ(f.table.LoadTexture("missing.tga"), -1);
  f.ui.QueueAnswer(MessageAnswer::Yes);
  EXPECT_EQ(f.table.LoadTexture("missing.tga"), -1);
  ASSERT_EQ(f.ui.messages().size(), 2u);
  const auto& m = f.ui.messages()[0];
  EXPECT_EQ(m.text, "ファイルが存在しません。指定しますか?");
  EXPECT_EQ(m.caption, f.dir + "\\missing.tga");
  EXPECT_EQ(m.buttons, MessageButtons::YesNo);
  EXPECT_EQ(m.owner, DialogOwner::MainWindow);
  ASSERT_EQ(f.ui.openFileRequests().size(), 1u);
  const OpenFileRequest& r = f.ui.openFileRequests()[0];
  EXPECT_EQ(r.title, "Load Texture File");
  ASSERT_EQ(r.filters.size(), 1u);
  EXPECT_EQ(r.filters[0].description, "tgaファイル(*.tga)");
  EXPECT_EQ(r.filters[0].pattern, "*.tga");
  EXPECT_EQ(r.defaultExtension, "tga");
  EXPECT_EQ(r.initialFolder, f.dir + "\\");
  EXPECT_EQ(r.presetPath, f.dir + "\\missing.tga");
  EXPECT_TRUE(r.mustExist);
  EXPECT_EQ(f.table.textureDirectory(), f.dir + "\\");

  // Yes and a file in another folder: that folder serves the rest of the load.
  f.ui.QueueAnswer(MessageAnswer::Yes);
  f.ui.QueueOpenFile(picked);
  EXPECT_EQ(f.table.LoadTexture("missing.tga"), 0);
  EXPECT_EQ(f.table.Slot(0)->path, picked);
  EXPECT_EQ(f.table.textureDirectory(), elsewhere + "/");
  size_t asked = f.ui.messages().size();
  EXPECT_EQ(f.table.LoadTexture("next.tga"), 1);
  EXPECT_EQ(f.ui.messages().size(), asked);
}

TEST(TextureTable, NamesResolveWithoutRegardToCase) {
  Fixture f("case");
  fs::create_directories(f.dir + "/Images");
  f.Add("Images/Wood.tga", MakeTga(TgaLayout{}));
  int slot = f.table.LoadTexture("images\\WOOD.tga");
  ASSERT_EQ(slot, 0);
  EXPECT_TRUE(f.ui.messages().empty());
  EXPECT_EQ(f.table.Slot(slot)->path, f.dir + "/Images/Wood.tga");
  EXPECT_EQ(f.table.LoadTexture("Images\\wood.TGA"), slot);
  EXPECT_EQ(f.table.Slot(slot)->refCount, 2);
}

TEST(TextureTable, FullTableFailsSilently) {
  Fixture f("full");
  f.Add("one.tga", MakeTga(TgaLayout{}));
  std::vector<uint8_t> image = MakeTga(TgaLayout{});
  for (int i = 0; i < TextureTable::kSlotCount; ++i)
    ASSERT_EQ(f.table.CreateTextureFromMemory(image.data(), image.size()), i);
  EXPECT_EQ(f.table.CreateTextureFromMemory(image.data(), image.size()), -1);
  EXPECT_EQ(f.table.LoadTexture("one.tga"), -1);
  EXPECT_TRUE(f.ui.messages().empty());
  f.table.ReleaseTexture(255);
  EXPECT_EQ(f.table.LoadTexture("one.tga"), 255);
}

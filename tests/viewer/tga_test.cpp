#include "tga.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"
#include "tga_builder.h"
#include "toon_ramp.h"
#include "ui_services.h"

namespace {

std::vector<std::string> MessageTexts(const ScriptedUi& ui) {
  std::vector<std::string> out;
  for (const auto& m : ui.messages()) {
    EXPECT_EQ(m.caption, "Error");
    EXPECT_EQ(m.buttons, MessageButtons::Ok);
    EXPECT_EQ(m.owner, DialogOwner::None);
    out.push_back(m.text);
  }
  return out;
}

}  // namespace

TEST(Tga, ConvertsToRgbKeepingTheStoredRowOrder) {
  // Two rows of two pixels, stored blue, green, red; top-down descriptor bit
  // set, an image id and a footer, all of which the reader passes over.
  TgaLayout layout;
  layout.idLength = 3;
  layout.descriptor = 0x20;
  std::vector<uint8_t> stored = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<uint8_t> bytes = MakeTga(layout, stored, {0xEE, 0xEE, 0xEE, 0xEE});
  ScriptedUi ui;
  for (const auto& image : {ReadTga(WriteTempFile("rgb.tga", bytes), &ui),
                            ReadTgaFromMemory(bytes.data(), bytes.size(), &ui)}) {
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bytesPerPixel, 3);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
  }
  layout = TgaLayout{};
  layout.depth = 32;
  layout.width = 1;
  std::vector<uint8_t> rgba = MakeTga(layout, {10, 20, 30, 40, 50, 60, 70, 80});
  auto image = ReadTgaFromMemory(rgba.data(), rgba.size(), &ui);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bytesPerPixel, 4);
  EXPECT_EQ(image->pixels, (std::vector<uint8_t>{30, 20, 10, 40, 70, 60, 50, 80}));
  EXPECT_TRUE(ui.messages().empty());
}

TEST(Tga, RefusalsShowTheirTexts) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* fromFile;  // nullptr: fails silently
    const char* fromMemory;
  };
  TgaLayout rle, sixteen, eight, withId, huge;
  rle.type = 10;
  sixteen.depth = 16;
  eight.depth = 8;
  withId.idLength = 40;
  huge.depth = 32;
  huge.width = huge.height = 65535;
  std::vector<uint8_t> shortPixels = MakeTga(TgaLayout{});
  shortPixels.pop_back();
  std::vector<uint8_t> idCut = MakeTga(withId, {});
  idCut.resize(30);
  const std::vector<Case> cases = {
      {"rle.tga", MakeTga(rle), "No Support Image Format", "No Support Image Format"},
      {"16.tga", MakeTga(sixteen), "No Support Pixel Format", "No Support Pixel Format"},
      {"8.tga", MakeTga(eight), "No Support Pixel Format", "No Support Pixel Format"},
      {"header.tga", std::vector<uint8_t>(17, 0), "Read TGA Header Error", nullptr},
      {"empty.tga", {}, "Read TGA Header Error", nullptr},
      {"id.tga", idCut, "TGA File Read Error", nullptr},
      {"short.tga", shortPixels, nullptr, nullptr},
      // 65535 x 65535 x 4 bytes promised, 16 present: refused before any allocation.
      {"huge.tga", MakeTga(huge, std::vector<uint8_t>(16, 0)), nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedUi fileUi, memoryUi;
    EXPECT_FALSE(ReadTga(WriteTempFile(c.name, c.bytes), &fileUi));
    EXPECT_FALSE(ReadTgaFromMemory(c.bytes.data(), c.bytes.size(), &memoryUi));
    EXPECT_EQ(MessageTexts(fileUi), c.fromFile ? std::vector<std::string>{c.fromFile} : std::vector<std::string>{});
    EXPECT_EQ(MessageTexts(memoryUi),
              c.fromMemory ? std::vector<std::string>{c.fromMemory} : std::vector<std::string>{});
  }
  EXPECT_FALSE(ReadTgaFromMemory(nullptr, 100, nullptr));
}

TEST(Tga, ToonRampImage) {
  const auto& ramp = ToonRampImage();
  ASSERT_EQ(ramp.size(), 812u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ramp.data()) + 812 - 18, 18),
            std::string("TRUEVISION-XFILE.\0", 18));
  auto image = ReadTgaFromMemory(ramp.data(), ramp.size(), nullptr);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width * image->height * image->bytesPerPixel, 768);
  // Band edges: {row, column, red, green, blue}.
  const int texels[][5] = {{0, 0, 89, 89, 89},    {4, 7, 89, 89, 89},  {5, 0, 128, 128, 128},
                           {10, 7, 128, 128, 128}, {11, 3, 255, 255, 255}, {14, 8, 0, 11, 0},
                           {0, 15, 0, 11, 0},      {15, 15, 255, 255, 255}};
  for (const auto& t : texels) {
    const uint8_t* p = &image->pixels[size_t(t[0] * 16 + t[1]) * 3];
    EXPECT_EQ((std::vector<int>{p[0], p[1], p[2]}), (std::vector<int>{t[2], t[3], t[4]})) << t[0] << "," << t[1];
  }
}

TEST(Tga, MutatedImagesNeverReadOutOfBounds) {
  TgaLayout layout;
  layout.width = 5;
  layout.height = 3;
  layout.idLength = 2;
  const std::vector<uint8_t> good = MakeTga(layout);
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = good;
    int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) bytes[rng() % 18] = uint8_t(rng());
    if (rng() % 3 == 0) bytes.resize(rng() % bytes.size());
    // A copy of exactly the bytes, so the sanitizer sees any over-read.
    std::vector<uint8_t> exact(bytes);
    auto image = ReadTgaFromMemory(exact.data(), exact.size(), nullptr);
    if (image) {
      EXPECT_EQ(image->pixels.size(), size_t(image->width) * image->height * image->bytesPerPixel);
    }
  }
}

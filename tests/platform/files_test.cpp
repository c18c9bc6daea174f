#include "files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "system.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(Paths, SplitAtEitherSeparator) {
  EXPECT_EQ(PathFolder("C:\\content\\Objects\\Robot.lwo"), "C:\\content\\Objects\\");
  EXPECT_EQ(PathFolder("images\\a/b.tga"), "images\\a/");
  EXPECT_EQ(PathFolder("plain.tga"), "");
  EXPECT_EQ(PathFileName("/a/b.c\\Robot"), "Robot");
  // The extension comes from the file name only.
  EXPECT_EQ(PathExtension("C:\\my.folder\\wood"), "");
  EXPECT_EQ(PathExtension("/my.folder/Wood.Grain.TGA"), ".TGA");
  EXPECT_EQ(AsciiLower("Wood.TGA\x82\xA0"), "wood.tga\x82\xA0");
  EXPECT_EQ(ToFsPath("C:\\a\\b.tga"), "C:/a/b.tga");
}

TEST(Paths, FindsFilesWithoutRegardToCase) {
  std::string root = TempDir() + "/case";
  std::string wood = WriteTempFile("case/Images/Sub/Wood.tga", {1, 2, 3});
  EXPECT_EQ(FindFileIgnoringCase(wood), wood);
  EXPECT_EQ(FindFileIgnoringCase(root + "\\images\\SUB\\wood.TGA"), wood);
  EXPECT_EQ(FindFileIgnoringCase(root + "/images/sub/../Sub/WOOD.tga"), root + "/Images/Sub/../Sub/Wood.tga");
  EXPECT_EQ(FindFileIgnoringCase(root + "/images/sub/other.tga"), std::nullopt);
  // A folder never stands for a file.
  EXPECT_EQ(FindFileIgnoringCase(root + "/images/sub"), std::nullopt);
  EXPECT_FALSE(IsReadableFile(root + "/Images"));
  EXPECT_TRUE(IsReadableFile(root + "\\Images\\Sub\\Wood.tga"));
}

TEST(SystemServices, CurrentDirectoryAndClock) {
  EXPECT_EQ(CurrentDirectory(), fs::current_path().string());
  uint32_t start = TimeGetTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  uint32_t elapsed = TimeGetTime() - start;
  EXPECT_GE(elapsed, 29u);
  EXPECT_LT(elapsed, 5000u);
}

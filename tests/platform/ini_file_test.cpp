#include "ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "files.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string TextFile(const std::string& name, const std::string& text) {
  return WriteTempFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Contents(const std::string& path) { return ReadWholeFile(path).value_or("<missing>"); }

}  // namespace

TEST(IniFile, ReadsKeysTheWindowsWay) {
  std::string path = TextFile("read.ini",
                              "stray=before any section\r\n"
                              "; comment=not a key\r\n"
                              "[Setting]\r\n"
                              "  loadtexture = 1 \r\n"
                              "quoted=\" padded \"\r\n"
                              "single='x'\r\n"
                              "half=\"open\r\n"
                              "formula=a=b=c\r\n"
                              "no equals sign here\r\n"
                              "empty=\r\n"
                              "dup=first\r\n"
                              "DUP=second\r\n"
                              "jp=\x83\x65\x83\x4c\x83\x58\x83\x67\r\n"
                              "[ other ]\n"
                              "k=lf line\r"
                              "m=bare cr\n"
                              "[SETTING]\r\n"
                              "later=shadowed section\r\n");
  EXPECT_EQ(IniGetString(path, "SETTING", "LOADTEXTURE"), "1");
  EXPECT_EQ(IniGetString(path, "setting", "quoted"), " padded ");
  EXPECT_EQ(IniGetString(path, "Setting", "single"), "x");
  EXPECT_EQ(IniGetString(path, "Setting", "half"), "\"open");
  EXPECT_EQ(IniGetString(path, "Setting", "formula"), "a=b=c");
  EXPECT_EQ(IniGetString(path, "Setting", "empty"), "");
  EXPECT_EQ(IniGetString(path, "Setting", "dup"), "first");
  EXPECT_EQ(IniGetString(path, "Setting", "jp"), "\x83\x65\x83\x4c\x83\x58\x83\x67");
  EXPECT_EQ(IniGetString(path, "OTHER", "k"), "lf line");
  EXPECT_EQ(IniGetString(path, "other", "m"), "bare cr");
  // Missing is not empty.
  EXPECT_EQ(IniGetString(path, "Setting", "missing"), std::nullopt);
  EXPECT_EQ(IniGetString(path, "Setting", "; comment"), std::nullopt);
  EXPECT_EQ(IniGetString(path, "Nowhere", "k"), std::nullopt);
  EXPECT_EQ(IniGetString(path, "Setting", "later"), std::nullopt);
  EXPECT_EQ(IniGetString(TempDir() + "/no-such.ini", "Setting", "k"), std::nullopt);
}

TEST(IniFile, WritesChangeOnlyTheirKey) {
  const std::string original =
      "; settings\r\n"
      "[SETTING]\r\n"
      "loadtexture=yes\r\n"
      "OTHER=keep me\r\n"
      "\r\n"
      "[Unknown]\r\n"
      "x = 1\r\n"
      "\r\n"
      "[RECENT OJBECT]\r\n"
      "obj0=a.lwo";
  std::string path = TextFile("write.ini", original);

  // Replaced in place under the case-insensitive match; no duplicate.
  ASSERT_TRUE(IniWriteString(path, "setting", "LOADTEXTURE", "0"));
  // Appended after the section's last line, before the blank line.
  ASSERT_TRUE(IniWriteString(path, "SETTING", "VERSION", "1.08"));
  // Appended to a last line that had no line end.
  ASSERT_TRUE(IniWriteString(path, "RECENT OJBECT", "obj1", "b.lwo"));
  ASSERT_TRUE(IniWriteString(path, "COLOR", "GLBKCOLOR", "0000ff00"));
  EXPECT_EQ(Contents(path),
            "; settings\r\n"
            "[SETTING]\r\n"
            "LOADTEXTURE=0\r\n"
            "OTHER=keep me\r\n"
            "VERSION=1.08\r\n"
            "\r\n"
            "[Unknown]\r\n"
            "x = 1\r\n"
            "\r\n"
            "[RECENT OJBECT]\r\n"
            "obj0=a.lwo\r\n"
            "obj1=b.lwo\r\n"
            "[COLOR]\r\n"
            "GLBKCOLOR=0000ff00\r\n");
  EXPECT_EQ(IniGetString(path, "Setting", "loadtexture"), "0");

  // A file written with LF keeps LF; a new file gets CR LF.
  std::string lf = TextFile("lf.ini", "[A]\nk=1\n");
  ASSERT_TRUE(IniWriteString(lf, "A", "j", "2"));
  EXPECT_EQ(Contents(lf), "[A]\nk=1\nj=2\n");
  std::string fresh = TempDir() + "/fresh.ini";
  ASSERT_TRUE(IniWriteString(fresh, "S", "k", "v"));
  EXPECT_EQ(Contents(fresh), "[S]\r\nk=v\r\n");

  // A section write replaces the body, keeping the blank line before the next section.
  std::string section = TextFile("section.ini", "[RECENT SCENE]\r\nscn0=old\r\n; note\r\n\r\n[COLOR]\r\nc=1\r\n");
  ASSERT_TRUE(IniWriteSection(section, "recent scene", {{"scn0", ""}, {"cnt0", ""}}));
  ASSERT_TRUE(IniWriteSection(section, "NEW", {{"a", "1"}}));
  EXPECT_EQ(Contents(section), "[RECENT SCENE]\r\nscn0=\r\ncnt0=\r\n\r\n[COLOR]\r\nc=1\r\n[NEW]\r\na=1\r\n");
}

TEST(IniFile, RefusesWritesThatWouldBreakTheFile) {
  const std::string original = "[S]\r\nk=1\r\n";
  std::string path = TextFile("refuse.ini", original);
  EXPECT_FALSE(IniWriteString(path, "S", "k", "two\r\n[S]\r\nk=lines"));
  EXPECT_FALSE(IniWriteString(path, "S]", "k", "v"));
  EXPECT_FALSE(IniWriteString(path, "S", "a=b", "v"));
  EXPECT_EQ(Contents(path), original);
  // In a batch the refused write is skipped and the rest lands.
  EXPECT_FALSE(IniWriteStrings(path, {{"S", "a", "x\ny"}, {"S", "b", "2"}}));
  EXPECT_EQ(Contents(path), original + "b=2\r\n");
}

// Any text: a write is read back, and every other key reads as before.
TEST(IniFile, WritesHoldOnArbitraryText) {
  const char alphabet[] = {'[', ']', '=', ';', ' ', '\t', '\r', '\n', 'a', 'A', 'b', '"', '\0', '\x82'};
  const std::vector<std::string> names = {"a", "A", "b", "a b", "B"};
  std::mt19937 rng(1234);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    size_t length = rng() % 200;
    for (size_t i = 0; i < length; ++i) text += alphabet[rng() % sizeof alphabet];
    IniDocument doc(text);
    EXPECT_EQ(doc.Text(), text);
    std::string section = names[rng() % names.size()];
    std::string key = names[rng() % names.size()];
    std::string value = "v" + std::to_string(round);
    IniDocument before = doc;
    ASSERT_TRUE(doc.Set(section, key, value));
    EXPECT_EQ(doc.Get(section, key), value) << "text: " << testing::PrintToString(text);
    for (const std::string& s : names) {
      for (const std::string& k : names) {
        if (!EqualsIgnoringCase(s, section) || !EqualsIgnoringCase(k, key)) {
          EXPECT_EQ(doc.Get(s, k), before.Get(s, k)) << testing::PrintToString(text);
        }
      }
    }
    // Reparsing what was written gives the same answers.
    IniDocument again(doc.Text());
    EXPECT_EQ(again.Get(section, key), value);
  }
  // A very long line and a value with every byte value.
  std::string bytes;
  for (int c = 1; c < 256; ++c)
    if (c != '\r' && c != '\n') bytes += char(c);
  std::string path = TextFile("long.ini", "[S]\r\nlong=" + std::string(1 << 20, 'x') + "\r\n");
  ASSERT_TRUE(IniWriteString(path, "S", "bytes", "<" + bytes + ">"));
  EXPECT_EQ(IniGetString(path, "S", "bytes"), "<" + bytes + ">");
  EXPECT_EQ(IniGetString(path, "S", "long")->size(), size_t(1) << 20);
}

TEST(IniFile, AtomicWriteKeepsModeAndLinksAndLeavesNoTemporaries) {
  std::string folder = TempDir() + "/atomic";
  std::string target = TextFile("atomic/real.ini", "[S]\r\nk=1\r\n");
  chmod(target.c_str(), 0640);
  fs::create_symlink(target, folder + "/link.ini");

  ASSERT_TRUE(IniWriteString(folder + "\\link.ini", "S", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(folder + "/link.ini"));
  EXPECT_EQ(IniGetString(target, "S", "k"), "2");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
  EXPECT_FALSE(IniWriteString(folder + "/missing-folder/x.ini", "S", "k", "v"));
}

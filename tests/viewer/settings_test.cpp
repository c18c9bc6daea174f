#include "settings.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "files.h"
#include "ini_file.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The File menu's recent popups as a list of (id, text) per popup position.
class RecordedMenu : public RecentMenu {
 public:
  void RemoveItem(int popup, int id) override {
    auto& items = popups[popup];
    for (auto it = items.begin(); it != items.end(); ++it) {
      if (it->first == id) {
        items.erase(it);
        return;
      }
    }
  }
  void AppendItem(int popup, int id, const std::string& text) override { popups[popup].emplace_back(id, text); }

  std::map<int, std::vector<std::pair<int, std::string>>> popups;
};

using Items = std::vector<std::pair<int, std::string>>;

// A fresh folder per test, as the directory current at start-up.
std::string Folder(const std::string& name) {
  std::string dir = TempDir() + "/settings-" + name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string WriteIni(const std::string& dir, const std::string& text) {
  return WriteTempFile(dir.substr(TempDir().size() + 1) + "/Tamarind.ini",
                       std::vector<uint8_t>(text.begin(), text.end()));
}

std::string IniText(const std::string& dir) { return ReadWholeFile(dir + "/Tamarind.ini").value_or("<missing>"); }

std::optional<std::string> IniValue(const std::string& dir, const char* section, const std::string& key) {
  return IniGetString(dir + "/Tamarind.ini", section, key);
}

}  // namespace

TEST(Settings, FirstStartWritesTheCompleteFile) {
  std::string dir = Folder("first");
  Settings s;
  s.Read(dir);
  EXPECT_EQ(s.iniPath(), dir + "\\Tamarind.ini");
  const std::string folder = dir + "\\";
  std::string expected = "[SETTING]\r\nCONTENTDIR=" + folder + "\r\nOBJECTDIR=" + folder +
                         "\r\nSCENEDIR=" + folder + "\r\nTEXDIR=" + folder + "\r\nDXFDIR=" + folder +
                         "\r\nLOADTEXTURE=0\r\nSETTEXPATH=0\r\nVERSION=1.08\r\n"
                         "[COLOR]\r\nGLEDGECOLOR=00000000\r\nDXEDGECOLOR=00000000\r\n"
                         "GLBKCOLOR=0000ff00\r\nDXBKCOLOR=00ff0000\r\n[RECENT OJBECT]\r\n";
  for (int i = 0; i < 8; ++i) expected += "obj" + std::to_string(i) + "=\r\n";
  expected += "[RECENT SCENE]\r\n";
  for (int i = 0; i < 8; ++i) expected += "scn" + std::to_string(i) + "=\r\ncnt" + std::to_string(i) + "=\r\n";
  EXPECT_EQ(IniText(dir), expected);

  EXPECT_EQ(s.Folder(SettingFolder::Texture), folder);
  EXPECT_FALSE(s.loadTexture());
  EXPECT_EQ(s.Color(kGlBackColor), 0x0000FF00u);
  EXPECT_EQ(s.Color(kDxBackColor), 0x00FF0000u);
  EXPECT_EQ(s.RecentObject(0), std::nullopt);

  RecordedMenu menu;
  s.RebuildRecentObjectMenu(menu);
  s.RebuildRecentSceneMenu(menu);
  EXPECT_EQ(menu.popups[kRecentObjectPopup], (Items{{50004, "none"}}));
  EXPECT_EQ(menu.popups[kRecentScenePopup], (Items{{60004, "none"}}));

  // A second start finds every key and leaves the file as it was.
  Settings again;
  again.Read(dir);
  EXPECT_EQ(IniText(dir), expected);
}

TEST(Settings, ReadRepairsMissingAndMalformedKeys) {
  std::string dir = Folder("repair");
  WriteIni(dir,
           "[setting]\r\n"
           "contentdir=\r\n"
           "scenedir=\"D:\\scenes\\\"\r\n"
           "TEXDIR = D:\\tex\\ \r\n"
           "LOADTEXTURE=yes\r\n"
           "settexpath=1\r\n"
           "[Mine]\r\n"
           "keep=this\r\n"
           "[color]\r\n"
           "GLEDGECOLOR=\r\n"
           "DXEDGECOLOR=0x123\r\n"
           "glbkcolor=00FF00\r\n"
           "[RECENT OJBECT]\r\n"
           "obj0=C:\\a.lwo\r\n"
           "obj2=C:\\c.lwo\r\n");
  Settings s;
  s.Read(dir);
  const std::string folder = dir + "\\";
  // Missing and empty folders take the default, which is written back.
  EXPECT_EQ(s.Folder(SettingFolder::Content), folder);
  EXPECT_EQ(s.Folder(SettingFolder::Object), folder);
  EXPECT_EQ(s.Folder(SettingFolder::Scene), "D:\\scenes\\");
  EXPECT_EQ(s.Folder(SettingFolder::Texture), "D:\\tex\\");
  EXPECT_EQ(IniValue(dir, "SETTING", "CONTENTDIR"), folder);
  EXPECT_EQ(IniValue(dir, "SETTING", "OBJECTDIR"), folder);
  EXPECT_EQ(IniValue(dir, "SETTING", "DXFDIR"), folder);
  // Anything but "1" or "0" is off and written as "0".
  EXPECT_FALSE(s.loadTexture());
  EXPECT_EQ(IniValue(dir, "SETTING", "LOADTEXTURE"), "0");
  EXPECT_TRUE(s.setTexPath());
  EXPECT_EQ(IniValue(dir, "SETTING", "VERSION"), "1.08");
  // Colours: present ones parse (even empty or upper-case); only missing ones are written.
  EXPECT_EQ(s.Color(kGlEdgeColor), 0u);
  EXPECT_EQ(IniValue(dir, "COLOR", "GLEDGECOLOR"), "");
  EXPECT_EQ(s.Color(kDxEdgeColor), 0x123u);
  EXPECT_EQ(s.Color(kGlBackColor), 0x00FF00u);
  EXPECT_EQ(s.Color(kDxBackColor), 0x00FF0000u);
  EXPECT_EQ(IniValue(dir, "COLOR", "DXBKCOLOR"), "00ff0000");
  // Recent entries keep their positions; the missing keys are written empty.
  EXPECT_EQ(s.RecentObject(0), "C:\\a.lwo");
  EXPECT_EQ(s.RecentObject(1), std::nullopt);
  EXPECT_EQ(s.RecentObject(2), "C:\\c.lwo");
  EXPECT_EQ(IniValue(dir, "RECENT OJBECT", "obj7"), "");
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "cnt7"), "");
  EXPECT_EQ(IniValue(dir, "Mine", "keep"), "this");

  RecordedMenu menu;
  s.RebuildRecentObjectMenu(menu);
  EXPECT_EQ(menu.popups[kRecentObjectPopup], (Items{{50000, "C:\\a.lwo"}, {50002, "C:\\c.lwo"}}));
}

TEST(Settings, SceneWithoutContentFolderShowsOnceThenGoes) {
  std::string dir = Folder("cnt");
  WriteIni(dir,
           "[RECENT SCENE]\r\n"
           "scn0=C:\\one.lws\r\ncnt0=C:\\content\\\r\n"
           "scn1=C:\\two.lws\r\n"
           "cnt2=C:\\orphan\\\r\n");
  Settings s;
  s.Read(dir);
  ASSERT_TRUE(s.RecentSceneEntry(1));
  EXPECT_EQ(s.RecentSceneEntry(1)->path, "C:\\two.lws");
  EXPECT_EQ(s.RecentSceneEntry(1)->folder, "");
  EXPECT_EQ(s.RecentSceneEntry(2), std::nullopt);
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "scn1"), "");
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "cnt2"), "");
  RecordedMenu menu;
  s.RebuildRecentSceneMenu(menu);
  EXPECT_EQ(menu.popups[kRecentScenePopup], (Items{{60000, "C:\\one.lws"}, {60001, "C:\\two.lws"}}));

  Settings next;
  next.Read(dir);
  EXPECT_EQ(next.RecentSceneEntry(0)->folder, "C:\\content\\");
  EXPECT_EQ(next.RecentSceneEntry(1), std::nullopt);
}

TEST(Settings, RecentObjectsMoveUpAndDropTheOldest) {
  std::string dir = Folder("objects");
  Settings s;
  s.Read(dir);
  RecordedMenu menu;
  s.RebuildRecentObjectMenu(menu);
  for (int i = 1; i <= 9; ++i) s.PushRecentObject("C:\\obj" + std::to_string(i) + ".lwo");
  // The ninth pushed the first out.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s.RecentObject(i), "C:\\obj" + std::to_string(9 - i) + ".lwo");

  // The same object again moves to the top and stays single.
  s.PushRecentObject("C:\\obj5.lwo");
  s.PushRecentObject("C:\\obj5.lwo");
  const std::vector<std::string> expected = {"C:\\obj5.lwo", "C:\\obj9.lwo", "C:\\obj8.lwo", "C:\\obj7.lwo",
                                             "C:\\obj6.lwo", "C:\\obj4.lwo", "C:\\obj3.lwo", "C:\\obj2.lwo"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s.RecentObject(i), expected[size_t(i)]);

  // An entry of the list itself, as a recent-menu command hands it over.
  s.PushRecentObject(*s.RecentObject(2));
  EXPECT_EQ(s.RecentObject(0), "C:\\obj8.lwo");
  EXPECT_EQ(s.RecentObject(1), "C:\\obj5.lwo");
  EXPECT_EQ(s.RecentObject(2), "C:\\obj9.lwo");
  EXPECT_EQ(s.RecentObject(3), "C:\\obj7.lwo");

  // The file holds the same list; the stale "none" is gone from the menu.
  Settings reread;
  reread.Read(dir);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(reread.RecentObject(i), s.RecentObject(i));
  s.RebuildRecentObjectMenu(menu);
  EXPECT_EQ(menu.popups[kRecentObjectPopup], (Items{{50000, "C:\\obj8.lwo"},
                                                     {50001, "C:\\obj5.lwo"},
                                                     {50002, "C:\\obj9.lwo"},
                                                     {50003, "C:\\obj7.lwo"}}));
}

TEST(Settings, RecentScenesMatchOnPathAndFolder) {
  std::string dir = Folder("scenes");
  Settings s;
  s.Read(dir);
  RecordedMenu menu;
  s.RebuildRecentSceneMenu(menu);
  s.PushRecentScene("C:\\a.lws", "C:\\content1\\");
  s.PushRecentScene("C:\\a.lws", "C:\\content2\\");
  s.PushRecentScene("C:\\a.lws", "C:\\content1\\");
  EXPECT_EQ(s.RecentSceneEntry(0), (RecentScene{"C:\\a.lws", "C:\\content1\\"}));
  EXPECT_EQ(s.RecentSceneEntry(1), (RecentScene{"C:\\a.lws", "C:\\content2\\"}));
  EXPECT_EQ(s.RecentSceneEntry(2), std::nullopt);
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "scn1"), "C:\\a.lws");
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "cnt1"), "C:\\content2\\");
  EXPECT_EQ(IniValue(dir, "RECENT SCENE", "scn2"), "");
  s.RebuildRecentSceneMenu(menu);
  EXPECT_EQ(menu.popups[kRecentScenePopup], (Items{{60000, "C:\\a.lws"}, {60001, "C:\\a.lws"}}));
}

TEST(Settings, SettersWriteAtOnce) {
  std::string dir = Folder("setters");
  Settings s;
  s.Read(dir);
  s.SetFolder(SettingFolder::Dxf, "E:\\dxf\\");
  s.SetLoadTexture(true);
  s.SetColor(kGlBackColor, 0x00AB12CDu);
  EXPECT_EQ(IniValue(dir, "SETTING", "DXFDIR"), "E:\\dxf\\");
  EXPECT_EQ(IniValue(dir, "SETTING", "LOADTEXTURE"), "1");
  EXPECT_EQ(IniValue(dir, "COLOR", "GLBKCOLOR"), "00ab12cd");
}

// The file as a complete settings file: the user's big section whole, every
// key down to the last, and a recent list that is one list (entries pushed
// by one writer follow each other, newest first).
testing::AssertionResult CompleteFile(const std::string& dir, const std::string& big) {
  IniDocument doc = IniDocument::Load(dir + "/Tamarind.ini");
  if (doc.Get("Mine", "big") != big) return testing::AssertionFailure() << "big section cut";
  if (doc.Get("SETTING", "VERSION") != "1.08") return testing::AssertionFailure() << "no VERSION";
  if (doc.Get("RECENT SCENE", "cnt7") != "") return testing::AssertionFailure() << "no cnt7";
  std::string previous;
  for (int i = 0; i < 8; ++i) {
    std::optional<std::string> v = doc.Get("RECENT OJBECT", "obj" + std::to_string(i));
    if (!v) return testing::AssertionFailure() << "no obj" << i;
    if (v->empty()) continue;
    // "C:\w<writer>n<count>.lwo"
    size_t n = v->find('n');
    if (v->rfind("C:\\w", 0) != 0 || n == std::string::npos || PathExtension(*v) != ".lwo")
      return testing::AssertionFailure() << "obj" << i << " is " << *v;
    if (!previous.empty() && previous.compare(0, previous.find('n'), *v, 0, n) == 0 &&
        std::stol(previous.substr(previous.find('n') + 1)) != std::stol(v->substr(n + 1)) + 1)
      return testing::AssertionFailure() << "obj" << i << " " << *v << " after " << previous;
    previous = *v;
  }
  return testing::AssertionSuccess();
}

// Readers never see a half-written file, and a writer killed at any moment
// leaves the old or the new complete one.
TEST(Settings, KilledWriterLeavesACompleteFile) {
  std::string dir = Folder("kill");
  // A large section of the user's own makes every write take a while.
  const std::string big(1 << 20, 'x');
  WriteIni(dir, "[Mine]\r\nbig=" + big + "\r\n");
  {
    Settings s;
    s.Read(dir);
  }
  std::mt19937 rng(7);
  for (int writer = 0; writer < 4; ++writer) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      Settings s;
      s.Read(dir);
      for (long i = 0;; ++i) {
        s.PushRecentObject("C:\\w" + std::to_string(writer) + "n" + std::to_string(i) + ".lwo");
        if (i == 0 && write(ready[1], "r", 1) != 1) _exit(1);
      }
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100 + rng() % 100);
    testing::AssertionResult whileWriting = testing::AssertionSuccess();
    while (whileWriting && std::chrono::steady_clock::now() < until) whileWriting = CompleteFile(dir, big);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(whileWriting) << "writer " << writer;
    EXPECT_TRUE(CompleteFile(dir, big)) << "writer " << writer;
  }
}

// The shell's logic over a recording host: menu data, commands, keys, drags,
// the wheel, drops and loads through the loader thread.
#include "shell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "files.h"
#include "settings.h"
#include "shell_commands.h"
#include "shell_fakes.h"
#include "system.h"
#include "test_support.h"
#include "viewer_model.h"

namespace fs = std::filesystem;
using namespace shelltest;

namespace {

// The menu flattened to one line per node: depth, kind, id and text.
void Flatten(const std::vector<MenuNode>& nodes, int depth, std::vector<std::string>& out) {
  for (const MenuNode& n : nodes) {
    std::string line = std::string(size_t(depth) * 2, ' ');
    if (n.kind == MenuNode::Kind::Separator) {
      out.push_back(line + "-");
    } else if (n.kind == MenuNode::Kind::Popup) {
      out.push_back(line + "> " + n.text);
      Flatten(n.children, depth + 1, out);
    } else {
      out.push_back(line + std::to_string(n.id) + " " + n.text);
    }
  }
}

std::string CopySample(const std::string& sample, const std::string& name) {
  std::string path = TempDir() + "/shell-files/" + name;
  fs::create_directories(fs::path(path).parent_path());
  fs::copy_file(SourcePath("samples/" + sample), path, fs::copy_options::overwrite_existing);
  return path;
}

std::string WriteText(const std::string& name, const std::string& text) {
  return WriteTempFile("shell-files/" + name, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace

TEST(ShellMenu, TreeEqualsTheTable) {
  std::vector<std::string> lines;
  Flatten(MainMenu(), 0, lines);
  const std::vector<std::string> expected = {
      "> ファイル(&F)",
      "  40019 オブジェクトファイルロード(&O)...",
      "  40018 シーンファイルロード(&M)...",
      "  40031 XFileファイルロード(&X)...",
      "  40047 DXFファイルロード(&D)...",
      "  -",
      "  40044 Setting(&C)...",
      "  -",
      "  > 最近使用したオブジェクト",
      "  > 最近使用したシーン",
      "  -",
      "  40048 DXFファイルへの書き出し(&S)...",
      "  -",
      "  40028 終了(&X)",
      "> 表示(&V)",
      "  > 表示(&V)",
      "    40011 通常表示(&N)",
      "    40014 トゥ-ンシェード(スペキュラーなし)(&T)",
      "    40013 トゥ-ンシェード(スペキュラーあり)(&S)",
      "    40034 カラーマスク(&W)",
      "    40045 ワイヤーフレーム(&W)",
      "  40003 エッジ描画(&E)",
      "  40035 サーフェスエッジ描画(&F)",
      "  40041 Texture有効(&P)",
      "  > エッジサイズ",
      "    40023 UP(&U)",
      "    40024 DOWN(&U)",
      "  -",
      "  40039 軸の表示(&A)",
      "  40040 グリッドの表示(&G)",
      "  -",
      "  40004 オブジェクト回転(&R)",
      "  40007 ライト回転(&L)",
      "  -",
      "  40005 背景色の設定(&B)...",
      "  40006 エッジ色の設定(&D)...",
      "  -",
      "  40016 インフォメーション表示(&I)",
      "> モーション(&Ｍ)",
      "  40022 再生/一時停止(&P)",
      "  40021 停止(&S)",
      "  -",
      "  40032 フレーム更新値設定...(&I)",
      "> ヘルプ(&H)",
      "  40008 バージョン情報(&V)",
  };
  EXPECT_EQ(lines, expected);

  // The recent popups sit at positions 7 and 8 of the File menu.
  const MenuNode& file = MainMenu()[0];
  ASSERT_GT(file.children.size(), size_t(kRecentScenePopup));
  EXPECT_EQ(file.children[kRecentObjectPopup].text, "最近使用したオブジェクト");
  EXPECT_EQ(file.children[kRecentScenePopup].text, "最近使用したシーン");
  for (int i = 0; i < kLookCount; ++i) EXPECT_NE(kLookCommands[i], 0);
  EXPECT_EQ(kLookCommands[LookToonSpecular], 40013);
  EXPECT_EQ(kLookCommands[LookColorMask], 40034);
}

TEST(ShellMenu, AcceleratorTableExactly) {
  std::vector<std::pair<int, std::string>> got;
  for (const Accelerator& a : AcceleratorTable()) got.emplace_back(a.command, AcceleratorText(a));
  const std::vector<std::pair<int, std::string>> expected = {
      {40019, "Ctrl+O"}, {40018, "Ctrl+M"}, {40031, "Ctrl+X"}, {40047, "Ctrl+D"},   {40011, "Ctrl+N"},
      {40014, "Ctrl+T"}, {40013, "Ctrl+S"}, {40034, "Ctrl+K"}, {40045, "Ctrl+W"},   {40003, "Ctrl+E"},
      {40035, "Ctrl+F"}, {40041, "Ctrl+P"}, {40023, "Ctrl+Up"}, {40024, "Ctrl+Down"}, {40039, "Ctrl+A"},
      {40040, "Ctrl+G"}, {40004, "Ctrl+R"}, {40007, "Ctrl+L"}, {40016, "Ctrl+I"},   {40022, "Alt+P"},
      {40021, "Alt+S"},  {40032, "Alt+I"},
  };
  EXPECT_EQ(got, expected);

  EXPECT_EQ(MatchAccelerator(vk::kUp, true, false), 40023);
  EXPECT_EQ(MatchAccelerator(vk::kDown, true, false), 40024);
  EXPECT_EQ(MatchAccelerator(vk::kUp, false, false), 0);
  EXPECT_EQ(MatchAccelerator('P', false, true), 40022);
  EXPECT_EQ(MatchAccelerator('P', true, false), 40041);
  EXPECT_EQ(MatchAccelerator('C', true, false), 0);
  EXPECT_EQ(FindAccelerator(40008), nullptr);
  ASSERT_NE(FindAccelerator(40032), nullptr);
  EXPECT_EQ(FindAccelerator(40032)->virtualKey, 'I');
}

TEST(ShellHelpers, NamesTitlesAndSpinner) {
  EXPECT_EQ(ExportDefaultName("a.b.lwo"), "a.b.dxf");
  EXPECT_EQ(ExportDefaultName("noext"), "");
  EXPECT_EQ(ExportDefaultName(".lwo"), ".dxf");
  EXPECT_EQ(WindowTitle(1, nullptr), "Tamarind Ver1.08(GL)");
  const std::string path = "C:\\models\\cube.lwo";
  EXPECT_EQ(WindowTitle(0, &path), "Tamarind Ver1.08(DX8) C:\\models\\cube.lwo");
  EXPECT_EQ(FileNameOf(path), "cube.lwo");
  EXPECT_EQ(FolderOf(path), "C:\\models\\");
  EXPECT_EQ(FileNameOf("/home/u/a.lwo"), "a.lwo");
  EXPECT_EQ(FolderOf("/home/u\\sub/a.lwo"), "/home/u\\sub/");
  EXPECT_EQ(FolderOf("a.lwo"), "");
  EXPECT_EQ(FileNameOf("a.lwo"), "a.lwo");

  int i = 0;
  std::string text;
  std::vector<std::string> marks;
  for (int step = 0; step < 7; ++step) {
    i = NextSpinnerCounter(i);
    text = SpinnerText(i, text);
    marks.push_back(text.substr(std::string("Now Loading ...   ").size()));
  }
  EXPECT_EQ(marks, (std::vector<std::string>{"- ", "\\ ", "| ", "| ", "/ ", "- ", "\\ "}));
  EXPECT_EQ(SpinnerText(0, "x"), "Now Loading ...   / ");
}

TEST(ShellHelpers, FrameIncrementParsing) {
  EXPECT_EQ(ParseFrameIncrement("-5"), -5);
  EXPECT_EQ(ParseFrameIncrement("  +12"), 12);
  EXPECT_EQ(ParseFrameIncrement("7 frames"), 7);
  EXPECT_EQ(ParseFrameIncrement("2147483647"), 2147483647);
  EXPECT_EQ(ParseFrameIncrement("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseFrameIncrement("abc"), std::nullopt);
  EXPECT_EQ(ParseFrameIncrement(""), std::nullopt);
  EXPECT_EQ(ParseFrameIncrement("-"), std::nullopt);
  EXPECT_EQ(ParseFrameIncrement("99999999999"), std::nullopt);
  EXPECT_EQ(ParseFrameIncrement("2147483648"), std::nullopt);
  // Only the first 16 characters count.
  EXPECT_EQ(ParseFrameIncrement("               3"), 3);
  EXPECT_EQ(ParseFrameIncrement("                3"), std::nullopt);
  EXPECT_EQ(ParseFrameIncrement("0000000000000012345"), 12);
}

TEST(ShellHelpers, SettingsDialogRules) {
  SettingsDialogEnables e = SettingsDialogEnableRules(false, true);
  EXPECT_FALSE(e.setTexPath);
  EXPECT_FALSE(e.textureFolder);
  EXPECT_FALSE(e.browseTexture);
  e = SettingsDialogEnableRules(true, false);
  EXPECT_TRUE(e.setTexPath);
  EXPECT_FALSE(e.textureFolder);
  EXPECT_FALSE(e.browseTexture);
  e = SettingsDialogEnableRules(true, true);
  EXPECT_TRUE(e.setTexPath && e.textureFolder && e.browseTexture);

  EXPECT_EQ(ClampSettingsFolder("C:\\tex\\"), "C:\\tex\\");
  EXPECT_EQ(ClampSettingsFolder(std::string(300, 'a')).size(), 255u);
  // "あ" is three bytes: after one "a", 84 of them end at byte 253 and the
  // 85th would cross 255.
  std::string wide = "a";
  for (int i = 0; i < 90; ++i) wide += "あ";
  EXPECT_EQ(ClampSettingsFolder(wide), wide.substr(0, 253));
  EXPECT_EQ(ClampSettingsFolder(std::string(254, 'a') + "あ"), std::string(254, 'a'));

  EXPECT_EQ(SettingsBrowseRequest(kSettingsBrowseTexture, "C:\\c\\").title, "Texture Path");
  const FolderRequest content = SettingsBrowseRequest(kSettingsBrowseContent, "C:\\c\\");
  EXPECT_EQ(content.title, "Content Directory");
  EXPECT_EQ(content.initialFolder, "C:\\c\\");
}

TEST(ShellStart, MarksGreyTitleRecentAndBackground) {
  ShellRig rig("start");
  rig.settings.SetColor(kGlBackColor, 0x00302010);
  rig.settings.SetColor(kGlEdgeColor, 0x000000FF);
  rig.state.camera.yaw = 123;
  rig.shell->Start();

  EXPECT_EQ(rig.host.Checked(40011), true);
  for (int id : {40003, 40035, 40040, 40039}) EXPECT_EQ(rig.host.Checked(id), false) << id;
  for (int id : {40018, 40031, 40047, 40048}) EXPECT_EQ(rig.host.Enabled(id), false) << id;
  ASSERT_EQ(rig.host.titles.size(), 1u);
  EXPECT_EQ(rig.host.titles.back(), "Tamarind Ver1.08(GL)");
  using Items = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(rig.menu.popups[kRecentObjectPopup], (Items{{50004, "none"}}));
  EXPECT_EQ(rig.menu.popups[kRecentScenePopup], (Items{{60004, "none"}}));
  EXPECT_EQ(rig.state.backgroundColor, 0x00302010u);
  EXPECT_EQ(rig.host.backgrounds, std::vector<uint32_t>{0x00302010u});
  // The stored edge colour only seeds the dialog.
  EXPECT_EQ(rig.state.edgeColor[0], 0);
  EXPECT_EQ(rig.state.camera.yaw, 0);
  EXPECT_EQ(rig.state.camera.fieldOfView, 26);
  EXPECT_EQ(rig.state.lastFileFolder, CurrentDirectory() + "\\");

  // Greyed commands do nothing even when they arrive.
  rig.shell->OnCommand(40018);
  rig.shell->OnCommand(40031);
  rig.shell->OnCommand(40048);
  EXPECT_TRUE(rig.ui.openFileRequests().empty());
  EXPECT_TRUE(rig.host.saveRequests.empty());
}

TEST(ShellStart, ReadersPresentAndDirect3D) {
  ShellRig rig("start-dx", 0);
  rig.readers.scene = rig.readers.dxf = rig.readers.dxfExport = true;
  rig.shell->Start();
  for (int id : {40018, 40047, 40048}) EXPECT_EQ(rig.host.Enabled(id), true) << id;
  EXPECT_EQ(rig.host.Enabled(40031), false);  // no X-file reader in this build
  EXPECT_EQ(rig.host.titles.back(), "Tamarind Ver1.08(DX8)");
  EXPECT_EQ(rig.state.backgroundColor, 0x00FF0000u);

}

TEST(ShellCommands, LooksTogglesAndKeys) {
  ShellRig rig("looks");
  rig.shell->Start();
  rig.host.marks.clear();

  rig.shell->OnCommand(40013);
  EXPECT_EQ(rig.state.look, LookToonSpecular);
  EXPECT_EQ(rig.host.marks, (std::vector<std::pair<int, bool>>{
                                {40011, false}, {40014, false}, {40013, true}, {40034, false}, {40045, false}}));
  rig.host.marks.clear();
  rig.shell->OnCommand(40013);  // already current
  EXPECT_TRUE(rig.host.marks.empty());

  // C and numpad 3 cycle the look and leave the marks be.
  rig.shell->OnKeyDown(vk::kC);
  EXPECT_EQ(rig.state.look, LookColorMask);
  rig.shell->OnKeyDown(vk::kNumpad3);
  rig.shell->OnKeyDown(vk::kC);
  EXPECT_EQ(rig.state.look, LookNormal);
  EXPECT_TRUE(rig.host.marks.empty());
  EXPECT_EQ(rig.host.Checked(40013), true);
  // Choosing normal now does nothing either: it is current already.
  rig.shell->OnCommand(40011);
  EXPECT_TRUE(rig.host.marks.empty());

  for (auto [id, flag] : {std::pair<int, int*>{40003, &rig.state.outlineOn}, {40035, &rig.state.surfaceEdgesOn},
                          {40041, &rig.state.texturesOn}, {40039, &rig.state.axesOn}, {40040, &rig.state.gridOn},
                          {40004, &rig.state.autoSpin}, {40007, &rig.state.autoLight}, {40016, &rig.state.infoOn}}) {
    rig.shell->OnCommand(id);
    EXPECT_EQ(*flag, 1) << id;
    EXPECT_EQ(rig.host.Checked(id), true) << id;
    rig.shell->OnCommand(id);
    EXPECT_EQ(*flag, 0) << id;
    EXPECT_EQ(rig.host.Checked(id), false) << id;
  }

  rig.shell->OnCommand(40023);
  rig.shell->OnCommand(40023);
  rig.shell->OnCommand(40024);
  EXPECT_FLOAT_EQ(rig.state.edgeSize, 0.01f);
  for (int i = 0; i < 3; ++i) rig.shell->OnCommand(40024);
  EXPECT_FLOAT_EQ(rig.state.edgeSize, -0.02f);

  // Up and Down alone move the model; Shift makes the step 0.1.
  rig.shell->OnKeyDown(vk::kUp);
  EXPECT_FLOAT_EQ(rig.state.modelYOffset, 1);
  rig.shell->OnKeyDown(vk::kShift);
  rig.shell->OnKeyDown(vk::kDown);
  EXPECT_FLOAT_EQ(rig.state.modelYOffset, 0.9f);
  rig.shell->OnKeyUp(vk::kShift);
  EXPECT_EQ(rig.state.shiftDown, 0);
  rig.shell->OnKeyDown(vk::kDown);
  EXPECT_FLOAT_EQ(rig.state.modelYOffset, -0.1f);

  rig.shell->OnCommand(40008);
  EXPECT_EQ(rig.host.aboutBoxes, 1);
  rig.shell->OnCommand(40028);
  EXPECT_EQ(rig.host.quits, 1);
}

TEST(ShellCommands, MotionActsOnTheSceneOnly) {
  ShellRig rig("motion");
  rig.readers.scene = true;
  rig.shell->Start();

  // Nothing loaded: nothing happens and the dialog shows 0.
  rig.shell->OnCommand(40022);
  rig.shell->OnKeyDown(vk::kF);
  rig.shell->OnWheel(-120, 0);
  rig.host.incrementTexts.push_back("5");
  rig.shell->OnCommand(40032);
  EXPECT_EQ(rig.host.incrementShown, std::vector<std::string>{"0"});
  EXPECT_EQ(rig.readers.log.toggles, 0);

  rig.shell->OnDropFiles({WriteText("walk.lws", "LWSC\n")});
  ASSERT_NE(rig.state.scene, nullptr);
  EXPECT_EQ(rig.state.loadState, LoadScene);
  SceneLog& log = rig.readers.log;
  rig.shell->OnCommand(40022);
  rig.shell->OnCommand(40021);
  rig.shell->OnKeyDown(vk::kSpace);
  rig.shell->OnKeyDown(vk::kB);
  rig.shell->OnKeyDown(vk::kNumpad2);
  rig.shell->OnKeyDown(vk::kF);
  rig.shell->OnKeyDown(vk::kNumpad6);
  rig.shell->OnWheel(-120, 0);
  rig.shell->OnWheel(120, 0);
  rig.shell->OnWheel(240, 0);
  EXPECT_EQ(log.toggles, 1);
  EXPECT_EQ(log.stops, 1);
  EXPECT_EQ(log.rewinds, 1);
  EXPECT_EQ(log.steps, (std::vector<int>{-1, -1, 1, 1, 1, -1}));

  log.increment = 3;
  rig.host.incrementTexts = {std::string("-5"), std::string("abc"), std::string("99999999999"), std::nullopt};
  rig.shell->OnCommand(40032);
  EXPECT_EQ(log.increment, -5);
  for (int i = 0; i < 3; ++i) rig.shell->OnCommand(40032);
  EXPECT_EQ(log.increment, -5);
  EXPECT_EQ(rig.host.incrementShown, (std::vector<std::string>{"0", "3", "-5", "-5", "-5"}));
}

TEST(ShellInput, WheelNotches) {
  ShellRig rig("wheel");
  rig.shell->Start();
  rig.shell->OnWheel(240, kMkLButton);
  rig.shell->OnWheel(-240, kMkRButton);
  EXPECT_EQ(rig.state.spinAngle, 0);
  EXPECT_EQ(rig.state.lightAngle, 0);

  rig.shell->OnWheel(120, kMkLButton);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 359);
  rig.shell->OnWheel(-120, kMkLButton | kMkControl);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 4);
  rig.shell->OnWheel(-120, kMkLButton | kMkRButton);  // the left button wins
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 5);
  rig.shell->OnWheel(-120, kMkRButton | kMkControl);
  EXPECT_FLOAT_EQ(rig.state.lightAngle, 5);
  rig.shell->OnWheel(120, kMkRButton);
  EXPECT_FLOAT_EQ(rig.state.lightAngle, 4);

  // A fine wheel's small steps add up to one notch; a change of direction
  // starts over, and a large delta after them is still judged alone.
  rig.shell->OnWheel(-60, kMkLButton);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 5);
  rig.shell->OnWheel(-60, kMkLButton);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 6);
  rig.shell->OnWheel(-90, kMkLButton);
  rig.shell->OnWheel(60, kMkLButton);
  rig.shell->OnWheel(50, kMkLButton);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 6);
  rig.shell->OnWheel(-100, kMkLButton);
  rig.shell->OnWheel(-240, kMkLButton);
  rig.shell->OnWheel(-100, kMkLButton);
  EXPECT_FLOAT_EQ(rig.state.spinAngle, 6);
}

TEST(ShellInput, DragsSnapshotAndHome) {
  ShellRig rig("drag");
  rig.shell->Start();
  OrbitCamera& c = rig.state.camera;

  // A right double-click before any drag gives the start-up camera with the
  // field of view of the snapshot, 60.
  c.yaw = 40;
  c.panX = 3;
  rig.shell->OnButton(kButtonRight, kButtonDoubleClick, 5, 5);
  EXPECT_EQ(c.yaw, 0);
  EXPECT_EQ(c.pitch, 60);
  EXPECT_EQ(c.distance, 60);
  EXPECT_EQ(c.fieldOfView, 60);
  EXPECT_EQ(c.panX, 0);
  c.fieldOfView = 26;

  // Rotate: the snapshot is taken at the first move, not at the press.
  rig.shell->OnButton(kButtonLeft, kButtonDown, 100, 100);
  EXPECT_EQ(rig.host.capture, std::vector<bool>{true});
  c.distance = 77;
  rig.shell->OnMouseMove(100, 100);  // no motion: nothing, not even the snapshot
  EXPECT_EQ(rig.state.snapshotPending, 1);
  rig.shell->OnMouseMove(110, 96);
  EXPECT_EQ(c.home.distance, 77);
  EXPECT_EQ(c.home.yaw, 0);
  EXPECT_EQ(rig.state.snapshotPending, 0);
  EXPECT_FLOAT_EQ(c.yaw, 355);
  EXPECT_FLOAT_EQ(c.pitch, 58);
  // Huge moves keep both angles in [0, 360].
  rig.shell->OnMouseMove(100000, -90000);
  EXPECT_GE(c.yaw, 0);
  EXPECT_LE(c.yaw, 360);
  EXPECT_GE(c.pitch, 0);
  EXPECT_LE(c.pitch, 360);
  rig.shell->OnButton(kButtonLeft, kButtonUp, 0, 0);
  EXPECT_EQ(rig.state.rotating, 0);
  EXPECT_EQ(rig.host.capture.back(), false);

  // Moves without a drag still follow the pointer.
  const float yaw = c.yaw;
  rig.shell->OnMouseMove(10, 20);
  EXPECT_EQ(rig.state.lastX, 10);
  EXPECT_EQ(rig.state.lastY, 20);
  EXPECT_EQ(c.yaw, yaw);

  // Zoom: 2 per pixel, never below 1; no snapshot.
  c.home.distance = 5;
  c.distance = 60;
  rig.shell->OnButton(kButtonRight, kButtonDown, 10, 20);
  rig.shell->OnMouseMove(10, 25);
  EXPECT_FLOAT_EQ(c.distance, 70);
  rig.shell->OnMouseMove(10, -100);
  EXPECT_FLOAT_EQ(c.distance, 1);
  EXPECT_EQ(c.home.distance, 5);
  rig.shell->OnButton(kButtonRight, kButtonUp, 10, -100);
  EXPECT_EQ(rig.state.zooming, 0);

  // Pan with the middle button and with Shift and the left button.
  rig.shell->OnButton(kButtonMiddle, kButtonDown, 0, 0);
  rig.shell->OnMouseMove(10, 20);
  EXPECT_FLOAT_EQ(c.panX, 1);
  EXPECT_FLOAT_EQ(c.panY, -2);
  rig.shell->OnButton(kButtonMiddle, kButtonUp, 10, 20);
  rig.shell->OnKeyDown(vk::kShift);
  rig.shell->OnButton(kButtonLeft, kButtonDown, 0, 0);
  EXPECT_EQ(rig.state.leftDrag, 3);
  EXPECT_EQ(rig.state.panning, 1);
  EXPECT_EQ(rig.state.rotating, 0);
  rig.shell->OnMouseMove(-10, 0);
  EXPECT_FLOAT_EQ(c.panX, 0);
  rig.shell->OnKeyUp(vk::kShift);
  rig.shell->OnButton(kButtonLeft, kButtonUp, -10, 0);
  EXPECT_EQ(rig.state.panning, 0);

  // Rotation goes first when several drags run; a zoom press clears a
  // pending snapshot.
  c.yaw = 0;
  c.home.yaw = 99;
  rig.shell->OnButton(kButtonLeft, kButtonDown, 0, 0);
  rig.shell->OnButton(kButtonRight, kButtonDown, 0, 0);
  rig.shell->OnMouseMove(2, 0);
  EXPECT_FLOAT_EQ(c.yaw, 359);
  EXPECT_EQ(c.home.yaw, 99);
  // A left double-click starts nothing.
  rig.shell->OnButton(kButtonLeft, kButtonUp, 2, 0);
  rig.shell->OnButton(kButtonRight, kButtonUp, 2, 0);
  rig.shell->OnButton(kButtonLeft, kButtonDoubleClick, 2, 0);
  EXPECT_EQ(rig.state.rotating, 0);
}

TEST(ShellLoad, DropsAndExtensions) {
  ShellRig rig("drops");
  rig.shell->Start();
  const std::string cube = CopySample("cube.lwo", "cube.lwo");
  const std::string sphere = CopySample("sphere.lwo", "sphere.lwo");

  rig.shell->OnDropFiles({cube, sphere});
  ASSERT_NE(rig.state.model, nullptr);
  EXPECT_EQ(rig.state.loadState, LoadObject);
  const int cubeVertices = rig.state.model->vertexCount;
  EXPECT_EQ(rig.host.titles.size(), 1u);  // the title is not touched
  EXPECT_EQ(rig.settings.RecentObject(0), cube);
  EXPECT_EQ(rig.menu.popups[kRecentObjectPopup],
            (std::vector<std::pair<int, std::string>>{{50000, cube}}));
  EXPECT_EQ(rig.state.lastFileFolder, FolderOf(cube));
  EXPECT_EQ(rig.host.Checked(40041), false);

  // No extension: nothing changes at all.
  rig.state.camera.yaw = 30;
  rig.state.texturesOn = 1;
  ViewerModel* before = rig.state.model;
  const size_t marks = rig.host.marks.size();
  rig.shell->OnDropFiles({WriteText("README", "text")});
  rig.shell->OnDropFiles({WriteText("dir.d/plain", "text")});
  EXPECT_EQ(rig.state.model, before);
  EXPECT_EQ(rig.state.loadState, LoadObject);
  EXPECT_EQ(rig.state.camera.yaw, 30);
  EXPECT_EQ(rig.state.texturesOn, 1);
  EXPECT_EQ(rig.host.marks.size(), marks);
  EXPECT_EQ(rig.host.waits, 1);

  // An unknown extension frees the content and resets the camera (the pan
  // stays).
  rig.state.camera.panX = 4;
  rig.state.modelYOffset = 2;
  rig.shell->OnDropFiles({WriteText("notes.txt", "text")});
  EXPECT_EQ(rig.state.model, nullptr);
  EXPECT_EQ(rig.state.loadState, LoadNothing);
  EXPECT_EQ(rig.state.camera.yaw, 0);
  EXPECT_EQ(rig.state.modelYOffset, 0);
  EXPECT_EQ(rig.state.camera.panX, 4);
  EXPECT_EQ(rig.state.texturesOn, 0);

  // Capitals and a longer extension load as objects; so does a dot in the
  // folder name followed by a real extension.
  for (const char* name : {"CUBE.LWO", "cube.lwox", "x.y/cube.Lwo"}) {
    rig.shell->OnDropFiles({CopySample("cube.lwo", name)});
    ASSERT_NE(rig.state.model, nullptr) << name;
    EXPECT_EQ(rig.state.model->vertexCount, cubeVertices);
  }
  // Without their readers, X, DXF and scene files load nothing.
  for (const char* name : {"a.x", "a.dxf", "a.lws", "a.qno", "a.qns"}) {
    rig.shell->OnDropFiles({CopySample("cube.lwo", name)});
    EXPECT_EQ(rig.state.model, nullptr) << name;
    EXPECT_EQ(rig.state.loadState, LoadNothing) << name;
  }
  EXPECT_TRUE(rig.ui.messages().empty());

  // A file that is not there: the reader's message, nothing loaded.
  const std::string missing = TempDir() + "/shell-files/missing.lwo";
  rig.shell->OnDropFiles({missing});
  ASSERT_EQ(rig.ui.messages().size(), 1u);
  EXPECT_EQ(rig.ui.messages()[0].text, "ファイルがオープンできません");
  EXPECT_EQ(rig.ui.messages()[0].caption, missing);
  EXPECT_EQ(rig.state.loadState, LoadNothing);
  EXPECT_EQ(rig.state.model, nullptr);
  EXPECT_EQ(rig.settings.RecentObject(0), TempDir() + "/shell-files/x.y/cube.Lwo");
}

TEST(ShellLoad, FailedReadersAndScenes) {
  ShellRig rig("readers");
  rig.readers.scene = rig.readers.dxf = true;
  rig.shell->Start();

  // A failed DXF read keeps its state with no content.
  rig.shell->OnDropFiles({WriteText("flat.dxf", "0\nEOF\n")});
  EXPECT_EQ(rig.readers.dxfReads.size(), 1u);
  EXPECT_EQ(rig.state.loadState, LoadObject);
  EXPECT_EQ(rig.state.model, nullptr);

  // Scenes: the menu clears the content folder (then CONTENTDIR stands in),
  // a recent entry brings its own, a drop keeps the last one.
  const std::string walk = WriteText("walk.lws", "LWSC\n");
  rig.ui.QueueOpenFile(walk);
  rig.shell->sceneContentFolder() = "stale\\";
  rig.shell->OnCommand(40018);
  ASSERT_EQ(rig.readers.sceneReads.size(), 1u);
  const std::string contentDir = rig.settings.Folder(SettingFolder::Content);
  EXPECT_EQ(rig.readers.sceneReads[0].second, contentDir);
  EXPECT_EQ(rig.state.loadState, LoadScene);
  EXPECT_EQ(rig.settings.RecentSceneEntry(0), (RecentScene{walk, contentDir}));
  EXPECT_EQ(rig.settings.Folder(SettingFolder::Scene), FolderOf(walk));
  EXPECT_EQ(rig.host.titles.back(), WindowTitle(1, &walk));
  ASSERT_EQ(rig.ui.openFileRequests().size(), 1u);
  const OpenFileRequest& request = rig.ui.openFileRequests()[0];
  EXPECT_EQ(request.title, "Load Scene File");
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].description, "lwsファイル(*.lws)");
  EXPECT_EQ(request.filters[0].pattern, "*.lws");
  EXPECT_EQ(request.defaultExtension, "lws");
  EXPECT_EQ(request.initialFolder, rig.dir + "\\");

  rig.settings.PushRecentScene(walk, "C:\\content\\");
  rig.shell->OnCommand(60000);
  EXPECT_EQ(rig.readers.sceneReads.back().second, "C:\\content\\");
  rig.shell->OnDropFiles({walk});
  EXPECT_EQ(rig.readers.sceneReads.back().second, "C:\\content\\");
  EXPECT_EQ(rig.readers.log.freed, 2);

  // A failed scene read: state 0, nothing pushed.
  rig.shell->OnDropFiles({WriteText("bad.lws", "x")});
  EXPECT_EQ(rig.state.loadState, LoadNothing);
  EXPECT_EQ(rig.state.scene, nullptr);
  EXPECT_EQ(rig.settings.RecentSceneEntry(0)->path, walk);
  EXPECT_EQ(rig.readers.log.freed, 3);
}

TEST(ShellLoad, MenuAndRecentObjects) {
  ShellRig rig("open");
  rig.shell->Start();
  const std::string cube = CopySample("cube.lwo", "menu/cube.lwo");

  rig.ui.QueueOpenFile(std::nullopt);
  rig.shell->OnCommand(40019);
  EXPECT_EQ(rig.host.waits, 0);
  rig.ui.QueueOpenFile(cube);
  rig.shell->OnCommand(40019);
  ASSERT_EQ(rig.ui.openFileRequests().size(), 2u);
  const OpenFileRequest& request = rig.ui.openFileRequests()[1];
  EXPECT_EQ(request.title, "Load Object File");
  EXPECT_EQ(request.filters[0].description, "lwoファイル(*.lwo)");
  EXPECT_EQ(request.filters[0].pattern, "*.lwo");
  EXPECT_EQ(request.defaultExtension, "lwo");
  EXPECT_EQ(request.owner, DialogOwner::MainWindow);
  EXPECT_EQ(request.initialFolder, rig.dir + "\\");
  EXPECT_NE(rig.state.model, nullptr);
  EXPECT_EQ(rig.settings.Folder(SettingFolder::Object), FolderOf(cube));
  EXPECT_EQ(rig.host.titles.back(), "Tamarind Ver1.08(GL) " + cube);
  EXPECT_EQ(rig.state.lastFileName, "cube.lwo");

  // Recent entries: an empty one and the "none" id do nothing.
  rig.shell->FreeContent();
  rig.shell->OnCommand(50001);
  rig.shell->OnCommand(50004);
  EXPECT_EQ(rig.state.model, nullptr);
  rig.shell->OnCommand(50000);
  EXPECT_NE(rig.state.model, nullptr);
  EXPECT_EQ(rig.host.titles.back(), "Tamarind Ver1.08(GL) " + cube);
  EXPECT_EQ(rig.settings.RecentObject(1), std::nullopt);

  // Export: the name from the last title, the folder of the last load.
  rig.readers.dxfExport = true;
  rig.host.saveFiles = {std::nullopt, TempDir() + "/shell-files/out.dxf"};
  rig.shell->OnCommand(40048);
  EXPECT_TRUE(rig.ui.messages().empty());
  rig.shell->OnCommand(40048);
  ASSERT_EQ(rig.host.saveRequests.size(), 2u);
  const SaveFileRequest& save = rig.host.saveRequests[1];
  EXPECT_EQ(save.title, "Save Object File");
  EXPECT_EQ(save.presetName, "cube.dxf");
  EXPECT_EQ(save.defaultExtension, "dxf");
  EXPECT_EQ(save.filters[0].description, "dxfファイル(*.dxf)");
  EXPECT_EQ(save.initialFolder, FolderOf(cube));
  EXPECT_TRUE(save.overwritePrompt);
  ASSERT_EQ(rig.ui.messages().size(), 1u);
  EXPECT_EQ(rig.ui.messages()[0].text, "保存に失敗しました");
  EXPECT_EQ(rig.ui.messages()[0].caption, "Error");
  rig.readers.exportSucceeds = true;
  rig.host.saveFiles = {TempDir() + "/shell-files/out.dxf"};
  rig.shell->OnCommand(40048);
  EXPECT_EQ(rig.ui.messages().size(), 1u);
}

TEST(ShellLoad, TexturesFollowTheSettings) {
  ShellRig rig("textures");
  rig.shell->Start();
  const std::string textured = CopySample("textured.lwo", "tex/textured.lwo");
  CopySample("checker.tga", "tex/checker.tga");

  rig.shell->OnDropFiles({textured});
  ASSERT_NE(rig.state.model, nullptr);
  EXPECT_EQ(rig.state.texturesOn, 0);
  EXPECT_EQ(rig.host.Checked(40041), false);
  EXPECT_EQ(rig.table.FilledCount(), 1);  // the toon ramp

  rig.settings.SetLoadTexture(true);
  rig.shell->OnDropFiles({textured});
  EXPECT_EQ(rig.state.texturesOn, 1);
  EXPECT_EQ(rig.host.Checked(40041), true);
  EXPECT_EQ(rig.table.FilledCount(), 2);
  EXPECT_EQ(rig.table.textureDirectory(), FolderOf(textured));
  // Loading again frees the first model's textures before the new ones come.
  rig.shell->OnDropFiles({textured});
  EXPECT_EQ(rig.table.FilledCount(), 2);
  EXPECT_EQ(rig.nullBackend.uploads, 3);

  // A texture folder set in the settings is used instead; the image is not
  // there and the prompt is refused.
  const std::string empty = TempDir() + "/shell-files/empty/";
  fs::create_directories(empty);
  rig.settings.SetSetTexPath(true);
  rig.settings.SetFolder(SettingFolder::Texture, empty);
  rig.shell->OnDropFiles({textured});
  EXPECT_EQ(rig.state.texturesOn, 0);
  EXPECT_EQ(rig.host.Checked(40041), false);
  ASSERT_EQ(rig.ui.messages().size(), 1u);
  EXPECT_EQ(rig.ui.messages()[0].text, "ファイルが存在しません。指定しますか?");
  EXPECT_EQ(rig.ui.messages()[0].caption, empty + "checker.tga");
  EXPECT_EQ(rig.table.FilledCount(), 1);

  rig.shell->FreeContent();
  EXPECT_EQ(rig.state.model, nullptr);
  EXPECT_EQ(rig.state.loadState, LoadNothing);
}

TEST(ShellDialogs, ColoursAndSettings) {
  ShellRig rig("dialogs");
  rig.settings.SetColor(kGlEdgeColor, 0x00336699);
  rig.shell->Start();

  rig.host.colors = {std::nullopt, 0x00804020u};
  rig.shell->OnCommand(40005);
  EXPECT_EQ(rig.state.backgroundColor, 0x0000FF00u);
  rig.shell->OnCommand(40005);
  EXPECT_EQ(rig.host.colorRequests, (std::vector<uint32_t>{0x0000FF00u, 0x0000FF00u}));
  EXPECT_EQ(rig.state.backgroundColor, 0x00804020u);
  EXPECT_EQ(rig.host.backgrounds.back(), 0x00804020u);

  rig.host.colors = {0x00FF8000u};
  rig.shell->OnCommand(40006);
  EXPECT_EQ(rig.host.colorRequests.back(), 0x00336699u);
  EXPECT_FLOAT_EQ(rig.state.edgeColor[0], 0);
  EXPECT_FLOAT_EQ(rig.state.edgeColor[1], 128 / 255.0f);
  EXPECT_FLOAT_EQ(rig.state.edgeColor[2], 1);

  SettingsDialogValues v;
  v.loadTexture = true;
  v.setTexPath = true;
  v.textureFolder = "C:\\tex\\";
  v.contentFolder = std::string(300, 'c');
  rig.host.settingsAnswers = {std::nullopt, v};
  rig.shell->OnCommand(40044);
  EXPECT_FALSE(rig.settings.loadTexture());
  rig.shell->OnCommand(40044);
  ASSERT_EQ(rig.host.settingsShown.size(), 2u);
  EXPECT_EQ(rig.host.settingsShown[0].textureFolder, rig.dir + "\\");
  EXPECT_FALSE(rig.host.settingsShown[0].loadTexture);

  // Everything is in the file at once.
  Settings reread;
  reread.Read(rig.dir);
  EXPECT_TRUE(reread.loadTexture());
  EXPECT_TRUE(reread.setTexPath());
  EXPECT_EQ(reread.Folder(SettingFolder::Texture), "C:\\tex\\");
  EXPECT_EQ(reread.Folder(SettingFolder::Content), std::string(255, 'c'));
  EXPECT_EQ(reread.Color(kGlBackColor), 0x00804020u);
  EXPECT_EQ(reread.Color(kGlEdgeColor), 0x00FF8000u);
}

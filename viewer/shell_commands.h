// The main window's menu (command ids, texts and their places) and its
// keyboard accelerators, as data the window system builds its menus from
// and the shell's tests check against.
#pragma once

#include <string>
#include <vector>

namespace cmd {
constexpr int kLoadObject = 40019;
constexpr int kLoadScene = 40018;
constexpr int kLoadXFile = 40031;
constexpr int kLoadDxf = 40047;
constexpr int kSettings = 40044;
constexpr int kExportDxf = 40048;
constexpr int kExit = 40028;
constexpr int kLookNormal = 40011;
constexpr int kLookToonPlain = 40014;
constexpr int kLookToonSpecular = 40013;
constexpr int kLookColorMask = 40034;
constexpr int kLookWireframe = 40045;
constexpr int kOutline = 40003;
constexpr int kSurfaceEdges = 40035;
constexpr int kTextures = 40041;
constexpr int kEdgeSizeUp = 40023;
constexpr int kEdgeSizeDown = 40024;
constexpr int kAxes = 40039;
constexpr int kGrid = 40040;
constexpr int kAutoSpin = 40004;
constexpr int kAutoLight = 40007;
constexpr int kBackgroundColor = 40005;
constexpr int kEdgeColor = 40006;
constexpr int kInfo = 40016;
constexpr int kPlayPause = 40022;
constexpr int kStop = 40021;
constexpr int kFrameIncrement = 40032;
constexpr int kAbout = 40008;
// Recent entries: first + 0..3, the "none" item first + 4 (see settings.h).
constexpr int kRecentObjectFirst = 50000;
constexpr int kRecentSceneFirst = 60000;
}  // namespace cmd

// The look commands in look order (RenderLook 0..4).
extern const int kLookCommands[5];

struct MenuNode {
  enum class Kind { Command, Separator, Popup };
  Kind kind = Kind::Command;
  int id = 0;        // commands only
  std::string text;  // as shown, with its "&" mnemonic, without the accelerator
  std::vector<MenuNode> children;  // popups only
};

// Menu 101: the menu bar's four popups. The File menu's popups at positions
// 7 and 8 are the recent lists, empty here; the settings fill them.
const std::vector<MenuNode>& MainMenu();

// Virtual-key codes the shell deals in.
namespace vk {
constexpr int kShift = 16;
constexpr int kControl = 17;
constexpr int kSpace = 32;
constexpr int kUp = 38;
constexpr int kDown = 40;
constexpr int kB = 66;
constexpr int kC = 67;
constexpr int kF = 70;
constexpr int kNumpad2 = 98;
constexpr int kNumpad3 = 99;
constexpr int kNumpad6 = 102;
}  // namespace vk

struct Accelerator {
  int virtualKey;  // 'O', vk::kUp, ...
  bool control;
  bool alt;
  int command;
};

// Accelerator table 105, exactly.
const std::vector<Accelerator>& AcceleratorTable();
// "Ctrl+O", "Alt+P", "Ctrl+Up": the key sequence text of an accelerator.
std::string AcceleratorText(const Accelerator& accelerator);
// The accelerator of a command, or null.
const Accelerator* FindAccelerator(int command);
// The command a key press with these modifiers triggers, or 0.
int MatchAccelerator(int virtualKey, bool control, bool alt);

#include "shell_commands.h"

const int kLookCommands[5] = {cmd::kLookNormal, cmd::kLookToonPlain, cmd::kLookToonSpecular,
                              cmd::kLookColorMask, cmd::kLookWireframe};

namespace {

MenuNode Item(int id, const char* text) { return {MenuNode::Kind::Command, id, text, {}}; }
MenuNode Separator() { return {MenuNode::Kind::Separator, 0, "", {}}; }
MenuNode Popup(const char* text, std::vector<MenuNode> children) {
  return {MenuNode::Kind::Popup, 0, text, std::move(children)};
}

std::vector<MenuNode> BuildMainMenu() {
  using namespace cmd;
  return {
      Popup("ファイル(&F)",
            {Item(kLoadObject, "オブジェクトファイルロード(&O)..."), Item(kLoadScene, "シーンファイルロード(&M)..."),
             Item(kLoadXFile, "XFileファイルロード(&X)..."), Item(kLoadDxf, "DXFファイルロード(&D)..."), Separator(),
             Item(kSettings, "Setting(&C)..."), Separator(), Popup("最近使用したオブジェクト", {}),
             Popup("最近使用したシーン", {}), Separator(), Item(kExportDxf, "DXFファイルへの書き出し(&S)..."),
             Separator(), Item(kExit, "終了(&X)")}),
      Popup("表示(&V)",
            {Popup("表示(&V)",
                   {Item(kLookNormal, "通常表示(&N)"), Item(kLookToonPlain, "トゥ-ンシェード(スペキュラーなし)(&T)"),
                    Item(kLookToonSpecular, "トゥ-ンシェード(スペキュラーあり)(&S)"),
                    Item(kLookColorMask, "カラーマスク(&W)"), Item(kLookWireframe, "ワイヤーフレーム(&W)")}),
             Item(kOutline, "エッジ描画(&E)"), Item(kSurfaceEdges, "サーフェスエッジ描画(&F)"),
             Item(kTextures, "Texture有効(&P)"),
             Popup("エッジサイズ", {Item(kEdgeSizeUp, "UP(&U)"), Item(kEdgeSizeDown, "DOWN(&U)")}), Separator(),
             Item(kAxes, "軸の表示(&A)"), Item(kGrid, "グリッドの表示(&G)"), Separator(),
             Item(kAutoSpin, "オブジェクト回転(&R)"), Item(kAutoLight, "ライト回転(&L)"), Separator(),
             Item(kBackgroundColor, "背景色の設定(&B)..."), Item(kEdgeColor, "エッジ色の設定(&D)..."), Separator(),
             Item(kInfo, "インフォメーション表示(&I)")}),
      Popup("モーション(&Ｍ)", {Item(kPlayPause, "再生/一時停止(&P)"), Item(kStop, "停止(&S)"), Separator(),
                               Item(kFrameIncrement, "フレーム更新値設定...(&I)")}),
      Popup("ヘルプ(&H)", {Item(kAbout, "バージョン情報(&V)")}),
  };
}

}  // namespace

const std::vector<MenuNode>& MainMenu() {
  static const std::vector<MenuNode> menu = BuildMainMenu();
  return menu;
}

const std::vector<Accelerator>& AcceleratorTable() {
  using namespace cmd;
  static const std::vector<Accelerator> table = {
      {'O', true, false, kLoadObject},       {'M', true, false, kLoadScene},
      {'X', true, false, kLoadXFile},        {'D', true, false, kLoadDxf},
      {'N', true, false, kLookNormal},       {'T', true, false, kLookToonPlain},
      {'S', true, false, kLookToonSpecular}, {'K', true, false, kLookColorMask},
      {'W', true, false, kLookWireframe},    {'E', true, false, kOutline},
      {'F', true, false, kSurfaceEdges},     {'P', true, false, kTextures},
      {vk::kUp, true, false, kEdgeSizeUp},   {vk::kDown, true, false, kEdgeSizeDown},
      {'A', true, false, kAxes},             {'G', true, false, kGrid},
      {'R', true, false, kAutoSpin},         {'L', true, false, kAutoLight},
      {'I', true, false, kInfo},             {'P', false, true, kPlayPause},
      {'S', false, true, kStop},             {'I', false, true, kFrameIncrement},
  };
  return table;
}

std::string AcceleratorText(const Accelerator& a) {
  std::string text = a.control ? "Ctrl+" : "";
  if (a.alt) text += "Alt+";
  if (a.virtualKey == vk::kUp) return text + "Up";
  if (a.virtualKey == vk::kDown) return text + "Down";
  return text + char(a.virtualKey);
}

const Accelerator* FindAccelerator(int command) {
  for (const Accelerator& a : AcceleratorTable())
    if (a.command == command) return &a;
  return nullptr;
}

int MatchAccelerator(int virtualKey, bool control, bool alt) {
  for (const Accelerator& a : AcceleratorTable())
    if (a.virtualKey == virtualKey && a.control == control && a.alt == alt) return a.command;
  return 0;
}

// The main window: its menus and accelerators against the shell's tables,
// check marks, keys, the mouse and the wheel, the dialogs, the settings it
// writes, and the application set-up.
#include <QAction>
#include <QColorDialog>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "input_mapping.h"
#include "shell_commands.h"
#include "shell_dialogs.h"
#include "test_support.h"
#include "viewer_widget.h"
#include "window_test_support.h"

namespace {

// Compares a Qt menu with a node list, recursively; the recent popups'
// items come from the settings and are checked elsewhere.
void ExpectMenuMatches(QMenu* menu, const std::vector<MenuNode>& nodes, const std::string& where, bool fileMenu) {
  QList<QAction*> actions = menu->actions();
  ASSERT_EQ(size_t(actions.size()), nodes.size()) << where;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const MenuNode& node = nodes[i];
    QAction* a = actions[int(i)];
    std::string at = where + " / " + std::to_string(i);
    switch (node.kind) {
      case MenuNode::Kind::Separator:
        EXPECT_TRUE(a->isSeparator()) << at;
        break;
      case MenuNode::Kind::Command:
        EXPECT_EQ(a->text().toStdString(), node.text) << at;
        EXPECT_EQ(a->data().toInt(), node.id) << at;
        break;
      case MenuNode::Kind::Popup:
        ASSERT_NE(a->menu(), nullptr) << at;
        EXPECT_EQ(a->text().toStdString(), node.text) << at;
        if (!(fileMenu && (i == kRecentObjectPopup || i == kRecentScenePopup)))
          ExpectMenuMatches(a->menu(), node.children, at + " " + node.text, false);
        break;
    }
  }
}

TEST_F(WindowTest, MenusAndShortcutsFollowTheShellTables) {
  QList<QAction*> bar = window_->menuBar()->actions();
  const std::vector<MenuNode>& menu = MainMenu();
  ASSERT_EQ(size_t(bar.size()), menu.size());
  for (size_t i = 0; i < menu.size(); ++i) {
    EXPECT_EQ(bar[int(i)]->text().toStdString(), menu[i].text);
    ASSERT_NE(bar[int(i)]->menu(), nullptr);
    ExpectMenuMatches(bar[int(i)]->menu(), menu[i].children, menu[i].text, i == 0);
  }
  int withShortcut = 0;
  for (int id : {cmd::kLoadObject, cmd::kLoadScene, cmd::kLoadXFile, cmd::kLoadDxf, cmd::kSettings, cmd::kExportDxf,
                 cmd::kExit, cmd::kLookNormal, cmd::kLookToonPlain, cmd::kLookToonSpecular, cmd::kLookColorMask,
                 cmd::kLookWireframe, cmd::kOutline, cmd::kSurfaceEdges, cmd::kTextures, cmd::kEdgeSizeUp,
                 cmd::kEdgeSizeDown, cmd::kAxes, cmd::kGrid, cmd::kAutoSpin, cmd::kAutoLight, cmd::kBackgroundColor,
                 cmd::kEdgeColor, cmd::kInfo, cmd::kPlayPause, cmd::kStop, cmd::kFrameIncrement, cmd::kAbout}) {
    QAction* a = window_->action(id);
    ASSERT_NE(a, nullptr) << id;
    const Accelerator* accelerator = FindAccelerator(id);
    if (!accelerator) {
      EXPECT_TRUE(a->shortcut().isEmpty()) << id;
      continue;
    }
    ++withShortcut;
    EXPECT_EQ(a->shortcut().toString(QKeySequence::PortableText).toStdString(), AcceleratorText(*accelerator)) << id;
    EXPECT_EQ(a->shortcutContext(), Qt::WindowShortcut) << id;
  }
  EXPECT_EQ(size_t(withShortcut), AcceleratorTable().size());
}

TEST_F(WindowTest, StartsAsTheShellSetsItUp) {
  EXPECT_EQ(window_->windowTitle().toStdString(), "Tamarind Ver1.08(GL)");
  EXPECT_EQ(window_->view()->size(), QSize(480, 480));
  EXPECT_TRUE(window_->action(cmd::kLookNormal)->isChecked());
  EXPECT_FALSE(window_->action(cmd::kLoadXFile)->isEnabled());
  // Items the shell never marks carry no check box.
  EXPECT_FALSE(window_->action(cmd::kLoadObject)->isCheckable());
}

TEST_F(WindowTest, ChoosingTheCurrentLookKeepsItsMarkAndTheCKeyLeavesTheMarks) {
  QAction* normal = window_->action(cmd::kLookNormal);
  normal->trigger();
  EXPECT_TRUE(normal->isChecked());
  EXPECT_TRUE(window_->IsChecked(cmd::kLookNormal));
  EXPECT_EQ(window_->state().look, LookNormal);

  QTest::keyClick(window_.get(), Qt::Key_C);
  EXPECT_EQ(window_->state().look, LookToonPlain);
  EXPECT_TRUE(normal->isChecked());
  EXPECT_FALSE(window_->action(cmd::kLookToonPlain)->isChecked());

  QTest::keyClick(window_.get(), Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(window_->state().look, LookToonSpecular);

  QTest::keyClick(window_.get(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(window_->state().look, LookWireframe);
  EXPECT_TRUE(window_->action(cmd::kLookWireframe)->isChecked());
  EXPECT_FALSE(normal->isChecked());
}

TEST_F(WindowTest, ControlKeysAreShortcutsAndPlainKeysReachKeyHandling) {
  ViewerState& state = window_->state();
  QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(state.outlineOn, 1);
  EXPECT_TRUE(window_->action(cmd::kOutline)->isChecked());
  QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(state.outlineOn, 0);
  EXPECT_FALSE(window_->action(cmd::kOutline)->isChecked());

  QTest::keyClick(window_.get(), Qt::Key_F);
  EXPECT_EQ(state.surfaceEdgesOn, 0);
  QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(state.surfaceEdgesOn, 1);

  QTest::keyClick(window_.get(), Qt::Key_Up, Qt::ControlModifier);
  EXPECT_FLOAT_EQ(state.edgeSize, 0.01f);
  EXPECT_FLOAT_EQ(state.modelYOffset, 0);
  QTest::keyClick(window_.get(), Qt::Key_Up);
  EXPECT_FLOAT_EQ(state.modelYOffset, 1);
  EXPECT_FLOAT_EQ(state.edgeSize, 0.01f);

  // Shift held makes the step a tenth until it is released.
  QTest::keyPress(window_.get(), Qt::Key_Shift);
  EXPECT_EQ(state.shiftDown, 1);
  QTest::keyClick(window_.get(), Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_FLOAT_EQ(state.modelYOffset, 0.9f);
  QTest::keyRelease(window_.get(), Qt::Key_Shift);
  EXPECT_EQ(state.shiftDown, 0);

  // Keys typed into the client area reach the same handling.
  QTest::keyClick(window_->view(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(state.gridOn, 1);
}

TEST_F(WindowTest, WheelActsOnSingleNotchesOnly) {
  ViewerState& state = window_->state();
  SendWheel(window_->view(), 240, Qt::LeftButton);
  EXPECT_FLOAT_EQ(state.spinAngle, 0);
  SendWheel(window_->view(), 120, Qt::LeftButton);
  EXPECT_FLOAT_EQ(state.spinAngle, 359);
  SendWheel(window_->view(), -120, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_FLOAT_EQ(state.spinAngle, 4);
  SendWheel(window_->view(), -120, Qt::RightButton);
  EXPECT_FLOAT_EQ(state.lightAngle, 1);
  EXPECT_FLOAT_EQ(state.spinAngle, 4);
}

TEST_F(WindowTest, RightDoubleClickBeforeAnyDragRestoresTheStartCamera) {
  QWidget* view = window_->view();
  OrbitCamera& camera = window_->state().camera;
  camera.yaw = 123;
  camera.distance = 7;
  SendMouse(view, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, QPoint(50, 50));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(50, 50));
  SendMouse(view, QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton, QPoint(50, 50));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(50, 50));
  EXPECT_FLOAT_EQ(camera.yaw, 0);
  EXPECT_FLOAT_EQ(camera.pitch, 60);
  EXPECT_FLOAT_EQ(camera.distance, 60);
  EXPECT_FLOAT_EQ(camera.panX, 0);
  EXPECT_FLOAT_EQ(camera.panY, 0);
  EXPECT_FLOAT_EQ(camera.fieldOfView, 60);
}

TEST_F(WindowTest, DragsTurnZoomAndPanTheCamera) {
  QWidget* view = window_->view();
  OrbitCamera& camera = window_->state().camera;
  SendMouse(view, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(100, 100));
  SendMouse(view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPoint(140, 110));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPoint(140, 110));
  EXPECT_FLOAT_EQ(camera.yaw, 340);
  EXPECT_FLOAT_EQ(camera.pitch, 65);

  SendMouse(view, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, QPoint(140, 110));
  SendMouse(view, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, QPoint(140, 100));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(140, 100));
  EXPECT_FLOAT_EQ(camera.distance, 40);

  SendMouse(view, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, QPoint(140, 100));
  SendMouse(view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, QPoint(150, 100));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, QPoint(150, 100));
  EXPECT_FLOAT_EQ(camera.panX, 1);
}

TEST_F(WindowTest, ABackgroundColourIsWrittenAtOnceAndShownAfterARestart) {
  QColor offered;
  AnswerNextModal<QColorDialog>([&](QColorDialog* dialog) {
    offered = dialog->currentColor();
    EXPECT_EQ(QColorDialog::customColor(0), QColor(Qt::white));
    EXPECT_EQ(QColorDialog::customColor(15), QColor(Qt::white));
    dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
    dialog->accept();
  });
  window_->action(cmd::kBackgroundColor)->trigger();
  EXPECT_EQ(offered, QColor(0, 255, 0));  // the stored default, green

  Settings written;
  written.Read(folder_);
  EXPECT_EQ(written.Color(kGlBackColor), 0x00563412u);

  Restart();
  EXPECT_EQ(window_->state().backgroundColor, 0x00563412u);
  QImage picture = window_->view()->grabFramebuffer();
  EXPECT_EQ(picture.pixelColor(5, 5), QColor(0x12, 0x34, 0x56));
}

TEST_F(WindowTest, ACancelledColourDialogChangesNothing) {
  AnswerNextModal<QColorDialog>([](QColorDialog* dialog) {
    dialog->setCurrentColor(QColor(1, 2, 3));
    dialog->reject();
  });
  window_->action(cmd::kEdgeColor)->trigger();
  Settings written;
  written.Read(folder_);
  EXPECT_EQ(written.Color(kGlEdgeColor), 0u);
  EXPECT_FLOAT_EQ(window_->state().edgeColor[0], 0);
}

TEST_F(WindowTest, SettingsDialogFollowsItsEnableRulesAndStoresOnOk) {
  window_->ui().SetFolderHook([](const FolderRequest& request) -> std::optional<std::string> {
    EXPECT_EQ(request.title, "Content Directory");
    return std::string("/srv/content/");
  });
  AnswerNextModal<SettingsDialog>([](SettingsDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Setting");
    auto* load = dialog->findChild<QCheckBox*>("check1002");
    auto* setPath = dialog->findChild<QCheckBox*>("check1003");
    auto* folder = dialog->findChild<QLineEdit*>("edit1004");
    auto* browse = dialog->findChild<QPushButton*>("button1005");
    ASSERT_TRUE(load && setPath && folder && browse);
    EXPECT_FALSE(load->isChecked());
    EXPECT_FALSE(setPath->isEnabled());
    EXPECT_FALSE(folder->isEnabled());
    load->setChecked(true);
    EXPECT_TRUE(setPath->isEnabled());
    EXPECT_FALSE(browse->isEnabled());
    setPath->setChecked(true);
    EXPECT_TRUE(folder->isEnabled());
    EXPECT_TRUE(browse->isEnabled());
    folder->setText("/srv/images/");
    dialog->findChild<QPushButton*>("button1007")->click();
    EXPECT_EQ(dialog->findChild<QLineEdit*>("edit1006")->text().toStdString(), "/srv/content/");
    EXPECT_EQ(dialog->findChild<QPushButton*>("buttonCancel")->text().toStdString(), "ｷｬﾝｾﾙ");
    dialog->findChild<QPushButton*>("buttonOk")->click();
  });
  window_->action(cmd::kSettings)->trigger();
  Settings written;
  written.Read(folder_);
  EXPECT_TRUE(written.loadTexture());
  EXPECT_TRUE(written.setTexPath());
  EXPECT_EQ(written.Folder(SettingFolder::Texture), "/srv/images/");
  EXPECT_EQ(written.Folder(SettingFolder::Content), "/srv/content/");
}

TEST_F(WindowTest, AboutBoxAndFrameIncrementDialog) {
  AnswerNextModal<AboutDialog>([](AboutDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle().toStdString(), "バージョン情報");
    EXPECT_EQ(dialog->findChild<QLabel*>("version")->text().toStdString(), "Tamarind Version 1.08");
    dialog->accept();
  });
  window_->action(cmd::kAbout)->trigger();

  AnswerNextModal<FrameIncrementDialog>([](FrameIncrementDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Frame Increment Value");
    auto* edit = dialog->findChild<QLineEdit*>("edit1001");
    EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(edit->maxLength(), 16);
    EXPECT_EQ(edit->text().toStdString(), "0");  // nothing loaded
    edit->setText("5");
    dialog->accept();
  });
  window_->action(cmd::kFrameIncrement)->trigger();
}

TEST(QtApplicationSetUp, NumbersKeepADecimalPointAndQtSpeaksJapanese) {
  EXPECT_STREQ(std::localeconv()->decimal_point, ".");
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", 1.5);
  EXPECT_STREQ(text, "1.50");
  EXPECT_DOUBLE_EQ(std::strtod("2.25", nullptr), 2.25);

  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  EXPECT_NE(box.button(QMessageBox::Yes)->text(), QString("&Yes"));
  EXPECT_TRUE(QFontInfo(QApplication::font()).family().contains("IPA"));
}

TEST(InputMapping, QtKeysBecomeVirtualKeys) {
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_C, Qt::NoModifier), 67);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_B, Qt::ShiftModifier), 66);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_2, Qt::KeypadModifier), 98);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_6, Qt::KeypadModifier), 102);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_2, Qt::NoModifier), '2');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Shift, Qt::ShiftModifier), 16);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Space, Qt::NoModifier), 32);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Up, Qt::NoModifier), 38);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Down, Qt::KeypadModifier), 40);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Eacute, Qt::NoModifier), 0);
  EXPECT_EQ(MouseKeyFlagsFromQt(Qt::LeftButton | Qt::MiddleButton, Qt::ControlModifier),
            kMkLButton | kMkMButton | kMkControl);
  EXPECT_EQ(ShellButtonFromQt(Qt::RightButton), kButtonRight);
  EXPECT_EQ(ShellButtonFromQt(Qt::BackButton), -1);
}

}  // namespace

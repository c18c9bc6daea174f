// Loads in the window: dropped files, the message a missing file shows,
// input given while a load runs, the recent-object menu, and the picture
// of a loaded model.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "shell_commands.h"
#include "viewer_model.h"
#include "viewer_widget.h"
#include "window_test_support.h"

namespace {

struct Shown {
  std::string text, caption;
};

int CountDifferentFrom(const QImage& picture, QColor background) {
  int count = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (picture.pixelColor(x, y) != background) ++count;
  return count;
}

QStringList RecentTexts(QMenu* popup) {
  QStringList texts;
  for (QAction* a : popup->actions()) texts << a->text();
  return texts;
}

TEST_F(WindowTest, AMissingFileShowsItsMessageWithThePathAsCaption) {
  std::vector<Shown> shown;
  window_->ui().SetMessageHook([&](const std::string& text, const std::string& caption, MessageButtons buttons,
                                   DialogOwner) {
    EXPECT_EQ(buttons, MessageButtons::Ok);
    shown.push_back({text, caption});
    // The spinner keeps turning over the last frame while the loader waits.
    QLabel* spinner = window_->loadingText();
    EXPECT_TRUE(ProcessUntil([&] { return spinner->isVisible(); }));
    EXPECT_TRUE(spinner->text().startsWith("Now Loading ...   ")) << spinner->text().toStdString();
    EXPECT_EQ(spinner->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(spinner->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_EQ(spinner->pos(), QPoint(480 - 120, 480 - 18));
    const QString first = spinner->text();
    EXPECT_TRUE(ProcessUntil([&] { return spinner->text() != first; }));
    return MessageAnswer::Ok;
  });
  DropAndWait({QString::fromStdString(SamplePath("sphere.lwo"))});
  ASSERT_NE(window_->state().model, nullptr);
  window_->view()->grabFramebuffer();  // a frame to keep on screen
  const std::string missing = folder_ + "/no-such-object.lwo";
  DropAndWait({QString::fromStdString(missing)});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "ファイルがオープンできません");
  EXPECT_EQ(shown[0].caption, missing);
  EXPECT_EQ(window_->state().model, nullptr);
  EXPECT_FALSE(window_->loadingText()->isVisible());
}

TEST_F(WindowTest, InputGivenDuringALoadIsDropped) {
  ViewerState& state = window_->state();
  bool askedWhileLoading = false;
  window_->ui().SetMessageHook([&](const std::string&, const std::string&, MessageButtons, DialogOwner) {
    // The loader thread waits for this answer, so the load is still running.
    askedWhileLoading = window_->shell()->loading();
    QWidget* view = window_->view();
    QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_C);
    QTest::keyPress(view, Qt::Key_Shift);
    SendMouse(view, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, QPoint(100, 100));
    SendMouse(view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, QPoint(200, 100));
    SendMouse(view, QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, QPoint(200, 100));
    SendWheel(view, -120, Qt::RightButton);
    DropFiles(window_.get(), {QString::fromStdString(SamplePath("cube.lwo"))});
    window_->close();
    return MessageAnswer::Ok;
  });
  DropAndWait({QString::fromStdString(folder_ + "/missing.lwo")});
  ProcessEvents();
  EXPECT_TRUE(askedWhileLoading);
  EXPECT_EQ(state.outlineOn, 0);
  EXPECT_EQ(state.look, LookNormal);
  EXPECT_FLOAT_EQ(state.camera.panX, 0);
  EXPECT_FLOAT_EQ(state.lightAngle, 0);
  EXPECT_EQ(state.shiftDown, 0);
  EXPECT_EQ(state.model, nullptr);  // the drop was not served either
  EXPECT_TRUE(window_->isVisible());

  // Input after the load acts again.
  QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(state.outlineOn, 1);
}

TEST_F(WindowTest, ADropOfSeveralFilesLoadsTheFirstAndKeepsTheTitle) {
  const QString title = window_->windowTitle();
  const std::string sphere = SamplePath("sphere.lwo");
  DropAndWait({QString::fromStdString(sphere), QString::fromStdString(SamplePath("cube.lwo"))});
  ASSERT_NE(window_->state().model, nullptr);
  EXPECT_EQ(window_->state().loadState, LoadObject);
  EXPECT_EQ(window_->settings().RecentObject(0), sphere);
  EXPECT_EQ(window_->settings().RecentObject(1), std::nullopt);
  EXPECT_EQ(window_->windowTitle(), title);
}

TEST_F(WindowTest, RecentObjectMenuListsTheLastLoadsOrNone) {
  QMenu* popup = window_->recentPopup(kRecentObjectPopup);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(RecentTexts(popup), QStringList{"none"});
  EXPECT_EQ(RecentTexts(window_->recentPopup(kRecentScenePopup)), QStringList{"none"});

  const QString sphere = QString::fromStdString(SamplePath("sphere.lwo"));
  const QString cube = QString::fromStdString(SamplePath("cube.lwo"));
  DropAndWait({sphere});
  DropAndWait({cube});
  EXPECT_EQ(RecentTexts(popup), (QStringList{cube, sphere}));

  // Choosing an entry loads it and names it in the title.
  QAction* second = window_->action(cmd::kRecentObjectFirst + 1);
  ASSERT_NE(second, nullptr);
  second->trigger();
  ProcessEvents();
  EXPECT_EQ(window_->windowTitle(), "Tamarind Ver1.08(GL) " + sphere);
  EXPECT_EQ(RecentTexts(popup), (QStringList{sphere, cube}));

  // A new window reads the same list.
  Restart();
  EXPECT_EQ(RecentTexts(window_->recentPopup(kRecentObjectPopup)), (QStringList{sphere, cube}));
}

TEST_F(WindowTest, ALoadedModelIsDrawnAndALeftDragTurnsIt) {
  DropAndWait({QString::fromStdString(SamplePath("sphere.lwo"))});
  ASSERT_NE(window_->state().model, nullptr);
  QImage picture = window_->view()->grabFramebuffer();
  ASSERT_EQ(picture.size(), QSize(480, 480));
  const QColor green(0, 255, 0);
  EXPECT_EQ(picture.pixelColor(2, 2), green);
  EXPECT_GT(CountDifferentFrom(picture, green), picture.width() * picture.height() / 4);

  QWidget* view = window_->view();
  SendMouse(view, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(240, 240));
  SendMouse(view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPoint(300, 240));
  SendMouse(view, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPoint(300, 240));
  EXPECT_FLOAT_EQ(window_->state().camera.yaw, 330);

  // The idle loop keeps drawing frames without being asked.
  window_->view()->SetContinuousRendering(true);
  const int before = window_->view()->framesDrawn();
  EXPECT_TRUE(ProcessUntil([&] { return window_->view()->framesDrawn() >= before + 3; }));
}

}  // namespace

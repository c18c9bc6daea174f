// The platform dialog: its hit boxes, what it paints for each hover, and
// the choice a click makes.
#include <QImage>
#include <QMouseEvent>

#include "platform_dialog.h"
#include "window_test_support.h"

namespace {

struct HoverCase {
  int x, y, previous;
  bool direct3d;
  int expected;
};

TEST(PlatformDialogHover, HitBoxesLieTwoPixelsBelowTheDrawnButtons) {
  const HoverCase cases[] = {
      {120, 94, 0, false, 1},   // inside the OpenGL box
      {98, 94, 0, false, 0},    // on its left edge: strictly inside only
      {120, 86, 0, false, 0},   // its top edge
      {120, 87, 0, false, 1},   // one below the drawn box's top
      {120, 101, 0, false, 1},  // below the drawn box (84..100), inside the hit box
      {120, 102, 0, false, 0},  // between the two hit boxes
      {120, 110, 0, true, 2},   // DirectX8 when available
      {120, 110, 1, false, 1},  // unavailable: the OpenGL hover stays
      {120, 110, 0, false, 0},
      {120, 110, 3, false, 3},
      {242, 10, 0, false, 3},   // the close box
      {249, 10, 0, false, 0},   // its right edge
      {10, 10, 1, false, 0},    // elsewhere
  };
  for (const HoverCase& c : cases)
    EXPECT_EQ(PlatformDialogHoverAt(c.x, c.y, c.previous, c.direct3d), c.expected)
        << "at (" << c.x << ", " << c.y << ") after " << c.previous << (c.direct3d ? " with" : " without")
        << " Direct3D";
}

void MoveTo(PlatformDialog& dialog, int x, int y) {
  SendMouse(&dialog, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, QPoint(x, y));
}

QColor PixelAt(PlatformDialog& dialog, int x, int y) { return dialog.grab().toImage().pixelColor(x, y); }

class PlatformDialogTest : public ::testing::Test {};

TEST_F(PlatformDialogTest, PaintsTheFrameAndTheHoverFill) {
  PlatformDialog dialog(false);
  EXPECT_EQ(dialog.size(), QSize(256, 128));
  EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
  const QColor orange(255, 128, 64);
  EXPECT_EQ(PixelAt(dialog, 8, 76), QColor(Qt::white));
  EXPECT_EQ(PixelAt(dialog, 248, 122), QColor(Qt::white));
  EXPECT_EQ(PixelAt(dialog, 236, 4), QColor(Qt::white));  // the close box's frame
  EXPECT_NE(PixelAt(dialog, 147, 85), orange);

  MoveTo(dialog, 120, 94);
  EXPECT_EQ(dialog.hover(), 1);
  EXPECT_EQ(PixelAt(dialog, 147, 85), orange);  // inside the box, above the text
  EXPECT_EQ(PixelAt(dialog, 148, 100), QColor(Qt::white));  // the hover frame's corner

  MoveTo(dialog, 242, 12);
  EXPECT_EQ(dialog.hover(), 3);
  EXPECT_EQ(PixelAt(dialog, 237, 17), orange);
  EXPECT_NE(PixelAt(dialog, 147, 85), orange);
}

TEST_F(PlatformDialogTest, AnUnavailableDirectX8ButtonKeepsTheOpenGlChoice) {
  PlatformDialog dialog(false);
  MoveTo(dialog, 120, 94);
  MoveTo(dialog, 120, 110);  // straight onto the unavailable button
  EXPECT_EQ(dialog.hover(), 1);
  SendMouse(&dialog, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(120, 110));
  EXPECT_EQ(dialog.choice(), PlatformDialog::Choice::OpenGl);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(PlatformDialogTest, ClicksChooseByHover) {
  {
    PlatformDialog dialog(true);
    MoveTo(dialog, 120, 110);
    EXPECT_EQ(PixelAt(dialog, 147, 103), QColor(255, 128, 64));
    SendMouse(&dialog, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(120, 110));
    EXPECT_EQ(dialog.choice(), PlatformDialog::Choice::Direct3d8);
  }
  {
    PlatformDialog dialog(false);
    MoveTo(dialog, 10, 10);
    SendMouse(&dialog, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(10, 10));
    EXPECT_NE(dialog.result(), QDialog::Accepted);  // a click on nothing does nothing
    MoveTo(dialog, 242, 12);
    SendMouse(&dialog, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(242, 12));
    EXPECT_EQ(dialog.choice(), PlatformDialog::Choice::Exit);
  }
}

}  // namespace

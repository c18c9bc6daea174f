#include "platform_dialog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "artwork.h"
#include "cell_font.h"

namespace {

const QColor kOrange(255, 128, 64);
const QColor kYellow(255, 255, 0);
const QColor kUnavailable(255, 0, 128);

bool StrictlyInside(int x, int y, int left, int top, int right, int bottom) {
  return x > left && x < right && y > top && y < bottom;
}

// A box given by its corners, both included.
QRect Box(int left, int top, int right, int bottom) { return QRect(QPoint(left, top), QPoint(right, bottom)); }

// A one-pixel frame through both corners.
void Frame(QPainter& p, int left, int top, int right, int bottom) {
  p.setPen(QPen(Qt::white, 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(left, top, right - left, bottom - top));
}

QFont DialogFont(int cellHeight, bool bold) { return ArialCellFont(cellHeight, bold ? QFont::Bold : QFont::Normal); }

// Text with its cell's top left at (x, y).
void Text(QPainter& p, int x, int y, const QString& text, const QColor& color) {
  p.setPen(color);
  p.drawText(QRect(x, y, 256, 64), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

}  // namespace

bool Direct3d8Available() { return false; }

int PlatformDialogHoverAt(int x, int y, int previousHover, bool direct3dAvailable) {
  if (StrictlyInside(x, y, 98, 86, 148, 102)) return 1;
  if (StrictlyInside(x, y, 98, 104, 148, 120)) return direct3dAvailable ? 2 : previousHover;
  if (StrictlyInside(x, y, 236, 4, 249, 18)) return 3;
  return 0;
}

PlatformDialog::PlatformDialog(bool direct3dAvailable, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), direct3dAvailable_(direct3dAvailable),
      backdrop_(PlatformBackdrop()) {
  setWindowTitle("Select Platform");
  setFixedSize(256, 128);
  setMouseTracking(true);
  setModal(true);
}

PlatformDialog::Choice PlatformDialog::Run() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(width() / 2, height() / 2));
  }
  exec();
  return choice_;
}

void PlatformDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.drawPixmap(0, 0, backdrop_);

  p.setFont(DialogFont(22, true));
  Text(p, 44, 38, "Tamarind Ver1.08", QColor(64, 64, 64));
  Text(p, 42, 36, "Tamarind Ver1.08", Qt::white);

  Frame(p, 8, 76, 248, 122);
  if (hover_ == 1) p.fillRect(Box(98, 84, 148, 100), kOrange);
  if (hover_ == 2) p.fillRect(Box(98, 102, 148, 118), kOrange);
  if (hover_ == 3) p.fillRect(Box(236, 4, 249, 18), kOrange);
  Frame(p, 236, 4, 249, 18);

  p.setFont(DialogFont(12, false));
  Text(p, 240, 4, "x", Qt::white);
  if (hover_ == 1) {
    Text(p, 98, 86, " Open GL ", kYellow);
    Frame(p, 98, 84, 148, 100);
  } else {
    Text(p, 98, 86, " Open GL ", Qt::white);
  }
  if (!direct3dAvailable_) {
    Text(p, 98, 104, " DirectX8", kUnavailable);
  } else if (hover_ == 2) {
    Text(p, 98, 104, " DirectX8", kYellow);
    Frame(p, 98, 102, 148, 118);
  } else {
    Text(p, 98, 104, " DirectX8", Qt::white);
  }
}

void PlatformDialog::mouseMoveEvent(QMouseEvent* event) {
  QPoint at = event->position().toPoint();
  int hover = PlatformDialogHoverAt(at.x(), at.y(), hover_, direct3dAvailable_);
  if (hover != hover_) {
    hover_ = hover;
    update();
  }
}

void PlatformDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  switch (hover_) {
    case 1: choice_ = Choice::OpenGl; break;
    case 2: choice_ = Choice::Direct3d8; break;
    case 3: choice_ = Choice::Exit; break;
    default: return;
  }
  accept();
}

// Escape or a close request from the window system ends the program, as the
// close box does.
void PlatformDialog::reject() {
  choice_ = Choice::Exit;
  QDialog::reject();
}

#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace {

// A pod of `beads` swellings along a gentle arc from `from` to `to`.
void PaintPod(QPainter& p, QPointF from, QPointF to, double thickness, int beads) {
  const QPointF axis = to - from;
  const double length = std::hypot(axis.x(), axis.y());
  const QPointF along = axis / length;
  const QPointF normal(-along.y(), along.x());
  QPainterPath pod;
  for (int i = 0; i < beads; ++i) {
    const double t = (i + 0.5) / beads;
    const double bow = std::sin(t * M_PI) * length * 0.12;
    const QPointF centre = from + axis * t + normal * bow;
    const double r = thickness * (0.42 + 0.12 * std::sin(t * M_PI));
    pod.addEllipse(centre, length / beads * 0.62, r);
  }
  pod.setFillRule(Qt::WindingFill);
  pod = pod.simplified();
  QLinearGradient shell(from + normal * thickness, from - normal * thickness);
  shell.setColorAt(0.0, QColor(196, 138, 82));
  shell.setColorAt(0.5, QColor(139, 87, 45));
  shell.setColorAt(1.0, QColor(84, 50, 26));
  p.setPen(QPen(QColor(60, 34, 18), std::max(1.0, thickness * 0.08)));
  p.setBrush(shell);
  p.drawPath(pod);
  // The stalk.
  p.setPen(QPen(QColor(92, 64, 34), std::max(1.0, thickness * 0.12), Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, from - along * thickness * 0.7 + normal * thickness * 0.3);
}

void PaintLeaflets(QPainter& p, QPointF start, QPointF end, int pairs) {
  p.setPen(QPen(QColor(70, 110, 40), 1.2));
  p.drawLine(start, end);
  const QPointF axis = end - start;
  p.setPen(Qt::NoPen);
  for (int i = 0; i < pairs; ++i) {
    const QPointF at = start + axis * ((i + 0.6) / pairs);
    for (int side = -1; side <= 1; side += 2) {
      p.save();
      p.translate(at);
      p.rotate(std::atan2(axis.y(), axis.x()) * 180 / M_PI + side * 60);
      p.setBrush(QColor(90 + 10 * i, 150 + 6 * i, 60));
      p.drawEllipse(QPointF(7, 0), 7, 2.6);
      p.restore();
    }
  }
}

}  // namespace

QPixmap PlatformBackdrop() {
  QPixmap pixmap(256, 128);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 128);
  sky.setColorAt(0.0, QColor(58, 24, 70));
  sky.setColorAt(0.45, QColor(168, 74, 52));
  sky.setColorAt(0.62, QColor(96, 40, 36));
  sky.setColorAt(1.0, QColor(24, 14, 20));
  p.fillRect(pixmap.rect(), sky);
  QRadialGradient sun(QPointF(206, 56), 46);
  sun.setColorAt(0.0, QColor(255, 214, 120, 230));
  sun.setColorAt(0.35, QColor(255, 160, 70, 120));
  sun.setColorAt(1.0, QColor(255, 120, 40, 0));
  p.fillRect(pixmap.rect(), sun);
  PaintLeaflets(p, QPointF(150, 6), QPointF(250, 30), 6);
  PaintPod(p, QPointF(168, 22), QPointF(246, 66), 15, 5);
  PaintPod(p, QPointF(190, 14), QPointF(232, 44), 10, 3);
  // The band that carries the buttons.
  p.fillRect(QRectF(0, 72, 256, 56), QColor(0, 0, 0, 90));
  return pixmap;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, 0, size);
    tile.setColorAt(0, QColor(255, 196, 92));
    tile.setColorAt(1, QColor(214, 112, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size * 0.18, size * 0.18);
    PaintPod(p, QPointF(size * 0.18, size * 0.28), QPointF(size * 0.86, size * 0.72), size * 0.3, 4);
    icon.addPixmap(pixmap);
  }
  return icon;
}

#include "cell_font.h"

#include <QFontMetrics>
#include <QStringList>

QFont ArialCellFont(int cellHeight, QFont::Weight weight) {
  QFont font;
  font.setFamilies(QStringList{"Arial", "Liberation Sans", "Arimo"});
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(weight);
  for (int pixels = cellHeight; pixels > 1; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= cellHeight) break;
  }
  return font;
}

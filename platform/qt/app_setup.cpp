#include "app_setup.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QSurfaceFormat>
#include <QTranslator>
#include <clocale>

#include "artwork.h"

namespace {

// Menu items show a mark only while checked, with no empty box beside the
// items that could carry one.
class MenuMarkStyle : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuItem && item && item->checkType != QStyleOptionMenuItem::NotCheckable && !item->checked) {
      QStyleOptionMenuItem plain(*item);
      plain.checkType = QStyleOptionMenuItem::NotCheckable;
      QProxyStyle::drawControl(element, &plain, painter, widget);
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

}  // namespace

void SetDefaultSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setDepthBufferSize(24);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setSwapInterval(0);
  QSurfaceFormat::setDefaultFormat(format);
}

void ConfigureApplication(QApplication& app) {
  // Settings, scene and DXF numbers must never see a decimal comma.
  std::setlocale(LC_NUMERIC, "C");

  static QTranslator qtTexts;
  if (qtTexts.load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) app.installTranslator(&qtTexts);

  // The dialogs were laid out for a proportional Gothic face at 9 points.
  QFont font;
  font.setFamilies({"IPAPGothic", "IPAGothic"});
  font.setPointSize(9);
  app.setFont(font);
  app.setWindowIcon(ApplicationIcon());
  app.setStyle(new MenuMarkStyle);
}

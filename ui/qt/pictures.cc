// Pictures drawn from SVG; see pictures.h.
#include "ui/qt/pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

namespace kolvar::ui::qt {

QPixmap Picture(const QString& path, QSize size, const QWidget* widget) {
  const qreal ratio = widget != nullptr ? widget->devicePixelRatioF() : qApp->devicePixelRatio();
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return QPixmap();
  QPixmap pixmap(size * ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

QIcon PictureIcon(const QString& path, QSize size) { return QIcon(Picture(path, size)); }

}  // namespace kolvar::ui::qt

// The pictures of a windowed program (our own SVG drawings, compiled into the program as Qt
// resources): rendered at the size a view asks for, sharp on high-DPI screens.
//
//   QPixmap splash = Picture(":/pictures/splash.svg", QSize(160, 160), this);
#ifndef KOLVAR_UI_QT_PICTURES_H_
#define KOLVAR_UI_QT_PICTURES_H_

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;

namespace kolvar::ui::qt {

// The picture at `path` (a resource path or a file) drawn at `size` logical pixels for the
// screen of `widget` (null: the primary screen). An empty pixmap when it cannot be read.
QPixmap Picture(const QString& path, QSize size, const QWidget* widget = nullptr);
// The same as an icon (for list rows and buttons).
QIcon PictureIcon(const QString& path, QSize size);

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_PICTURES_H_

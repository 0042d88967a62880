// The scan dialog's buttons; see icon_button.h.
#include "antivirus/views/icon_button.h"

#include <QPainter>

#include "antivirus/views/pictures.h"

namespace kolvar::views {

IconButton::IconButton(const QString& letter, QWidget* parent) : QAbstractButton(parent) {
  setText(letter);
  setFocusPolicy(Qt::StrongFocus);
}

void IconButton::SetPicture(const QString& path) {
  if (path == picture_path_) return;
  picture_path_ = path;
  picture_ = LoadPicture(path, QSize(kButtonIconSize, kButtonIconSize), this);
  update();
}

QSize IconButton::sizeHint() const { return QSize(kButtonIconSize + 8, kButtonIconSize + 6); }

void IconButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  const int shift = isDown() ? 1 : 0;
  const QRect icon((width() - kButtonIconSize) / 2 + shift, 2 + shift, kButtonIconSize,
                   kButtonIconSize);
  if (!picture_.isNull()) {
    painter.drawPixmap(icon, picture_);
    return;
  }
  // No picture: the letter in a frame, dimmed when disabled, framed thicker when focused.
  painter.setPen(QPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText),
      hasFocus() ? 2 : 1));
  painter.drawRoundedRect(icon.adjusted(1, 1, -1, -1), 4, 4);
  painter.drawText(icon, Qt::AlignCenter, text());
}

}  // namespace kolvar::views

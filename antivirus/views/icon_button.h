// A button of the scan dialog: a 32 x 32 icon at its top, centred, moved one pixel right and down
// while pressed, on the window colour. Without its picture it shows its letter.
#ifndef KOLVAR_ANTIVIRUS_VIEWS_ICON_BUTTON_H_
#define KOLVAR_ANTIVIRUS_VIEWS_ICON_BUTTON_H_

#include <QAbstractButton>
#include <QPixmap>

namespace kolvar::views {

inline constexpr int kButtonIconSize = 32;

class IconButton : public QAbstractButton {
 public:
  IconButton(const QString& letter, QWidget* parent);
  void SetPicture(const QString& path);
  const QString& picture() const { return picture_path_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString picture_path_;
  QPixmap picture_;
};

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_ICON_BUTTON_H_

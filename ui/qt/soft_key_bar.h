// The soft-key bar at the bottom of the frame: the two soft keys of the dialog on top, a plain
// key sending its command, a menu key opening its menu above itself (after the dialog has had its
// OnMenuOpening, so greyed items show greyed). F1 and F2 press the left and the right key.
#ifndef KOLVAR_UI_QT_SOFT_KEY_BAR_H_
#define KOLVAR_UI_QT_SOFT_KEY_BAR_H_

#include <QWidget>
#include <functional>

#include "ui/dialog.h"
#include "ui/soft_keys.h"

class QMenu;
class QToolButton;

namespace kolvar::ui::qt {

class DialogFrame;

class SoftKeyBarView : public QWidget {
 public:
  explicit SoftKeyBarView(DialogFrame& frame);

  // Shows the soft keys of the dialog on top (none when `dialog` is null).
  void Show(Dialog* dialog);
  // Presses a soft key as the user would.
  void Press(SoftKeySide side);
  // The menu open now, null when none is.
  QMenu* open_menu() const { return open_menu_; }
  QToolButton* button(SoftKeySide side) const {
    return side == SoftKeySide::kLeft ? left_ : right_;
  }

 private:
  void ShowKey(QToolButton* button, const SoftKey* key);
  void OpenMenu(SoftKeySide side);

  DialogFrame& frame_;
  Dialog* dialog_ = nullptr;
  QToolButton* left_;
  QToolButton* right_;
  QMenu* open_menu_ = nullptr;
};

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_SOFT_KEY_BAR_H_

// The soft-key bar view; see soft_key_bar.h.
#include "ui/qt/soft_key_bar.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPalette>
#include <QToolButton>

#include "ui/dialog.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/qt_text.h"

namespace kolvar::ui::qt {
namespace {

QToolButton* MakeKey(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  return button;
}

}  // namespace

SoftKeyBarView::SoftKeyBarView(DialogFrame& frame) : QWidget(&frame), frame_(frame) {
  setObjectName("SoftKeyBar");
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(40, 56, 88));
  palette.setColor(QPalette::ButtonText, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  left_ = MakeKey(this);
  right_ = MakeKey(this);
  left_->setObjectName("LeftSoftKey");
  right_->setObjectName("RightSoftKey");
  layout->addWidget(left_);
  layout->addStretch(0);
  layout->addWidget(right_);
  connect(left_, &QToolButton::clicked, this, [this] { Press(SoftKeySide::kLeft); });
  connect(right_, &QToolButton::clicked, this, [this] { Press(SoftKeySide::kRight); });
}

void SoftKeyBarView::ShowKey(QToolButton* button, const SoftKey* key) {
  const bool present = key != nullptr && key->present();
  button->setText(present ? ToQString(key->text) : QString());
  button->setEnabled(present && key->enabled);
}

void SoftKeyBarView::Show(Dialog* dialog) {
  dialog_ = dialog;
  ShowKey(left_, dialog != nullptr ? &dialog->soft_keys().left : nullptr);
  ShowKey(right_, dialog != nullptr ? &dialog->soft_keys().right : nullptr);
}

void SoftKeyBarView::Press(SoftKeySide side) {
  if (dialog_ == nullptr || open_menu_ != nullptr) return;
  const SoftKey& key = dialog_->soft_keys().key(side);
  if (!key.present() || !key.enabled) return;
  if (key.opens_menu()) {
    OpenMenu(side);
  } else if (key.command != 0) {
    frame_.SendCommand(*dialog_, key.command);
  }
}

void SoftKeyBarView::OpenMenu(SoftKeySide side) {
  Dialog* dialog = dialog_;
  dialog->OnMenuOpening(side);
  QMenu menu(this);
  menu.setObjectName(side == SoftKeySide::kLeft ? "LeftSoftKeyMenu" : "RightSoftKeyMenu");
  menu.setFont(frame_.fonts().regular[0]);
  for (const MenuItem& item : dialog->soft_keys().key(side).menu.items()) {
    if (item.separator) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(ToQString(item.text));
    action->setData(item.id);
    action->setEnabled(!item.greyed);
  }
  QToolButton* button = side == SoftKeySide::kLeft ? left_ : right_;
  // Above the key, its outer edge on the key's edge, as a handheld opens its soft-key menus.
  const QSize size = menu.sizeHint();
  QPoint at = button->mapToGlobal(QPoint(0, 0));
  if (side == SoftKeySide::kRight) at.setX(at.x() + button->width() - size.width());
  at.setY(at.y() - size.height());
  open_menu_ = &menu;
  QAction* chosen = menu.exec(at);
  open_menu_ = nullptr;
  if (chosen != nullptr && chosen->isEnabled() && dialog == dialog_) {
    frame_.SendCommand(*dialog, chosen->data().toUInt());
  }
}

}  // namespace kolvar::ui::qt

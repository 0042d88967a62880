// The base of the dialog views; see dialog_view.h.
#include "ui/qt/dialog_view.h"

#include <QAbstractButton>
#include <QPalette>

#include "ui/qt/dialog_frame.h"

namespace kolvar::ui::qt {

DialogView::DialogView(Dialog& dialog, DialogFrame& frame)
    : QWidget(nullptr), dialog_(dialog), frame_(frame) {}

void DialogView::BindControl(QWidget* widget, uint32_t id) {
  controls_[id] = widget;
  widget->setFocusPolicy(Qt::StrongFocus);
}

void DialogView::BindButton(QAbstractButton* button, uint32_t id) {
  BindControl(button, id);
  QObject::connect(button, &QAbstractButton::clicked, this, [this, id] {
    dialog_.FocusChanged(id);
    frame_.SendCommand(dialog_, id);
  });
}

uint32_t DialogView::ControlOf(const QWidget* widget) const {
  for (const auto& [id, bound] : controls_) {
    if (bound == widget || (widget != nullptr && bound->isAncestorOf(widget))) return id;
  }
  return 0;
}

QWidget* DialogView::WidgetOf(uint32_t control) const {
  const auto it = controls_.find(control);
  return it == controls_.end() ? nullptr : it->second;
}

void DialogView::NoteFocus(const QWidget* widget) {
  const uint32_t control = ControlOf(widget);
  if (control == 0) return;
  applied_focus_ = control;
  dialog_.FocusChanged(control);
}

void DialogView::Refresh() {
  const uint32_t wanted = dialog_.focus();
  if (wanted == applied_focus_) return;
  applied_focus_ = wanted;
  QWidget* widget = WidgetOf(wanted);
  if (widget != nullptr && widget->isEnabled()) widget->setFocus(Qt::OtherFocusReason);
}

void DialogView::SetBackground(const QColor& colour) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, colour);
  setPalette(palette);
  setAutoFillBackground(true);
}

}  // namespace kolvar::ui::qt

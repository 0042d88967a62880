// The base of every Qt view of a dialog: a widget that fills the frame above the soft-key bar and
// shows one ui::Dialog. A view builds its widgets once, binds the ones that can take the focus to
// the dialog's control ids (so the action key re-sends the focused control's command), and shows
// the dialog's state in Refresh, which the frame calls after every input and every change.
//
//   class ReportView : public DialogView {
//    public:
//     ReportView(ReportDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
//       list_ = new ListView(dialog.list(), this);
//       BindControl(list_, 1018);
//     }
//     void Refresh() override { list_->Sync(); }
//   };
//   frame.RegisterView<ReportDialog, ReportView>();
#ifndef KOLVAR_UI_QT_DIALOG_VIEW_H_
#define KOLVAR_UI_QT_DIALOG_VIEW_H_

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <map>

#include "ui/dialog.h"

class QAbstractButton;

namespace kolvar::ui::qt {

class DialogFrame;

class DialogView : public QWidget {
 public:
  DialogView(Dialog& dialog, DialogFrame& frame);

  Dialog& dialog() const { return dialog_; }
  DialogFrame& frame() const { return frame_; }

  // Shows the dialog's state. The base moves the keyboard focus to the dialog's focused control.
  virtual void Refresh();

  // The control id of a widget of this view, 0 when it is none of the bound ones.
  uint32_t ControlOf(const QWidget* widget) const;
  QWidget* WidgetOf(uint32_t control) const;
  // The user moved the keyboard focus to `widget`: the dialog learns its control.
  void NoteFocus(const QWidget* widget);

 protected:
  // `widget` is the dialog's control `id`: its focus is reported to the dialog.
  void BindControl(QWidget* widget, uint32_t id);
  // A button that sends command `id` when pressed (and is control `id`).
  void BindButton(QAbstractButton* button, uint32_t id);
  // Paints the background in one colour (the dialogs' light grey or white).
  void SetBackground(const QColor& colour);

 private:
  Dialog& dialog_;
  DialogFrame& frame_;
  std::map<uint32_t, QWidget*> controls_;
  uint32_t applied_focus_ = 0;
};

// The dialogs' light grey background RGB(225,225,225).
inline const QColor kDialogGrey(225, 225, 225);

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_DIALOG_VIEW_H_

// A message box inside the frame: a panel over the current dialog with the caption, the style's
// icon, the text and the style's buttons. Enter answers with the first button, Escape with Cancel
// (or with OK in a box that has only OK). The frame runs it (DialogFrame::ShowMessageBox).
// The panel is as tall as its wrapped text needs; a text taller than the window allows scrolls
// (Up/Down, Page Up/Down, the wheel) while the caption and the buttons stay in view. A word wider
// than the panel (a path without spaces) breaks, after its separators where it can, so that it is
// read whole.
#ifndef KOLVAR_UI_QT_MESSAGE_BOX_VIEW_H_
#define KOLVAR_UI_QT_MESSAGE_BOX_VIEW_H_

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/dialog.h"

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;

namespace kolvar::ui::qt {

class DialogFrame;

class MessageBoxView : public QWidget {
 public:
  // `answered` is called once with the answer.
  MessageBoxView(const MessageBoxRequest& request, DialogFrame& frame,
                 std::function<void(int answer)> answered);

  const MessageBoxRequest& request() const { return request_; }
  void Answer(int answer);
  // Enter's answer, and Escape's (0 when Escape does nothing in this box).
  int DefaultAnswer() const;
  int EscapeAnswer() const;
  const std::vector<int>& answers() const { return answers_; }
  // Scrolls the text for Up, Down, Page Up and Page Down; false for other keys.
  bool ScrollText(int key);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Sizes the panel to the text wrapped at the panel's width, at most the box's height.
  void FitPanel();

  QFrame* panel_ = nullptr;
  QScrollArea* text_area_ = nullptr;
  QLabel* text_ = nullptr;
  QString shown_text_;  // as the label shows it before breaks are let into long words
  MessageBoxRequest request_;
  std::function<void(int)> answered_;
  std::vector<int> answers_;  // of the buttons, in order
  bool done_ = false;
};

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_MESSAGE_BOX_VIEW_H_

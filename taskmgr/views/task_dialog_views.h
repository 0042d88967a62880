// The Qt views of the task manager's two dialogs, laid out as on the device: a group box inset by
// 5, the question at (10, 25), and three 100 x 25 buttons centred one below the other; the
// Postpone dialog's texts and its list of intervals.
#ifndef KOLVAR_TASKMGR_VIEWS_TASK_DIALOG_VIEWS_H_
#define KOLVAR_TASKMGR_VIEWS_TASK_DIALOG_VIEWS_H_

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <vector>

#include "taskmgr/task_dialogs.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"

namespace kolvar::views {

class TaskExecutionView : public ui::qt::DialogView {
 public:
  TaskExecutionView(TaskExecutionDialog& dialog, ui::qt::DialogFrame& frame);
  QLabel* message() const { return message_; }
  const std::vector<QPushButton*>& buttons() const { return buttons_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QGroupBox* group_;
  QLabel* message_;
  std::vector<QPushButton*> buttons_;
};

class PostponeView : public ui::qt::DialogView {
 public:
  PostponeView(PostponeDialog& dialog, ui::qt::DialogFrame& frame);
  QComboBox* intervals() const { return intervals_; }
  void Refresh() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  PostponeDialog& postpone_;
  QGroupBox* group_;
  QLabel* notice_;
  QLabel* prompt_;
  QComboBox* intervals_;
};

// Registers both views with the frame.
void RegisterTaskManagerViews(ui::qt::DialogFrame& frame);

}  // namespace kolvar::views

#endif  // KOLVAR_TASKMGR_VIEWS_TASK_DIALOG_VIEWS_H_

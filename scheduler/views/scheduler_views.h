// The Qt views of the scheduler editor: the task list with the selected task's last and next start
// below it, the task page (activate, don't ask, name, type list with "Edit", description, the
// retry option), and the schedule pages, one view that builds the fields of its page's type.
#ifndef KOLVAR_SCHEDULER_VIEWS_SCHEDULER_VIEWS_H_
#define KOLVAR_SCHEDULER_VIEWS_SCHEDULER_VIEWS_H_

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <vector>

#include "scheduler/schedule_page.h"
#include "scheduler/task_list_dialog.h"
#include "scheduler/task_page.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"
#include "ui/qt/list_view.h"

namespace kolvar::views {

// Shown again after a page over it has ended, a view gives the keyboard focus back to the control
// that had it (the list row, "Edit"), so that the keys go on where the user left them.
void RestoreFocus(ui::qt::DialogView& view);

class TaskListView : public ui::qt::DialogView {
 public:
  TaskListView(TaskListDialog& dialog, ui::qt::DialogFrame& frame);
  ui::qt::ListView* list() const { return list_; }
  QLabel* last_start() const { return last_start_; }
  QLabel* next_start() const { return next_start_; }
  void Refresh() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TaskListDialog& tasks_;
  ui::qt::ListView* list_;
  QLabel* last_start_;
  QLabel* next_start_;
};

class TaskPageView : public ui::qt::DialogView {
 public:
  TaskPageView(TaskPageDialog& dialog, ui::qt::DialogFrame& frame);
  QCheckBox* activate() const { return activate_; }
  QCheckBox* dont_ask() const { return dont_ask_; }
  QLineEdit* name() const { return name_; }
  QComboBox* types() const { return types_; }
  QPushButton* edit() const { return edit_; }
  QLabel* description() const { return description_; }
  QCheckBox* retry() const { return retry_; }
  QCheckBox* background() const { return background_; }
  void Refresh() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TaskPageDialog& page_;
  QCheckBox* activate_;
  QCheckBox* dont_ask_;
  QLabel* name_label_;
  QLineEdit* name_;
  QLabel* type_label_;
  QComboBox* types_;
  QPushButton* edit_;
  QLabel* description_;
  QLabel* retry_heading_;
  QCheckBox* retry_;
  QCheckBox* background_;
};

class SchedulePageView : public ui::qt::DialogView {
 public:
  SchedulePageView(SchedulePageDialog& dialog, ui::qt::DialogFrame& frame);
  // Null where the page's type has no such field.
  QTimeEdit* start_time() const { return start_time_; }
  QLineEdit* every() const { return every_; }
  const std::vector<QCheckBox*>& days() const { return days_; }
  QRadioButton* day_mode() const { return day_mode_; }
  QLineEdit* month_day() const { return month_day_; }
  QRadioButton* weekday_mode() const { return weekday_mode_; }
  QComboBox* ordinal() const { return ordinal_; }
  QComboBox* weekday() const { return weekday_; }
  const std::vector<QCheckBox*>& months() const { return months_; }
  QDateEdit* run_on() const { return run_on_; }
  QCheckBox* once_a_day() const { return once_a_day_; }
  void Refresh() override;

 private:
  SchedulePageDialog& page_;
  QTimeEdit* start_time_ = nullptr;
  QLineEdit* every_ = nullptr;
  std::vector<QCheckBox*> days_;
  QRadioButton* day_mode_ = nullptr;
  QLineEdit* month_day_ = nullptr;
  QRadioButton* weekday_mode_ = nullptr;
  QComboBox* ordinal_ = nullptr;
  QComboBox* weekday_ = nullptr;
  std::vector<QCheckBox*> months_;
  QDateEdit* run_on_ = nullptr;
  QCheckBox* once_a_day_ = nullptr;
};

// Registers the three views with the frame.
void RegisterSchedulerViews(ui::qt::DialogFrame& frame);

}  // namespace kolvar::views

#endif  // KOLVAR_SCHEDULER_VIEWS_SCHEDULER_VIEWS_H_

// The scheduler editor's main dialog: "Configured Tasks:", one row per task of the task list in
// file order (task name, status, last start, next start, kind, identifier), and below the list the
// selected task's last and next start. "Edit", the action key or tapping a row opens the task's
// page; after a save the row shows the task as saved.
#ifndef KOLVAR_SCHEDULER_TASK_LIST_DIALOG_H_
#define KOLVAR_SCHEDULER_TASK_LIST_DIALOG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/task_page.h"
#include "scheduling/task_record.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

// String 40043.
inline constexpr char16_t kErrorSearchingTask[] =
    u"Error searching Task on DAT file. Please contact support.";

// The list's columns.
namespace task_columns {
inline constexpr size_t kTask = 0;
inline constexpr size_t kStatus = 1;
inline constexpr size_t kLastStart = 2;
inline constexpr size_t kNextStart = 3;
inline constexpr size_t kType = 4;
inline constexpr size_t kId = 5;
}  // namespace task_columns

// The image of every row.
inline constexpr int kTaskIcon = 0;

class TaskListDialog : public ui::Dialog {
 public:
  explicit TaskListDialog(SchedulerContext context);

  const std::u16string& heading() const { return heading_; }  // "Configured Tasks:"
  ui::ListModel& list() { return list_; }
  const ui::ListModel& list() const { return list_; }
  // The selected task's last and next start; empty without a selection.
  std::u16string last_start() const;
  std::u16string next_start() const;

  // Reads the task list again into the rows (at start). False when it cannot be read.
  bool Load();

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnRowActivated(uint32_t list, int row) override;

 private:
  void OpenSelected();
  void ShowRow(int row, const TaskRecord& record);

  SchedulerContext context_;
  std::u16string heading_;
  ui::ListModel list_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_TASK_LIST_DIALOG_H_

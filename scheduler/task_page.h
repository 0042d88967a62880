// The page of one task in the scheduler editor: "Scan" for a scan task, "Update" for an update
// task. It activates the task, names it, chooses its schedule type (whose details the schedule
// page edits) and its options. "Save" writes the task as the scheduling engine saves an edited
// task: an enabled one gets its next run and a fresh registration, a disabled one loses its
// registrations, options and next run. "Cancel" and Back leave the task list as it was.
#ifndef KOLVAR_SCHEDULER_TASK_PAGE_H_
#define KOLVAR_SCHEDULER_TASK_PAGE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_editing.h"
#include "scheduling/task_record.h"
#include "ui/dialog.h"

namespace kolvar {

// Where the editor's tasks live and what time it is.
struct SchedulerContext {
  std::u16string task_database;  // device path of KVTasks.dat
  std::u16string task_manager;   // device path of KVTaskMgr, the program every registration names
  std::function<TaskTime()> now;
};

class TaskPageDialog : public ui::Dialog {
 public:
  // Opens the page of `record`: its parameters are the defaults of this moment with the record's
  // parameter text read over them.
  TaskPageDialog(const TaskRecord& record, const SchedulerContext& context);

  bool scan_task() const { return record_.kind == kTaskKindScan; }
  // The texts of the check boxes, by the kind of task.
  std::u16string activate_text() const;
  std::u16string retry_heading() const;  // "If missed:" / "If connection is not available:"
  std::u16string retry_text() const;

  bool enabled() const { return enabled_; }
  bool dont_ask() const { return dont_ask_; }
  bool retry() const { return retry_; }
  bool background() const { return background_; }
  const std::u16string& name() const { return name_; }
  // Longer names are cut to what the record holds.
  void SetName(std::u16string_view name);
  // The selected schedule type (the list's position).
  uint32_t type() const { return record_.schedule_type; }
  // The list moved: the type changes at once, with the current parameters.
  void SelectType(int index);
  const ScheduleParameters& parameters() const { return parameters_; }
  std::u16string description() const;

  // Whether a control can be used: clearing "Activate" switches off the name, the type list,
  // "Edit", the description and the retry option. "Edit" also needs a type with a page.
  bool IsControlEnabled(uint32_t control) const;

  // After "Save": the record as saved (shown even when the file could not be written).
  bool saved() const { return saved_; }
  const TaskRecord& record() const { return record_; }
  const TaskSave& save_result() const { return save_; }

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;

 private:
  void EditSchedule();
  void Save();

  const SchedulerContext& context_;
  TaskRecord record_;
  ScheduleParameters parameters_;
  bool enabled_;
  bool dont_ask_;
  bool retry_;
  bool background_;
  std::u16string name_;
  bool saved_ = false;
  TaskSave save_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_TASK_PAGE_H_

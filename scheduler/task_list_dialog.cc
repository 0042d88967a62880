// The task list; see task_list_dialog.h.
#include "scheduler/task_list_dialog.h"

#include <charconv>
#include <string>

#include "platform/message_box.h"
#include "scheduler/scheduler_ids.h"
#include "scheduler/task_texts.h"
#include "scheduling/task_database.h"

namespace kolvar {
namespace {

namespace ids = scheduler_ids;

std::u16string Decimal(uint32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The identifier of a row's "ID" cell.
bool ReadId(const std::u16string& cell, uint32_t* id) {
  std::string digits;
  for (char16_t c : cell) {
    if (c < u'0' || c > u'9') return false;
    digits.push_back(static_cast<char>(c));
  }
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), *id);
  return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

TaskListDialog::TaskListDialog(SchedulerContext context)
    : Dialog(kSchedulerTitle), context_(std::move(context)), heading_(u"Configured Tasks:") {
  soft_keys().left = ui::SoftKey::CommandKey(ids::kCommandEdit, u"Edit");
  soft_keys().right = ui::SoftKey::CommandKey(ids::kCommandClose, u"Close");
  list_.SetColumns({{u"Task", 110},
                    {u"Status", 85},
                    {u"Last Start", 110},
                    {u"Next Start", 110},
                    {u"Type", 40},
                    {u"ID", 30}});
}

bool TaskListDialog::Load() {
  std::vector<TaskRecord> tasks;
  const bool read = ReadAllTasks(context_.task_database, &tasks);
  list_.Clear();
  for (const TaskRecord& task : tasks) {
    const int row = list_.AddRow({{}, kTaskIcon});
    ShowRow(row, task);
  }
  if (!list_.empty()) list_.Select(0);
  Changed();
  return read;
}

void TaskListDialog::ShowRow(int row, const TaskRecord& record) {
  list_.SetCell(row, task_columns::kTask, TaskName(record));
  list_.SetCell(row, task_columns::kStatus, StatusText(record));
  list_.SetCell(row, task_columns::kLastStart, LastStartText(record));
  list_.SetCell(row, task_columns::kNextStart, ListNextStartText(record));
  list_.SetCell(row, task_columns::kType, std::u16string(1, record.kind));
  list_.SetCell(row, task_columns::kId, Decimal(record.id));
}

std::u16string TaskListDialog::last_start() const {
  return list_.Cell(list_.selected(), task_columns::kLastStart);
}

std::u16string TaskListDialog::next_start() const {
  return list_.Cell(list_.selected(), task_columns::kNextStart);
}

void TaskListDialog::OnInit() {
  if (list_.empty()) Load();
  SetFocus(ids::kTaskList);
}

void TaskListDialog::OpenSelected() {
  const int row = list_.selected();
  if (row == ui::ListModel::kNoRow) return;
  uint32_t id = 0;
  TaskRecord record = EmptyTaskRecord();
  if (!ReadId(list_.Cell(row, task_columns::kId), &id) ||
      FindTask(context_.task_database, id, &record) != TaskLookup::kFound) {
    MessageBox(kErrorSearchingTask, kErrorSearchingTask,
               platform::kMbOk | platform::kMbIconError);
    return;
  }
  if (record.kind != kTaskKindScan && record.kind != kTaskKindUpdate) return;
  TaskPageDialog page(record, context_);
  RunModal(page);
  if (page.saved()) ShowRow(row, page.record());
  Changed();
}

void TaskListDialog::OnCommand(uint32_t id) {
  switch (id) {
    case ids::kCommandEdit:
    case ui::kCommandOk:
      OpenSelected();
      return;
    case ids::kCommandClose:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void TaskListDialog::OnRowActivated(uint32_t list, int row) {
  if (list != ids::kTaskList) return;
  list_.Select(row);
  OpenSelected();
}

}  // namespace kolvar

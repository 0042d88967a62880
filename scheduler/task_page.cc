// The task pages; see task_page.h.
#include "scheduler/task_page.h"

#include "scheduler/schedule_page.h"
#include "scheduler/scheduler_ids.h"
#include "scheduler/task_texts.h"

namespace kolvar {
namespace {

namespace ids = scheduler_ids;

}  // namespace

TaskPageDialog::TaskPageDialog(const TaskRecord& record, const SchedulerContext& context)
    : Dialog(record.kind == kTaskKindScan ? u"Scan" : u"Update"),
      context_(context),
      record_(record),
      parameters_(DefaultScheduleParameters(context.now())),
      enabled_(record.enabled != 0),
      dont_ask_(record.ask_before_running == 0),
      retry_(record.retry_on_failure != 0),
      background_(record.in_background != 0),
      name_(TaskName(record)) {
  ParseScheduleParameters(record_, &parameters_);
  soft_keys().left = ui::SoftKey::CommandKey(ids::kCommandSave, u"Save");
  soft_keys().right = ui::SoftKey::CommandKey(ids::kCommandCancel, u"Cancel");
}

std::u16string TaskPageDialog::activate_text() const {
  return scan_task() ? u"Activate scan task" : u"Activate update task";
}

std::u16string TaskPageDialog::retry_heading() const {
  return scan_task() ? u"If missed:" : u"If connection is not available:";
}

std::u16string TaskPageDialog::retry_text() const {
  return scan_task() ? u"Start when device starts up" : u"Check when it goes online";
}

void TaskPageDialog::SetName(std::u16string_view name) {
  // The record's field keeps its terminator.
  name_ = name.substr(0, kTaskTextChars - 1);
}

void TaskPageDialog::SelectType(int index) {
  if (index < 0 || index >= kOfferedScheduleTypes) return;
  record_.schedule_type = static_cast<uint32_t>(index);
  Changed();
}

std::u16string TaskPageDialog::description() const {
  return TaskDescription(record_.schedule_type, parameters_);
}

bool TaskPageDialog::IsControlEnabled(uint32_t control) const {
  switch (control) {
    case ids::kName:
    case ids::kTypeList:
    case ids::kDescription:
    case ids::kRetry:
      return enabled_;
    case ids::kEditSchedule:
      return enabled_ && SchedulePageDialog::HasPage(record_.schedule_type);
    default:
      return true;
  }
}

void TaskPageDialog::OnInit() { SetFocus(ids::kActivate); }

void TaskPageDialog::EditSchedule() {
  if (!IsControlEnabled(ids::kEditSchedule)) return;
  const uint32_t type = record_.schedule_type;
  SchedulePageDialog page(type, parameters_, context_.now());
  RunModal(page);
  if (page.confirmed()) {
    parameters_ = page.parameters();
    record_.schedule_type = page.type();
  }
  // Cancelled, the list keeps the record's type and the parameters stay as they were.
  Changed();
}

void TaskPageDialog::Save() {
  record_.enabled = enabled_ ? 1 : 0;
  record_.retry_on_failure = retry_ ? 1 : 0;
  record_.in_background = background_ ? 1 : 0;
  record_.ask_before_running = dont_ask_ ? 0 : 1;
  SetFieldText(record_.name, kTaskTextChars, name_);
  save_ = SaveEditedTask(context_.task_database, context_.task_manager, parameters_,
                         context_.now(), &record_);
  saved_ = true;
  End(ui::kResultOk);
}

void TaskPageDialog::OnCommand(uint32_t id) {
  switch (id) {
    case ids::kActivate:
      enabled_ = !enabled_;
      Changed();
      return;
    case ids::kDontAsk:
      dont_ask_ = !dont_ask_;
      Changed();
      return;
    case ids::kRetry:
      if (!enabled_) return;
      retry_ = !retry_;
      Changed();
      return;
    case ids::kBackground:
      background_ = !background_;
      Changed();
      return;
    case ids::kEditSchedule:
      EditSchedule();
      return;
    case ids::kCommandSave:
      Save();
      return;
    case ids::kCommandCancel:
      End(ui::kResultCancel);
      return;
    case ui::kCommandOk:
      // The action key works the focused box or button; on the name or the list it saves.
      if (focus() == ids::kActivate || focus() == ids::kDontAsk || focus() == ids::kRetry ||
          focus() == ids::kEditSchedule) {
        OnCommand(focus());
      } else {
        Save();
      }
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void TaskPageDialog::OnBack() { End(ui::kResultCancel); }

}  // namespace kolvar

// The task manager's dialogs; see task_dialogs.h.
#include "taskmgr/task_dialogs.h"

namespace kolvar {
namespace {

// String 40007, "%s" the task's name.
constexpr char16_t kExecutionQuestionBefore[] = u"The task \"";
constexpr char16_t kExecutionQuestionAfter[] =
    u"\" has been scheduled to execute now. What do you want to do?";

}  // namespace

TaskExecutionDialog::TaskExecutionDialog(std::u16string_view task_name)
    : Dialog(u"Task Execution"),
      message_(kExecutionQuestionBefore + std::u16string(task_name) + kExecutionQuestionAfter),
      group_title_(u"Task Execution"),
      buttons_{{kCommandExecute, u"Execute"},
               {kCommandCancelTask, u"Cancel"},
               {kCommandPostpone, u"Postpone"}} {}

void TaskExecutionDialog::OnCommand(uint32_t id) {
  switch (id) {
    case kCommandExecute:
      answer_ = {TaskChoice::kRun, 0};
      End(ui::kResultOk);
      return;
    case kCommandCancelTask:
      answer_ = {TaskChoice::kCancel, 0};
      End(ui::kResultOk);
      return;
    case kCommandPostpone: {
      PostponeDialog postpone;
      RunModal(postpone);
      if (!postpone.confirmed()) return;  // back to the question
      answer_ = {TaskChoice::kPostpone, postpone.selected()};
      End(ui::kResultOk);
      return;
    }
    case ui::kCommandOk:
      // The action key answers with the focused button; without one it closes the question.
      if (focus() == kCommandExecute || focus() == kCommandCancelTask ||
          focus() == kCommandPostpone) {
        OnCommand(focus());
        return;
      }
      answer_ = {TaskChoice::kNone, 0};
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void TaskExecutionDialog::OnBack() {
  answer_ = {TaskChoice::kNone, 0};
  End(ui::kResultBack);
}

void TaskExecutionDialog::OnClose() {
  answer_ = {TaskChoice::kNone, 0};
  End(ui::kResultOk);
}

PostponeDialog::PostponeDialog()
    : Dialog(u"Postpone"),
      notice_(u"Task has been postponed."),
      prompt_(u"Try again on:"),
      intervals_{u"10 minutes", u"1 hour",  u"2 hours", u"3 hours",
                 u"4 hours",    u"5 hours", u"1 day"} {
  soft_keys().left = ui::SoftKey::CommandKey(kCommandConfirm, u"Confirm");
  soft_keys().right = ui::SoftKey::CommandKey(kCommandCancelPostpone, u"Cancel");
}

void PostponeDialog::Select(int index) {
  if (index < 0 || index >= static_cast<int>(intervals_.size())) return;
  selected_ = index;
  Changed();
}

void PostponeDialog::OnCommand(uint32_t id) {
  if (id == kCommandConfirm || id == ui::kCommandOk) {
    End(ui::kResultOk);
  } else if (id == kCommandCancelPostpone) {
    End(ui::kResultCancel);
  } else {
    Dialog::OnCommand(id);
  }
}

void PostponeDialog::OnBack() { End(ui::kResultCancel); }

}  // namespace kolvar

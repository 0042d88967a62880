// The task manager's two dialogs without a window toolkit: Task Execution asks whether to run the
// due task now (Execute, Cancel, Postpone), and Postpone asks for how long. Their views (the
// shared Qt library's frame, caption "TaskManager") only show this state and pass the user's input
// on; tests drive the dialogs directly.
#ifndef KOLVAR_TASKMGR_TASK_DIALOGS_H_
#define KOLVAR_TASKMGR_TASK_DIALOGS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "taskmgr/task_manager.h"
#include "ui/dialog.h"

namespace kolvar {

// Commands of the two dialogs' buttons and soft keys.
inline constexpr uint32_t kCommandExecute = 1001;
inline constexpr uint32_t kCommandCancelTask = 1002;
inline constexpr uint32_t kCommandPostpone = 1003;
inline constexpr uint32_t kCommandConfirm = 1004;
inline constexpr uint32_t kCommandCancelPostpone = 1005;

// Template 213.
class TaskExecutionDialog : public ui::Dialog {
 public:
  explicit TaskExecutionDialog(std::u16string_view task_name);

  // String 40007 with the task's name.
  const std::u16string& message() const { return message_; }
  const std::u16string& group_title() const { return group_title_; }
  // The buttons in their order, top to bottom: Execute, Cancel, Postpone.
  struct Button {
    uint32_t command;
    std::u16string text;
  };
  const std::vector<Button>& buttons() const { return buttons_; }
  // The answer once the dialog has ended; kNone when it was closed without a button.
  const TaskAnswer& answer() const { return answer_; }

  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnClose() override;

 private:
  std::u16string message_;
  std::u16string group_title_;
  std::vector<Button> buttons_;
  TaskAnswer answer_{TaskChoice::kNone, 0};
};

// Template 214.
class PostponeDialog : public ui::Dialog {
 public:
  PostponeDialog();

  const std::u16string& notice() const { return notice_; }  // "Task has been postponed."
  const std::u16string& prompt() const { return prompt_; }  // "Try again on:"
  const std::vector<std::u16string>& intervals() const { return intervals_; }
  int selected() const { return selected_; }
  // The spin list moved; indexes outside the list are ignored.
  void Select(int index);
  // Ends with kResultOk when confirmed, kResultCancel otherwise.
  bool confirmed() const { return ended() && result() == ui::kResultOk; }

  void OnCommand(uint32_t id) override;
  void OnBack() override;

 private:
  std::u16string notice_;
  std::u16string prompt_;
  std::vector<std::u16string> intervals_;
  int selected_ = 0;
};

}  // namespace kolvar

#endif  // KOLVAR_TASKMGR_TASK_DIALOGS_H_

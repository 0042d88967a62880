// The Task Execution and Postpone dialogs driven as a user would: each button's answer, postponing
// with each interval, and backing out of the Postpone dialog to the question.
#include "taskmgr/task_dialogs.h"

#include <gtest/gtest.h>

#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

TEST(TaskDialogsTest, TheQuestionNamesTheTaskAndOffersItsButtonsInOrder) {
  TaskExecutionDialog dialog(u"Weekly scan");
  EXPECT_EQ(dialog.title(), u"Task Execution");
  EXPECT_EQ(dialog.message(),
            u"The task \"Weekly scan\" has been scheduled to execute now. What do you want to "
            u"do?");
  ASSERT_EQ(dialog.buttons().size(), 3u);
  EXPECT_EQ(dialog.buttons()[0].text, u"Execute");
  EXPECT_EQ(dialog.buttons()[1].text, u"Cancel");
  EXPECT_EQ(dialog.buttons()[2].text, u"Postpone");
  PostponeDialog postpone;
  EXPECT_EQ(postpone.title(), u"Postpone");
  EXPECT_EQ(postpone.intervals(),
            (std::vector<std::u16string>{u"10 minutes", u"1 hour", u"2 hours", u"3 hours",
                                         u"4 hours", u"5 hours", u"1 day"}));
  EXPECT_EQ(postpone.selected(), 0);
  EXPECT_EQ(postpone.soft_keys().left.text, u"Confirm");
  EXPECT_EQ(postpone.soft_keys().right.text, u"Cancel");
}

struct AnswerCase {
  const char* what;
  uint32_t command;  // 0: Back; ui::kCommandOk with no focus
  TaskChoice choice;
};

TEST(TaskDialogsTest, EachWayOutGivesItsChoice) {
  const AnswerCase cases[] = {
      {"Execute", kCommandExecute, TaskChoice::kRun},
      {"Cancel", kCommandCancelTask, TaskChoice::kCancel},
      {"OK without a button", ui::kCommandOk, TaskChoice::kNone},
      {"Back", 0, TaskChoice::kNone},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.what);
    ui::testing::RecordingHost host;
    TaskExecutionDialog dialog(u"t");
    host.Show(dialog);
    if (c.command == 0) {
      dialog.OnBack();
    } else {
      dialog.OnCommand(c.command);
    }
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.answer().choice, c.choice);
  }
}

TEST(TaskDialogsTest, PostponeTakesTheChosenIntervalAndCancelReturnsToTheQuestion) {
  for (int interval = 0; interval < 7; ++interval) {
    ui::testing::RecordingHost host;
    host.DriveModals([interval](ui::Dialog& child) {
      auto& postpone = static_cast<PostponeDialog&>(child);
      postpone.Select(interval);
      postpone.OnCommand(kCommandConfirm);
    });
    TaskExecutionDialog dialog(u"t");
    host.Show(dialog);
    dialog.OnCommand(kCommandPostpone);
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.answer().choice, TaskChoice::kPostpone);
    EXPECT_EQ(dialog.answer().postpone_interval, interval);
    EXPECT_EQ(host.modal_titles(), std::vector<std::u16string>{u"Postpone"});
  }
  ui::testing::RecordingHost host;
  host.DriveModals([](ui::Dialog& child) {
    auto& postpone = static_cast<PostponeDialog&>(child);
    postpone.Select(9);  // no such interval: the selection stays
    EXPECT_EQ(postpone.selected(), 0);
    postpone.OnCommand(kCommandCancelPostpone);
  });
  TaskExecutionDialog dialog(u"t");
  host.Show(dialog);
  dialog.OnCommand(kCommandPostpone);
  EXPECT_FALSE(dialog.ended()) << "Cancel in Postpone returns to the question";
  dialog.OnCommand(kCommandExecute);
  EXPECT_EQ(dialog.answer().choice, TaskChoice::kRun);
}

}  // namespace
}  // namespace kolvar

#include "ui/dialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/message_box.h"
#include "ui/testing/recording_host.h"

namespace kolvar::ui {
namespace {

class ButtonsDialog : public Dialog {
 public:
  ButtonsDialog() : Dialog(u"Buttons") {}
  void OnInit() override { SetFocus(1003); }
  void OnCommand(uint32_t id) override {
    commands.push_back(id);
    Dialog::OnCommand(id);
  }
  void Ask() { answer = MessageBox(u"Kolvar AV", u"Sure?", platform::kMbOkCancel); }
  void PostFromElsewhere(int* ran) {
    std::thread([this, ran] { PostToSelf([ran] { ++*ran; }); }).join();
  }
  std::vector<uint32_t> commands;
  int answer = 0;
};

TEST(Dialog, ActionKeyResendsTheFocusedControlsCommand) {
  testing::RecordingHost host;
  ButtonsDialog dialog;
  host.Show(dialog);
  dialog.OnCommand(kCommandOk);
  dialog.FocusChanged(1006);
  dialog.OnCommand(kCommandOk);
  EXPECT_EQ(dialog.commands, (std::vector<uint32_t>{kCommandOk, 1003, kCommandOk, 1006}));
  EXPECT_FALSE(dialog.ended());
}

TEST(Dialog, CancelAndBackEndTheDialogWithTheirResults) {
  testing::RecordingHost host;
  ButtonsDialog cancelled;
  host.Show(cancelled);
  cancelled.OnCommand(kCommandCancel);
  EXPECT_TRUE(cancelled.ended());
  EXPECT_EQ(cancelled.result(), kResultCancel);
  ButtonsDialog left;
  host.Show(left);
  left.OnBack();
  EXPECT_EQ(left.result(), kResultBack);
}

TEST(Dialog, MessageBoxGoesToTheHostAndReturnsItsAnswer) {
  testing::RecordingHost host;
  ButtonsDialog dialog;
  host.Show(dialog);
  host.AnswerBoxes({platform::kIdCancel});
  dialog.Ask();
  EXPECT_EQ(dialog.answer, platform::kIdCancel);
  ASSERT_EQ(host.boxes().size(), 1u);
  EXPECT_EQ(host.boxes()[0].caption, u"Kolvar AV");
  EXPECT_EQ(host.boxes()[0].style, platform::kMbOkCancel);
}

TEST(Dialog, TaskPostedFromAnotherThreadRunsOnlyWhileTheDialogLives) {
  testing::RecordingHost host;
  int ran = 0;
  {
    ButtonsDialog dialog;
    host.Show(dialog);
    dialog.PostFromElsewhere(&ran);
    EXPECT_EQ(host.RunPosted(), 1);
    EXPECT_EQ(ran, 1);
    dialog.PostFromElsewhere(&ran);
  }
  host.RunPosted();
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace kolvar::ui

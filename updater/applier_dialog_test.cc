// The applier's progress window without its toolkit: the worker's progress arrives in its order
// on the user-interface thread, its notices are boxes it waits for, the animation turns through
// its eight pictures, the run cannot be abandoned by Back, a close or a second applier's cancel,
// and the dialog ends once the worker has returned.
#include "updater/applier_dialog.h"

#include <gtest/gtest.h>

#include <latch>
#include <vector>

#include "platform/message_box.h"
#include "ui/testing/recording_host.h"
#include "updater/applier_texts.h"

namespace kolvar::updater {
namespace {

constexpr uint32_t kWaitMs = 60000;

TEST(ApplierDialogTest, TheWorkersProgressIsShownInOrderAndTheDialogEndsAfterIt) {
  ui::testing::RecordingHost host;  // outlives the dialog, whose worker posts to it
  std::latch first_step(1);
  std::latch second_step(1);
  ApplierDialog dialog([&](ApplierProgress& progress, const UserNotice&) {
    progress.SetPosition(0);
    progress.SetStatus(kInitializing);
    first_step.wait();
    progress.SetPosition(25);
    progress.SetStatus(kUpdatingFiles);
    progress.SetPosition(90);
    progress.SetStatus(kSettingRegistry);
    progress.SetPosition(95);
    progress.SetStatus(kFinishing);
    progress.SetPosition(100);
    second_step.wait();
  });
  EXPECT_EQ(dialog.title(), u"Updating...");
  host.Show(dialog);
  EXPECT_TRUE(dialog.working());
  EXPECT_EQ(host.TimerPeriod(dialog, kAnimationTimer), 400u);
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.status() == kInitializing; }, kWaitMs));
  EXPECT_EQ(dialog.position(), 0);

  // Nothing the user does ends the run.
  dialog.OnBack();
  dialog.OnClose();
  dialog.OnCommand(ui::kCommandCancel);
  EXPECT_FALSE(dialog.ended());

  first_step.count_down();
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.position() == 100; }, kWaitMs));
  EXPECT_EQ(dialog.status(), kFinishing);
  EXPECT_FALSE(dialog.ended()) << "the worker has not returned yet";
  second_step.count_down();
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.ended(); }, kWaitMs));
  EXPECT_FALSE(dialog.working());
  EXPECT_EQ(host.TimerPeriod(dialog, kAnimationTimer), 0u);
  EXPECT_TRUE(host.boxes().empty());
}

TEST(ApplierDialogTest, TheProgressPassesTheFourStagesInTheirOrder) {
  ui::testing::RecordingHost host;
  ApplierDialog dialog([&](ApplierProgress& progress, const UserNotice&) {
    for (const int percent : {0, 25, 90, 95, 100}) progress.SetPosition(percent);
  });
  std::vector<int> seen;
  host.Show(dialog);
  ASSERT_TRUE(host.RunPostedUntil(
      [&] {
        if (seen.empty() || seen.back() != dialog.position()) seen.push_back(dialog.position());
        return dialog.ended();
      },
      kWaitMs));
  // Each posted step is shown before the next: the bar never goes back.
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
  EXPECT_EQ(seen.back(), 100);
}

TEST(ApplierDialogTest, NoticesAreBoxesTheWorkerWaitsFor) {
  ui::testing::RecordingHost host;
  bool answered = false;
  ApplierDialog dialog([&](ApplierProgress&, const UserNotice& notice) {
    notice(kFilesMissing, platform::kMbIconError);
    answered = true;
    notice(kUpdateFailed, platform::kMbIconError);
  });
  host.Show(dialog);
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.ended(); }, kWaitMs));
  EXPECT_TRUE(answered);
  const std::vector<ui::MessageBoxRequest> boxes = host.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, u"Kolvar Updater");
  EXPECT_EQ(boxes[0].text, kFilesMissing);
  EXPECT_EQ(boxes[0].style, platform::kMbOk | platform::kMbIconError);
  EXPECT_EQ(boxes[1].text, kUpdateFailed);
}

TEST(ApplierDialogTest, TheAnimationTurnsThroughItsEightPicturesFromTheLast) {
  ui::testing::RecordingHost host;
  std::latch released(1);
  ApplierDialog dialog([&](ApplierProgress&, const UserNotice&) { released.wait(); });
  host.Show(dialog);
  EXPECT_EQ(dialog.picture(), 117);
  std::vector<int> pictures;
  for (int tick = 0; tick < 9; ++tick) {
    host.FireTimer(dialog, kAnimationTimer);
    pictures.push_back(dialog.picture());
  }
  EXPECT_EQ(pictures, (std::vector<int>{110, 111, 112, 113, 114, 115, 116, 117, 110}));
  host.FireTimer(dialog, kAnimationTimer + 1);
  EXPECT_EQ(dialog.picture(), 110) << "another timer moves nothing";
  released.count_down();
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.ended(); }, kWaitMs));
}

TEST(ApplierDialogTest, ShowingTheDialogAgainStartsNoSecondRun) {
  ui::testing::RecordingHost host;
  // A dialog shown again after its run (the frame re-initialises a dialog it shows again) does
  // not start a second run.
  int runs = 0;
  ApplierDialog dialog([&](ApplierProgress&, const UserNotice&) { ++runs; });
  host.Show(dialog);
  ASSERT_TRUE(host.RunPostedUntil([&] { return dialog.ended(); }, kWaitMs));
  dialog.OnInit();
  host.RunPosted();
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace kolvar::updater

// The task manager's views on the offscreen platform: the question and its buttons where the
// device puts them, clicks reaching the dialog, the Postpone dialog's list driving its selection,
// and Back leading from Postpone to the question again. With KOLVAR_VIEW_SHOTS naming a folder,
// each view is also saved there as a PNG, for people to look at.
#include "taskmgr/views/task_dialog_views.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTest>

#include "ui/qt/fonts.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::views {
namespace {

using ui::qt::testing::ProcessEventsUntil;
using ui::qt::testing::TestApplication;
using ui::qt::testing::WhenIdle;

void SaveShot(QWidget& window, const char* name) {
  const char* folder = getenv("KOLVAR_VIEW_SHOTS");
  if (folder == nullptr) return;
  window.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

class TaskDialogViewsTest : public ::testing::Test {
 protected:
  static ui::qt::ApplicationFonts Fonts() {
    TestApplication();
    return ui::qt::LoadApplicationFonts(2);
  }

  TaskDialogViewsTest() : frame_(u"kvtest", Fonts()), dialog_(u"Weekly scan") {
    RegisterTaskManagerViews(frame_);
    frame_.ShowMain(dialog_);
    ProcessEventsUntil([&] { return frame_.isVisible(); });
  }

  TaskExecutionView& view() { return *static_cast<TaskExecutionView*>(frame_.top_view()); }

  ui::qt::DialogFrame frame_;
  TaskExecutionDialog dialog_;
};

TEST_F(TaskDialogViewsTest, TheQuestionAndItsButtonsSitWhereTheDeviceHasThem) {
  EXPECT_EQ(frame_.windowTitle(), "Task Execution");
  EXPECT_EQ(view().message()->text(),
            "The task \"Weekly scan\" has been scheduled to execute now. What do you want to do?");
  ASSERT_EQ(view().buttons().size(), 3u);
  const int width = view().width();
  const char* texts[] = {"Execute", "Cancel", "Postpone"};
  const int tops[] = {90, 118, 146};
  for (int i = 0; i < 3; ++i) {
    QPushButton* button = view().buttons()[static_cast<size_t>(i)];
    EXPECT_EQ(button->text(), texts[i]);
    EXPECT_EQ(button->geometry(), QRect((width - 100) / 2, tops[i], 100, 25)) << texts[i];
  }
  EXPECT_EQ(view().message()->geometry(), QRect(10, 25, width - 20, 50));
  EXPECT_EQ(view().message()->font().weight(), QFont::Normal);
  SaveShot(frame_, "taskmgr-1-task-execution");
  QTest::mouseClick(view().buttons()[1], Qt::LeftButton);
  EXPECT_TRUE(dialog_.ended());
  EXPECT_EQ(dialog_.answer().choice, TaskChoice::kCancel);
}

TEST_F(TaskDialogViewsTest, PostponeTakesTheIntervalChosenInItsList) {
  bool checked = false;
  WhenIdle([&] {
    auto* postpone = dynamic_cast<PostponeView*>(frame_.top_view());
    ASSERT_NE(postpone, nullptr);
    EXPECT_EQ(frame_.windowTitle(), "Postpone");
    ASSERT_EQ(postpone->intervals()->count(), 7);
    EXPECT_EQ(postpone->intervals()->currentText(), "10 minutes");
    postpone->intervals()->setCurrentIndex(2);
    SaveShot(frame_, "taskmgr-2-postpone");
    checked = true;
    frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Confirm
  });
  QTest::mouseClick(view().buttons()[2], Qt::LeftButton);
  ASSERT_TRUE(checked);
  EXPECT_TRUE(dialog_.ended());
  EXPECT_EQ(dialog_.answer().choice, TaskChoice::kPostpone);
  EXPECT_EQ(dialog_.answer().postpone_interval, 2);
}

TEST_F(TaskDialogViewsTest, BackFromPostponeReturnsToTheQuestion) {
  WhenIdle([&] { frame_.PressBack(); });
  QTest::mouseClick(view().buttons()[2], Qt::LeftButton);
  EXPECT_FALSE(dialog_.ended());
  EXPECT_EQ(frame_.windowTitle(), "Task Execution");
  frame_.PressBack();
  EXPECT_TRUE(dialog_.ended());
  EXPECT_EQ(dialog_.answer().choice, TaskChoice::kNone);
}

}  // namespace
}  // namespace kolvar::views

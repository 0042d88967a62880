// The scheduler editor's views on the offscreen platform, over a real task list in a test device:
// the list with its columns and the selected task's starts, the task page's boxes switched off with
// "Activate", the type list and "Edit" opening the type's schedule page, the page's fields feeding
// the dialog, a refused field's box, and a save from the views reaching the file. With
// KOLVAR_VIEW_SHOTS naming a folder, each view is also saved there as a PNG.
#include "scheduler/views/scheduler_views.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTest>

#include "platform/message_box.h"
#include "scheduler/scheduler_ids.h"
#include "scheduling/default_tasks.h"
#include "scheduling/task_database.h"
#include "scheduling/task_notifications.h"
#include "tests/testing/test_device.h"
#include "ui/qt/fonts.h"
#include "ui/qt/message_box_view.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::views {
namespace {

using ui::qt::testing::ProcessEventsUntil;
using ui::qt::testing::TestApplication;
using ui::qt::testing::WhenIdle;

constexpr char16_t kInstall[] = u"\\Program Files\\Kolvar";
constexpr TaskTime kNow = {2030, 1, 7, 10, 20};

void SaveShot(QWidget& window, const char* name) {
  const char* folder = getenv("KOLVAR_VIEW_SHOTS");
  if (folder == nullptr) return;
  window.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

class SchedulerViewsTest : public ::testing::Test {
 protected:
  static ui::qt::ApplicationFonts Fonts() {
    TestApplication();
    return ui::qt::LoadApplicationFonts(2);
  }

  SchedulerViewsTest() : frame_(u"kvtest", Fonts()) {
    device_.MakeFolder(kInstall);
    device_.WriteFile(TaskDatabasePath(kInstall), DefaultTaskFileBytes());
    context_.task_database = TaskDatabasePath(kInstall);
    context_.task_manager = TaskManagerPath(kInstall);
    context_.now = [] { return kNow; };
    list_ = std::make_unique<TaskListDialog>(context_);
    RegisterSchedulerViews(frame_);
    frame_.ShowMain(*list_);
    ProcessEventsUntil([&] { return frame_.isVisible(); });
  }

  TaskListView& list_view() { return *static_cast<TaskListView*>(frame_.top_view()); }

  TaskRecord Stored(uint32_t id) {
    TaskRecord record = EmptyTaskRecord();
    EXPECT_EQ(FindTask(context_.task_database, id, &record), TaskLookup::kFound);
    return record;
  }

  testing::TestDevice device_;
  SchedulerContext context_;
  ui::qt::DialogFrame frame_;
  std::unique_ptr<TaskListDialog> list_;
};

TEST_F(SchedulerViewsTest, TheListShowsTheTasksAndTheSelectedOnesStarts) {
  EXPECT_EQ(frame_.windowTitle(), "Kolvar Scheduler");
  ui::qt::ListView* list = list_view().list();
  ASSERT_EQ(list->topLevelItemCount(), 2);
  ASSERT_EQ(list->columnCount(), 6);
  EXPECT_EQ(list->headerItem()->text(0), "Task");
  EXPECT_EQ(list->headerItem()->text(5), "ID");
  EXPECT_EQ(list->topLevelItem(0)->text(0), "Weekly scan");
  EXPECT_EQ(list->topLevelItem(0)->text(1), "Disabled");
  EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());
  EXPECT_EQ(list_view().last_start()->text(), "not executed yet");
  EXPECT_EQ(list_view().next_start()->text(), "not available");
  SaveShot(frame_, "scheduler-1-task-list");
  list->setCurrentItem(list->topLevelItem(1));
  EXPECT_EQ(list_->list().selected(), 1);
  // Enter on the list opens the selected task's page once.
  int pages = 0;
  WhenIdle([&] {
    ++pages;
    EXPECT_EQ(frame_.windowTitle(), "Update");
    frame_.PressBack();
  });
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Return);
  ProcessEventsUntil([&] { return frame_.depth() == 1; });
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(frame_.windowTitle(), "Kolvar Scheduler");
}

TEST_F(SchedulerViewsTest, TheTaskPageFollowsActivateAndSavesThroughTheViews) {
  bool checked = false;
  WhenIdle([&] {
    auto* page = dynamic_cast<TaskPageView*>(frame_.top_view());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(frame_.windowTitle(), "Scan");
    EXPECT_EQ(page->activate()->text(), "Activate scan task");
    EXPECT_FALSE(page->activate()->isChecked());
    EXPECT_FALSE(page->name()->isEnabled());
    EXPECT_FALSE(page->types()->isEnabled());
    EXPECT_FALSE(page->edit()->isEnabled());
    EXPECT_FALSE(page->retry()->isEnabled());
    EXPECT_FALSE(page->background()->isVisible());
    EXPECT_EQ(page->description()->text(), "Execute at 12:00 on Mon, every 1 week(s)");
    page->activate()->click();
    EXPECT_TRUE(page->activate()->isChecked());
    EXPECT_TRUE(page->name()->isEnabled());
    EXPECT_TRUE(page->edit()->isEnabled());
    page->name()->selectAll();
    QTest::keyClicks(page->name(), "Night scan");
    page->types()->setCurrentIndex(kScheduleDaily);
    EXPECT_EQ(page->description()->text(), "Execute at 10:20 every 1 day(s)");
    page->types()->setCurrentIndex(kScheduleAtStartup);
    EXPECT_FALSE(page->edit()->isEnabled());
    EXPECT_EQ(page->description()->text(), "Execute when system startup");
    SaveShot(frame_, "scheduler-2-scan-page");
    checked = true;
    frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Save
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Edit
  ASSERT_TRUE(checked);
  EXPECT_EQ(frame_.windowTitle(), "Kolvar Scheduler");
  const TaskRecord saved = Stored(kDefaultScanTaskId);
  EXPECT_EQ(TaskName(saved), u"Night scan");
  EXPECT_EQ(saved.enabled, 1u);
  EXPECT_EQ(saved.schedule_type, kScheduleAtStartup);
  EXPECT_EQ(list_view().list()->topLevelItem(0)->text(0), "Night scan");
  EXPECT_EQ(list_view().next_start()->text(), "on startup system");
}

// Opens the selected task's page, makes it `type`, opens its schedule page and runs `on_page`
// there; then leaves the schedule page (unless `on_page` did) and the task page without saving.
void OpenSchedulePage(ui::qt::DialogFrame& frame, uint32_t type,
                      std::function<void(SchedulePageView&)> on_page,
                      std::function<void(TaskPageView&)> after = {}) {
  WhenIdle([&frame, type, on_page, after] {
    auto* page = dynamic_cast<TaskPageView*>(frame.top_view());
    ASSERT_NE(page, nullptr);
    page->activate()->click();
    page->types()->setCurrentIndex(static_cast<int>(type));
    WhenIdle([&frame, on_page, after] {
      auto* schedule = dynamic_cast<SchedulePageView*>(frame.top_view());
      ASSERT_NE(schedule, nullptr);
      on_page(*schedule);
      if (dynamic_cast<SchedulePageView*>(frame.top_view()) != nullptr) frame.PressBack();
      WhenIdle([&frame, after] {
        auto* task_page = dynamic_cast<TaskPageView*>(frame.top_view());
        ASSERT_NE(task_page, nullptr);
        if (after) after(*task_page);
        frame.PressBack();
      });
    });
    page->edit()->click();
  });
}

TEST_F(SchedulerViewsTest, TheWeeklyPageRefusesAWeekWithoutDays) {
  list_view().list()->setCurrentItem(list_view().list()->topLevelItem(1));
  bool checked = false;
  OpenSchedulePage(frame_, kScheduleWeekly, [&](SchedulePageView& page) {
    EXPECT_EQ(frame_.windowTitle(), "Weekly");
    ASSERT_NE(page.every(), nullptr);
    EXPECT_EQ(page.every()->text(), "1");
    EXPECT_EQ(page.every()->maxLength(), 3);
    ASSERT_EQ(page.days().size(), 7u);
    EXPECT_EQ(page.start_time()->time(), QTime(10, 20));
    SaveShot(frame_, "scheduler-4-weekly");
    for (QCheckBox* day : page.days()) day->click();
    WhenIdle([&] {
      ASSERT_NE(frame_.open_box(), nullptr);
      EXPECT_EQ(frame_.open_box()->request().text,
                u"Please select the day(s) of week that task will be executed");
      SaveShot(frame_, "scheduler-9-no-weekday");
      checked = true;
      frame_.open_box()->Answer(platform::kIdOk);
    });
    frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Confirm
    EXPECT_EQ(frame_.open_box(), nullptr);
    EXPECT_EQ(frame_.windowTitle(), "Weekly") << "the page stays open";
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Edit
  ASSERT_TRUE(checked);
}

TEST_F(SchedulerViewsTest, TheMonthlyPageSwitchesBetweenItsOptions) {
  bool checked = false;
  OpenSchedulePage(frame_, kScheduleMonthly, [&](SchedulePageView& page) {
    EXPECT_EQ(frame_.windowTitle(), "Monthly");
    ASSERT_NE(page.day_mode(), nullptr);
    EXPECT_TRUE(page.day_mode()->isChecked());
    EXPECT_EQ(page.month_day()->text(), "7");
    EXPECT_TRUE(page.month_day()->isEnabled());
    EXPECT_FALSE(page.ordinal()->isEnabled());
    ASSERT_EQ(page.months().size(), 12u);
    SaveShot(frame_, "scheduler-5-monthly-day");
    page.weekday_mode()->click();
    EXPECT_FALSE(page.month_day()->isEnabled());
    EXPECT_TRUE(page.ordinal()->isEnabled());
    page.ordinal()->setCurrentIndex(4);
    page.weekday()->setCurrentIndex(5);
    SaveShot(frame_, "scheduler-6-monthly-weekday");
    auto& dialog = static_cast<SchedulePageDialog&>(page.dialog());
    EXPECT_FALSE(dialog.day_mode());
    EXPECT_EQ(dialog.ordinal(), 4);
    EXPECT_EQ(dialog.weekday(), 5);
    frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Confirm
  }, [&](TaskPageView& page) {
    EXPECT_EQ(frame_.windowTitle(), "Scan");
    EXPECT_EQ(page.description()->text(),
              "Execute at 10:20 on Last Friday of Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, "
              "Oct, Nov, Dec. ");
    checked = true;
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);  // Edit
  ASSERT_TRUE(checked);
}

TEST_F(SchedulerViewsTest, TheOnceAndDailyPagesFeedTheirFields) {
  bool checked = false;
  OpenSchedulePage(frame_, kScheduleOnce, [&](SchedulePageView& page) {
    ASSERT_NE(page.run_on(), nullptr);
    EXPECT_EQ(page.every(), nullptr);
    EXPECT_EQ(page.run_on()->date(), QDate(2030, 1, 7));
    page.run_on()->setDate(QDate(2031, 2, 28));
    page.start_time()->setTime(QTime(6, 5));
    SaveShot(frame_, "scheduler-7-once");
    auto& dialog = static_cast<SchedulePageDialog&>(page.dialog());
    EXPECT_EQ(dialog.run_day(), 28);
    EXPECT_EQ(dialog.run_month(), 2);
    EXPECT_EQ(dialog.run_year(), 2031);
    EXPECT_EQ(dialog.hour(), 6);
    EXPECT_EQ(dialog.minute(), 5);
    checked = true;
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);
  ASSERT_TRUE(checked);

  checked = false;
  OpenSchedulePage(frame_, kScheduleDaily, [&](SchedulePageView& page) {
    ASSERT_NE(page.every(), nullptr);
    page.every()->selectAll();
    QTest::keyClicks(page.every(), "14");
    SaveShot(frame_, "scheduler-3-daily");
    EXPECT_EQ(static_cast<SchedulePageDialog&>(page.dialog()).every_text(), u"14");
    checked = true;
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);
  ASSERT_TRUE(checked);

  checked = false;
  OpenSchedulePage(frame_, kScheduleOnConnection, [&](SchedulePageView& page) {
    ASSERT_NE(page.once_a_day(), nullptr);
    EXPECT_EQ(page.start_time(), nullptr);
    page.once_a_day()->click();
    EXPECT_TRUE(static_cast<SchedulePageDialog&>(page.dialog()).once_a_day());
    SaveShot(frame_, "scheduler-8-on-connected");
    checked = true;
  });
  frame_.PressSoftKey(ui::SoftKeySide::kLeft);
  ASSERT_TRUE(checked);
  // Nothing was saved.
  EXPECT_EQ(Stored(kDefaultUpdateTaskId).enabled, 0u);
}

}  // namespace
}  // namespace kolvar::views

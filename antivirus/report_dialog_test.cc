// The scan report over a device image: per-file and all-files actions, the checks of "Close",
// the menu greying, and the actions carried out through the front ends' report actions.
#include "antivirus/report_dialog.h"

#include <gtest/gtest.h>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "platform/message_box.h"
#include "scan_engine/repository.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

using namespace commands;

class ReportDialogTest : public ::testing::Test {
 protected:
  ReportDialogTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    device_.MakeFolder(paths_.quarantine_folder);
    VirusDetailRecord alpha;
    MakeVirusDetailRecord(7, u"Alpha", u"About alpha", u"Delete it", &alpha);
    EXPECT_TRUE(WriteVirusDetails(paths_.virus_details, {alpha}));
    device_.WriteFile(u"\\Docs\\a.exe", "alpha");
    device_.WriteFile(u"\\Docs\\b.txt", "bravo");
    device_.WriteFile(u"\\Card\\b.txt", "bravo too");
    InfectionList list;
    entries_ = EntriesFromResults({list.Append(u"\\Docs", u"a.exe", 0, 7, kActionNone).record,
                                   list.Append(u"\\Docs", u"b.txt", 0, 7, kActionNone).record,
                                   list.Append(u"\\Card", u"b.txt", 0, 9, kActionNone).record},
                                  paths_);
  }

  std::vector<std::u16string> ActionColumn(ReportDialog& report) {
    std::vector<std::u16string> column;
    for (int row = 0; row < report.list().size(); ++row)
      column.push_back(report.list().Cell(row, 2));
    return column;
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  std::vector<ReportEntry> entries_;
  ui::testing::RecordingHost host_;
};

TEST_F(ReportDialogTest, RowsColumnsAndCounters) {
  ReportCounters counters{120, 3, 4096, 1, 2, 3};
  ReportDialog report(entries_, false, &counters, paths_);
  host_.Show(report);
  EXPECT_EQ(report.title(), u"Report");
  ASSERT_EQ(report.list().columns().size(), 5u);
  EXPECT_EQ(report.list().columns()[0].title, u"Infected File");
  EXPECT_EQ(report.list().columns()[3].width, 0) << "sequence number, hidden";
  ASSERT_EQ(report.list().size(), 3);
  EXPECT_EQ(report.list().Cell(0, 0), u"\\Docs\\a.exe");
  EXPECT_EQ(report.list().Cell(0, 1), u"Alpha");
  EXPECT_EQ(report.list().Cell(2, 1), u"") << "no details for virus 9";
  EXPECT_EQ(report.list().Cell(2, 4), u"9");
  EXPECT_EQ(report.list().selected(), 0);
  EXPECT_EQ(report.value_text(report_controls::kFilesTested), u"120");
  EXPECT_EQ(report.value_text(report_controls::kBytesTested), u"4096");
  EXPECT_EQ(report.value_text(report_controls::kDuration), u"01:02:03");
}

TEST_F(ReportDialogTest, DeleteAllThenIgnoreOneRow) {
  ReportDialog report(entries_, false, nullptr, paths_);
  host_.Show(report);
  report.OnCommand(kDeleteAll);
  report.list().Select(1);
  report.OnCommand(kIgnoreThreat);
  EXPECT_EQ(ActionColumn(report),
            (std::vector<std::u16string>{u"Delete File", u"Ignore File", u"Delete File"}));
  EXPECT_EQ(report.list().row(1).icon, ActionImage(kActionIgnoreAll));
  EXPECT_EQ(entries_[1].action, kActionIgnoreAll);
  EXPECT_EQ(entries_[0].action, kActionDelete);
}

TEST_F(ReportDialogTest, PerFileItemsAreGreyWithoutARowAndAllItemsWithoutRows) {
  ReportDialog report(entries_, false, nullptr, paths_);
  host_.Show(report);
  report.list().Select(ui::ListModel::kNoRow);
  report.OnMenuOpening(ui::SoftKeySide::kLeft);
  const ui::Menu& menu = report.soft_keys().left.menu;
  for (uint32_t id :
       {kDeleteInfectedFile, kMoveToRepository, kIgnoreThreat, kVirusInfo, kRecommendation}) {
    EXPECT_TRUE(menu.IsGreyed(id)) << id;
  }
  EXPECT_FALSE(menu.IsGreyed(kDeleteAll));
  report.OnCommand(kMoveToRepository);  // no row: nothing happens
  EXPECT_EQ(entries_[0].action, kActionNone);

  std::vector<ReportEntry> none;
  ReportDialog empty(none, false, nullptr, paths_);
  host_.Show(empty);
  empty.OnMenuOpening(ui::SoftKeySide::kLeft);
  for (uint32_t id : {kDeleteAll, kMoveAll, kIgnoreAll}) {
    EXPECT_TRUE(empty.soft_keys().left.menu.IsGreyed(id)) << id;
  }
}

TEST_F(ReportDialogTest, CloseAsksForEveryActionThenIgnoreAllTouchesNothing) {
  ReportDialog report(entries_, false, nullptr, paths_);
  host_.Show(report);
  report.OnCommand(kMoveToRepository);  // row 0 only
  report.OnCommand(kClose);
  EXPECT_FALSE(report.ended());
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].caption, u"Error");
  EXPECT_EQ(host_.boxes()[0].text, LoadString(string_ids::kSelectActionForAll));
  EXPECT_EQ(host_.boxes()[0].style, platform::kMbOk | platform::kMbIconError);
  report.OnCommand(kIgnoreAll);
  report.OnCommand(kClose);
  EXPECT_TRUE(report.ended());
  EXPECT_TRUE(device_.Exists(u"\\Docs\\a.exe"));
  EXPECT_TRUE(device_.Exists(u"\\Docs\\b.txt"));
  EXPECT_FALSE(device_.Exists(paths_.repository_index));
}

TEST_F(ReportDialogTest, ViewOnlyAndBackCloseWithoutActing) {
  ReportDialog view(entries_, true, nullptr, paths_);
  host_.Show(view);
  view.OnCommand(kDeleteAll);
  view.OnCommand(kClose);
  EXPECT_TRUE(view.ended());
  EXPECT_FALSE(view.acted());
  ReportDialog back(entries_, false, nullptr, paths_);
  host_.Show(back);
  back.OnBack();
  EXPECT_EQ(back.result(), ui::kResultBack);
  EXPECT_TRUE(device_.Exists(u"\\Docs\\a.exe"));
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(ReportDialogTest, ActionsAreCarriedOutAndOnlyMovedFilesAreIndexed) {
  ReportDialog report(entries_, false, nullptr, paths_);
  host_.Show(report);
  report.OnCommand(kMoveAll);
  report.list().Select(0);
  report.OnCommand(kDeleteInfectedFile);
  report.OnCommand(kClose);
  ASSERT_TRUE(report.ended());
  EXPECT_TRUE(report.acted());
  EXPECT_TRUE(host_.boxes().empty());
  EXPECT_FALSE(device_.Exists(u"\\Docs\\a.exe"));
  EXPECT_FALSE(device_.Exists(u"\\Docs\\b.txt"));
  // Same name, two folders: two repository names.
  EXPECT_TRUE(device_.Exists(paths_.quarantine_folder + u"\\%_Docs%@%b.txt.avq"));
  EXPECT_TRUE(device_.Exists(paths_.quarantine_folder + u"\\%_Card%@%b.txt.avq"));
  std::vector<RepositoryRecord> index;
  ASSERT_TRUE(ReadRepositoryIndex(paths_.repository_index, &index));
  EXPECT_EQ(index.size(), 2u);
}

TEST_F(ReportDialogTest, AFailedDeleteIsToldAndTheOthersStillRun) {
  ReportDialog report(entries_, false, nullptr, paths_);
  host_.Show(report);
  report.OnCommand(kIgnoreAll);
  report.OnCommand(kDeleteInfectedFile);  // row 0, removed meanwhile
  report.list().Select(1);
  report.OnCommand(kMoveToRepository);
  platform::DeleteFile(u"\\Docs\\a.exe");
  report.OnCommand(kClose);
  ASSERT_TRUE(report.ended());
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].caption, u"Kolvar AV");
  EXPECT_NE(host_.boxes()[0].text.find(u"could not be deleted"), std::u16string::npos);
  EXPECT_TRUE(device_.Exists(paths_.quarantine_folder + u"\\%_Docs%@%b.txt.avq"));
}

}  // namespace
}  // namespace kolvar

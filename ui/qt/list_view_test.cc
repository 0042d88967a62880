#include "ui/qt/list_view.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/qt/dialog_frame.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::ui::qt {
namespace {

class ListDialog : public Dialog {
 public:
  ListDialog() : Dialog(u"Report") {
    list.SetColumns({{u"Infected File", 180}, {u"Virus Name", 200}, {u"", 0}});
  }
  void OnRowActivated(uint32_t, int row) override { activated = row; }
  ListModel list;
  int activated = -1;
};

class ListDialogView : public DialogView {
 public:
  ListDialogView(ListDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
    view = new ListView(dialog.list, 1018, *this);
    (new QVBoxLayout(this))->addWidget(view);
  }
  void Refresh() override {
    view->Sync();
    DialogView::Refresh();
  }
  ListView* view;
};

TEST(ListView, ShowsTheModelAndReportsTheUsersSelectionBack) {
  testing::TestApplication();
  DialogFrame frame(u"kvtest", ApplicationFonts());
  frame.RegisterView<ListDialog, ListDialogView>();
  ListDialog dialog;
  dialog.list.AddRow({{u"\\a.exe", u"Kolvar.Test.Exe", u"1"}, -1});
  dialog.list.AddRow({{u"\\b.txt", u"Kolvar.Test.Text", u"2"}, -1});
  dialog.list.Select(1);
  frame.ShowMain(dialog);
  auto* view = static_cast<ListDialogView*>(frame.top_view())->view;
  ASSERT_EQ(view->topLevelItemCount(), 2);
  EXPECT_EQ(view->topLevelItem(0)->text(1), "Kolvar.Test.Exe");
  EXPECT_EQ(view->headerItem()->text(0), "Infected File");
  EXPECT_TRUE(view->isColumnHidden(2));
  EXPECT_EQ(view->currentItem(), view->topLevelItem(1));

  view->setCurrentItem(view->topLevelItem(0));
  EXPECT_EQ(dialog.list.selected(), 0);
  emit view->itemActivated(view->topLevelItem(0), 0);
  EXPECT_EQ(dialog.activated, 0);

  dialog.list.SetCell(0, 1, u"EICAR-Test-File");
  dialog.list.AddRow({{u"\\c.com", u"", u"3"}, -1});
  frame.DialogChanged(dialog);
  ASSERT_EQ(view->topLevelItemCount(), 3);
  EXPECT_EQ(view->topLevelItem(0)->text(1), "EICAR-Test-File");
  dialog.list.Clear();
  frame.DialogChanged(dialog);
  EXPECT_EQ(view->topLevelItemCount(), 0);
  EXPECT_EQ(view->currentItem(), nullptr);
}

class WideListDialog : public Dialog {
 public:
  WideListDialog() : Dialog(u"Report") {
    list.SetColumns({{u"Infected File", 180}, {u"Virus Name", 200}, {u"", 0}, {u"Action", 150}});
  }
  ListModel list;
};

class FittedListView : public DialogView {
 public:
  FittedListView(WideListDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
    view = new ListView(dialog.list, 1018, *this);
    view->FitColumnsToWidth();
    (new QVBoxLayout(this))->addWidget(view);
  }
  void Refresh() override {
    view->Sync();
    DialogView::Refresh();
  }
  ListView* view;
};

// Columns wider together than the window share its width in their proportions: the last column
// stays on screen at the default size and after a resize, and a long path keeps its file name.
TEST(ListView, FittedColumnsShareTheViewsWidthInTheirProportions) {
  testing::TestApplication();
  DialogFrame frame(u"kvtest", ApplicationFonts());
  frame.RegisterView<WideListDialog, FittedListView>();
  WideListDialog dialog;
  dialog.list.AddRow({{u"\\Storage Card\\Games\\Levels\\Extra\\very-long-folder-name\\a.exe",
                       u"Kolvar.Test.Exe", u"1", u"Delete"},
                      -1});
  frame.ShowMain(dialog);
  auto* view = static_cast<FittedListView*>(frame.top_view())->view;
  for (const QSize size : {kDefaultFrameSize, QSize(600, 480), QSize(300, 400)}) {
    frame.resize(size);
    SCOPED_TRACE(size.width());
    const auto right_edge = [&] {
      return view->header()->sectionViewportPosition(3) + view->columnWidth(3);
    };
    testing::ProcessEventsUntil(
        [&] { return frame.width() == size.width() && right_edge() == view->viewport()->width(); });
    const int available = view->viewport()->width();
    EXPECT_GT(available, size.width() / 2);
    EXPECT_TRUE(view->isColumnHidden(2));
    EXPECT_EQ(right_edge(), available);
    EXPECT_GT(view->columnWidth(3), 0);
    // 180 : 200 : 150, within the rounding that the last column takes up.
    EXPECT_NEAR(view->columnWidth(0) * 200.0 / 180.0, view->columnWidth(1), 3.0);
    EXPECT_NEAR(view->columnWidth(0) * 150.0 / 180.0, view->columnWidth(3), 3.0);
  }
  EXPECT_EQ(view->textElideMode(), Qt::ElideMiddle);
  EXPECT_EQ(view->topLevelItem(0)->toolTip(0), view->topLevelItem(0)->text(0));
  EXPECT_TRUE(view->topLevelItem(0)->text(0).endsWith("a.exe"));
}

}  // namespace
}  // namespace kolvar::ui::qt

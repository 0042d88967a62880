// The applier's progress window on the offscreen platform: the worker's status and percent on the
// window while it runs, the picture, status and bar where the device puts them at any width, the
// animation redrawn on its timer, a box from the worker over the window, and the window gone once
// the worker has returned. With KOLVAR_VIEW_SHOTS naming a folder, the window is also saved there
// as a PNG, for people to look at.
#include "updater/views/applier_view.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTimer>
#include <latch>

#include "platform/message_box.h"
#include "ui/qt/fonts.h"
#include "ui/qt/message_box_view.h"
#include "ui/qt/testing/qt_test_application.h"
#include "updater/applier_texts.h"

namespace kolvar::updater {
namespace {

using ui::qt::testing::ProcessEventsUntil;
using ui::qt::testing::TestApplication;

void SaveShot(QWidget& window, const char* name) {
  const char* folder = getenv("KOLVAR_VIEW_SHOTS");
  if (folder == nullptr) return;
  window.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

class ApplierViewTest : public ::testing::Test {
 protected:
  static ui::qt::ApplicationFonts Fonts() {
    TestApplication();
    return ui::qt::LoadApplicationFonts(2);
  }

  ApplierViewTest() : frame_(u"kvtest", Fonts()) { RegisterApplierView(frame_); }

  // Shows `dialog` as the program does and waits for its view.
  void Show(ApplierDialog& dialog) {
    frame_.OnMainEnded([this] { main_ended_ = true; });
    frame_.ShowMain(dialog);
    ASSERT_TRUE(ProcessEventsUntil([&] { return frame_.isVisible(); }));
  }
  ApplierView& view() { return *static_cast<ApplierView*>(frame_.top_view()); }

  ui::qt::DialogFrame frame_;
  bool main_ended_ = false;
};

TEST_F(ApplierViewTest, TheWorkersStatusAndPercentShowWhereTheDeviceHasThem) {
  std::latch first_step(1);
  std::latch second_step(1);
  ApplierDialog dialog([&](ApplierProgress& progress, const UserNotice&) {
    progress.SetPosition(0);
    progress.SetStatus(kInitializing);
    first_step.wait();
    progress.SetPosition(25);
    progress.SetStatus(kUpdatingFiles);
    second_step.wait();
  });
  Show(dialog);
  EXPECT_EQ(frame_.windowTitle(), "Updating...");
  ASSERT_TRUE(ProcessEventsUntil([&] { return view().status()->text() == "Initializing..."; }));
  EXPECT_EQ(view().progress()->value(), 0);
  first_step.count_down();
  ASSERT_TRUE(ProcessEventsUntil([&] { return view().progress()->value() == 25; }));
  EXPECT_EQ(view().status()->text(), "Updating files...");
  EXPECT_EQ(view().progress()->minimum(), 0);
  EXPECT_EQ(view().progress()->maximum(), 100);
  SaveShot(frame_, "kvupdater-1-progress");

  for (const int width : {360, 240}) {
    SCOPED_TRACE(width);
    frame_.resize(width, frame_.height());
    ASSERT_TRUE(ProcessEventsUntil([&] { return view().width() == width; }));
    const int status_height = view().status()->height();
    EXPECT_EQ(view().picture()->geometry(), QRect(width / 2 - 86, 10, 172, 120));
    EXPECT_EQ(view().status()->geometry(), QRect(10, 135, width - 20, status_height));
    EXPECT_GE(status_height, 17);
    EXPECT_EQ(view().progress()->geometry(), QRect(10, 135 + status_height + 2, width - 20, 20));
  }
  EXPECT_EQ(view().status()->font().weight(), QFont::Normal);
  EXPECT_EQ(view().status()->palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(view().palette().color(QPalette::Window), QColor(Qt::white));

  // The animation turns on its timer and is drawn each time.
  const int first = view().picture()->picture();
  ASSERT_TRUE(ProcessEventsUntil([&] { return view().picture()->picture() != first; }));
  EXPECT_EQ(view().picture()->picture(), dialog.picture());
  const QImage before = view().picture()->grab().toImage();
  const int shown = view().picture()->picture();
  ASSERT_TRUE(ProcessEventsUntil([&] { return view().picture()->picture() != shown; }));
  EXPECT_NE(view().picture()->grab().toImage(), before);

  // Closing the window does not abandon the run.
  frame_.close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(dialog.ended());
  second_step.count_down();
  ASSERT_TRUE(ProcessEventsUntil([&] { return main_ended_; }, 60000));
  EXPECT_TRUE(dialog.ended());
}

TEST_F(ApplierViewTest, AWorkersBoxStandsOverTheWindowUntilItIsAnswered) {
  ApplierDialog dialog([&](ApplierProgress& progress, const UserNotice& notice) {
    progress.SetPosition(25);
    progress.SetStatus(kUpdatingFiles);
    notice(kFilesMissing, platform::kMbIconError);
  });
  // The box runs an event loop of its own until it is answered: it is looked at from there.
  bool box_seen = false;
  bool ended_under_box = true;
  QString title;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (box_seen || frame_.open_box() == nullptr) return;
    box_seen = true;
    title = frame_.windowTitle();
    ended_under_box = dialog.ended();
    SaveShot(frame_, "kvupdater-2-error");
    // A second applier's hand-over dismisses the box; the run then ends.
    frame_.CancelStackedDialogs();
  });
  look.start(20);
  Show(dialog);
  ASSERT_TRUE(ProcessEventsUntil([&] { return main_ended_; }, 60000));
  EXPECT_TRUE(box_seen);
  EXPECT_EQ(title, "Kolvar Updater");
  EXPECT_FALSE(ended_under_box) << "the worker waits for the answer";
}

}  // namespace
}  // namespace kolvar::updater

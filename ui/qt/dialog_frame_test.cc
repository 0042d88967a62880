#include "ui/qt/dialog_frame.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <vector>

#include "platform/message_box.h"
#include "ui/qt/message_box_view.h"
#include "ui/qt/soft_key_bar.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::ui::qt {
namespace {

using testing::ProcessEventsUntil;
using testing::TestApplication;
using testing::WhenIdle;

constexpr uint32_t kStart = 1003;
constexpr uint32_t kStop = 1006;
constexpr uint32_t kScanNow = 40130;
constexpr uint32_t kTool = 40185;
constexpr uint32_t kDone = 40029;

class MainDialog : public Dialog {
 public:
  MainDialog() : Dialog(u"Kolvar AV") {
    soft_keys().left = SoftKey::MenuKey(u"Options");
    soft_keys().left.menu.Add(kScanNow, u"Scan Now").AddSeparator().Add(40028, u"Exit");
    soft_keys().right = SoftKey::MenuKey(u"Tools");
    soft_keys().right.menu.Add(kTool, u"Processes Manager");
  }
  void OnInit() override { SetFocus(kStart); }
  void OnCommand(uint32_t id) override {
    commands.push_back(id);
    Dialog::OnCommand(id);
  }
  void OnBack() override { ++backs; }
  void OnMenuOpening(SoftKeySide side) override {
    if (side == SoftKeySide::kRight) soft_keys().SetGreyed(kTool, grey_tools);
  }
  int Ask(uint32_t style) { return MessageBox(u"Kolvar AV", u"\nSure?", style); }
  int Open(Dialog& child) { return RunModal(child); }
  std::vector<uint32_t> commands;
  int backs = 0;
  bool grey_tools = false;
};

class ChildDialog : public Dialog {
 public:
  ChildDialog() : Dialog(u"Report") { soft_keys().right = SoftKey::CommandKey(kDone, u"Done"); }
  void OnCommand(uint32_t id) override {
    if (id == kDone) End(kResultOk);
    Dialog::OnCommand(id);
  }
};

class MainView : public DialogView {
 public:
  MainView(MainDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
    auto* layout = new QVBoxLayout(this);
    auto* start = new QPushButton("S", this);
    auto* stop = new QPushButton("T", this);
    start->setObjectName("Start");
    stop->setObjectName("Stop");
    layout->addWidget(start);
    layout->addWidget(stop);
    BindButton(start, kStart);
    BindButton(stop, kStop);
  }
};

class ChildView : public DialogView {
 public:
  ChildView(ChildDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("report", this));
  }
};

class DialogFrameTest : public ::testing::Test {
 protected:
  DialogFrameTest() : frame_((TestApplication(), u"kvtest"), ApplicationFonts()) {
    frame_.RegisterView<MainDialog, MainView>();
    frame_.RegisterView<ChildDialog, ChildView>();
    frame_.ShowMain(main_);
    frame_.activateWindow();
    ProcessEventsUntil([&] { return frame_.isVisible(); });
  }

  void Key(int key) {
    QTest::keyClick(QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                           : static_cast<QWidget*>(&frame_),
                    static_cast<Qt::Key>(key));
  }

  MainDialog main_;
  DialogFrame frame_;
};

TEST_F(DialogFrameTest, KeysReachBackTheActionKeyAndTheFocusedControl) {
  EXPECT_EQ(frame_.windowTitle(), "Kolvar AV");
  Key(Qt::Key_Escape);
  EXPECT_EQ(main_.backs, 1);
  Key(Qt::Key_Return);
  frame_.findChild<QPushButton*>("Stop")->setFocus();
  ProcessEventsUntil([&] { return main_.focus() == kStop; });
  Key(Qt::Key_Enter);
  EXPECT_EQ(main_.commands, (std::vector<uint32_t>{kCommandOk, kStart, kCommandOk, kStop}));
}

TEST_F(DialogFrameTest, SoftKeysOpenTheirMenusWithGreyedItemsAndSendTheChosenId) {
  main_.grey_tools = true;
  std::vector<QString> shown;
  bool tool_enabled = true;
  WhenIdle([&] {
    QMenu* menu = frame_.soft_key_bar()->open_menu();
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
      shown.push_back(action->isSeparator() ? "-" : action->text());
      if (action->data().toUInt() == kTool) tool_enabled = action->isEnabled();
    }
    menu->close();
  });
  Key(Qt::Key_F2);
  EXPECT_EQ(shown, (std::vector<QString>{"Processes Manager"}));
  EXPECT_FALSE(tool_enabled);

  shown.clear();
  WhenIdle([&] {
    QMenu* menu = frame_.soft_key_bar()->open_menu();
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions())
      shown.push_back(action->isSeparator() ? "-" : action->text());
    menu->setActiveAction(menu->actions().front());
    QTest::keyClick(menu, Qt::Key_Return);
  });
  Key(Qt::Key_F1);
  EXPECT_EQ(shown, (std::vector<QString>{"Scan Now", "-", "Exit"}));
  EXPECT_EQ(main_.commands, (std::vector<uint32_t>{kScanNow}));
  EXPECT_EQ(frame_.soft_key_bar()->button(SoftKeySide::kLeft)->text(), "Options");
  EXPECT_EQ(frame_.soft_key_bar()->button(SoftKeySide::kRight)->text(), "Tools");
}

TEST_F(DialogFrameTest, ModalDialogReplacesTheViewUntilItEnds) {
  ChildDialog child;
  QString title_meanwhile;
  QString right_key_meanwhile;
  WhenIdle([&] {
    title_meanwhile = frame_.windowTitle();
    right_key_meanwhile = frame_.soft_key_bar()->button(SoftKeySide::kRight)->text();
    EXPECT_EQ(frame_.top_dialog(), &child);
    Key(Qt::Key_F2);  // "Done"
  });
  EXPECT_EQ(main_.Open(child), kResultOk);
  EXPECT_EQ(title_meanwhile, "Report");
  EXPECT_EQ(right_key_meanwhile, "Done");
  EXPECT_EQ(frame_.top_dialog(), &main_);
  EXPECT_EQ(frame_.windowTitle(), "Kolvar AV");
  EXPECT_EQ(frame_.depth(), 1u);
}

TEST_F(DialogFrameTest, MessageBoxAnswersEnterWithItsFirstButtonAndEscapeWithCancel) {
  QString text_shown;
  WhenIdle([&] {
    ASSERT_NE(frame_.open_box(), nullptr);
    text_shown = frame_.open_box()->findChild<QLabel*>("MessageBoxText")->text();
    Key(Qt::Key_Escape);
  });
  EXPECT_EQ(main_.Ask(platform::kMbOkCancel | platform::kMbIconQuestion), platform::kIdCancel);
  EXPECT_EQ(text_shown, "Sure?");
  WhenIdle([&] { Key(Qt::Key_Return); });
  EXPECT_EQ(main_.Ask(platform::kMbYesNo), platform::kIdYes);
  // Escape does not answer a yes-or-no question; No does.
  WhenIdle([&] {
    Key(Qt::Key_Escape);
    ASSERT_NE(frame_.open_box(), nullptr);
    frame_.open_box()->findChild<QPushButton*>("MessageBoxButton7")->click();
  });
  EXPECT_EQ(main_.Ask(platform::kMbYesNo), platform::kIdNo);
  EXPECT_EQ(frame_.open_box(), nullptr);
}

TEST_F(DialogFrameTest, CancelStackedDialogsEndsEveryDialogOverTheMainOneTopFirst) {
  ChildDialog child;
  int box_answer = 0;
  WhenIdle([&] {
    WhenIdle([&] {
      ASSERT_EQ(frame_.depth(), 3u);
      frame_.CancelStackedDialogs();
    });
    box_answer = main_.Ask(platform::kMbOkCancel);
  });
  EXPECT_EQ(main_.Open(child), kResultCancel);
  EXPECT_EQ(box_answer, platform::kIdCancel);
  EXPECT_EQ(frame_.depth(), 1u);
  EXPECT_FALSE(main_.ended());
  EXPECT_EQ(frame_.windowTitle(), "Kolvar AV");
}

}  // namespace
}  // namespace kolvar::ui::qt

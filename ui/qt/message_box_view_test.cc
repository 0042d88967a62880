#include "ui/qt/message_box_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <ostream>
#include <string>

#include "platform/message_box.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::ui::qt {
namespace {

using testing::ProcessEventsUntil;
using testing::TestApplication;
using testing::WhenIdle;

class BoxDialog : public Dialog {
 public:
  BoxDialog() : Dialog(u"Report") {}
  int Tell(const std::u16string& text) {
    return MessageBox(u"Virus Info", text, platform::kMbOk | platform::kMbIconInformation);
  }
};

class BoxDialogView : public DialogView {
 public:
  BoxDialogView(BoxDialog& dialog, DialogFrame& frame) : DialogView(dialog, frame) {
    (new QVBoxLayout(this))->addWidget(new QLabel("report", this));
  }
};

// A description of `sentences` sentences, the last one marked so that its end can be looked for.
std::u16string Description(int sentences) {
  std::u16string text;
  for (int i = 0; i < sentences; ++i) {
    text +=
        u"This virus spreads through removable cards and rewrites the programs it finds there "
        u"so that people who copy them pass it on. ";
  }
  return text + u"The end.";
}

// A path of 14 folders with no space in it, and one name of 320 characters with no separator.
std::u16string LongPath() {
  std::u16string path = u"\\Storage_Card";
  for (int i = 0; i < 14; ++i) path += u"\\Folder_" + std::u16string(1, u'A' + i) + u"_Backups";
  return u"Cannot open " + path + u"\\letter.txt";
}
std::u16string LongName() {
  std::u16string name;
  for (int i = 0; i < 20; ++i) name += u"0123456789abcdef";
  return u"The file " + name + u".txt is infected.";
}

// What a user can see of the box's text and its button, measured while the box is open.
struct Shown {
  QString text;                            // what the label holds, less its break opportunities
  bool no_line_wider_than_area = false;    // nothing runs out of the box's right side
  bool text_whole_at_some_scroll = false;  // every line of the text fits or scrolls into view
  bool needs_scrolling = false;
  bool button_inside_window = false;
  bool panel_inside_window = false;
};

Shown Measure(MessageBoxView& box) {
  Shown shown;
  auto* text = box.findChild<QLabel*>("MessageBoxText");
  auto* area = box.findChild<QScrollArea*>("MessageBoxTextArea");
  auto* button = box.findChild<QPushButton*>(QString("MessageBoxButton%1").arg(platform::kIdOk));
  auto* panel = box.findChild<QWidget*>("MessageBoxPanel");
  if (text == nullptr || area == nullptr || button == nullptr || panel == nullptr) return shown;
  // The label must be given the height its wrapped text needs at the width it has (once the
  // layout requests that a resize posts have been handled).
  const auto tall_enough = [&] { return text->height() >= text->heightForWidth(text->width()); };
  const bool label_tall_enough = ProcessEventsUntil(tall_enough);
  const int viewport = area->viewport()->height();
  QScrollBar* bar = area->verticalScrollBar();
  shown.text = text->text().remove(QChar(0x200B));
  // The area widens the label to its widest unbreakable word, which then runs out of sight.
  shown.no_line_wider_than_area = text->minimumSizeHint().width() <= area->viewport()->width();
  shown.needs_scrolling = bar->maximum() > 0;
  // Scrolled to the end, the text's last line lies inside the visible part of the area.
  bar->setValue(bar->maximum());
  const int bottom_in_viewport = text->mapTo(area->viewport(), QPoint(0, text->height())).y();
  shown.text_whole_at_some_scroll =
      label_tall_enough && bottom_in_viewport <= viewport && viewport > 0;
  const QRect window = box.rect();
  shown.button_inside_window =
      button->isVisible() &&
      window.contains(QRect(button->mapTo(&box, QPoint(0, 0)), button->size()));
  shown.panel_inside_window = window.contains(panel->geometry());
  return shown;
}

struct BoxText {
  const char* name;
  std::u16string text;
  bool scrolls;
};

void PrintTo(const BoxText& box_text, std::ostream* out) { *out << box_text.name; }

class MessageBoxViewTest : public ::testing::TestWithParam<BoxText> {};

// A text of a few lines is shown whole without scrolling; one far taller than the window scrolls,
// with the button still on screen; a path or a name without spaces, wider than the box, wraps
// inside it. Either way the whole text can be read.
TEST_P(MessageBoxViewTest, LongTextIsShownWholeOrScrollsWithTheButtonsInView) {
  const BoxText& box_text = GetParam();
  TestApplication();
  DialogFrame frame(u"kvtest", ApplicationFonts());
  frame.RegisterView<BoxDialog, BoxDialogView>();
  BoxDialog dialog;
  frame.ShowMain(dialog);
  ProcessEventsUntil([&] { return frame.isVisible(); });
  Shown shown;
  bool measured = false;
  WhenIdle([&] {
    MessageBoxView* box = frame.open_box();
    ASSERT_NE(box, nullptr);
    ProcessEventsUntil([&] { return box->isVisible(); });
    shown = Measure(*box);
    measured = true;
    box->Answer(platform::kIdOk);
  });
  EXPECT_EQ(dialog.Tell(box_text.text), platform::kIdOk);
  ASSERT_TRUE(measured);
  EXPECT_EQ(shown.text, ToQString(box_text.text));
  EXPECT_TRUE(shown.no_line_wider_than_area);
  EXPECT_TRUE(shown.text_whole_at_some_scroll);
  EXPECT_EQ(shown.needs_scrolling, box_text.scrolls);
  EXPECT_TRUE(shown.button_inside_window);
  EXPECT_TRUE(shown.panel_inside_window);
}

INSTANTIATE_TEST_SUITE_P(Texts, MessageBoxViewTest,
                         ::testing::Values(BoxText{"Sentences1", Description(1), false},
                                           BoxText{"Sentences3", Description(3), false},
                                           BoxText{"Sentences40", Description(40), true},
                                           BoxText{"PathWithoutSpaces", LongPath(), false},
                                           BoxText{"NameWithoutSpaces", LongName(), false}),
                         [](const ::testing::TestParamInfo<BoxText>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kolvar::ui::qt

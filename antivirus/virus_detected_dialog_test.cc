// The virus-detected dialog: an action closes it at once, "Close" wants an action first, the
// Back key leaves without one, the all-files actions are grey, the warning blinks, and the texts
// come from the virus's detail record.
#include "antivirus/virus_detected_dialog.h"

#include <gtest/gtest.h>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "platform/message_box.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

VirusDetailRecord Detail() {
  VirusDetailRecord record;
  MakeVirusDetailRecord(66, u"Test.Virus", u"It copies itself.", u"Move it away.", &record);
  return record;
}

struct ActionCase {
  uint32_t command;
  uint8_t action;
};

void PrintTo(const ActionCase& choice, std::ostream* out) {
  *out << "command " << choice.command << " action " << int{choice.action};
}

class VirusDetectedActionTest : public ::testing::TestWithParam<ActionCase> {};

TEST_P(VirusDetectedActionTest, ChoosingAnActionClosesAtOnce) {
  ui::testing::RecordingHost host;
  VirusDetectedDialog dialog(u"\\Docs\\x.exe", Detail());
  host.Show(dialog);
  dialog.OnCommand(GetParam().command);
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(dialog.result(), ui::kResultOk);
  EXPECT_EQ(dialog.action(), GetParam().action);
  EXPECT_EQ(host.TimerPeriod(dialog, kBlinkTimer), 0u) << "the blinking stops";
}

INSTANTIATE_TEST_SUITE_P(Actions, VirusDetectedActionTest,
                         ::testing::Values(ActionCase{commands::kDeleteInfectedFile, kActionDelete},
                                           ActionCase{commands::kMoveToRepository, kActionMove},
                                           ActionCase{commands::kIgnoreThreat, kActionIgnoreAll}));

TEST(VirusDetectedDialogTest, CloseWantsAnActionAndBackLeavesWithoutOne) {
  ui::testing::RecordingHost host;
  VirusDetectedDialog dialog(u"\\Docs\\x.exe", Detail());
  host.Show(dialog);
  EXPECT_EQ(dialog.title(), u"Virus Detected");
  EXPECT_EQ(dialog.virus_name(), u"Test.Virus");
  EXPECT_EQ(dialog.recommendation(), u"Move it away.");
  dialog.OnCommand(commands::kClose);
  EXPECT_FALSE(dialog.ended());
  ASSERT_EQ(host.boxes().size(), 1u);
  EXPECT_EQ(host.boxes()[0].caption, u"Kolvar AV");
  EXPECT_EQ(host.boxes()[0].text, LoadString(string_ids::kSelectActionForFile));
  EXPECT_EQ(host.boxes()[0].style, platform::kMbOk | platform::kMbIconError);
  dialog.OnCommand(commands::kMoveAll);  // grey here: nothing happens
  EXPECT_FALSE(dialog.ended());
  dialog.OnBack();
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(dialog.result(), ui::kResultBack);
  EXPECT_EQ(dialog.action(), kActionNone);
}

TEST(VirusDetectedDialogTest, VirusTextsMenuGreyingAndBlinking) {
  ui::testing::RecordingHost host;
  VirusDetectedDialog dialog(u"\\Docs\\x.exe", Detail());
  host.Show(dialog);
  dialog.OnCommand(commands::kVirusInfo);
  dialog.OnCommand(commands::kRecommendation);
  ASSERT_EQ(host.boxes().size(), 2u);
  EXPECT_EQ(host.boxes()[0].caption, u"Test.Virus");
  EXPECT_EQ(host.boxes()[0].text, u"It copies itself.");
  EXPECT_EQ(host.boxes()[1].text, u"Recommendation:\nMove it away.");
  EXPECT_EQ(host.boxes()[1].style, platform::kMbOk | platform::kMbIconInformation);

  dialog.OnMenuOpening(ui::SoftKeySide::kLeft);
  for (uint32_t id : {commands::kMoveAll, commands::kDeleteAll, commands::kIgnoreAll}) {
    EXPECT_TRUE(dialog.soft_keys().left.menu.IsGreyed(id)) << id;
  }
  EXPECT_FALSE(dialog.soft_keys().left.menu.IsGreyed(commands::kMoveToRepository));

  EXPECT_EQ(host.TimerPeriod(dialog, kBlinkTimer), kBlinkPeriodMs);
  EXPECT_TRUE(dialog.warning_visible());
  host.FireTimer(dialog, kBlinkTimer);
  EXPECT_FALSE(dialog.warning_visible());
  host.FireTimer(dialog, kBlinkTimer);
  EXPECT_TRUE(dialog.warning_visible());
}

TEST(VirusDetectedDialogTest, AnUnknownVirusShowsEmptyTexts) {
  ui::testing::RecordingHost host;
  VirusDetailRecord none;
  LookUpVirusDetail(u"\\nowhere\\KVVirusDBDet.dat", 5, &none);
  VirusDetectedDialog dialog(u"\\a", none);
  host.Show(dialog);
  EXPECT_EQ(dialog.virus_name(), u"");
  dialog.OnCommand(commands::kVirusInfo);
  ASSERT_EQ(host.boxes().size(), 1u);
  EXPECT_EQ(host.boxes()[0].text, u"");
}

}  // namespace
}  // namespace kolvar

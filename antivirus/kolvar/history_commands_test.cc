// `kolvar history` and `kolvar viruses` over a device image: the history's lines as the dialog
// shows them, every detail record in file order (also two of one id), and a damaged detail file
// printed as far as it is whole and told.
#include "antivirus/kolvar/history_commands.h"

#include <gtest/gtest.h>

#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class HistoryCommandsTest : public ::testing::Test {
 protected:
  HistoryCommandsTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    device_.MakeFolder(paths_.quarantine_folder);
  }
  UserNotice Notice() {
    return [this](std::u16string_view text, uint32_t) { told_.emplace_back(text); };
  }
  testing::TestDevice device_;
  InstallPaths paths_;
  std::vector<std::u16string> told_;
};

TEST_F(HistoryCommandsTest, HistoryPrintsEveryLine) {
  EXPECT_EQ(HistoryCommand(paths_, Notice()).output, "");
  device_.WriteFile(paths_.history, "3.0.1\r\n3.0.2");
  const CommandResult result = HistoryCommand(paths_, Notice());
  EXPECT_EQ(result.exit_status, kExitClean);
  EXPECT_EQ(result.output, "3.0.1\n3.0.2\n");
  EXPECT_TRUE(told_.empty());
}

TEST_F(HistoryCommandsTest, VirusesPrintsEveryRecordAndTellsADamagedFile) {
  VirusDetailRecord records[3];
  MakeVirusDetailRecord(1001, u"Kolvar.Test.Exe", u"A test program.", u"Delete it.", &records[0]);
  MakeVirusDetailRecord(1003, u"Kolvar.Test.Text", u"A \"test\" text.", u"Ignore it.", &records[1]);
  MakeVirusDetailRecord(1001, u"Kolvar.Test.Exe.B", u"Again.", u"Move it.", &records[2]);
  const std::string whole(reinterpret_cast<const char*>(records), sizeof records);
  device_.WriteFile(paths_.virus_details, whole);

  const CommandResult text = VirusesCommand(paths_, false, Notice());
  EXPECT_EQ(text.exit_status, kExitClean);
  EXPECT_EQ(text.output.find("1001  Kolvar.Test.Exe\n    A test program.\n    Recommendation: "
                             "Delete it.\n1003  Kolvar.Test.Text\n"),
            0u)
      << text.output;
  EXPECT_NE(text.output.find("1001  Kolvar.Test.Exe.B\n"), std::string::npos);
  const CommandResult json = VirusesCommand(paths_, true, Notice());
  for (const char* part : {"\"id\": 1003,", "\"name\": \"Kolvar.Test.Text\",",
                           "\"description\": \"A \\\"test\\\" text.\",",
                           "\"recommendation\": \"Ignore it.\"", "\"problem\": null"}) {
    EXPECT_NE(json.output.find(part), std::string::npos) << part << "\n" << json.output;
  }
  EXPECT_TRUE(told_.empty());

  device_.WriteFile(paths_.virus_details, whole.substr(0, 2 * sizeof(VirusDetailRecord) + 10));
  const CommandResult cut = VirusesCommand(paths_, false, Notice());
  EXPECT_EQ(cut.exit_status, kExitError);
  EXPECT_NE(cut.output.find("Kolvar.Test.Text"), std::string::npos);
  EXPECT_EQ(cut.output.find("Kolvar.Test.Exe.B"), std::string::npos);
  ASSERT_EQ(told_.size(), 1u);
  EXPECT_NE(told_[0].find(u"its last 10 bytes are no whole record"), std::u16string::npos);
}

}  // namespace
}  // namespace kolvar

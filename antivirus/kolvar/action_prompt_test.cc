// The ask policy's prompts with scripted answers: one answer per file, the "All" forms, details on
// request, answers that are no choice, and leaving the prompts, which acts on nothing.
#include "antivirus/kolvar/action_prompt.h"

#include <gtest/gtest.h>

#include <deque>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

struct Script {
  std::deque<std::string> answers;
  std::string shown;

  PromptIo io() {
    return {[this](const std::string& text) { shown += text; },
            [this](std::string* line) {
              if (answers.empty()) return platform::ReadLineResult::kEnd;
              *line = answers.front();
              answers.pop_front();
              return platform::ReadLineResult::kLine;
            }};
  }
};

std::vector<ReportEntry> Entries(size_t count) {
  std::vector<ReportEntry> entries(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i].folder = u"\\Docs";
    entries[i].file_name = u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".exe";
    entries[i].virus_name = u"Alpha";
    entries[i].description = u"Alpha writes itself into programs.";
    entries[i].recommendation = u"Delete the file.";
  }
  return entries;
}

std::vector<uint8_t> Actions(const std::vector<ReportEntry>& entries) {
  std::vector<uint8_t> actions;
  for (const ReportEntry& entry : entries) actions.push_back(entry.action);
  return actions;
}

TEST(ActionPrompt, EachAnswerSetsItsFileAndAllFormsSetTheRest) {
  const struct {
    std::deque<std::string> answers;
    std::vector<uint8_t> actions;
  } cases[] = {
      {{"d", "m", "i", "move"}, {kActionDelete, kActionMove, kActionIgnoreAll, kActionMove}},
      {{"m", "D"}, {kActionMove, kActionDelete, kActionDelete, kActionDelete}},
      {{" I "}, {kActionIgnoreAll, kActionIgnoreAll, kActionIgnoreAll, kActionIgnoreAll}},
      {{"i", "Move-All"}, {kActionIgnoreAll, kActionMove, kActionMove, kActionMove}},
  };
  for (const auto& c : cases) {
    Script script{c.answers, {}};
    std::vector<ReportEntry> entries = Entries(4);
    EXPECT_TRUE(AskReportActions(entries, script.io()));
    EXPECT_EQ(Actions(entries), c.actions) << script.shown;
  }
}

TEST(ActionPrompt, DetailsAndWrongAnswersAskAgain) {
  testing::TestDevice device;  // paths are shown as device paths
  Script script{{"v", "r", "x", "", "d"}, {}};
  std::vector<ReportEntry> entries = Entries(1);
  EXPECT_TRUE(AskReportActions(entries, script.io()));
  EXPECT_EQ(entries[0].action, kActionDelete);
  EXPECT_NE(script.shown.find("Infected file 1 of 1: \\Docs\\f0.exe"), std::string::npos);
  EXPECT_NE(script.shown.find("[M] Move All"), std::string::npos);
  EXPECT_NE(script.shown.find("Alpha: Alpha writes itself into programs."), std::string::npos);
  EXPECT_NE(script.shown.find("Alpha: Recommendation:\nDelete the file."), std::string::npos);
  size_t asked = 0;
  for (size_t at = 0; (at = script.shown.find("Action? ", at)) != std::string::npos; ++at) ++asked;
  EXPECT_EQ(asked, 5u);
}

TEST(ActionPrompt, LeavingClearsEveryChoice) {
  Script script{{"d", "m"}, {}};
  std::vector<ReportEntry> entries = Entries(3);
  EXPECT_FALSE(AskReportActions(entries, script.io()));
  EXPECT_EQ(Actions(entries), (std::vector<uint8_t>{kActionNone, kActionNone, kActionNone}));
}

TEST(ActionPrompt, DetectionsOfferNoAllForms) {
  testing::TestDevice device;
  const struct {
    std::deque<std::string> answers;
    uint8_t action;
  } cases[] = {
      {{"d"}, kActionDelete},         {{"m"}, kActionMove}, {{"i"}, kActionIgnoreAll},
      {{"M", "i"}, kActionIgnoreAll}, {{}, kActionNone},
  };
  for (const auto& c : cases) {
    Script script{c.answers, {}};
    EXPECT_EQ(AskDetectionAction(Entries(1)[0], script.io()), c.action);
    EXPECT_NE(script.shown.find("Virus Detected: \\Docs\\f0.exe"), std::string::npos);
    EXPECT_EQ(script.shown.find("Move All"), std::string::npos);
  }
}

}  // namespace
}  // namespace kolvar

// Message boxes as tests see them: the JSON log line, scripted answers in turn (shared by several
// real processes through the log's companion counter), default answers, and the presenter.
#include "platform/message_box.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/test_child.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KOLVAR_MSGBOX_LOG", log_.c_str(), 1);
    unsetenv("KOLVAR_MSGBOX_ANSWERS");
  }
  void TearDown() override {
    unsetenv("KOLVAR_MSGBOX_LOG");
    unsetenv("KOLVAR_MSGBOX_ANSWERS");
    SetMessageBoxPresenter(nullptr);
  }

  testing::TestDevice device_;
  const std::string log_ = device_.root() + "/Temp/boxes.log";
};

TEST_F(MessageBoxTest, EveryBoxIsOneEscapedJsonLine) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(
      MessageBox(u"Kolvar AV", u"Say \"hi\"",
                 u"\nC:\\path\ttab\x01 caf\u00E9 \U0001F600 \xD800 end", kMbOk | kMbIconError),
      kIdOk);
  EXPECT_EQ(MessageBox(u"Kolvar Updater", u"", u"second", kMbYesNo), kIdYes);
  const std::string reported = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(reported.find("Kolvar Updater: : second"), std::string::npos);

  const std::vector<std::string> lines = Lines(log_);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      lines[0],
      "{\"program\":\"Kolvar AV\",\"caption\":\"Say \\\"hi\\\"\",\"text\":\"\\nC:\\\\path\\ttab"
      "\\u0001 caf\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBD end\",\"style\":16}");
  EXPECT_EQ(lines[1],
            "{\"program\":\"Kolvar Updater\",\"caption\":\"\",\"text\":\"second\",\"style\":4}");
}

TEST_F(MessageBoxTest, ScriptedAnswersComeInTurnThenTheDefault) {
  setenv("KOLVAR_MSGBOX_ANSWERS", "OK, cancel ,YES,No,7,bogus,ignore", 1);
  const int expected[] = {kIdOk, kIdCancel, kIdYes, kIdNo, kIdNo, kIdYes, kIdIgnore, kIdYes};
  ::testing::internal::CaptureStderr();
  for (int answer : expected) {
    EXPECT_EQ(MessageBox(u"test", u"Question", u"?", kMbYesNoCancel), answer);
  }
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(log_).size(), 8u);
  std::ifstream counter(log_ + ".answered");
  size_t taken = 0;
  counter >> taken;
  EXPECT_EQ(taken, 8u);
}

TEST_F(MessageBoxTest, WithoutALogEachProcessCountsItsOwnAnswers) {
  unsetenv("KOLVAR_MSGBOX_LOG");
  setenv("KOLVAR_MSGBOX_ANSWERS", "NO,RETRY", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox(u"test", u"c", u"t", kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox(u"test", u"c", u"t", kMbRetryCancel), kIdRetry);
  EXPECT_EQ(MessageBox(u"test", u"c", u"t", kMbRetryCancel), kIdRetry);  // the default now
  ::testing::internal::GetCapturedStderr();
}

TEST_F(MessageBoxTest, UnansweredBoxesTakeTheFirstButtonOfTheirStyle) {
  const struct {
    uint32_t style;
    int answer;
  } cases[] = {
      {kMbOk, kIdOk},
      {kMbOkCancel | kMbIconWarning, kIdOk},
      {kMbAbortRetryIgnore, kIdAbort},
      {kMbYesNoCancel | kMbIconQuestion, kIdYes},
      {kMbYesNo, kIdYes},
      {kMbRetryCancel | kMbIconInformation, kIdRetry},
  };
  ::testing::internal::CaptureStderr();
  for (const auto& c : cases) {
    EXPECT_EQ(DefaultAnswer(c.style), c.answer);
    EXPECT_EQ(MessageBox(u"test", u"c", u"t", c.style), c.answer);
  }
  ::testing::internal::GetCapturedStderr();
}

TEST_F(MessageBoxTest, PresenterAnswersUnlessAScriptDoes) {
  std::u16string shown;
  SetMessageBoxPresenter([&](std::u16string_view caption, std::u16string_view text, uint32_t) {
    shown = std::u16string(caption) + u"|" + std::u16string(text);
    return kIdNo;
  });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox(u"Kolvar AV", u"Cap", u"Text", kMbYesNo), kIdNo);
  EXPECT_EQ(shown, u"Cap|Text");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // the presenter showed it

  shown.clear();
  setenv("KOLVAR_MSGBOX_ANSWERS", "CANCEL", 1);
  EXPECT_EQ(MessageBox(u"Kolvar AV", u"Cap", u"Text", kMbOkCancel), kIdCancel);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(Lines(log_).size(), 2u);
}

// Two programs answering boxes at the same time from one script: every answer is taken exactly
// once, and the shared log holds every box as a whole line.
TEST_F(MessageBoxTest, TwoProcessesShareTheScriptWithoutTakingAnAnswerTwice) {
  constexpr int kPerChild = 15;
  std::string answers;
  std::set<int> expected;
  for (int i = 0; i < 2 * kPerChild; ++i) {
    answers += (i ? "," : "") + std::to_string(101 + i);
    expected.insert(101 + i);
  }
  setenv("KOLVAR_MSGBOX_ANSWERS", answers.c_str(), 1);
  const std::u16string program = test_child::Install(device_);
  const std::string out[2] = {device_.root() + "/Temp/one.txt", device_.root() + "/Temp/two.txt"};
  Process children[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(test_child::Start(program, "msgbox " + std::to_string(kPerChild) + " " + out[i],
                                  &children[i]));
  }
  for (Process& child : children) {
    ASSERT_EQ(child.Wait(120000), WaitResult::kSignaled);
    uint32_t code = 1;
    ASSERT_TRUE(child.GetExitCode(&code));
    EXPECT_EQ(code, 0u);
  }
  std::multiset<int> taken;
  for (const std::string& file : out) {
    const std::vector<std::string> lines = Lines(file);
    EXPECT_EQ(lines.size(), static_cast<size_t>(kPerChild));
    for (const std::string& line : lines) taken.insert(std::stoi(line));
  }
  EXPECT_EQ(taken.size(), expected.size());
  EXPECT_EQ(std::set<int>(taken.begin(), taken.end()), expected);

  const std::vector<std::string> lines = Lines(log_);
  ASSERT_EQ(lines.size(), static_cast<size_t>(2 * kPerChild));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("{\"program\":\"child\",\"caption\":\"Caption\",\"text\":\"box ", 0), 0u);
    EXPECT_TRUE(line.ends_with("\",\"style\":1}")) << line;
  }
  // The script is used up for this process too.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox(u"test", u"c", u"t", kMbYesNo), kIdYes);
  ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace kolvar::platform

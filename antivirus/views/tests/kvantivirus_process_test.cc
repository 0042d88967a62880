// KVAntivirus as a real process on the offscreen platform, in a device image of its own: every
// start-up failure is one box captioned "Kolvar AV" with the error icon (in the message-box log)
// and the program still ends with 0; a second start while one copy runs hands over to it and ends
// with 0, and the first copy stays the only one.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "antivirus/antivirus_program.h"
#include "antivirus/string_table.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"
#include "ui/running_copy.h"

namespace kolvar {
namespace {

constexpr uint32_t kEndWaitMs = 60000;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The text as the box log writes it inside a JSON string.
std::string LoggedText(std::u16string_view text) {
  std::string logged;
  for (char c : platform::Utf16ToUtf8(text)) {
    if (c == '\n') {
      logged += "\\n";
    } else {
      logged.push_back(c);
    }
  }
  return logged;
}

bool WaitUntil(const std::function<bool()>& condition, int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class KVAntivirusProcessTest : public ::testing::Test {
 protected:
  KVAntivirusProcessTest() {
    folder_ = device_.InstallPrograms(
        {"KVAntivirus", "KVBkgScan", "kvipcsrv", "KVVirusDB.dat", "KVVirusDBDet.dat"});
    box_log_ = device_.root() + "/boxes.log";
    setenv("KOLVAR_MSGBOX_LOG", box_log_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  ~KVAntivirusProcessTest() override {
    unsetenv("KOLVAR_MSGBOX_LOG");
    unsetenv("KOLVAR_MSGBOX_ANSWERS");
  }

  bool Start(std::u16string_view command_line, platform::Process* process) {
    platform::StartOptions options;
    options.output_file = u"\\program_output.txt";
    return platform::Process::Start(folder_ + u"\\KVAntivirus", command_line, options, process);
  }

  // Runs the program to its end; its exit code (-1 when it did not end in time).
  int Run(std::u16string_view command_line) {
    platform::Process process;
    if (!Start(command_line, &process)) return -1;
    if (process.Wait(kEndWaitMs) != platform::WaitResult::kSignaled) {
      process.Terminate();
      return -1;
    }
    uint32_t code = 0;
    process.GetExitCode(&code);
    return static_cast<int>(code);
  }

  std::string Output() const { return device_.ReadFile(u"\\program_output.txt"); }

  testing::TestDevice device_;
  std::u16string folder_;
  std::string box_log_;
};

struct FailureCase {
  const char* name;
  uint32_t message;
  std::function<void(testing::TestDevice&, const std::u16string& folder)> arrange;
};

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class StartUpFailureTest : public KVAntivirusProcessTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartUpFailureTest, OneBoxCaptionedKolvarAVAndExitZero) {
  GetParam().arrange(device_, folder_);
  setenv("KOLVAR_MSGBOX_ANSWERS", "OK,OK,OK", 1);
  EXPECT_EQ(Run(u""), 0) << Output();
  const std::string boxes = ReadAll(box_log_);
  const std::string expected =
      "{\"program\":\"KVAntivirus\",\"caption\":\"Kolvar AV\",\"text\":\"" +
      LoggedText(LoadString(GetParam().message)) + "\",\"style\":16}\n";
  EXPECT_EQ(boxes, expected);
  const std::string output = Output();
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer"}) {
    EXPECT_EQ(output.find(report), std::string::npos) << output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StartUpFailureTest,
    ::testing::Values(FailureCase{"NoVirusDatabase", string_ids::kVirusDatabaseNotFound,
                                  [](testing::TestDevice& device, const std::u16string& folder) {
                                    std::remove(device.Host(folder + u"\\KVVirusDB.dat").c_str());
                                  }},
                      FailureCase{"NoVirusDetailDatabase", string_ids::kVirusDetailDatabaseNotFound,
                                  [](testing::TestDevice& device, const std::u16string& folder) {
                                    std::remove(
                                        device.Host(folder + u"\\KVVirusDBDet.dat").c_str());
                                  }},
                      FailureCase{"QuarantineCannotBeCreated", string_ids::kCannotCreateQuarantine,
                                  [](testing::TestDevice& device, const std::u16string& folder) {
                                    // A file in the folder's place.
                                    device.WriteFile(folder + u"\\Quarantine", "not a folder");
                                  }},
                      FailureCase{"ScannerCannotStart", string_ids::kIpcFailed,
                                  [](testing::TestDevice& device, const std::u16string& folder) {
                                    std::remove(device.Host(folder + u"\\KVBkgScan").c_str());
                                  }}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(KVAntivirusProcessTest, ASecondStartHandsOverToTheRunningCopyAndEnds) {
  platform::Process first;
  ASSERT_TRUE(Start(u"", &first));
  // The first copy listens for a second start once its window is up.
  ASSERT_TRUE(WaitUntil([] { return ui::ActivateRunningCopy(kMainWindowClass); }, kEndWaitMs))
      << Output();
  EXPECT_EQ(Run(u"DOSCAN"), 0);
  EXPECT_TRUE(first.IsAlive()) << Output();
  // Copies of this device only: other devices may run theirs meanwhile.
  int copies = 0;
  for (pid_t pid : platform::FindProcessesByFileName(u"KVAntivirus")) {
    for (pid_t own : device_.ProcessesOfDevice()) copies += pid == own ? 1 : 0;
  }
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(ReadAll(box_log_), "") << "the hand-over tells nothing";
  first.Terminate();
  first.Wait(kEndWaitMs);
}

TEST_F(KVAntivirusProcessTest, AnInterruptClosesTheProgramWhichTakesItsLeave) {
  platform::Process running;
  ASSERT_TRUE(Start(u"", &running));
  ASSERT_TRUE(WaitUntil([] { return ui::ActivateRunningCopy(kMainWindowClass); }, kEndWaitMs))
      << Output();
  kill(running.Pid(), SIGTERM);
  ASSERT_EQ(running.Wait(kEndWaitMs), platform::WaitResult::kSignaled) << Output();
  uint32_t code = 99;
  EXPECT_TRUE(running.GetExitCode(&code));
  EXPECT_EQ(code, 0u) << Output();
  const std::string output = Output();
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer"}) {
    EXPECT_EQ(output.find(report), std::string::npos) << output;
  }
  // No copy runs any more.
  EXPECT_FALSE(ui::ActivateRunningCopy(kMainWindowClass));
}

}  // namespace
}  // namespace kolvar

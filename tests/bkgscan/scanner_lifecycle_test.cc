// The scanner's life as a program: one copy per device, the start-up failures with their
// messages and exit code 0, the IPC service started when absent, the wait for the main program's
// channel before any command is read, an unreadable background setting, and the stop event ending
// it from every state.
#include <filesystem>
#include <ostream>
#include <string>

#include "bkgscan/scanner_texts.h"
#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/path.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "tests/bkgscan/scanner_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

using ScannerLifecycleTest = ScannerTest;

bool SetStopEvent() {
  platform::Event stop;
  return stop.Open(kScannerEventName) && stop.Set();
}

TEST_F(ScannerLifecycleTest, SecondCopyEndsAtOnceAndSilently) {
  WriteConfiguration(0, 0);
  StartService();
  ConnectAs();
  platform::Process first = StartConnectedScanner();
  platform::Process second = StartScanner();
  EXPECT_EQ(ExitCodeWithin(second), 0u);
  EXPECT_TRUE(first.IsAlive());
  EXPECT_TRUE(channel().IsRegistered(kScannerChannel));
  EXPECT_TRUE(Boxes().empty());
}

enum class RunningState { kWaitingForMainProgram, kWaitingForCommands, kScanningInBackground };

void PrintTo(RunningState state, std::ostream* os) { *os << static_cast<int>(state); }

class ScannerStopEventTest : public ScannerTest,
                             public ::testing::WithParamInterface<RunningState> {};

TEST_P(ScannerStopEventTest, StopEventEndsTheScannerAndFreesItsChannel) {
  const RunningState state = GetParam();
  WriteConfiguration(state == RunningState::kScanningInBackground ? 1 : 0, std::nullopt);
  for (int i = 0; i < 100; ++i) {
    device_.WriteFile(u"\\Fix\\f" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                          std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) + u".txt",
                      CleanBytes(100));
  }
  StartService();
  ConnectAs(state == RunningState::kWaitingForMainProgram ? u"PROBE" : u"ANTIVIRUS");
  platform::Process scanner = StartConnectedScanner();
  if (state == RunningState::kWaitingForCommands) {
    ASSERT_TRUE(Attach(u"\\Fix").has_value());
  }
  if (state == RunningState::kScanningInBackground) {
    ASSERT_TRUE(Attach(u"\\Fix").has_value());
    ASSERT_TRUE(NextStatusOfType(kMessageProgress).has_value());
  }
  ASSERT_TRUE(SetStopEvent());
  EXPECT_EQ(ExitCodeWithin(scanner, 30), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !channel().IsRegistered(kScannerChannel); }));
  EXPECT_FALSE(platform::ObjectExists(kScannerEventName));
  EXPECT_TRUE(Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(States, ScannerStopEventTest,
                         ::testing::Values(RunningState::kWaitingForMainProgram,
                                           RunningState::kWaitingForCommands,
                                           RunningState::kScanningInBackground),
                         [](const ::testing::TestParamInfo<RunningState>& info) {
                           switch (info.param) {
                             case RunningState::kWaitingForMainProgram:
                               return "WaitingForMainProgram";
                             case RunningState::kWaitingForCommands:
                               return "WaitingForCommands";
                             case RunningState::kScanningInBackground:
                               return "ScanningInBackground";
                           }
                           return "Unknown";
                         });

struct StartUpFailure {
  const char* name;
  std::function<void(testing::TestDevice&)> damage;
  std::u16string_view message;
};

// Test names and failure messages show the case's name.
void PrintTo(const StartUpFailure& c, std::ostream* os) { *os << c.name; }

class ScannerStartUpFailureTest : public ScannerTest,
                                  public ::testing::WithParamInterface<StartUpFailure> {};

TEST_P(ScannerStartUpFailureTest, FailureShowsItsMessageAndEndsWithExitCodeZero) {
  WriteConfiguration(0, 0);
  GetParam().damage(device_);
  platform::Process scanner = StartScanner();
  EXPECT_EQ(ExitCodeWithin(scanner), 0u);
  EXPECT_TRUE(WaitForBox(ScannerBox(GetParam().message)));
  EXPECT_EQ(Boxes().size(), 1u);
  // The checks come before the IPC service is needed.
  EXPECT_FALSE(IpcConnection::IsServiceRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ScannerStartUpFailureTest,
    ::testing::Values(
        StartUpFailure{"DatabaseMissing",
                       [](testing::TestDevice& device) {
                         fs::remove(device.Host(u"\\Program Files\\Kolvar\\KVVirusDB.dat"));
                       },
                       kDatabaseNotFoundMessage},
        StartUpFailure{"DatabaseUnreadable",
                       [](testing::TestDevice& device) {
                         const std::string path =
                             device.Host(u"\\Program Files\\Kolvar\\KVVirusDB.dat");
                         fs::remove(path);
                         fs::create_directory(path);  // an entry that no read can open
                       },
                       kDatabaseNotFoundMessage},
        StartUpFailure{"QuarantineFolderCannotBeCreated",
                       [](testing::TestDevice& device) {
                         device.WriteFile(kQuarantine, "a file where the folder should be");
                       },
                       kQuarantineFolderFailedMessage}),
    [](const ::testing::TestParamInfo<StartUpFailure>& info) { return info.param.name; });

TEST_F(ScannerLifecycleTest, StartsTheServiceWhenItDoesNotRun) {
  WriteConfiguration(0, 0);
  platform::Process scanner = StartScanner();
  ASSERT_TRUE(WaitUntil([] { return IpcConnection::IsServiceRunning(); }));
  ConnectAs(u"PROBE", false);
  EXPECT_TRUE(WaitUntil([&] { return channel().IsRegistered(kScannerChannel); }));
  EXPECT_TRUE(scanner.IsAlive());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScannerLifecycleTest, WithBackgroundScanningOffNoCommandIsReadBeforeTheMainProgramComes) {
  WriteConfiguration(0, 0);
  StartService();
  ConnectAs(u"PROBE", false);
  platform::Process scanner = StartConnectedScanner();
  // Type 19 ends the scanner as soon as it is read.
  Send(MakeScanCommand(kCommandQuit));
  ASSERT_TRUE(WaitUntilSent(channel(), kScannerChannel, nullptr));
  EXPECT_EQ(scanner.Wait(1500), platform::WaitResult::kTimeout)
      << "a command was read before the main program's channel existed";

  Disconnect();
  ConnectAs(u"ANTIVIRUS", false);
  EXPECT_EQ(ExitCodeWithin(scanner), 0u);
}

TEST_F(ScannerLifecycleTest, UnreadableBackgroundSettingIsToldAndCountsAsOff) {
  WriteConfiguration(std::nullopt, 0);
  device_.WriteFile(u"\\Fix\\clean.txt", CleanBytes(100));
  StartService();
  ConnectAs();
  platform::Process scanner = StartConnectedScanner();
  EXPECT_TRUE(WaitForBox(ScannerBox(kBackgroundValueMessage)));
  // Off: the attach starts nothing (it reads the value again, and tells again).
  ASSERT_TRUE(Attach(u"\\Fix").has_value());
  EXPECT_TRUE(QuietFor(1.0));
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_TRUE(scanner.IsAlive());
}

}  // namespace
}  // namespace kolvar

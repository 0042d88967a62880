// The hand-off of a copy started with "VIRUSDETECTED", over the real IPC service: the scanner's
// DetectionRecord is put to the user in the virus-detected dialog and the chosen action goes back
// as type 20; without its own channel the program tells so and answers nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "antivirus/command_ids.h"
#include "antivirus/install_paths.h"
#include "antivirus/string_table.h"
#include "antivirus/virus_detected_dialog.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_connection.h"
#include "platform/process.h"
#include "scan_engine/scan_channel.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct Box {
  std::u16string caption;
  std::u16string text;
  uint32_t style = 0;
};

class DetectionHandOffTest : public ::testing::Test {
 protected:
  // The channels connect to a running service: it is started first.
  static platform::Process StartService(const std::u16string& folder) {
    platform::Process service;
    EXPECT_TRUE(platform::Process::Start(folder + u"\\kvipcsrv", u"", {}, &service));
    EXPECT_TRUE(WaitUntil([] { return IpcConnection::IsServiceRunning(); }));
    return service;
  }

  DetectionHandOffTest()
      : folder_(device_.InstallPrograms({"kvipcsrv"})),
        paths_(InstallPathsOf(folder_)),
        service_(StartService(folder_)),
        main_(false, false) {
    VirusDetailRecord detail;
    MakeVirusDetailRecord(66, u"Kolvar.Test.Exe", u"A test.", u"Move it.", &detail);
    EXPECT_TRUE(WriteVirusDetails(paths_.virus_details, {detail}));
  }
  ~DetectionHandOffTest() override { main_.StopWorker(); }

  // A stand-in scanner in a child process (one channel per process): it registers "IPC_SCAN",
  // sends `detection` to "ANTIVIRUS" once that exists, and ends with the action of the type 20 it
  // gets back (200 and up when something else came, or nothing).
  static pid_t StartScanner(const DetectionRecord& detection) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    IpcChannel scanner(false, false);
    if (!scanner.Register(kScannerChannel) || !scanner.StartWorker()) _exit(201);
    if (!WaitUntil([&] { return scanner.IsRegistered(kMainChannel); })) _exit(202);
    if (!scanner.Send(kMainChannel, &detection, sizeof(detection))) _exit(203);
    if (!WaitUntil([&] { return scanner.HasMessages(); })) _exit(204);
    uint8_t buffer[kIpcMaxMessageLength];
    uint32_t length = sizeof buffer;
    std::u16string sender;
    ScanCommand answer;
    if (!scanner.Receive(buffer, &length, &sender) || sender != kMainChannel ||
        length != sizeof(ScanCommand) || !DecodeScanCommand(buffer, length, &answer)) {
      _exit(205);
    }
    const ScanCommand expected = MakeActionCommand(detection.virus_id, answer.action);
    if (answer.type != kCommandSetAction || std::memcmp(&answer, &expected, sizeof answer) != 0) {
      _exit(206);
    }
    scanner.StopWorker();
    scanner.Unregister();
    _exit(static_cast<int>(answer.action));
  }

  static int ExitOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool RunHandOff(const std::function<void(ui::Dialog&)>& user) {
    return HandOffStartedDetection(
        main_, paths_.virus_details,
        [&](ui::Dialog& dialog) {
          ++dialogs_;
          ui::testing::RecordingHost host;
          host.DriveModals(user);
          host.RunModal(dialog);
        },
        [&](std::u16string_view caption, std::u16string_view text, uint32_t style) {
          boxes_.push_back({std::u16string(caption), std::u16string(text), style});
        });
  }

  testing::TestDevice device_;
  std::u16string folder_;
  InstallPaths paths_;
  platform::Process service_;
  IpcChannel main_;
  int dialogs_ = 0;
  std::vector<Box> boxes_;
};

TEST_F(DetectionHandOffTest, TheChosenActionGoesBackToTheScanner) {
  DetectionRecord detection = ZeroRecord<DetectionRecord>();
  const std::u16string path = u"\\My Documents\\x.exe";
  std::copy(path.begin(), path.end(), detection.path);
  detection.virus_id = 66;
  const pid_t scanner = StartScanner(detection);
  ASSERT_TRUE(main_.Register(kMainChannel));
  ASSERT_TRUE(main_.StartWorker());

  std::u16string shown_path;
  std::u16string shown_name;
  EXPECT_TRUE(RunHandOff([&](ui::Dialog& dialog) {
    auto& virus = dynamic_cast<VirusDetectedDialog&>(dialog);
    shown_path = virus.path();
    shown_name = virus.virus_name();
    virus.OnCommand(commands::kMoveToRepository);
  }));
  EXPECT_EQ(ExitOf(scanner), kActionMove);
  EXPECT_EQ(dialogs_, 1);
  EXPECT_EQ(shown_path, path);
  EXPECT_EQ(shown_name, u"Kolvar.Test.Exe");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DetectionHandOffTest, WithoutItsOwnChannelTheProgramTellsSoAndAnswersNothing) {
  EXPECT_FALSE(RunHandOff([](ui::Dialog&) {}));
  EXPECT_EQ(dialogs_, 0);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, u"Kolvar AV");
  EXPECT_EQ(boxes_[0].text, LoadString(string_ids::kGuiChannelFailed));
  EXPECT_EQ(boxes_[0].style, 0u) << "no icon";
}

}  // namespace
}  // namespace kolvar

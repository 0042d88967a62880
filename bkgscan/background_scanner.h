// The background scanner program: its start-up checks (one copy per device, configuration,
// signature database, quarantine folder, IPC service and channel "IPC_SCAN"), its message loop
// that runs the scan engine on the main program's commands, and its shutdown. It has no window;
// its failures are shown as message boxes of "Kolvar Scanner Engine" and end it with exit code 0.
//
// Threads: the main thread (start-up, message loop, thread control), the engine's scan thread
// (walk, progress, detections) and the channel's worker.
#ifndef KOLVAR_BKGSCAN_BACKGROUND_SCANNER_H_
#define KOLVAR_BKGSCAN_BACKGROUND_SCANNER_H_

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "bkgscan/detection_notifier.h"
#include "common/configuration.h"
#include "ipc/ipc_channel.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "scan_engine/scan_engine.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/scanner_device.h"

namespace kolvar {

// The part of a message that the scanner keeps: one ScanCommand.
inline constexpr uint32_t kCommandBufferSize = sizeof(ScanCommand);
// The message loop's poll and pause, and the wait for channel "ANTIVIRUS" at start-up.
inline constexpr uint32_t kScannerPollMs = 15;
// How long a started kvipcsrv may take to show its presence event.
inline constexpr uint32_t kServiceStartWaitMs = 10000;
// How long a main program that owes answers must stay gone (its channel unregistered, or held
// by another program) before they are given up, and a detection waiting for one is resumed
// without (longer than the few worker passes that an answer sent just before it left needs to
// arrive).
inline constexpr uint32_t kAnswerLostAfterMs = 300;

class BackgroundScanner {
 public:
  BackgroundScanner();
  ~BackgroundScanner();
  BackgroundScanner(const BackgroundScanner&) = delete;
  BackgroundScanner& operator=(const BackgroundScanner&) = delete;

  // Runs the program: start-up, message loop, shutdown. Returns the exit code (always 0).
  int Run();

 private:
  // Start-up steps; false ends the program (any message has been shown).
  // States the device root in the namespace (before the channel is registered, so that a front
  // end that finds "IPC_SCAN" also finds which device it serves).
  bool PublishDevice();
  bool BuildEngine();
  bool CheckDataFiles();
  // Tells the user of a damaged signature database; false when it holds no usable signature.
  bool ReportSignatureLoad();
  bool EnsureService();
  bool Connect();
  // With background scanning off: waits for "ANTIVIRUS". False when the scanner is to end.
  bool WaitForMainProgram();

  void MessageLoop();
  // Waits until a message is waiting; false when the scanner is to end.
  bool WaitForMessages();
  // `registration` is the sender's registration number (IpcChannel::Receive).
  void Dispatch(const ScanCommand& command, uint32_t size, const uint8_t* data,
                const std::u16string& sender, uint32_t registration);
  // Message type 16: the scan starts again from the root folder.
  void Restart();
  void Attach(const ScanCommand& command, uint32_t registration);
  void Detach();
  // Message type 20: carried out when it answers the detection that waits; dropped when it
  // answers one of a stopped pass, or none.
  void TakeAnswer(const ScanCommand& command, uint32_t registration);
  // Resumes the scan thread; one parked in its detection step is first seen to be parked, so
  // that the resume cannot come before its pause.
  void ResumeScanThread();
  // Answers owed by a main program that has gone are given up, and a detection that waits for
  // one of them is resumed without.
  void CheckAbandonedDetection();
  void ReadSettings();
  void Shutdown();

  // The stop event (auto-reset) is consumed by the test; remember that it was seen.
  bool StopSignalled();
  bool Ending();
  void Notify(std::u16string_view text, uint32_t style = platform::kMbOk | platform::kMbIconError);
  // `text` with the cause of the IPC failure when one is known.
  std::u16string IpcFailureText(std::u16string_view text) const;

  platform::Event stop_event_;
  ScannerDeviceNotice device_notice_;
  bool stop_seen_ = false;
  bool quit_ = false;  // message type 19
  std::atomic<bool> shutting_down_{false};

  std::u16string program_folder_;  // ends in "\"
  std::unique_ptr<ConfigurationFile> configuration_;
  std::unique_ptr<IpcChannel> channel_;
  std::unique_ptr<ScanEngine> engine_;
  std::unique_ptr<DetectionNotifier> notifier_;
  std::optional<std::chrono::steady_clock::time_point> owner_gone_since_;
};

// The program's entry: BackgroundScanner().Run().
int RunBackgroundScanner();

}  // namespace kolvar

#endif  // KOLVAR_BKGSCAN_BACKGROUND_SCANNER_H_

// ScanClient: the main program's side of the scan channel, through which the scan dialog runs
// scans in the background scanner. It attaches with the folder to scan, starts, pauses, resumes and
// stops the scan, and reports what the scanner sends (progress, the end of a pass or of a scan with
// the result file's records, detections that need the user's action) to an observer that its owner
// implements: the scan dialog, a terminal front end, or a test. It knows no window toolkit.
//
// Threads: the owner's thread calls Start, Stop, Pause, Resume and the readers; the receiver thread
// alone takes the main program's messages while a scan runs (Start takes them before it signals
// the receiver); the progress thread hands queued progress records to the observer, one every
// 15 ms. The hand-overs between them go through the client's eight events. Observer calls come
// from the receiver thread (pass finished, scan complete, the 1124 notice, detections, scanner
// gone) and from the progress thread (progress); Start may also report the scanner gone.
//
// Every wait on the scanner ends when the scanner has gone (its channel is no longer registered,
// or the IPC service has ended): the client then tells the observer and returns to idle.
#ifndef KOLVAR_SCAN_ENGINE_SCAN_CLIENT_H_
#define KOLVAR_SCAN_ENGINE_SCAN_CLIENT_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ipc/ipc_channel.h"
#include "platform/kernel_objects.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_records.h"

namespace kolvar {

// The client's own failure box when it cannot signal its receiver thread.
inline constexpr char16_t kSetEventCaption[] = u"SetEvent";
inline constexpr char16_t kSetEventFailedMessage[] =
    u"Error: %d! Please reset your device!\nIf the problem persists, contact support.";
// Told when the scanner of the namespace serves another device (kOtherDevice): the namespace
// folder, the scanner's device root and this program's.
inline constexpr char16_t kOtherDeviceScannerMessage[] =
    u"The background scanner running in this namespace (%s) serves another device (%s), not this "
    u"one (%s); the scan did not start.\nGive each device a namespace of its own: leave "
    u"KOLVAR_RUNTIME_DIR unset (every device then gets its own) or set it to another folder.";
inline constexpr char16_t kSilentScannerMessage[] =
    u"The background scanner running in this namespace (%s) does not say which device it serves, "
    u"so it may not serve this one (%s); the scan did not start.\nGive each device a namespace of "
    u"its own: leave KOLVAR_RUNTIME_DIR unset (every device then gets its own) or set it to "
    u"another folder.";
// The dialog message posted after the end of a scan (the first user message + 100).
inline constexpr uint32_t kScanDoneNotice = 0x464;

// How long Start waits for the scanner's channel to appear, and for the reply to its attach
// command while the scanner stays registered.
inline constexpr uint32_t kScannerAppearWaitMs = 10000;
inline constexpr uint32_t kAttachReplyWaitMs = 15000;
// Progress records waiting for the progress thread; older ones are dropped beyond this, since
// only the newest counters matter to the display.
inline constexpr size_t kProgressQueueLimit = 64;

struct ScanProgress {
  uint32_t files_tested = 0;
  uint32_t folders_entered = 0;
  uint32_t infected_files = 0;
  uint32_t kilobytes_tested = 0;
  std::u16string text;  // current folder, "\", current item
};

// The message for a start refused with kOtherDevice; `scanner_root` is ScannerDeviceRoot().
std::u16string OtherDeviceScannerText(std::string_view scanner_root);

// The progress text of a status record: its current folder, "\", its current item.
std::u16string ProgressText(const ScanStatus& status);

// What the client reports to its owner: facts, which the owner words in its own texts. Every
// method has a default that does nothing (a detection is answered with no action), except
// ShowMessage, which shows a message box of the main program.
class ScanClientObserver {
 public:
  virtual ~ScanClientObserver() = default;

  // Progress thread: a progress record was taken from the queue. Receiver thread: the final
  // counters of a pass, which the scanner sends with the end of the pass (progress records may
  // have been dropped on the way); they come right before OnScanComplete or OnPassFinished, and
  // nothing of that pass comes after them.
  virtual void OnProgress(const ScanProgress& progress);
  // Receiver thread: a background pass ended and the next one begins; counters are zero again.
  virtual void OnPassFinished();
  // Receiver thread: the pass in progress was cut short by a start (type 16) and a new one begins
  // at the root folder; counters are zero again. Everything the scanner sent before this belongs
  // to the pass that was cut short, everything after it to the new one. By default the same as
  // OnPassFinished: the display starts again from zero.
  virtual void OnPassRestarted();
  // Receiver thread: a single pass ended. `results` are the records of the result file (empty
  // when nothing was found); the file has been read and deleted.
  virtual void OnScanComplete(const std::vector<InfectionRecord>& results);
  // Receiver thread, after OnScanComplete: the dialog's message 1124 (kScanDoneNotice), both
  // parameters 0.
  virtual void OnScanDoneNotice();
  // Receiver thread: the scanner found a virus and waits for the user's action (kAction*; any
  // other value sets nothing and still resumes the scanner).
  virtual uint8_t OnDetection(const DetectionRecord& detection);
  // The scanner went away while the client waited for it or ran a scan with it.
  virtual void OnScannerGone();
  // Owner's thread, as the client is destroyed while background scanning is on and no scan runs:
  // the background scanner goes on (the main program tells the user so, with its string 40098).
  virtual void OnBackgroundScanningGoesOn();
  virtual void ShowMessage(std::u16string_view caption, std::u16string_view text, uint32_t style);
};

enum class ScanStartResult {
  kStarted,        // the scanner answered the attach command (and got type 16 when needed)
  kNoChannel,      // the main program has no channel
  kScannerAbsent,  // "IPC_SCAN" did not appear in time
  kScannerGone,    // the scanner went away during the exchange
  kNoReply,        // the scanner stayed but did not answer in time
  kSendFailed,     // a command could not be queued
  // The scanner running in this namespace serves another device root (or does not say which):
  // attaching would scan that device's tree. Nothing was sent; ScannerDeviceRoot() tells which.
  kOtherDevice,
};

class ScanClient {
 public:
  // Reads "EnableBckScan" as the main program does.
  using BackgroundScanningReader = std::function<bool()>;

  // `channel` is the main program's channel "ANTIVIRUS" (registered, worker running), owned by the
  // caller; null when the program has none. `observer` (may be null) must outlive the client.
  // Creates the eight events and starts the receiver thread, then the progress thread.
  ScanClient(IpcChannel* channel, ScanClientObserver* observer,
             BackgroundScanningReader read_background_scanning);
  // Quits the threads when the owner has not; when background scanning is on and no scan runs,
  // tells the user that the background scanner goes on.
  ~ScanClient();
  ScanClient(const ScanClient&) = delete;
  ScanClient& operator=(const ScanClient&) = delete;

  // True when an event or a thread could not be created: the client cannot run scans.
  bool SetUpFailed() const { return set_up_failed_; }

  void SetScanFolder(std::u16string_view folder);
  std::u16string ScanFolder() const;

  // Runs a scan of the scan folder: attach (type 21), the reply 22, and type 16 unless background
  // scanning is on. A scan that runs is stopped first. Nothing is sent to a scanner that serves
  // another device than this program's.
  ScanStartResult Start();
  // The device root that the scanner stated at the last Start (canonical host path); empty when
  // it stated none.
  std::string ScannerDeviceRoot() const;
  // Ends the scan: the receiver sends type 17 and acknowledges; returns once it has (at once
  // when no scan runs).
  void Stop();
  // Type 8; returns once the receiver has stopped taking messages.
  void Pause();
  // Type 18; the receiver takes messages again.
  void Resume();
  // Ends both threads (quit and progress quit, then waits for the receiver to end).
  void Quit();

  bool IsScanning() const { return scanning_; }
  // The counters and text shown last: those of a progress record, or a pass's final counters.
  ScanProgress Progress() const;
  // The state field of the last status of type 2 or 3.
  uint32_t state() const { return state_; }
  // The records read from the last result file.
  std::vector<InfectionRecord> Results() const;
  // Reads the result file into the result list and deletes it (a missing file gives an empty
  // list). False when the file exists but cannot be read.
  bool LoadResultFile();

 private:
  enum class ReceiverState { kStarting, kIdle, kScanning, kEnded };

  bool QuitRequested();
  bool CreateEvents();
  void ReceiverMain();
  // Waits for scan started (true) or quit (false); answers stop requests meanwhile.
  bool WaitForStart();
  void HandleStopRequest();
  void TakeMessage();
  void HandleStatus(const ScanStatus& status);
  void ScannerGone();
  bool ScannerLeftWhileScanning();
  void ProgressMain();
  void QueueProgress(const ScanStatus& status);
  void ClearProgress();
  // The counters of a status that ends a pass (type 3, or 24 with state 1) become the progress
  // shown, in place of whatever progress is still queued, and reach the observer last.
  void ShowFinalCounters(const ScanStatus& end);
  bool SendCommand(const ScanCommand& command);
  // Takes every waiting message; detections among them are answered with no action.
  void DiscardWaitingMessages();
  void AnswerDropped(const uint8_t* data, uint32_t length, const std::u16string& sender);
  // Asks the observer about a detection and sends its answer.
  void AskDetection(const DetectionRecord& record);
  // Waits for "IPC_SCAN" and for the device that its scanner serves: kStarted when it is this
  // program's device.
  ScanStartResult AwaitScannerOfThisDevice();
  ScanStartResult AwaitAttachReply();
  ScanClientObserver& observer() { return observer_ != nullptr ? *observer_ : default_observer_; }

  IpcChannel* const channel_;
  ScanClientObserver* const observer_;
  ScanClientObserver default_observer_;
  const BackgroundScanningReader read_background_scanning_;
  bool set_up_failed_ = false;

  platform::Event stop_request_;    // auto-reset
  platform::Event stop_done_;       // auto-reset
  platform::Event scan_started_;    // auto-reset
  platform::Event pause_;           // manual-reset
  platform::Event pause_done_;      // auto-reset
  platform::Event quit_;            // manual-reset
  platform::Event receiver_ended_;  // auto-reset
  platform::Event progress_quit_;   // manual-reset
  // A stop request not yet taken by the receiver: ends its wait in a pause.
  std::atomic<bool> stop_pending_{false};
  // The pending stop is the owner's (Stop), not the receiver's own after the end of a scan.
  std::atomic<bool> owner_stop_{false};
  std::atomic<ReceiverState> receiver_state_{ReceiverState::kStarting};

  std::atomic<bool> scanning_{false};
  std::atomic<uint32_t> state_{0};

  // Held while a progress record is handed to the observer, so that those hand-overs keep their
  // order with the final counters of a pass.
  std::mutex delivery_mutex_;
  mutable std::mutex mutex_;  // guards the members below
  std::u16string scan_folder_ = u"\\";
  ScanProgress progress_;
  std::deque<ScanStatus> progress_queue_;
  std::vector<InfectionRecord> results_;
  std::string scanner_device_root_;

  std::thread receiver_;
  std::thread progress_thread_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SCAN_CLIENT_H_

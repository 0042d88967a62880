// The scan client's operations, its receiver thread and its progress thread; see scan_client.h.
#include "scan_engine/scan_client.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "common/message_text.h"
#include "common/status.h"
#include "common/thread_start.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scanner_device.h"

namespace kolvar {
namespace {

constexpr uint32_t kStepMs = 5;
constexpr uint32_t kIdlePollMs = 15;
// While a scan runs and nothing arrives, the scanner's presence is looked at this often.
constexpr uint32_t kPresenceCheckMs = 250;

uint32_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - since)
                                   .count());
}

}  // namespace

std::u16string OtherDeviceScannerText(std::string_view scanner_root) {
  const std::u16string namespace_folder = platform::Utf8ToUtf16Lossy(platform::NamespaceFolder());
  const std::u16string own_root = platform::Utf8ToUtf16Lossy(platform::CanonicalDeviceRoot());
  if (scanner_root.empty()) return FormatText(kSilentScannerMessage, {namespace_folder, own_root});
  return FormatText(kOtherDeviceScannerMessage,
                    {namespace_folder, platform::Utf8ToUtf16Lossy(scanner_root), own_root});
}

std::u16string ProgressText(const ScanStatus& status) {
  const std::u16string_view folder = WideField(status.current_folder);
  const std::u16string_view item = WideField(status.current_item);
  std::u16string text(folder);
  if (text.empty() || text.back() != u'\\') text += u'\\';
  text += item;
  return text;
}

void ScanClientObserver::OnProgress(const ScanProgress&) {}
void ScanClientObserver::OnPassFinished() {}
void ScanClientObserver::OnPassRestarted() { OnPassFinished(); }
void ScanClientObserver::OnScanComplete(const std::vector<InfectionRecord>&) {}
void ScanClientObserver::OnScanDoneNotice() {}
uint8_t ScanClientObserver::OnDetection(const DetectionRecord&) { return kActionNone; }
void ScanClientObserver::OnScannerGone() {}
void ScanClientObserver::OnBackgroundScanningGoesOn() {}
void ScanClientObserver::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                     uint32_t style) {
  platform::MessageBox(kMainProgram, caption, text, style);
}

ScanClient::ScanClient(IpcChannel* channel, ScanClientObserver* observer,
                       BackgroundScanningReader read_background_scanning)
    : channel_(channel),
      observer_(observer),
      read_background_scanning_(std::move(read_background_scanning)) {
  if (!CreateEvents() || !StartThread(&receiver_, [this] { ReceiverMain(); })) {
    set_up_failed_ = true;
    return;
  }
  platform::Sleep(kStepMs);
  if (!StartThread(&progress_thread_, [this] { ProgressMain(); })) {
    Quit();  // ends the receiver, which is already running
    set_up_failed_ = true;
    return;
  }
  platform::Sleep(kStepMs);
}

ScanClient::~ScanClient() {
  Quit();
  const bool background = read_background_scanning_ && read_background_scanning_();
  if (background && !scanning_) {
    observer().OnBackgroundScanningGoesOn();
  }
}

bool ScanClient::CreateEvents() {
  struct EventKind {
    platform::Event* event;
    bool manual_reset;
  };
  const EventKind kinds[] = {{&stop_request_, false},   {&stop_done_, false},
                             {&scan_started_, false},   {&pause_, true},
                             {&pause_done_, false},     {&quit_, true},
                             {&receiver_ended_, false}, {&progress_quit_, true}};
  for (const EventKind& kind : kinds) {
    if (!kind.event->Create(u"", kind.manual_reset, /*initial_state=*/false)) return false;
  }
  return true;
}

void ScanClient::SetScanFolder(std::u16string_view folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  scan_folder_.assign(folder.substr(0, kPathFieldChars - 1));
}

std::u16string ScanClient::ScanFolder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scan_folder_;
}

ScanProgress ScanClient::Progress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

std::vector<InfectionRecord> ScanClient::Results() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return results_;
}

bool ScanClient::QuitRequested() { return quit_.IsValid() && IsSet(quit_); }

bool ScanClient::LoadResultFile() {
  std::u16string path;
  if (!InfectionFilePath(&path)) return false;
  InfectionFile contents;
  bool ok = true;
  if (platform::FileExists(path)) {
    // A short or damaged file still gives the records read in full.
    ok = ReadInfectionFile(path, &contents);
    platform::DeleteFile(path);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  results_ = std::move(contents.records);
  return ok;
}

// --- The owner's operations ---

bool ScanClient::SendCommand(const ScanCommand& command) {
  return SendScanMessage(*channel_, kScannerChannel, &command, sizeof(command),
                         SendPolicy::kMustArrive, [this] { return QuitRequested(); });
}

void ScanClient::AnswerDropped(const uint8_t* data, uint32_t length, const std::u16string& sender) {
  // The scanner waits, parked, for the answer to a detection: one that is dropped unasked is
  // answered with no action, or the scanner would wait for ever.
  DetectionRecord record;
  if (!DecodeDetectionRecord(data, length, sender, &record)) return;
  AnswerDetection(*channel_, record, kActionNone, [this] { return QuitRequested(); });
}

void ScanClient::DiscardWaitingMessages() {
  uint8_t buffer[kIpcMaxMessageLength];
  uint32_t length = 0;
  std::u16string sender;
  // At most what the queues can hold: the messages of a pass that goes on keep coming, and must
  // not keep the caller here.
  for (uint32_t taken = 0; taken < 2 * kIpcQueueLimit && channel_->HasMessages(); ++taken) {
    if (channel_->Receive(buffer, &length, &sender)) AnswerDropped(buffer, length, sender);
    platform::Sleep(kStepMs);
  }
}

ScanStartResult ScanClient::Start() {
  if (set_up_failed_ || receiver_state_ == ReceiverState::kEnded) {
    return ScanStartResult::kNoChannel;
  }
  if (receiver_state_ == ReceiverState::kScanning) Stop();
  pause_.Reset();
  if (channel_ == nullptr) {
    Stop();
    return ScanStartResult::kNoChannel;
  }
  DiscardWaitingMessages();
  // A result file that is there before the scan begins belongs to no scan of this client (a
  // scan whose end was never taken); it must not be read as this scan's result.
  std::u16string result_path;
  if (InfectionFilePath(&result_path)) platform::DeleteFile(result_path);

  const ScanStartResult present = AwaitScannerOfThisDevice();
  if (present != ScanStartResult::kStarted) return present;

  const ScanCommand attach = MakeAttachCommand(ScanFolder());
  if (!SendCommand(attach)) {
    if (ChannelReachable(*channel_, kScannerChannel)) return ScanStartResult::kSendFailed;
    observer().OnScannerGone();
    return ScanStartResult::kScannerGone;
  }
  const ScanStartResult reply = AwaitAttachReply();
  if (reply != ScanStartResult::kStarted) return reply;

  receiver_state_ = ReceiverState::kScanning;
  scan_started_.Set();
  scanning_ = true;
  const bool background = read_background_scanning_ && read_background_scanning_();
  if (!background && !SendCommand(MakeScanCommand(kCommandStart))) {
    // The receiver notices a scanner that has gone; a full queue to a present one is reported.
    return ScanStartResult::kSendFailed;
  }
  return ScanStartResult::kStarted;
}

ScanStartResult ScanClient::AwaitScannerOfThisDevice() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    scanner_device_root_.clear();
  }
  // The scanner states its device before it registers its channel; a channel without that
  // statement is a scanner still starting, or one that never says (another build).
  const auto since = std::chrono::steady_clock::now();
  std::string root;
  bool registered = false;
  for (;;) {
    registered = channel_->IsRegistered(kScannerChannel);
    if (registered && ReadScannerDevice(&root) == ScannerDeviceLookup::kKnown) break;
    if (ElapsedMs(since) >= kScannerAppearWaitMs) {
      if (registered) return ScanStartResult::kOtherDevice;
      observer().OnScannerGone();
      return ScanStartResult::kScannerAbsent;
    }
    platform::Sleep(kIdlePollMs);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  scanner_device_root_ = root;
  return root == platform::CanonicalDeviceRoot() ? ScanStartResult::kStarted
                                                 : ScanStartResult::kOtherDevice;
}

std::string ScanClient::ScannerDeviceRoot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scanner_device_root_;
}

ScanStartResult ScanClient::AwaitAttachReply() {
  const auto since = std::chrono::steady_clock::now();
  const CancelTest too_late = [&] { return ElapsedMs(since) >= kAttachReplyWaitMs; };
  for (;;) {
    const WaitOutcome waited = WaitForMessage(*channel_, kScannerChannel, kIdlePollMs, too_late);
    if (waited == WaitOutcome::kPeerGone) {
      observer().OnScannerGone();
      return ScanStartResult::kScannerGone;
    }
    if (waited == WaitOutcome::kCancelled) return ScanStartResult::kNoReply;
    // A status record carries its folder count at offset 0, so a type is only trusted in a
    // command-sized message from the scanner.
    ScanCommand reply = ZeroRecord<ScanCommand>();
    uint8_t buffer[kIpcMaxMessageLength];
    uint32_t length = 0;
    std::u16string sender;
    if (channel_->Receive(buffer, &length, &sender)) {
      if (length == sizeof(ScanCommand) && sender == kScannerChannel) {
        std::memcpy(&reply, buffer, sizeof(reply));
        if (reply.type == kCommandAttachReply) return ScanStartResult::kStarted;
      }
      AnswerDropped(buffer, length, sender);
    }
    platform::Sleep(kStepMs);
  }
}

void ScanClient::Stop() {
  scanning_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_ = ScanProgress();
    progress_queue_.clear();
  }
  if (!receiver_.joinable() || receiver_state_ == ReceiverState::kEnded) return;
  stop_done_.Reset();
  owner_stop_ = true;
  stop_pending_ = true;
  if (!stop_request_.Set()) {
    stop_pending_ = false;
    const uint32_t error = platform::GetLastError();
    observer().ShowMessage(
        kSetEventCaption,
        WithCause(FormatText(kSetEventFailedMessage, {DecimalText(error)}), SystemErrorText(error)),
        platform::kMbOk | platform::kMbIconError);
    return;
  }
  while (stop_done_.Wait(kStepMs) != platform::WaitResult::kSignaled) {
    if (receiver_state_ == ReceiverState::kEnded) return;
  }
}

void ScanClient::Pause() {
  if (channel_ == nullptr || set_up_failed_ || !channel_->IsRegistered(kScannerChannel)) return;
  SendCommand(MakeScanCommand(kCommandPause));
  pause_done_.Reset();
  pause_.Set();
  // An idle or ended receiver takes no messages anyway: nothing to wait for.
  while (pause_done_.Wait(kStepMs) != platform::WaitResult::kSignaled) {
    if (receiver_state_ != ReceiverState::kScanning) break;
  }
  scanning_ = false;
}

void ScanClient::Resume() {
  if (channel_ == nullptr || set_up_failed_ || !channel_->IsRegistered(kScannerChannel)) return;
  SendCommand(MakeScanCommand(kCommandResume));
  pause_.Reset();
  scanning_ = true;
}

void ScanClient::Quit() {
  if (set_up_failed_) return;
  quit_.Set();
  progress_quit_.Set();
  if (receiver_.joinable()) {
    while (receiver_ended_.Wait(kStepMs) != platform::WaitResult::kSignaled &&
           receiver_state_ != ReceiverState::kEnded) {
    }
    receiver_.join();
  }
  if (progress_thread_.joinable()) progress_thread_.join();
}

// --- Receiver thread ---

void ScanClient::ReceiverMain() {
  bool running = true;
  if (channel_ != nullptr && !channel_->IsRegistered(kMainChannel)) running = false;
  if (running) running = WaitForStart();
  auto last_check = std::chrono::steady_clock::now();
  while (running && !QuitRequested()) {
    if (IsSet(stop_request_)) {
      HandleStopRequest();
      running = WaitForStart();
      continue;
    }
    if (IsSet(pause_)) {
      pause_done_.Set();
      // A stop ends the pause too: Stop waits for the receiver, which must not sit here.
      while (IsSet(pause_) && !QuitRequested() && !stop_pending_) platform::Sleep(kStepMs);
      continue;
    }
    if (channel_ == nullptr || !channel_->HasMessages()) {
      if (channel_ != nullptr && ElapsedMs(last_check) >= kPresenceCheckMs) {
        last_check = std::chrono::steady_clock::now();
        if (ScannerLeftWhileScanning()) {
          ScannerGone();
          running = WaitForStart();
          continue;
        }
      }
      if (channel_ != nullptr) {
        channel_->WaitForMessages(kIdlePollMs);
      } else {
        platform::Sleep(kIdlePollMs);
      }
      continue;
    }
    TakeMessage();
  }
  receiver_state_ = ReceiverState::kEnded;
  receiver_ended_.Set();
  platform::Sleep(kStepMs);
}

bool ScanClient::WaitForStart() {
  if (receiver_state_ != ReceiverState::kScanning) receiver_state_ = ReceiverState::kIdle;
  for (;;) {
    if (IsSet(scan_started_)) {
      receiver_state_ = ReceiverState::kScanning;
      return true;
    }
    if (QuitRequested()) return false;
    // Nothing runs, so a stop asked for now is done at once.
    if (IsSet(stop_request_)) {
      owner_stop_ = false;
      stop_pending_ = false;
      stop_done_.Set();
    }
    platform::Sleep(kStepMs);
  }
}

void ScanClient::HandleStopRequest() {
  receiver_state_ = ReceiverState::kIdle;
  // A stopped scan is no longer paused.
  pause_.Reset();
  if (channel_ != nullptr) {
    DiscardWaitingMessages();
    if (SendCommand(MakeScanCommand(kCommandStop))) {
      WaitUntilSent(*channel_, kScannerChannel, [this] { return QuitRequested(); });
    }
  }
  scanning_ = false;
  // Progress taken while the owner's stop was on its way is stale; after the end of a scan the
  // last counters stay on show.
  if (owner_stop_.exchange(false)) ClearProgress();
  stop_pending_ = false;
  stop_done_.Set();
}

bool ScanClient::ScannerLeftWhileScanning() {
  if (ChannelReachable(*channel_, kScannerChannel)) return false;
  // One more look for a last message it sent before it left.
  platform::Sleep(2 * kIpcWorkerPassMs + 10);
  return !channel_->HasMessages();
}

void ScanClient::ScannerGone() {
  scanning_ = false;
  receiver_state_ = ReceiverState::kIdle;
  ClearProgress();
  observer().OnScannerGone();
}

void ScanClient::TakeMessage() {
  uint8_t buffer[kIpcMaxMessageLength];
  uint32_t length = 0;
  std::u16string sender;
  if (!channel_->Receive(buffer, &length, &sender)) return;
  DetectionRecord record;
  if (DecodeDetectionRecord(buffer, length, sender, &record)) {
    // Every record is asked as it comes, whether its status of type 25 came before it or not (the
    // status went to a program that no longer reads, or the scanner believed the user interface
    // absent).
    AskDetection(record);
    return;
  }
  // Only a whole status record from the scanner is acted on; anything else is dropped.
  ScanStatus status;
  if (DecodeScanStatus(buffer, length, sender, &status)) HandleStatus(status);
}

void ScanClient::HandleStatus(const ScanStatus& status) {
  switch (status.type) {
    case kMessageProgress:
      state_ = status.state;
      QueueProgress(status);
      break;
    case kMessageScanComplete: {
      state_ = status.state;
      ShowFinalCounters(status);
      LoadResultFile();
      observer().OnScanComplete(Results());
      observer().OnScanDoneNotice();
      // The next cycle sends type 17 and returns to waiting for a start.
      stop_pending_ = true;
      stop_request_.Set();
      break;
    }
    case kMessagePassFinished:
      // The counters of a pass that ran to its end reach the owner before its end does.
      if (status.state != 0) ShowFinalCounters(status);
      ClearProgress();
      // The active flag: 1 when a pass ran to its end, 0 when the scanner stopped one to start
      // again (it sends that between the stop and the new start).
      if (status.state == 0) {
        observer().OnPassRestarted();
      } else {
        observer().OnPassFinished();
      }
      break;
    case kMessageVirusDetected:
      // The record follows and is asked when it comes. Waiting here for it would pass over
      // whatever came between: a record that arrived before its status would leave this wait
      // taking the next pass's end and its detection too, and the detection would be told twice.
      break;
    default:
      break;
  }
}

void ScanClient::AskDetection(const DetectionRecord& record) {
  const HandOffOutcome outcome = kolvar::AnswerDetection(
      *channel_, record, observer().OnDetection(record), [this] { return QuitRequested(); });
  if (outcome == HandOffOutcome::kScannerGone) ScannerGone();
}

// --- Progress thread ---

void ScanClient::QueueProgress(const ScanStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (progress_queue_.size() >= kProgressQueueLimit) progress_queue_.pop_front();
  progress_queue_.push_back(status);
}

void ScanClient::ShowFinalCounters(const ScanStatus& end) {
  // Held across the hand-over, so that no older record that the progress thread has taken can
  // reach the owner after the final counters.
  std::lock_guard<std::mutex> delivery(delivery_mutex_);
  ScanProgress shown;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The text stays that of the newest progress record: the end of a pass names no item.
    if (!progress_queue_.empty()) progress_.text = ProgressText(progress_queue_.back());
    progress_queue_.clear();
    progress_.files_tested = end.files_tested;
    progress_.folders_entered = end.folders_entered;
    progress_.infected_files = end.infected_files;
    progress_.kilobytes_tested = end.kilobytes_tested;
    shown = progress_;
  }
  observer().OnProgress(shown);
}

void ScanClient::ClearProgress() {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_queue_.clear();
  progress_ = ScanProgress();
}

void ScanClient::ProgressMain() {
  while (progress_quit_.Wait(kIdlePollMs) != platform::WaitResult::kSignaled) {
    std::lock_guard<std::mutex> delivery(delivery_mutex_);
    ScanProgress shown;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (progress_queue_.empty()) continue;
      const ScanStatus status = progress_queue_.front();
      progress_queue_.pop_front();
      progress_.files_tested = status.files_tested;
      progress_.folders_entered = status.folders_entered;
      progress_.infected_files = status.infected_files;
      progress_.kilobytes_tested = status.kilobytes_tested;
      progress_.text = ProgressText(status);
      shown = progress_;
    }
    observer().OnProgress(shown);
  }
}

}  // namespace kolvar

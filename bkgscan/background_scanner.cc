// Start-up, message loop and shutdown of the background scanner; see background_scanner.h.
#include "bkgscan/background_scanner.h"

#include <cstring>

#include "bkgscan/scanner_settings.h"
#include "bkgscan/scanner_texts.h"
#include "common/folders.h"
#include "common/message_text.h"
#include "common/status.h"
#include "ipc/ipc_names.h"
#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/system_log.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/signature_database.h"

namespace kolvar {
namespace {

uint32_t MillisecondsSince(std::chrono::steady_clock::time_point since) {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - since)
                                   .count());
}

}  // namespace

BackgroundScanner::BackgroundScanner() = default;

BackgroundScanner::~BackgroundScanner() { Shutdown(); }

int RunBackgroundScanner() {
  BackgroundScanner scanner;
  return scanner.Run();
}

void BackgroundScanner::Notify(std::u16string_view text, uint32_t style) {
  platform::MessageBox(kScannerProgram, kScannerCaption, text, style);
}

std::u16string BackgroundScanner::IpcFailureText(std::u16string_view text) const {
  uint32_t system_error = 0;
  const Status status = channel_ != nullptr ? channel_->GetStatus(&system_error) : kStatusOk;
  return WithCause(text, IpcFailureCause(status, system_error));
}

bool BackgroundScanner::StopSignalled() {
  if (!stop_seen_ && stop_event_.IsValid() &&
      stop_event_.Wait(0) == platform::WaitResult::kSignaled) {
    stop_seen_ = true;
  }
  return stop_seen_;
}

bool BackgroundScanner::Ending() {
  return quit_ || (notifier_ != nullptr && notifier_->Failed()) || StopSignalled();
}

int BackgroundScanner::Run() {
  bool existed = false;
  if (!stop_event_.Create(kScannerEventName, /*manual_reset=*/false, /*initial_state=*/false,
                          &existed)) {
    Notify(WithCause(kIpcFailedMessage, NamespaceFolderCause()));
    return 0;
  }
  if (existed) {
    stop_event_.Close();
    return 0;  // another copy runs
  }
  // The platform value of new defaults comes from the platform-type text inside.
  OpenConfiguration(/*keep_as_is=*/false, &configuration_);
  if (!configuration_->damage_notice().empty()) Notify(configuration_->damage_notice());
  if (!PublishDevice() || !BuildEngine() || !CheckDataFiles() || !EnsureService() || !Connect()) {
    stop_event_.Close();
    return 0;
  }
  bool run = true;
  if (engine_->background_scanning()) {
    engine_->StartScan();
  } else {
    run = WaitForMainProgram();
  }
  if (run) MessageLoop();
  Shutdown();
  return 0;
}

// --- Start-up ---

void BackgroundScanner::ReadSettings() {
  const bool background = ReadBackgroundScanning(
      *configuration_, [this](std::u16string_view text, uint32_t) { Notify(text); });
  engine_->SetBackgroundScanning(background);
  engine_->SetPacing(ScanPacingValue(configuration_->store()));
}

bool BackgroundScanner::PublishDevice() {
  const std::string root = platform::CanonicalDeviceRoot();
  if (device_notice_.Publish(root)) return true;
  Notify(FormatText(kDeviceNoticeFailedMessage,
                    {platform::Utf8ToUtf16Lossy(root), DecimalText(platform::GetLastError())}));
  return false;
}

bool BackgroundScanner::BuildEngine() {
  FolderQuery query;
  if (!query.RunningProgramFolder(&program_folder_)) program_folder_.clear();
  engine_ = std::make_unique<ScanEngine>();
  engine_->SetRootFolder(u"\\");
  std::u16string install = InstallDirValue(configuration_->store());
  if (install.empty()) install = program_folder_;
  engine_->SetRepositoryPath(platform::JoinPath(install, kRepositoryIndexName));
  engine_->SetStatusSink([this](const ScanStatus& status) {
    // Only the newest progress waits to go out, so the end of a pass and a detection's status,
    // which the main program waits for and which must arrive, leave on the worker's next passes.
    const SendPolicy policy =
        status.type == kMessageProgress ? SendPolicy::kLatest : SendPolicy::kMustArrive;
    return channel_ != nullptr &&
           SendScanMessage(*channel_, kMainChannel, &status, sizeof(status), policy,
                           [this] { return shutting_down_ || engine_->StopRequested(); });
  });
  engine_->SetDetectionHook(
      [this](std::u16string_view folder, std::u16string_view file_name, uint32_t virus_id) {
        notifier_->RecordDetection(folder, file_name, virus_id);
      });
  ReadSettings();
  return true;
}

bool BackgroundScanner::CheckDataFiles() {
  std::u16string database;
  if (!SignatureDatabasePath(&database) || !SignatureDatabasePresent(database)) {
    Notify(kDatabaseNotFoundMessage);
    return false;
  }
  const std::u16string quarantine = QuarantineFolderOf(program_folder_);
  if (program_folder_.empty() || !CreateQuarantineFolder(quarantine)) {
    Notify(kQuarantineFolderFailedMessage);
    return false;
  }
  engine_->SetQuarantineFolder(quarantine);
  if (!engine_->LoadSignatures(database)) {
    Notify(kDatabaseNotFoundMessage);
    return false;
  }
  return ReportSignatureLoad();
}

bool BackgroundScanner::ReportSignatureLoad() {
  const SignatureLoadReport& report = engine_->signature_report();
  if (report.sound()) return true;
  const std::u16string reasons = u"\n" + std::u16string(kSignatureDatabaseName) + u": " +
                                 platform::Utf8ToUtf16Lossy(DescribeSignatureLoad(report));
  // Without a signature every file would be reported clean: the scanner does not run at all.
  if (!report.usable()) {
    Notify(kDatabaseUnusableMessage + reasons);
    return false;
  }
  Notify(kDatabaseDamagedMessage + reasons, platform::kMbOk | platform::kMbIconWarning);
  return true;
}

bool BackgroundScanner::EnsureService() {
  // The presence event is only looked at: creating it here, as a test, would make the service
  // that is about to start believe that another copy of it runs, and end.
  if (IpcConnection::IsServiceRunning()) return true;
  platform::Process service;
  platform::StartOptions options;
  options.detached = true;
  if (!platform::Process::Start(platform::JoinPath(program_folder_, kIpcServiceProgram), u"",
                                options, &service)) {
    Notify(IpcFailureText(kIpcFailedMessage));
    return false;
  }
  const auto since = std::chrono::steady_clock::now();
  while (!IpcConnection::IsServiceRunning()) {
    if (MillisecondsSince(since) >= kServiceStartWaitMs) {
      Notify(IpcFailureText(kIpcFailedMessage));
      return false;
    }
    platform::Sleep(kScannerPollMs);
  }
  return true;
}

bool BackgroundScanner::Connect() {
  channel_ = std::make_unique<IpcChannel>(/*start_service=*/true, /*private_heaps=*/false);
  if (channel_->GetStatus() != kStatusOk) {
    Notify(IpcFailureText(kIpcFailedMessage));
    return false;
  }
  if (!channel_->Register(kScannerChannel)) {
    Notify(IpcFailureText(kRegisterFailedMessage));
    return false;
  }
  if (!channel_->StartWorker() || channel_->GetStatus() != kStatusOk) {
    Notify(IpcFailureText(kIpcFailedMessage));
    channel_->Unregister();
    return false;
  }
  notifier_ = std::make_unique<DetectionNotifier>(
      engine_.get(), channel_.get(), program_folder_,
      [this](std::u16string_view text, uint32_t) { Notify(text); });
  return true;
}

bool BackgroundScanner::WaitForMainProgram() {
  while (!channel_->IsRegistered(kMainChannel)) {
    if (stop_event_.Wait(kScannerPollMs) == platform::WaitResult::kSignaled) {
      stop_seen_ = true;
      return false;
    }
  }
  return true;
}

// --- Message loop ---

void BackgroundScanner::MessageLoop() {
  uint8_t data[kIpcMaxMessageLength];
  while (!Ending()) {
    // With background scanning on and no user interface attached the loop polls instead.
    if (!engine_->background_scanning() || engine_->interactive()) {
      if (!WaitForMessages()) break;
    }
    // Polling, the loop looks every 15 ms; a message that waits is taken at once.
    channel_->WaitForMessages(kScannerPollMs);
    uint32_t size = 0;
    std::u16string sender;
    uint32_t registration = 0;
    if (channel_->Receive(data, &size, &sender, &registration)) {
      ScanCommand command;
      if (DecodeScanCommand(data, size, &command)) {
        Dispatch(command, size, data, sender, registration);
      } else {
        // No program of the suite sends such a message to the scanner: it is refused whole
        // rather than acted on in part.
        platform::WriteSystemLog(kScannerProgram,
                                 u"a message of unexpected size on channel IPC_SCAN was refused");
      }
    }
    CheckAbandonedDetection();
  }
}

bool BackgroundScanner::WaitForMessages() {
  while (!channel_->WaitForMessages(kScannerPollMs)) {
    if (stop_event_.Wait(0) == platform::WaitResult::kSignaled) {
      stop_seen_ = true;
      return false;
    }
    if (quit_ || notifier_->Failed()) return false;
    CheckAbandonedDetection();
  }
  return true;
}

void BackgroundScanner::Dispatch(const ScanCommand& command, uint32_t size, const uint8_t* data,
                                 const std::u16string& sender, uint32_t registration) {
  switch (command.type) {
    case kCommandPause:
      engine_->PauseScan();
      break;
    case kCommandStart:
      Restart();
      break;
    case kCommandStop:
      engine_->StopScan();
      break;
    case kCommandResume:
      ResumeScanThread();
      break;
    case kCommandQuit:
      engine_->StopScan();
      quit_ = true;
      break;
    case kCommandSetAction:
      TakeAnswer(command, registration);
      break;
    case kCommandAttach:
      Attach(command, registration);
      break;
    case kCommandDetach:
      Detach();
      break;
    default:
      channel_->PutBack(data, size, sender, registration);
      break;
  }
}

void BackgroundScanner::Restart() {
  if (engine_->IsScanActive() || engine_->ScanThreadExists()) engine_->StopScan();
  if (engine_->interactive() && engine_->background_scanning()) {
    // The main program may not have taken yet what the stopped pass sent (detections among it).
    // A type 24 whose active flag is 0 comes after all of that and before anything of the new
    // pass: the main program knows from it where the pass that starts at its folder begins.
    ScanStatus restarted = ZeroRecord<ScanStatus>();
    restarted.type = kMessagePassFinished;
    restarted.state = 0;
    SendScanMessage(*channel_, kMainChannel, &restarted, sizeof(restarted), SendPolicy::kMustArrive,
                    [this] { return StopSignalled(); });
  }
  engine_->StartScan();
}

void BackgroundScanner::TakeAnswer(const ScanCommand& command, uint32_t registration) {
  bool passed_over_awaited = false;
  switch (notifier_->PairAnswer(command.virus_id, registration, &passed_over_awaited)) {
    case DetectionNotifier::AnswerPairing::kAwaited:
      engine_->SetAction(command.virus_id, command.action);
      ResumeScanThread();
      return;
    case DetectionNotifier::AnswerPairing::kLate:
      // The answer to a detection of a pass that was stopped before it came: acting on it, or
      // resuming with it, would give it to a detection of the new pass that is still unanswered.
      break;
    case DetectionNotifier::AnswerPairing::kUnasked:
      platform::WriteSystemLog(kScannerProgram,
                               u"an answer came for no detection that waits for one; dropped");
      break;
  }
  // The program answered a later detection, so it passed over the awaited one: none will come.
  if (passed_over_awaited) ResumeScanThread();
}

void BackgroundScanner::Attach(const ScanCommand& command, uint32_t registration) {
  // A program that attaches starts afresh. Answers owed by a registration before it will not come
  // (a program that ended its scan stops reading before it detaches, and the next may attach
  // before its channel has been seen gone, or may be the same program registered anew). What
  // reached the attaching registration itself before its attach stays owed: it answers each such
  // detection, and that answer may come after the attach; were that debt forgotten here, the
  // answer would be paired with the next detection of its virus, and every answer after it with
  // the detection before its own.
  if (notifier_->ForgetAnswersOwedByOthers(registration)) ResumeScanThread();
  if (const std::optional<std::u16string> folder = AttachFolder(command)) {
    engine_->SetRootFolder(*folder);
  } else {
    platform::WriteSystemLog(kScannerProgram,
                             u"the folder to scan is no device path; the scan keeps its root");
  }
  ScanCommand reply = command;
  reply.type = kCommandAttachReply;
  reply.action = 0;
  SendScanMessage(*channel_, kMainChannel, &reply, sizeof(reply), SendPolicy::kMustArrive,
                  [this] { return StopSignalled(); });
  engine_->SetInteractive(true);
  ReadSettings();
  if (engine_->background_scanning() && !engine_->IsScanActive()) engine_->StartScan();
}

void BackgroundScanner::Detach() {
  // A program that detaches but keeps its channel and user interface is still asked, and still
  // answers: what it owes stays owed until another program attaches or its channel goes.
  engine_->SetInteractive(false);
  ReadSettings();
  if (!engine_->background_scanning()) engine_->StopScan();
}

void BackgroundScanner::ResumeScanThread() {
  // PauseScan returns once the thread is parked, so the resume cannot come before the park.
  if (notifier_->AwaitingAnswer()) engine_->PauseScan();
  engine_->ResumeScan();
}

void BackgroundScanner::CheckAbandonedDetection() {
  // A program that ended without detaching (or whose channel went with the IPC service) owes
  // answers it will never give. The channel's owner is looked at only while answers are owed; an
  // answer it sent just before it went is given a moment to arrive.
  if (notifier_ == nullptr || !notifier_->OwesAnswers() ||
      !notifier_->OwesAnswersOtherThan(channel_->ChannelRegistration(kMainChannel))) {
    owner_gone_since_.reset();
    return;
  }
  if (!owner_gone_since_) {
    owner_gone_since_ = std::chrono::steady_clock::now();
    return;
  }
  if (MillisecondsSince(*owner_gone_since_) < kAnswerLostAfterMs) return;
  owner_gone_since_.reset();
  if (notifier_->ForgetAnswersOwedByOthers(channel_->ChannelRegistration(kMainChannel))) {
    platform::WriteSystemLog(kScannerProgram,
                             u"the main program left without answering a detection; the scan "
                             u"goes on and the file stays recorded without an action");
    ResumeScanThread();
  }
}

// --- Shutdown ---

void BackgroundScanner::Shutdown() {
  shutting_down_ = true;
  if (notifier_ != nullptr) notifier_->Cancel();
  if (engine_ != nullptr) engine_->StopScan();
  if (channel_ != nullptr && channel_->channel_index() >= 0) {
    channel_->StopWorker();
    channel_->Unregister();
  }
  notifier_.reset();
  engine_.reset();
  channel_.reset();
  device_notice_.Withdraw();
  stop_event_.Close();
}

}  // namespace kolvar

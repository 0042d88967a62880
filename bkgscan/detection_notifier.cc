// The scanner's detection step; see detection_notifier.h.
#include "bkgscan/detection_notifier.h"

#include <mutex>
#include <utility>

#include "bkgscan/scanner_texts.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/system_log.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"

namespace kolvar {
namespace {

constexpr uint32_t kChannelPollMs = 15;

}  // namespace

DetectionNotifier::DetectionNotifier(ScanEngine* engine, IpcChannel* channel,
                                     std::u16string program_folder, UserNotice notice)
    : engine_(engine),
      channel_(channel),
      program_folder_(std::move(program_folder)),
      notice_(std::move(notice)) {}

bool DetectionNotifier::Cancelled() const { return cancelled_ || engine_->StopRequested(); }

void DetectionNotifier::Pace() const {
  if (engine_->pacing()) platform::Sleep(kScanPacingSleepMs);
}

bool DetectionNotifier::SendToMain(const void* data, uint32_t length, const CancelTest& cancelled) {
  return SendScanMessage(*channel_, kMainChannel, data, length, SendPolicy::kMustArrive, cancelled);
}

bool DetectionNotifier::TakeStaleAnswer() {
  uint32_t stale = stale_answers_;
  while (stale > 0) {
    if (stale_answers_.compare_exchange_weak(stale, stale - 1)) return true;
  }
  return false;
}

void DetectionNotifier::RecordDetection(std::u16string_view folder, std::u16string_view file_name,
                                        uint32_t virus_id) {
  std::lock_guard<std::mutex> lock(engine_->detection_lock());
  Pace();
  const uint8_t action = engine_->LookupRememberedAction(virus_id);
  engine_->AppendInfection(folder, file_name, 0, virus_id, action);
  // Otherwise the file is only recorded: a remembered action is carried out after the pass, and
  // without background scanning the main program learns of it from the result file.
  if (action != kActionNone || !engine_->background_scanning()) return;

  const bool running =
      channel_->IsRegistered(kMainChannel) && platform::ObjectExists(kUserInterfaceEventName);
  platform::Process launched;
  if (!running) {
    // No user interface owes answers any more; a program started now answers only its own.
    ForgetStaleAnswers();
    Pace();
    if (!LaunchMainProgram(&launched)) {
      notice_(kMainProgramStartFailedMessage, platform::kMbOk | platform::kMbIconError);
      failed_ = true;
      // The scanner ends: park here until the shutdown stops the scan, so that no further file
      // is tested meanwhile.
      while (engine_->SuspendScanThread()) {
      }
      return;
    }
  }
  if (!WaitForMainChannel(launched)) return;

  DetectionRecord record = ZeroRecord<DetectionRecord>();
  SetWideField(record.path, platform::JoinPath(folder, file_name));
  record.virus_id = virus_id;
  if (running) {
    // The status record as the last report left it, so the user sees the counters of then.
    if (!engine_->SendLastStatusAs(kMessageVirusDetected)) return;
    Pace();
  }
  // Once its status has gone, the record follows even when the scan is being stopped: the main
  // program takes the message after a type 25 as the record, and would otherwise take the next
  // detection's record for this one. Only the scanner's end or the main program's leaving stop it.
  if (!SendToMain(&record, sizeof(record), [this] { return cancelled_.load(); })) return;
  Pace();

  awaiting_ = true;
  const bool resumed = engine_->SuspendScanThread();
  awaiting_ = false;
  // The pass was stopped before the answer came: it comes all the same, later, and is not this
  // pass's to act on.
  if (!resumed) ++stale_answers_;
  if (resumed && engine_->background_scanning() && engine_->InfectionCount() > 0) {
    engine_->ProcessInfections();
  }
}

bool DetectionNotifier::LaunchMainProgram(platform::Process* process) {
  platform::StartOptions options;
  options.detached = true;
  return platform::Process::Start(platform::JoinPath(program_folder_, kMainProgram),
                                  kVirusDetectedCommand, options, process);
}

bool DetectionNotifier::WaitForMainChannel(platform::Process& launched) {
  while (!channel_->IsRegistered(kMainChannel)) {
    if (Cancelled()) return false;
    if (!launched.IsValid() || !launched.IsAlive()) {
      platform::WriteSystemLog(kScannerProgram,
                               u"the main program is gone before it could be told of a "
                               u"detection; the file stays recorded without an action");
      return false;
    }
    platform::Sleep(kChannelPollMs);
  }
  return true;
}

}  // namespace kolvar

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

bool DetectionNotifier::AwaitingAnswer() const {
  std::lock_guard<std::mutex> lock(owed_lock_);
  return awaited_ != 0;
}

uint64_t DetectionNotifier::OweAnswer(uint32_t registration, uint32_t virus_id) {
  std::lock_guard<std::mutex> lock(owed_lock_);
  const uint64_t detection = ++detections_sent_;
  owed_.push_back({detection, registration, virus_id});
  awaited_ = detection;
  return detection;
}

void DetectionNotifier::EndAwaiting(uint64_t detection, bool withdrawn) {
  std::lock_guard<std::mutex> lock(owed_lock_);
  if (awaited_ == detection) awaited_ = 0;
  if (!withdrawn) return;
  for (auto it = owed_.begin(); it != owed_.end(); ++it) {
    if (it->detection == detection) {
      owed_.erase(it);
      break;
    }
  }
}

DetectionNotifier::AnswerPairing DetectionNotifier::PairAnswer(uint32_t virus_id,
                                                               uint32_t registration,
                                                               bool* dropped_awaited) {
  *dropped_awaited = false;
  std::lock_guard<std::mutex> lock(owed_lock_);
  // What other registrations owe is theirs to answer, or to be given up when they have gone.
  const auto owed_by_sender = [registration](const OwedAnswer& owed) {
    return registration == 0 || owed.registration == registration;
  };
  auto match = owed_.begin();
  while (match != owed_.end() && !(owed_by_sender(*match) && match->virus_id == virus_id)) ++match;
  if (match == owed_.end()) return AnswerPairing::kUnasked;
  const bool awaited = match->detection == awaited_;
  for (auto it = owed_.begin(); it != match;) {
    if (owed_by_sender(*it)) {
      if (it->detection == awaited_) *dropped_awaited = true;
      it = owed_.erase(it);
    } else {
      ++it;
    }
  }
  owed_.erase(match);
  return awaited ? AnswerPairing::kAwaited : AnswerPairing::kLate;
}

bool DetectionNotifier::ForgetAnswersOwedByOthers(uint32_t registration) {
  std::lock_guard<std::mutex> lock(owed_lock_);
  bool dropped_awaited = false;
  for (auto it = owed_.begin(); it != owed_.end();) {
    if (it->registration == 0 || it->registration != registration) {
      if (it->detection == awaited_) dropped_awaited = true;
      it = owed_.erase(it);
    } else {
      ++it;
    }
  }
  return dropped_awaited;
}

bool DetectionNotifier::OwesAnswers() const {
  std::lock_guard<std::mutex> lock(owed_lock_);
  return !owed_.empty();
}

bool DetectionNotifier::OwesAnswersOtherThan(uint32_t registration) const {
  std::lock_guard<std::mutex> lock(owed_lock_);
  for (const OwedAnswer& owed : owed_) {
    if (owed.registration == 0 || owed.registration != registration) return true;
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
    // No user interface runs: whatever answers were owed by one that ran will not come.
    ForgetAnswersOwedByOthers(channel_->ChannelRegistration(kMainChannel));
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
  // The answer is owed, and awaited, before anything is sent: it may come before this thread has
  // parked, and must then find the detection waiting for it.
  const uint64_t detection = OweAnswer(channel_->ChannelRegistration(kMainChannel), virus_id);
  if (running) {
    // The status record as the last report left it, so the user sees the counters of then.
    if (!engine_->SendLastStatusAs(kMessageVirusDetected)) {
      EndAwaiting(detection, /*withdrawn=*/true);
      return;
    }
    Pace();
  }
  // Once its status has gone, the record follows even when the scan is being stopped: the main
  // program takes the message after a type 25 as the record, and would otherwise take the next
  // detection's record for this one. Only the scanner's end or the main program's leaving stop it.
  if (!SendToMain(&record, sizeof(record), [this] { return cancelled_.load(); })) {
    EndAwaiting(detection, /*withdrawn=*/true);
    return;
  }
  Pace();

  const bool resumed = engine_->SuspendScanThread();
  // When the pass was stopped before the answer came, the answer stays owed: it comes all the
  // same, later, and is not this pass's to act on.
  EndAwaiting(detection, /*withdrawn=*/false);
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

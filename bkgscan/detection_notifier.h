// RecordDetection: what the background scanner does with each infected file the walker finds. The
// file is recorded in the infection list; with background scanning on and no action remembered for
// its virus, the user is asked at once: the running main program gets a status of type 25 and the
// DetectionRecord, or, when the user interface does not run, the main program is started with
// "VIRUSDETECTED" and gets only the DetectionRecord. The scan thread then waits, parked, until the
// message loop resumes it with the user's answer (type 20) or a resume (type 18), and carries the
// chosen action out.
//
// Runs on the scan thread, inside the file's unit of work, under the engine's detection lock.
#ifndef KOLVAR_BKGSCAN_DETECTION_NOTIFIER_H_
#define KOLVAR_BKGSCAN_DETECTION_NOTIFIER_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "common/message_text.h"
#include "ipc/ipc_channel.h"
#include "platform/process.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_engine.h"

namespace kolvar {

class DetectionNotifier {
 public:
  // `program_folder` is the scanner's own folder, where the main program lies.
  DetectionNotifier(ScanEngine* engine, IpcChannel* channel, std::u16string program_folder,
                    UserNotice notice);

  // The engine's detection hook.
  void RecordDetection(std::u16string_view folder, std::u16string_view file_name,
                       uint32_t virus_id);

  // True from just before the detection is sent until the scan thread resumes: the thread is
  // parked in its detection step, or about to park there (an answer may come before it has).
  bool AwaitingAnswer() const;
  // True once the main program could not be started: the scanner process must end.
  bool Failed() const { return failed_; }
  // The scanner is shutting down: every wait of the detection step ends.
  void Cancel() { cancelled_ = true; }

  // Answers (message type 20) come in the order their detections were sent, each from the program
  // the detection was sent to. Every detection sent is an answer owed, kept with the registration
  // number of the channel "ANTIVIRUS" it was sent to (one program may register it more than once,
  // and two programs of one process may hold it in turn) until its answer comes or that
  // registration can no longer give it. An answer is paired with the oldest one owed by its
  // sender's registration for its virus; older ones that registration owed before it were passed
  // over and are dropped. A detection whose pass was stopped (a restart, a stop) before its answer
  // came is no longer awaited, but its answer is still owed: when it comes it must not be taken
  // for the answer to a detection of the new pass.
  //
  // A registration number of 0 is one the IPC service did not tell (a service of an earlier
  // version): an answer from it is paired with the oldest owed for its virus by anyone, and an
  // attach from it forgets every answer owed, as before registrations were told apart.
  enum class AnswerPairing {
    kAwaited,  // the answer to the detection the scan thread waits on: carry it out and resume
    kLate,     // the answer to a detection no longer awaited: dropped
    kUnasked,  // no detection of that virus is owed an answer: dropped
  };
  // `dropped_awaited` is set when an older detection passed over was the awaited one (the caller
  // then resumes the scan thread without an action).
  AnswerPairing PairAnswer(uint32_t virus_id, uint32_t registration, bool* dropped_awaited);
  // Drops the answers owed by any registration but `registration` (the one that holds the main
  // channel now, or that attaches; 0 drops them all; an answer owed by no registration, the
  // channel having gone as the detection was sent, is always dropped). True when the detection
  // the scan thread waits on was among them: no answer will come for it, and the caller resumes
  // the thread without an action.
  bool ForgetAnswersOwedByOthers(uint32_t registration);
  bool OwesAnswers() const;
  // Whether an answer is owed by a registration other than `registration` (or by none).
  bool OwesAnswersOtherThan(uint32_t registration) const;

 private:
  bool Cancelled() const;
  void Pace() const;
  bool LaunchMainProgram(platform::Process* process);
  // Waits until "ANTIVIRUS" is registered. False when the scan is stopped, or when the program
  // that should register it has ended (or, when none was started, the channel went away).
  bool WaitForMainChannel(platform::Process& launched);
  // `cancelled` ends the wait for room in the outgoing queue.
  bool SendToMain(const void* data, uint32_t length, const CancelTest& cancelled);

  ScanEngine* const engine_;
  IpcChannel* const channel_;
  const std::u16string program_folder_;
  const UserNotice notice_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> cancelled_{false};

  struct OwedAnswer {
    uint64_t detection;  // the scanner's own count of detections sent
    uint32_t registration;  // of the channel "ANTIVIRUS" it was sent to
    uint32_t virus_id;
  };
  // Begins an owed answer for a detection about to be sent, as the awaited one.
  uint64_t OweAnswer(uint32_t registration, uint32_t virus_id);
  // The detection is no longer awaited; a withdrawn one (never sent) owes nothing either.
  void EndAwaiting(uint64_t detection, bool withdrawn);

  mutable std::mutex owed_lock_;  // guards the three below
  std::deque<OwedAnswer> owed_;
  uint64_t detections_sent_ = 0;
  uint64_t awaited_ = 0;  // the detection the scan thread waits on, 0 for none
};

}  // namespace kolvar

#endif  // KOLVAR_BKGSCAN_DETECTION_NOTIFIER_H_

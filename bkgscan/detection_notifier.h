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

  // True from the moment the DetectionRecord has been sent until the scan thread resumes: the
  // thread is parked in its detection step, or about to park there.
  bool AwaitingAnswer() const { return awaiting_; }
  // True once the main program could not be started: the scanner process must end.
  bool Failed() const { return failed_; }
  // The scanner is shutting down: every wait of the detection step ends.
  void Cancel() { cancelled_ = true; }

  // Message type 20 answers the detections in the order their records were sent. A detection whose
  // pass was stopped (a restart, a stop) before its answer came is dropped with that pass, but its
  // answer is still on its way: the next answers that arrive are those stale ones, and must not be
  // taken for the answer to a detection of the new pass. True when the answer just received is
  // such a stale one (it is then used up).
  bool TakeStaleAnswer();
  // The program that owed those answers is gone or a new one attached: none will come.
  void ForgetStaleAnswers() { stale_answers_ = 0; }

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
  std::atomic<bool> awaiting_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<uint32_t> stale_answers_{0};
};

}  // namespace kolvar

#endif  // KOLVAR_BKGSCAN_DETECTION_NOTIFIER_H_

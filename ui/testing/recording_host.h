// A dialog host for tests of dialog logic without a window system: it records the message boxes
// (answering them from a script), runs modal children through a driver that the test supplies,
// keeps the timers for the test to fire, and queues posted tasks until the test runs them on its
// own thread, which plays the user-interface thread.
#ifndef KOLVAR_UI_TESTING_RECORDING_HOST_H_
#define KOLVAR_UI_TESTING_RECORDING_HOST_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog.h"

namespace kolvar::ui::testing {

class RecordingHost : public DialogHost {
 public:
  // Attaches and initialises a dialog as the program's main (modeless) dialog.
  void Show(Dialog& dialog);

  int ShowMessageBox(const MessageBoxRequest& request) override;
  int RunModal(Dialog& dialog) override;
  void DialogEnded(Dialog& dialog) override;
  void DialogChanged(Dialog& dialog) override;
  void StartTimer(Dialog& dialog, uint32_t id, uint32_t period_ms) override;
  void StopTimer(Dialog& dialog, uint32_t id) override;
  void Post(std::function<void()> task) override;

  // Answers of the next boxes, in turn; once used up, boxes get their default answer.
  void AnswerBoxes(std::vector<int> answers);
  std::vector<MessageBoxRequest> boxes() const;
  // The box texts, in order.
  std::vector<std::u16string> box_texts() const;
  void ClearBoxes();

  // Called with each modal child after its OnInit, to act as the user would. Without a driver the
  // child is left with the Back key. A child still open after the driver is left with Back too.
  void DriveModals(std::function<void(Dialog&)> driver) { driver_ = std::move(driver); }
  const std::vector<std::u16string>& modal_titles() const { return modal_titles_; }

  // The period of a running timer, 0 when it is stopped.
  uint32_t TimerPeriod(const Dialog& dialog, uint32_t id) const;
  void FireTimer(Dialog& dialog, uint32_t id) { dialog.OnTimer(id); }

  // Runs the tasks posted so far (and those they post). Returns how many ran.
  int RunPosted();
  // Waits up to `timeout_ms` until a task is posted, then runs the posted tasks. False on timeout.
  bool WaitAndRunPosted(uint32_t timeout_ms);
  // Runs posted tasks until `condition` holds or `timeout_ms` have passed; its last value.
  bool RunPostedUntil(const std::function<bool()>& condition, uint32_t timeout_ms);

  int changes() const { return changes_; }

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  std::vector<MessageBoxRequest> boxes_;
  std::deque<int> answers_;
  std::function<void(Dialog&)> driver_;
  std::vector<std::u16string> modal_titles_;
  std::map<std::pair<const Dialog*, uint32_t>, uint32_t> timers_;
  int changes_ = 0;
};

}  // namespace kolvar::ui::testing

#endif  // KOLVAR_UI_TESTING_RECORDING_HOST_H_

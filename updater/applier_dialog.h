// The applier's progress window without its toolkit: the title "Updating...", an animation of
// eight pictures that turns every 400 ms, the worker's status text and its progress bar. The
// worker runs on a thread of its own from OnInit on; its progress reaches the dialog on the
// user-interface thread in its order, its notices are boxes that it waits for, and the dialog ends
// once the worker has returned (the program then ends). Back and closing the window are ignored
// while the worker runs: ending the program then would abandon an update half installed.
#ifndef KOLVAR_UPDATER_APPLIER_DIALOG_H_
#define KOLVAR_UPDATER_APPLIER_DIALOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "common/message_text.h"
#include "ui/dialog.h"
#include "updater/update_applier.h"

namespace kolvar::updater {

// The window's class, by which a second applier finds the running one.
inline constexpr char16_t kApplierWindowClass[] = u"KVUpdSPApp";

namespace applier_controls {
inline constexpr uint32_t kProgressBar = 1001;
inline constexpr uint32_t kStatusText = 1006;
inline constexpr uint32_t kPicture = 1007;
}  // namespace applier_controls

// The animation: pictures 110 to 117 in turn, starting from 117.
inline constexpr uint32_t kAnimationTimer = 555;
inline constexpr uint32_t kAnimationPeriodMs = 400;
inline constexpr int kFirstPicture = 110;
inline constexpr int kLastPicture = 117;

class ApplierDialog : public ui::Dialog, public ApplierProgress {
 public:
  // The worker's whole run, given the dialog as its progress display and a notice that shows a
  // box (caption "Kolvar Updater") and returns once it is answered.
  using Work = std::function<void(ApplierProgress& progress, const UserNotice& notice)>;
  explicit ApplierDialog(Work work);
  // Waits for a worker that still runs.
  ~ApplierDialog() override;

  void OnInit() override;
  void OnTimer(uint32_t id) override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnClose() override;

  // ApplierProgress, on the worker's thread.
  void SetPosition(int percent) override;
  void SetStatus(std::u16string_view text) override;

  // What the view shows.
  const std::u16string& status() const { return status_; }
  int position() const { return position_; }
  int picture() const { return picture_; }
  bool working() const { return working_; }

 private:
  void WorkerEnded();

  Work work_;
  std::thread worker_;
  std::u16string status_;
  int position_ = 0;
  int picture_ = kLastPicture;
  bool started_ = false;
  bool working_ = false;
};

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_APPLIER_DIALOG_H_

// The virus-detected dialog: the infected file, the virus's name and the recommendation, and the
// action the user chooses (delete, move to the repository, ignore), which goes back to the
// scanner. Choosing an action closes the dialog at once; "Close" without a choice is refused; the
// Back key leaves without a choice (action 0). "WARNING!!!" blinks every 200 ms.
//
// Also the two hand-offs that run it: in a copy of the program that the scanner started with
// "VIRUSDETECTED" (HandOffStartedDetection), and inside a running program, where the scan dialog
// runs it for the scan client's thread.
#ifndef KOLVAR_ANTIVIRUS_VIRUS_DETECTED_DIALOG_H_
#define KOLVAR_ANTIVIRUS_VIRUS_DETECTED_DIALOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ipc/ipc_channel.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/virus_details.h"
#include "ui/dialog.h"

namespace kolvar {

namespace virus_controls {
inline constexpr uint32_t kWarning = 1039;
inline constexpr uint32_t kPath = 1023;
inline constexpr uint32_t kVirusName = 1020;
inline constexpr uint32_t kRecommendation = 1034;
}  // namespace virus_controls

inline constexpr uint32_t kBlinkTimer = 555;
inline constexpr uint32_t kBlinkPeriodMs = 200;

class VirusDetectedDialog : public ui::Dialog {
 public:
  // `detail` is the virus's record of KVVirusDBDet.dat (the not-found record when it has none).
  VirusDetectedDialog(std::u16string path, const VirusDetailRecord& detail);

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnTimer(uint32_t id) override;
  void OnMenuOpening(ui::SoftKeySide side) override;

  // kAction* of scan_records.h; kActionNone until the user chose.
  uint8_t action() const { return action_; }
  const std::u16string& path() const { return path_; }
  const std::u16string& virus_name() const { return name_; }
  const std::u16string& recommendation() const { return recommendation_; }
  bool warning_visible() const { return warning_visible_; }

 private:
  void Choose(uint8_t action);

  std::u16string path_;
  std::u16string name_;
  std::u16string description_;
  std::u16string recommendation_;
  uint8_t action_ = kActionNone;
  bool warning_visible_ = true;
};

// Runs a dialog modally and returns once it has ended (the window system's part).
using ModalRunner = std::function<void(ui::Dialog& dialog)>;
// Shows a message box of the program.
using BoxCall =
    std::function<void(std::u16string_view caption, std::u16string_view text, uint32_t style)>;

// The detection hand-off of a copy started with "VIRUSDETECTED": the own channel must be there
// (else box 40187 and nothing more), then the scanner's DetectionRecord is awaited (for as long as
// the scanner stays), the dialog run, and type 20 with the action sent to the scanner. False when
// no answer reached the scanner.
bool HandOffStartedDetection(IpcChannel& channel, const std::u16string& virus_details_path,
                             const ModalRunner& run, const BoxCall& box);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_VIRUS_DETECTED_DIALOG_H_

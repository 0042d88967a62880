// The virus-detected dialog and its hand-offs; see virus_detected_dialog.h.
#include "antivirus/virus_detected_dialog.h"

#include "antivirus/action_menu.h"
#include "antivirus/application_shell.h"
#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "scan_engine/scan_channel.h"

namespace kolvar {

VirusDetectedDialog::VirusDetectedDialog(std::u16string path, const VirusDetailRecord& detail)
    : Dialog(LoadString(string_ids::kVirusDetectedTitle)),
      path_(std::move(path)),
      name_(detail.Name()),
      description_(detail.Description()),
      recommendation_(detail.Recommendation()) {
  FillActionMenu(&soft_keys());
}

void VirusDetectedDialog::OnInit() {
  StartTimer(kBlinkTimer, kBlinkPeriodMs);
  Changed();
}

void VirusDetectedDialog::OnTimer(uint32_t id) {
  if (id != kBlinkTimer) return;
  warning_visible_ = !warning_visible_;
  Changed();
}

void VirusDetectedDialog::OnMenuOpening(ui::SoftKeySide side) {
  if (side != ui::SoftKeySide::kLeft) return;
  // One file is asked about: the all-files actions do not apply.
  soft_keys().SetGreyed(commands::kMoveAll, true);
  soft_keys().SetGreyed(commands::kDeleteAll, true);
  soft_keys().SetGreyed(commands::kIgnoreAll, true);
}

void VirusDetectedDialog::Choose(uint8_t action) {
  action_ = action;
  StopTimer(kBlinkTimer);
  End(ui::kResultOk);
}

void VirusDetectedDialog::OnCommand(uint32_t id) {
  using namespace commands;
  const std::u16string caption = LoadString(string_ids::kProgramCaption);
  switch (id) {
    case kDeleteInfectedFile:
      Choose(kActionDelete);
      return;
    case kMoveToRepository:
      Choose(kActionMove);
      return;
    case kIgnoreThreat:
      Choose(kActionIgnoreAll);
      return;
    case kMoveAll:
    case kDeleteAll:
    case kIgnoreAll:
      return;  // greyed here
    case kVirusInfo:
      MessageBox(name_, description_, platform::kMbOk | platform::kMbIconInformation);
      return;
    case kRecommendation:
      MessageBox(name_,
                 FormatText(LoadString(string_ids::kRecommendationFormat), {recommendation_}),
                 platform::kMbOk | platform::kMbIconInformation);
      return;
    case kClose:
      if (action_ != kActionNone) {
        End(ui::kResultOk);
      } else {
        MessageBox(caption, LoadString(string_ids::kSelectActionForFile),
                   platform::kMbOk | platform::kMbIconError);
      }
      return;
    default:
      Dialog::OnCommand(id);
  }
}

bool HandOffStartedDetection(IpcChannel& channel, const std::u16string& virus_details_path,
                             const ModalRunner& run, const BoxCall& box) {
  if (!channel.IsRegistered(kMainChannel)) {
    box(LoadString(string_ids::kProgramCaption), LoadString(string_ids::kGuiChannelFailed),
        platform::kMbOk);
    return false;
  }
  const HandOffOutcome outcome = HandOffDetection(
      channel,
      [&](const DetectionRecord& detection) {
        VirusDetailRecord detail;
        LookUpVirusDetail(virus_details_path, detection.virus_id, &detail);
        VirusDetectedDialog dialog(std::u16string(WideField(detection.path)), detail);
        run(dialog);
        return dialog.action();
      },
      nullptr);
  return outcome == HandOffOutcome::kAnswered;
}

}  // namespace kolvar

// The splash dialog; see splash_dialog.h.
#include "antivirus/splash_dialog.h"

#include "antivirus/string_table.h"

namespace kolvar {

SplashDialog::SplashDialog() : Dialog(LoadString(string_ids::kSplashTitle)) {}

void SplashDialog::OnInit() { StartTimer(kSplashTimer, kSplashPeriodMs); }

void SplashDialog::OnTimer(uint32_t id) {
  if (id != kSplashTimer) return;
  StopTimer(kSplashTimer);
  End(ui::kResultOk);
}

}  // namespace kolvar

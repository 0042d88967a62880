// The splash dialog: the program's picture for two seconds at start-up (when the "SplashScreen"
// setting is on), or until the Back key.
#ifndef KOLVAR_ANTIVIRUS_SPLASH_DIALOG_H_
#define KOLVAR_ANTIVIRUS_SPLASH_DIALOG_H_

#include <cstdint>

#include "ui/dialog.h"

namespace kolvar {

inline constexpr uint32_t kSplashTimer = 77;
inline constexpr uint32_t kSplashPeriodMs = 2000;

class SplashDialog : public ui::Dialog {
 public:
  SplashDialog();
  void OnInit() override;
  void OnTimer(uint32_t id) override;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_SPLASH_DIALOG_H_

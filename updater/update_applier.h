// The applier's worker: the steps that install a downloaded update package, in their order, told
// to a progress display (a window or standard error) and to the user through notices.
#ifndef KOLVAR_UPDATER_UPDATE_APPLIER_H_
#define KOLVAR_UPDATER_UPDATE_APPLIER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/configuration.h"
#include "common/message_text.h"

namespace kolvar::updater {

class ApplierProgress {
 public:
  virtual ~ApplierProgress() = default;
  virtual void SetPosition(int percent) = 0;
  virtual void SetStatus(std::u16string_view text) = 0;
};

struct ApplierRun {
  std::u16string cabinet;  // device path
  ConfigurationFile* configuration = nullptr;
  std::unique_ptr<ConfigurationFile> information;  // destroyed by the run once it is done with it
  ApplierProgress* progress = nullptr;
  UserNotice notice;
  // The pauses between the steps (the progress display's pacing); tests may shorten them.
  uint32_t pause_ms = 500;
};

// The cabinet installer's file name, started from the Windows folder: the registered installer
// command cut at its first space, or the default name.
std::u16string InstallerName();

// Runs the worker's steps; true when the update was installed and the main program restarted.
bool ApplyUpdate(ApplierRun* run);

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_UPDATE_APPLIER_H_

// Reading the scanner's configuration values; see scanner_settings.h.
#include "bkgscan/scanner_settings.h"

#include <cstdint>

#include "bkgscan/scanner_texts.h"
#include "common/config_keys.h"
#include "platform/message_box.h"
#include "platform/path.h"

namespace kolvar {

bool BackgroundScanningValue(ConfigStore& store, bool* found) {
  uint32_t value = 0;
  *found = ReadIntegerValue(store, config_keys::kConfig, config_keys::kEnableBckScan, &value);
  return *found && value != 0;
}

bool ScanPacingValue(ConfigStore& store) {
  uint32_t value = 1;
  // The device slept to keep a handheld usable; a desktop keeps itself usable through the scan
  // thread's idle CPU and I/O priority, so its scans run unpaced unless the key asks otherwise.
  if (!ReadIntegerValue(store, config_keys::kConfig, kScanPacingKey, &value)) {
    return platform::IsDeviceImage();
  }
  return value != 0;
}

bool ReadBackgroundScanning(ConfigurationFile& configuration, const UserNotice& notice) {
  bool found = false;
  const bool on = CurrentBackgroundScanning(configuration, &found);
  if (!found && notice) notice(kBackgroundValueMessage, platform::kMbOk | platform::kMbIconError);
  return on;
}

}  // namespace kolvar

// The two configuration values the background scanner follows: "EnableBckScan" (background
// scanning, read at start-up and again when the user interface attaches or detaches) and
// "ScanPacing" (the device's pacing of a scan; see kScanPacingKey). Both live in section
// "CONFIG" of kvmavcfg.dat, which other programs may save while the scanner runs.
#ifndef KOLVAR_BKGSCAN_SCANNER_SETTINGS_H_
#define KOLVAR_BKGSCAN_SCANNER_SETTINGS_H_

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/message_text.h"

namespace kolvar {

// Section "CONFIG", type 2 (32-bit). Non-zero: the device's pacing; 0: none; absent: paced in a
// device image, unpaced in the host profile. Not among the defaults of a new configuration.
inline constexpr const auto& kScanPacingKey = config_keys::kScanPacing;

// ReadBackgroundScanning: reloads the configuration (emptying the store first) when another
// program has saved it since it was last loaded, then reads "EnableBckScan". A value that cannot
// be read is told through `notice` ("Cannot load configuration value (Enable Background)...") and
// counts as off.
bool ReadBackgroundScanning(ConfigurationFile& configuration, const UserNotice& notice);

// The value of "EnableBckScan" as the store holds it now; false with *found false when it cannot
// be read (no such key, or a value that is not 4 bytes).
bool BackgroundScanningValue(ConfigStore& store, bool* found);

// The value of "ScanPacing" as the store holds it now: a 32-bit value that is not 0; without one,
// whether the device root is a device image.
bool ScanPacingValue(ConfigStore& store);

}  // namespace kolvar

#endif  // KOLVAR_BKGSCAN_SCANNER_SETTINGS_H_

// Reading the scanner's configuration values; see scanner_settings.h.
#include "bkgscan/scanner_settings.h"

#include <cstdint>

#include "bkgscan/scanner_texts.h"
#include "common/config_keys.h"
#include "platform/message_box.h"

namespace kolvar {
namespace {

// A 32-bit value of the CONFIG section; false when the key is missing or holds another size.
bool ReadInteger(ConfigStore& store, const char* key, uint32_t* value) {
  uint32_t type = 0;
  uint32_t size = 0;
  if (!store.GetValueInfo(key, &type, &size, config_keys::kConfig) || size != sizeof(*value)) {
    return false;
  }
  uint32_t read = 0;
  size = sizeof(read);
  if (!store.GetValue(key, &size, &read, config_keys::kConfig)) return false;
  *value = read;
  return true;
}

}  // namespace

bool BackgroundScanningValue(ConfigStore& store, bool* found) {
  uint32_t value = 0;
  *found = ReadInteger(store, config_keys::kEnableBckScan, &value);
  return *found && value != 0;
}

bool ScanPacingValue(ConfigStore& store) {
  uint32_t value = 1;
  return !ReadInteger(store, kScanPacingKey, &value) || value != 0;
}

bool ReadBackgroundScanning(ConfigurationFile& configuration, const UserNotice& notice) {
  ConfigStore& store = configuration.store();
  // A reload that fails keeps what was read before (the store is emptied only once the file has
  // been read whole).
  if (!configuration.path().empty() && store.IsModifiedElsewhere()) {
    store.Load(configuration.path(), /*clear_first=*/true);
  }
  bool found = false;
  const bool on = BackgroundScanningValue(store, &found);
  if (!found && notice) notice(kBackgroundValueMessage, platform::kMbOk | platform::kMbIconError);
  return on;
}

}  // namespace kolvar

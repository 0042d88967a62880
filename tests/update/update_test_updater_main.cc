// A stand-in for the updater in the update client's process tests. Started like the updater, with
// the cabinet's full device path as its one argument, it appends to \Temp\updater-runs.txt a line
// "<cabinet path>\t<cabinet present>\t<signature present>" and then does the updater's
// recording step: the pending update of section UPDATES becomes the last installed one.
#include <cstdint>
#include <memory>
#include <string>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

namespace keys = kolvar::config_keys;

void Copy(kolvar::ConfigStore& store, const char* from, const char* to) {
  uint32_t type = 0, size = 0;
  if (!store.GetValueInfo(from, &type, &size, keys::kUpdates)) return;
  std::string value(size, '\0');
  store.GetValue(from, &size, value.data(), keys::kUpdates);
  store.SetValue(to, type, size, value.data(), keys::kUpdates);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cabinet = argc > 1 ? argv[1] : "";
  std::u16string cabinet_path = kolvar::platform::Utf8ToUtf16Lossy(cabinet);
  const std::string line =
      cabinet + "\t" + (kolvar::platform::FileExists(cabinet_path) ? "1" : "0") + "\t" +
      (kolvar::platform::FileExists(cabinet_path + u".sig") ? "1" : "0") + "\n";
  kolvar::platform::File runs;
  if (runs.Open(u"\\Temp\\updater-runs.txt", kolvar::platform::FileAccess::kWrite,
                kolvar::platform::CreateDisposition::kOpenAlways)) {
    runs.Seek(0, kolvar::platform::SeekOrigin::kEnd);
    uint32_t written = 0;
    runs.Write(line.data(), static_cast<uint32_t>(line.size()), &written);
  }
  std::unique_ptr<kolvar::ConfigurationFile> configuration;
  if (!kolvar::OpenConfiguration(/*keep_as_is=*/true, &configuration)) return 1;
  kolvar::ConfigStore& store = configuration->store();
  Copy(store, keys::kUpdateId, keys::kLastUpdateId);
  Copy(store, keys::kReleaseDate, keys::kLastReleaseDate);
  Copy(store, keys::kUpdateTime, keys::kLastUpdateTime);
  Copy(store, keys::kUpdateFileSize, keys::kLastUpdateFileSize);
  const uint32_t zero = 0;
  store.SetValue(keys::kFlagUpdateAvailable, kolvar::kConfigTypeInteger, 4, &zero, keys::kUpdates);
  return configuration->Save() ? 0 : 1;
}

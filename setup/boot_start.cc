// Registering and removing the service's boot start; see boot_start.h.
#include "setup/boot_start.h"

#include <string>

#include "common/file_replacement.h"
#include "common/registry_key.h"
#include "ipc/ipc_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/registry_store.h"
#include "platform/startup_shortcut.h"
#include "setup/setup_texts.h"

namespace kolvar::setup {

bool RegisterBootStart(std::u16string_view install_folder) {
  const std::u16string service = platform::JoinPath(install_folder, kIpcServiceProgram);
  RegistryKey init(kRegistryPathRoot, kRegistryRootLocalMachine);
  // Registry texts are stored with their terminating NUL, as the device stores them.
  std::u16string data = service;
  data.push_back(u'\0');
  const bool value_written = init.OpenKey(kInitKeyName, /*relative=*/false, /*create=*/true) &&
                             init.SetValue(kBootStartValue, platform::kRegSz, data.data(),
                                           static_cast<uint32_t>(data.size() * sizeof(char16_t)));
  platform::StartupShortcut entry;
  const bool entry_written =
      platform::MakeStartupShortcut(kBootStartEntryName, service, kBootStartEntryTitle, &entry) &&
      ReplaceFileContents(entry.path, entry.contents.data(), entry.contents.size());
  return value_written && entry_written;
}

void RemoveBootStart() {
  RegistryKey init(kRegistryPathRoot, kRegistryRootLocalMachine);
  if (init.OpenKey(kInitKeyName, /*relative=*/false, /*create=*/false)) {
    init.DeleteValue(kSecondBootStartValue);
    init.DeleteValue(kBootStartValue);
  }
  std::u16string entry;
  if (platform::StartupShortcutPath(kBootStartEntryName, &entry)) platform::DeleteFile(entry);
}

}  // namespace kolvar::setup

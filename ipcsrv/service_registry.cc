// The service's registry values; see service_registry.h.
#include "ipcsrv/service_registry.h"

#include <string>
#include <string_view>

#include "common/folders.h"
#include "common/registry_key.h"
#include "ipc/ipc_names.h"
#include "platform/path.h"
#include "platform/registry_store.h"

namespace kolvar {
namespace {

// Registry strings are stored with their terminating NUL, as the device stores them.
bool SetString(RegistryKey& key, std::u16string_view name, std::u16string_view text) {
  std::u16string data(text);
  data.push_back(u'\0');
  return key.SetValue(name, platform::kRegSz, data.data(),
                      static_cast<uint32_t>(data.size() * sizeof(char16_t)));
}

void RecordServiceKey() {
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  if (key.OpenKey(kIpcServiceKeyName, /*relative=*/false, /*create=*/false)) return;
  FolderQuery folders;
  std::u16string install_dir;
  std::u16string windows;
  // Without its own folder the service cannot tell clients where to start it; it tries again at
  // its next start rather than recording a key that would stop every later attempt.
  if (!folders.RunningProgramFolder(&install_dir)) return;
  if (!key.OpenKey(kIpcServiceKeyName, /*relative=*/false, /*create=*/true)) return;
  SetString(key, kIpcInstallDirValue, install_dir);
  if (folders.WindowsFolder(&windows)) {
    SetString(key, kIpcDatabaseValue, platform::JoinPath(windows, kIpcDatabaseFileName));
  }
  SetString(key, kIpcVersionValue, kIpcServiceVersion);
}

void RecordBootStart() {
  RegistryKey init(kRegistryPathRoot, kRegistryRootLocalMachine);
  if (!init.OpenKey(u"Init", /*relative=*/false, /*create=*/false)) return;
  std::u16string program;
  if (!platform::RunningProgramPath(&program)) return;
  SetString(init, u"Launch99", program);
}

}  // namespace

void RecordServiceInRegistry() {
  RecordServiceKey();
  RecordBootStart();
}

}  // namespace kolvar

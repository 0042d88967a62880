// The exported entry points of the setup library, over one SetupHooks for the library's load.
#include <string_view>
#include <type_traits>

#include "setup/kvmsetup.h"
#include "setup/setup_hooks.h"

namespace {

// Never destroyed, so that the service it started is never handed to a reaping thread (see
// SetupHooks).
kolvar::setup::SetupHooks& Hooks() {
  static kolvar::setup::SetupHooks* const hooks = new kolvar::setup::SetupHooks;
  return *hooks;
}

std::u16string_view Text(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t Install_Init(void* /*parent_window*/,
                                                            int32_t /*first_call*/,
                                                            int32_t /*previously_installed*/,
                                                            const char16_t* install_dir) {
  return Hooks().InstallInit(Text(install_dir));
}

__attribute__((visibility("default"))) int32_t Install_Exit(
    void* /*parent_window*/, const char16_t* install_dir, uint16_t /*failed_folders*/,
    uint16_t /*failed_files*/, uint16_t /*failed_keys*/, uint16_t /*failed_values*/,
    uint16_t /*failed_shortcuts*/) {
  return Hooks().InstallExit(Text(install_dir));
}

__attribute__((visibility("default"))) int32_t Uninstall_Init(void* /*parent_window*/,
                                                              const char16_t* install_dir) {
  return Hooks().UninstallInit(Text(install_dir));
}

__attribute__((visibility("default"))) int32_t Uninstall_Exit(void* /*parent_window*/) {
  return Hooks().UninstallExit();
}

}  // extern "C"

// The entry points keep the installer's types.
static_assert(std::is_same_v<decltype(&Install_Init), InstallInitEntry>);
static_assert(std::is_same_v<decltype(&Install_Exit), InstallExitEntry>);
static_assert(std::is_same_v<decltype(&Uninstall_Init), UninstallInitEntry>);
static_assert(std::is_same_v<decltype(&Uninstall_Exit), UninstallExitEntry>);

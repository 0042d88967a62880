// The four entry points of the setup library, as the installer calls them: before and after it
// copies the suite's files, or before and after it removes them. The parameters are the device
// installer's (parent window, first-call and previously-installed flags, installation folder, and
// after copying the counts of what failed); the window is unused on Linux. Each returns 0 to go
// on; the init entries return 1 to cancel (nothing has been changed then).
#ifndef KOLVAR_SETUP_KVMSETUP_H_
#define KOLVAR_SETUP_KVMSETUP_H_

#include <cstdint>

extern "C" {

typedef int32_t (*InstallInitEntry)(void* parent_window, int32_t first_call,
                                    int32_t previously_installed, const char16_t* install_dir);
typedef int32_t (*InstallExitEntry)(void* parent_window, const char16_t* install_dir,
                                    uint16_t failed_folders, uint16_t failed_files,
                                    uint16_t failed_keys, uint16_t failed_values,
                                    uint16_t failed_shortcuts);
typedef int32_t (*UninstallInitEntry)(void* parent_window, const char16_t* install_dir);
typedef int32_t (*UninstallExitEntry)(void* parent_window);

}  // extern "C"

namespace kolvar::setup {

inline constexpr char kInstallInitSymbol[] = "Install_Init";
inline constexpr char kInstallExitSymbol[] = "Install_Exit";
inline constexpr char kUninstallInitSymbol[] = "Uninstall_Init";
inline constexpr char kUninstallExitSymbol[] = "Uninstall_Exit";

// The library's file name beside the suite's programs.
inline constexpr char16_t kSetupLibraryFileName[] = u"kvmsetup.so";

inline constexpr int32_t kSetupContinue = 0;
inline constexpr int32_t kSetupCancel = 1;

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_KVMSETUP_H_

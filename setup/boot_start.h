// The IPC service's start at device start: the boot value "Launch99" in HKEY_LOCAL_MACHINE
// "Init", which the service also writes on its own, and on Linux the desktop's start-at-login
// entry that carries it out. The installer registers both; the uninstall removes both, with the
// second boot value "Launch991" that other versions wrote.
#ifndef KOLVAR_SETUP_BOOT_START_H_
#define KOLVAR_SETUP_BOOT_START_H_

#include <string_view>

namespace kolvar::setup {

// Writes "Launch99" naming the service of `install_folder` (creating "Init" when missing) and the
// start-at-login entry. False when either cannot be written.
bool RegisterBootStart(std::u16string_view install_folder);

// Deletes "Launch991", "Launch99" and the start-at-login entry; what is missing is passed over.
void RemoveBootStart();

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_BOOT_START_H_

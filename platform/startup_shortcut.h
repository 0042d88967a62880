// The device's startup shortcuts on Linux: a program that starts when the device starts is a
// shortcut file in the device's startup folder. In a device image that stays the device's own
// shortcut file, "<startup folder>\<name>.lnk" holding "<length>#<quoted target>"; in the host
// profile the desktop's own start-with-login mechanism stands in for it, an XDG autostart entry
// "<name>.desktop" in ~/.config/autostart that starts the target's host program. Either way the
// shortcut is on while its file exists. This file only says where the file lies and what it
// holds; the program that owns the setting writes and removes it.
#ifndef KOLVAR_PLATFORM_STARTUP_SHORTCUT_H_
#define KOLVAR_PLATFORM_STARTUP_SHORTCUT_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

struct StartupShortcut {
  std::u16string path;   // device path of the shortcut file
  std::string contents;  // its bytes
};

// The shortcut `name` (a file name without extension) that starts the program `target` (a device
// path) at start-up, titled `title` where the desktop shows one. False (last error set) when the
// startup folder cannot be had.
bool MakeStartupShortcut(std::u16string_view name, std::u16string_view target,
                         std::u16string_view title, StartupShortcut* shortcut);

// The device path of the shortcut file `name`, as MakeStartupShortcut places it.
bool StartupShortcutPath(std::u16string_view name, std::u16string* path);

// A value of a desktop entry's Exec key that runs `host_program` with no arguments: quoted, with
// the characters the format reserves escaped.
std::string DesktopExecValue(std::string_view host_program);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_STARTUP_SHORTCUT_H_

// The desktop's top-level windows and their processes, and raising one of them, for the process
// manager. On Linux this is X11 (a Wayland desktop with XWayland shows its X11 programs only):
// libX11 is loaded when first needed, so programs without a display never depend on it. Raising
// another program's window is a request to the window manager (the common window-manager hints'
// "active window" message), which only a desktop whose window manager supports it honours.
#ifndef KOLVAR_PLATFORM_DESKTOP_WINDOWS_H_
#define KOLVAR_PLATFORM_DESKTOP_WINDOWS_H_

#include <cstdint>
#include <vector>

namespace kolvar::platform {

struct TopWindow {
  uint64_t window = 0;
  uint32_t pid = 0;
};

// The top-level windows that name their process, in the desktop's stacking order (bottom first);
// empty without a display.
std::vector<TopWindow> ListTopWindows();

// Whether the desktop lets a program bring another program's window to the front.
bool CanActivateWindows();
// Asks the window manager to activate (raise and focus) the window. False when the desktop does
// not allow it or the window is gone.
bool ActivateWindow(uint64_t window);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_DESKTOP_WINDOWS_H_

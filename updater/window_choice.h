// Whether the applier shows its progress window or writes its progress to standard error. A
// window needs a display: Qt is asked for the platform the environment names (else Wayland or X by
// the display variables) with its offscreen platform last, so that a display that cannot be
// reached ends up offscreen instead of ending the program; a window that nobody can see is then
// given up for standard error. An offscreen platform named first is asked for on purpose (tests,
// screenshots) and keeps the window.
#ifndef KOLVAR_UPDATER_WINDOW_CHOICE_H_
#define KOLVAR_UPDATER_WINDOW_CHOICE_H_

#include <string>
#include <string_view>

namespace kolvar::updater {

struct WindowPlatforms {
  bool try_window = false;  // false: no display at all, no window is tried
  std::string platforms;    // for QT_QPA_PLATFORM: names separated by ";", offscreen last
  bool offscreen_wanted = false;
};

// From the values of QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (null or empty: unset).
WindowPlatforms ChooseWindowPlatforms(const char* qpa_platform, const char* display,
                                      const char* wayland_display);
// Whether the platform that Qt took (its name) shows the window.
bool ShowsWindow(const WindowPlatforms& choice, std::string_view platform_name);

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_WINDOW_CHOICE_H_

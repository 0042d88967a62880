// The applier's choice of a window; see window_choice.h.
#include "updater/window_choice.h"

namespace kolvar::updater {
namespace {

constexpr std::string_view kOffscreen = "offscreen";

bool IsSet(const char* value) { return value != nullptr && *value != '\0'; }

// The plugin name of a platform entry ("offscreen:size=..." names "offscreen").
std::string_view PluginName(std::string_view entry) { return entry.substr(0, entry.find(':')); }

}  // namespace

WindowPlatforms ChooseWindowPlatforms(const char* qpa_platform, const char* display,
                                      const char* wayland_display) {
  WindowPlatforms choice;
  if (IsSet(qpa_platform)) {
    choice.platforms = qpa_platform;
  } else if (IsSet(wayland_display)) {
    choice.platforms = IsSet(display) ? "wayland;xcb" : "wayland";
  } else if (IsSet(display)) {
    choice.platforms = "xcb";
  } else {
    return choice;
  }
  choice.try_window = true;
  bool has_offscreen = false;
  bool first = true;
  std::string_view rest = choice.platforms;
  while (!rest.empty()) {
    const size_t cut = rest.find(';');
    const std::string_view name = PluginName(rest.substr(0, cut));
    if (!name.empty()) {
      if (name == kOffscreen) {
        has_offscreen = true;
        if (first) choice.offscreen_wanted = true;
      }
      first = false;
    }
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  if (!has_offscreen) choice.platforms += ";offscreen";
  return choice;
}

bool ShowsWindow(const WindowPlatforms& choice, std::string_view platform_name) {
  return choice.try_window && (platform_name != kOffscreen || choice.offscreen_wanted);
}

}  // namespace kolvar::updater

// Startup shortcuts on Linux; see startup_shortcut.h.
#include "platform/path.h"
#include "platform/startup_shortcut.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

constexpr char16_t kDeviceExtension[] = u".lnk";
constexpr char16_t kDesktopExtension[] = u".desktop";

// A desktop entry's string value: backslash, line breaks and tabs escaped, nothing else.
std::string DesktopString(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string DesktopExecValue(std::string_view host_program) {
  // Inside the quotes of an Exec argument '"', '`', '$' and '\' take a backslash, and a '%' is
  // doubled (field codes); the value as a whole is then a string value with its own escapes.
  std::string quoted = "\"";
  for (char c : host_program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return DesktopString(quoted);
}

bool StartupShortcutPath(std::u16string_view name, std::u16string* path) {
  std::u16string folder;
  if (!GetSpecialFolder(SpecialFolder::kStartup, &folder)) return false;
  *path = JoinPath(folder,
                   std::u16string(name) + (IsDeviceImage() ? kDeviceExtension : kDesktopExtension));
  return true;
}

bool MakeStartupShortcut(std::u16string_view name, std::u16string_view target,
                         std::u16string_view title, StartupShortcut* shortcut) {
  if (!StartupShortcutPath(name, &shortcut->path)) return false;
  if (IsDeviceImage()) {
    // The device's shortcut: the length of the command line, "#", the command line.
    const std::u16string command = u"\"" + std::u16string(target) + u"\"";
    shortcut->contents = std::to_string(command.size()) + "#" + Utf16ToUtf8(command);
    return true;
  }
  shortcut->contents =
      "[Desktop Entry]\nType=Application\nName=" + DesktopString(Utf16ToUtf8(title)) +
      "\nExec=" + DesktopExecValue(HostPath(target)) +
      "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  return true;
}

}  // namespace kolvar::platform

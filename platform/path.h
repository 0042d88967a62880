// Device paths: the suite's wide, "\"-separated paths from the device root, and their mapping to
// host paths below KOLVAR_DEVICE_ROOT. Also the special folders of the two profiles (a device
// image below a root folder, or the host's own XDG folders when the root is "/").
#ifndef KOLVAR_PLATFORM_PATH_H_
#define KOLVAR_PLATFORM_PATH_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

// Longest device path, in characters, including the terminating NUL of the device's buffers.
inline constexpr size_t kMaxPath = 260;

// folder + "\" + name, without doubling a "\" that ends the folder.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Host folder of the device root, from KOLVAR_DEVICE_ROOT (read on every call so tests may change
// it); "/" when unset or empty. Never ends in "/" unless it is "/".
std::string DeviceRoot();
// True when the root is not "/": the special folders are the device's own below the root.
bool IsDeviceImage();
// The device root as one spelling for one folder: absolute, its links resolved and "." and ".."
// taken out, so that two programs can tell whether they serve the same device. A root that does
// not exist keeps the links of its missing part as written. "/" for the host profile.
std::string CanonicalDeviceRoot();

// Host path of a device path: root + the path with "\" (or "/") turned into "/", each name turned
// into its host bytes (see HostNameFromDevice). A relative device path is taken from the root as
// well. Empty components and "." are dropped and ".." goes up one component but never above the
// root, so no device path names a host file outside the root.
std::string HostPath(std::u16string_view device_path);
// True when every name of `device_path` is the device name of some host name (see
// HostNameFromDevice) and it holds no NUL.
bool IsValidDevicePath(std::u16string_view device_path);
// HostPath for an operation on the path: false with 3 for an empty path, 206 for a path of
// kMaxPath characters or more, 123 for a path that is not IsValidDevicePath.
bool CheckedHostPath(std::u16string_view device_path, std::string* host_path);
// How a path is shown to people, UTF-8: the device path in a device image, where the device's own
// names are the ones that mean something ("\My Documents\a.txt"), and the host path in the host
// profile, where the device path is only the host path spelt with "\". Bytes that are no text are
// shown as "\xFF" (see ShownDeviceText and ShownHostText).
std::string ShownPath(std::u16string_view device_path);
// The host path of a device path as shown, in either profile.
std::string ShownHostPath(std::u16string_view device_path);
// Device path of a host path below the root (absolute or relative to the working folder; "." and
// ".." resolved by name, and the root also compared after resolving its links). Every host name
// has a device name (see DeviceNameFromHost). False with 3 when it lies outside the root, 206 when
// the device path would be too long.
bool DevicePathFromHost(std::string_view host_path, std::u16string* device_path);

enum class SpecialFolder {
  kWindows,       // "\Windows" or $XDG_CONFIG_HOME/kolvar (default ~/.config/kolvar)
  kDocuments,     // "\My Documents" or the XDG documents folder (else $HOME)
  kStartup,       // "\Windows\StartUp" or $XDG_CONFIG_HOME/autostart (~/.config/autostart)
  kProgramFiles,  // "\Program Files" or ~/.local/lib
  kTemp,          // "\Temp" or $TMPDIR or /tmp
};
// In the host profile the XDG documents folder is $XDG_DOCUMENTS_DIR when set, else the
// XDG_DOCUMENTS_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs, else $HOME; only absolute values count
// (as XDG asks), and $HOME falls back to the password database.
// Device path of a special folder, without a trailing "\". Creates the host folder when it is
// missing (as the device's folders always exist). False with the last error set on failure.
bool GetSpecialFolder(SpecialFolder folder, std::u16string* device_path);

// Device path of the running program's file (its "module file name", from /proc/self/exe). False
// when the program does not lie below the device root.
bool RunningProgramPath(std::u16string* device_path);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_PATH_H_

// The device's cabinet installer (our wceload): checks a whole package before it writes anything,
// then puts each file in place whole and registers the package as the device's installer does.
#ifndef KOLVAR_UPDATER_PACKAGE_INSTALLER_H_
#define KOLVAR_UPDATER_PACKAGE_INSTALLER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar {
class ConfigStore;
}

namespace kolvar::updater {

// Reads a whole file by device path, refusing one larger than `limit` bytes.
bool ReadWholeFile(std::u16string_view path, size_t limit, std::vector<uint8_t>* bytes,
                   std::string* error);

struct InstallOptions {
  bool keep_uninstall = true;  // false with "/nouninstall": no uninstall list is registered
};

// Installs the cabinet at a device path. `configuration` (may be null) expands "#program#". A
// cabinet that cannot be read, lacks a valid manifest, holds files that the manifest does not list
// (or the reverse), or names a destination that is not a plain folder below one of the allowed
// folders (a link on the way, a non-file at the destination) is refused with nothing written.
// On success *installed lists the device paths written.
bool InstallPackage(std::u16string_view cabinet, const InstallOptions& options,
                    ConfigStore* configuration, std::vector<std::u16string>* installed,
                    std::string* error);

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_PACKAGE_INSTALLER_H_

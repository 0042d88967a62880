// The folder that `kolvar scan` is given: a device path ("\My Documents"), or a host path below
// the device root (absolute or relative to the working folder), or nothing for the whole device.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SCAN_FOLDER_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SCAN_FOLDER_H_

#include <optional>
#include <string>

namespace kolvar {

// The device path of an existing folder that the scanner can walk. False with *problem (one line)
// when the path cannot be a device folder, lies outside the root, or names no folder.
bool ResolveScanFolder(const std::optional<std::string>& given, std::u16string* folder,
                       std::string* problem);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SCAN_FOLDER_H_

// Resolving the scan folder; see scan_folder.h.
#include "antivirus/kolvar/scan_folder.h"

#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/scan_engine.h"

namespace kolvar {

bool ResolveScanFolder(const std::optional<std::string>& given, std::u16string* folder,
                       std::string* problem) {
  if (!given.has_value() || given->empty()) {
    *folder = u"\\";
    return true;
  }
  const std::string& text = *given;
  std::u16string path;
  if (text[0] == '\\') {
    if (!platform::Utf8ToUtf16(text, &path)) {
      *problem = "'" + text + "' is not valid UTF-8";
      return false;
    }
  } else if (!platform::DevicePathFromHost(text, &path)) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorPathNotFound) {
      *problem = "'" + text + "' lies outside the device root " + platform::DeviceRoot();
    } else if (error == platform::kErrorFilenameExcedRange) {
      *problem = "'" + text + "' is too long for a device path";
    } else {
      *problem = "'" + text + "' cannot be a device path (" +
                 platform::Utf16ToUtf8(SystemErrorText(error)) + ")";
    }
    return false;
  }
  while (path.size() > 1 && path.back() == u'\\') path.pop_back();
  if (path.size() > kMaxWalkedFolderChars) {
    *problem = "'" + text + "' is too long for the scanner to walk";
    return false;
  }
  if (!platform::DirectoryExists(path)) {
    *problem = platform::FileExists(path) ? "'" + text + "' is a file, not a folder"
                                          : "there is no folder '" + text + "'";
    return false;
  }
  *folder = std::move(path);
  return true;
}

}  // namespace kolvar

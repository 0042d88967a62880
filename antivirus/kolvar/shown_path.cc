// Paths as shown; see shown_path.h.
#include "antivirus/kolvar/shown_path.h"

#include "platform/path.h"
#include "platform/text.h"

namespace kolvar {

std::string ShownPath(std::u16string_view device_path) {
  if (platform::IsDeviceImage()) return platform::Utf16ToUtf8(device_path);
  return platform::HostPath(device_path);
}

}  // namespace kolvar

// Platform-type text from the environment.
#include <cstdlib>

#include "platform/platform_kind.h"
#include "platform/text.h"

namespace kolvar::platform {

std::u16string PlatformTypeText() {
  const char* text = std::getenv("KOLVAR_PLATFORM_TYPE");
  if (text == nullptr || *text == '\0') return u"PocketPC";
  return Utf8ToUtf16Lossy(text);
}

}  // namespace kolvar::platform

// The kind of device the suite believes it runs on: the device's platform-type text ("PocketPC",
// "SmartPhone", ...), which on Linux comes from KOLVAR_PLATFORM_TYPE and defaults to "PocketPC".
#ifndef KOLVAR_PLATFORM_PLATFORM_KIND_H_
#define KOLVAR_PLATFORM_PLATFORM_KIND_H_

#include <string>

namespace kolvar::platform {

// The platform-type text, read on every call so that tests may change it.
std::u16string PlatformTypeText();

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_PLATFORM_KIND_H_

// Paths as shown; see shown_path.h.
#include "antivirus/kolvar/shown_path.h"

#include "platform/path.h"
#include "platform/text.h"

namespace kolvar {

std::string ShownPath(std::u16string_view device_path) { return platform::ShownPath(device_path); }

}  // namespace kolvar

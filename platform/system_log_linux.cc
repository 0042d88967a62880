// The system log through syslog(3); the texts are UTF-8 on the host.
#include <syslog.h>

#include <string>

#include "platform/system_log.h"
#include "platform/text.h"

namespace kolvar::platform {

void WriteSystemLog(std::u16string_view program, std::u16string_view text) {
  const std::string line = Utf16ToUtf8(program) + ": " + Utf16ToUtf8(text);
  syslog(LOG_USER | LOG_WARNING, "%s", line.c_str());
}

}  // namespace kolvar::platform

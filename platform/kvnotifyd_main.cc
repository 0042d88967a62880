// kvnotifyd: the dispatcher of the device's notification service (platform/notification.h).
// Command line: nothing, "--login", or "--fire HANDLE EVENTNUMBER" for its own firing processes.
#include <cstdlib>
#include <string>

#include "platform/notification_dispatcher.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  using namespace kolvar::platform;
  const std::string line = argc > 1 ? argv[1] : "";
  if (line.empty()) return RunNotificationDispatcher(false);
  if (line == Utf16ToUtf8(kDispatcherLoginArgument)) return RunNotificationDispatcher(true);
  const std::string fire = Utf16ToUtf8(kDispatcherFireArgument) + " ";
  if (line.rfind(fire, 0) == 0) {
    char* end = nullptr;
    const unsigned long handle = std::strtoul(line.c_str() + fire.size(), &end, 10);
    const long long event = std::strtoll(end, &end, 10);
    if (end != nullptr && *end == '\0') {
      return FireNotification(static_cast<NotificationHandle>(handle), event);
    }
  }
  return 2;
}

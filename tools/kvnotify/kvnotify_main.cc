// kvnotify: the registrations of the device's notification service for people and scripts: which
// program starts when, or on which event, with which command line; making one, and clearing one.
// Exit code 0 on success, 1 with a message on standard error otherwise.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/notification.h"
#include "platform/text.h"

namespace kolvar::kvnotify {
namespace {

using namespace kolvar::platform;

constexpr char kUsage[] =
    "usage: kvnotify list            every registration, one line each, tab-separated:\n"
    "                                handle, trigger (\"time\", \"wake-up\" or \"network\"), "
    "start\n"
    "                                (YYYY-MM-DD HH:MM:SS local, or \"-\"), program, command line\n"
    "       kvnotify clear HANDLE    removes one registration\n"
    "       kvnotify at \"YYYY-MM-DD HH:MM:SS\" PROGRAM [COMMANDLINE]\n"
    "       kvnotify on wake-up|network PROGRAM [COMMANDLINE]\n"
    "                                registers PROGRAM (a device path) to start at that local\n"
    "                                moment, or on every wake-up or network connection after\n"
    "                                now, and prints the new handle\n"
    "       kvnotify path            the table's database file\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kvnotify: %s\n%s", problem.c_str(), kUsage);
  return 1;
}

int Failure(const std::string& what) {
  std::fprintf(stderr, "kvnotify: %s: %s\n", what.c_str(),
               std::string(ErrorMeaning(GetLastError())).c_str());
  return 1;
}

std::string Cell(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit < 0x20 || unit == 0x7F) unit = u'?';
  }
  return ShownDeviceText(text);
}

std::string TriggerName(const NotificationTrigger& trigger) {
  if (trigger.type == kTriggerTime) return "time";
  if (trigger.event == kEventWakeup) return "wake-up";
  if (trigger.event == kEventNetworkConnection) return "network";
  return "event " + std::to_string(trigger.event);
}

int List() {
  std::vector<NotificationHandle> handles;
  if (!ListNotifications(&handles)) return Failure("the notification table");
  for (NotificationHandle handle : handles) {
    NotificationTrigger trigger;
    if (!ReadNotification(handle, &trigger)) {
      if (GetLastError() == kErrorFileNotFound) continue;  // cleared meanwhile
      return Failure("registration " + std::to_string(handle));
    }
    char start[48] = "-";
    if (trigger.type == kTriggerTime) {
      const SystemTime& t = trigger.start;
      std::snprintf(start, sizeof start, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                    t.hour, t.minute, t.second);
    }
    std::printf("%u\t%s\t%s\t%s\t%s\n", handle, TriggerName(trigger).c_str(), start,
                Cell(trigger.application).c_str(), Cell(trigger.arguments).c_str());
  }
  return 0;
}

int Clear(const std::string& text) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return Usage("HANDLE is a decimal number");
  }
  const unsigned long long handle = std::stoull(text);
  if (handle > 0xFFFFFFFFull) return Usage("HANDLE is a 32-bit number");
  if (!ClearNotification(static_cast<NotificationHandle>(handle))) {
    return Failure("registration " + text);
  }
  return 0;
}

int Register(NotificationTrigger trigger, const char* program, const char* command_line) {
  trigger.application = Utf8ToUtf16Lossy(program);
  trigger.arguments = command_line != nullptr ? Utf8ToUtf16Lossy(command_line) : u"";
  NotificationHandle handle = 0;
  if (!SetNotification(trigger, &handle)) return Failure("cannot register");
  std::printf("%u\n", handle);
  return 0;
}

int At(const std::string& moment, const char* program, const char* command_line) {
  unsigned y, mo, d, h, mi, se;
  char rest;
  if (moment.size() != 19 || std::sscanf(moment.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo,
                                         &d, &h, &mi, &se, &rest) != 6) {
    return Usage("the moment is written YYYY-MM-DD HH:MM:SS");
  }
  NotificationTrigger trigger;
  trigger.type = kTriggerTime;
  trigger.start = SystemTime{static_cast<uint16_t>(y),
                             static_cast<uint16_t>(mo),
                             0,
                             static_cast<uint16_t>(d),
                             static_cast<uint16_t>(h),
                             static_cast<uint16_t>(mi),
                             static_cast<uint16_t>(se),
                             0};
  return Register(trigger, program, command_line);
}

int On(std::string_view event, const char* program, const char* command_line) {
  NotificationTrigger trigger;
  trigger.type = kTriggerEvent;
  if (event == "wake-up") {
    trigger.event = kEventWakeup;
  } else if (event == "network") {
    trigger.event = kEventNetworkConnection;
  } else {
    return Usage("the event is \"wake-up\" or \"network\"");
  }
  return Register(trigger, program, command_line);
}

}  // namespace
}  // namespace kolvar::kvnotify

int main(int argc, char** argv) {
  using namespace kolvar::kvnotify;
  if (argc < 2) return Usage("no command");
  const std::string_view command = argv[1];
  int result;
  if (command == "list" && argc == 2) {
    result = List();
  } else if (command == "clear" && argc == 3) {
    result = Clear(argv[2]);
  } else if (command == "at" && (argc == 4 || argc == 5)) {
    result = At(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  } else if (command == "on" && (argc == 4 || argc == 5)) {
    result = On(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  } else if (command == "path" && argc == 2) {
    std::string path;
    if (!kolvar::platform::NotificationDatabasePath(&path)) return Failure("the Windows folder");
    std::printf("%s\n", path.c_str());
    result = 0;
  } else if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  } else {
    return Usage("unknown command or wrong number of arguments");
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "kvnotify: cannot write the output\n");
    return 1;
  }
  return result;
}

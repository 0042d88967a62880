// The device's user-notification service: registrations that start a program at a moment or on a
// system event, kept in one SQLite table ("notify.db" in the Windows folder) and carried out by
// the dispatcher daemon kvnotifyd, one per user and device root. Registering starts the daemon
// when it is not running (from the registering program's folder) and tells a running one to look
// again; the desktop starts it at login through an XDG autostart entry.
//
// Time registrations fire once, at their start time (local time, to the second) or, when that
// moment passed while no daemon ran (the machine off or asleep), at the daemon's next start or
// wake-up, and are then removed. Event registrations stay and fire on every occurrence of their
// event that happens after they were made: device wake-up (the daemon's start after a boot, its
// start at login, a resume from suspend) and network connection (a default route appearing).
// Whatever moment the daemon is killed at, no registration is lost and none fires twice for one
// moment or one event.
#ifndef KOLVAR_PLATFORM_NOTIFICATION_H_
#define KOLVAR_PLATFORM_NOTIFICATION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace kolvar::platform {

inline constexpr uint32_t kTriggerEvent = 1;
inline constexpr uint32_t kTriggerTime = 2;
inline constexpr uint32_t kEventNetworkConnection = 5;
inline constexpr uint32_t kEventWakeup = 11;

// The trigger of a registration, as the device's 52-byte structure carries it.
struct NotificationTrigger {
  uint32_t type = kTriggerTime;
  uint32_t event = 0;          // for event triggers
  std::u16string application;  // device path of the program to start
  std::u16string arguments;    // its command line, one argument (none when empty)
  SystemTime start = {};       // time triggers: local time; day of week and milliseconds unused
  SystemTime end = {};         // kept, not used
};

using NotificationHandle = uint32_t;

// The program file name of the daemon, beside the suite's programs.
inline constexpr char16_t kNotificationDaemonName[] = u"kvnotifyd";
// The file in the temporary folder that receives the output of a dispatcher started on demand.
inline constexpr char16_t kNotificationDaemonLogName[] = u"kvnotifyd.log";

// Registers a trigger and returns its handle. False with 87 for an unknown trigger type or event,
// a time trigger whose start is no date, or texts with NUL; 170 when the table stays busy.
bool SetNotification(const NotificationTrigger& trigger, NotificationHandle* handle);
// The handles of every registration, oldest first.
bool ListNotifications(std::vector<NotificationHandle>* handles);
// One registration; false with 2 when there is none with the handle.
bool ReadNotification(NotificationHandle handle, NotificationTrigger* trigger);
// Removes one registration; false with 2 when there is none with the handle.
bool ClearNotification(NotificationHandle handle);
// The host path of the table's database, for tools and tests.
bool NotificationDatabasePath(std::string* host_path);

// Whether the machine has a network connection: a default route (IPv4 or IPv6) on an interface
// other than loopback. When KOLVAR_NETWORK_STATE_FILE names a file, that file answers instead:
// connected exactly when it exists and begins with "1" (tests and offline demonstrations).
bool IsNetworkConnected();

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_NOTIFICATION_H_

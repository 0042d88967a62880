// kvnotifyd, the dispatcher of the notification service: one per user and device root (a named
// mutex), it notes system events in the table (wake-up at its start after a boot, at login and
// after a resume from suspend; network connection when a default route appears) and hands each
// due registration to a firing process of its own, which claims it in the table and then becomes
// the registered program. See notification_store_linux.h for why a kill never loses or repeats
// a firing.
#ifndef KOLVAR_PLATFORM_NOTIFICATION_DISPATCHER_H_
#define KOLVAR_PLATFORM_NOTIFICATION_DISPATCHER_H_

#include <cstdint>
#include <string_view>

#include "platform/notification.h"

namespace kolvar::platform {

// The dispatcher's single-instance mutex ("_@KVNOTIFYD@_") and the event that registering programs
// set to make it look at the table again ("@_KVNOTIFYD_@"), which also tells that it runs.
inline constexpr char16_t kDispatcherMutexName[] = u"_@KVNOTIFYD@_";
inline constexpr char16_t kDispatcherWakeEventName[] = u"@_KVNOTIFYD_@";

// The command lines of kvnotifyd: none (started on demand), "--login" (started by the desktop at
// login, which counts as a device wake-up) and "--fire HANDLE EVENTNUMBER" (a firing process;
// event number 0 for a time registration).
inline constexpr char16_t kDispatcherLoginArgument[] = u"--login";
inline constexpr char16_t kDispatcherFireArgument[] = u"--fire";

// Runs the dispatcher until it is ended; returns at once (0) when another one runs, after telling
// it of a login.
int RunNotificationDispatcher(bool login);
// Claims one firing and, when the claim is this process's, replaces the process by the
// registered program. Returns only when there is nothing to start (0) or it failed (1).
int FireNotification(NotificationHandle handle, int64_t event_number);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_NOTIFICATION_DISPATCHER_H_

// The IPC service program: one instance at most (its presence event "@_KVMIPCSRV_@" tells the
// others that it runs), the registry values through which clients find it, the IPC database, and
// the worker thread. The main thread only starts up, waits for the presence event to be set, and
// shuts down; the worker leaves its loop before the database is released.
#ifndef KOLVAR_IPCSRV_IPC_SERVICE_H_
#define KOLVAR_IPCSRV_IPC_SERVICE_H_

#include <string_view>

namespace kolvar {

// Runs the service until its presence event is set. Returns the exit code (0 in every case, as
// after any start-up failure of the suite's programs).
int RunIpcService();

// The texts of the service's failure messages and their caption.
inline constexpr char16_t kIpcServiceTitle[] = u"Kolvar IPC Service";
inline constexpr char kOpenDatabaseFailedFormat[] = "Error %ld calling KVCIPCDB::OpenIPCDatabase!";
inline constexpr char kCreateThreadFailedFormat[] = "Error %ld calling CreateThread!";
// Our own: the device never fails to create the presence event; on Linux the namespace folder
// may refuse it, and the cause follows.
inline constexpr char kPresenceFailedFormat[] =
    "Error %ld creating the IPC service's presence event!";

}  // namespace kolvar

#endif  // KOLVAR_IPCSRV_IPC_SERVICE_H_

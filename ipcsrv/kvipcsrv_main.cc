// kvipcsrv: the IPC service of the suite, started without arguments by setup, at boot, or by a
// program that finds it missing; it runs until its presence event "@_KVMIPCSRV_@" is set.
#include "ipcsrv/ipc_service.h"

int main() { return kolvar::RunIpcService(); }

// The registry values of the IPC service: at its first start it records where it is installed
// ("InstallDir", which clients use to start it), the name of its database and its version under
// "Software\Kolvar Corp.\Kolvar IPC Service" of HKEY_CURRENT_USER, and on every start it enters
// itself as the boot program "Launch99" when the key "Init" of HKEY_LOCAL_MACHINE exists.
#ifndef KOLVAR_IPCSRV_SERVICE_REGISTRY_H_
#define KOLVAR_IPCSRV_SERVICE_REGISTRY_H_

namespace kolvar {

// Failures leave the registry as it was; the service runs without these values.
void RecordServiceInRegistry();

}  // namespace kolvar

#endif  // KOLVAR_IPCSRV_SERVICE_REGISTRY_H_

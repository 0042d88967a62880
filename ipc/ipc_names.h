// The names through which the programs find the IPC service and its objects: the database and
// its request objects, the four mailbox objects of each channel slot, the service's presence
// event, and the service's registry key and program file. These texts are the contract between
// the programs, so they are spelled here once.
#ifndef KOLVAR_IPC_IPC_NAMES_H_
#define KOLVAR_IPC_IPC_NAMES_H_

#include <cstdint>
#include <string>

namespace kolvar {

inline constexpr char16_t kIpcDatabaseName[] = u"KVCIPCSHMEM";
inline constexpr char16_t kIpcRequestMutexName[] = u"KVCIPCCPLEV";
inline constexpr char16_t kIpcRequestPostedEventName[] = u"KVCIPCSYNC";
inline constexpr char16_t kIpcRequestAnsweredEventName[] = u"KVCIPCREQEV";
// Exists while the service runs; setting it stops the service.
inline constexpr char16_t kIpcServiceEventName[] = u"@_KVMIPCSRV_@";

// The service's key below the company key of HKEY_CURRENT_USER, and its values.
inline constexpr char16_t kIpcServiceKeyName[] = u"Kolvar IPC Service";
inline constexpr char16_t kIpcInstallDirValue[] = u"InstallDir";
inline constexpr char16_t kIpcDatabaseValue[] = u"IPCDB";
inline constexpr char16_t kIpcVersionValue[] = u"Version";
inline constexpr char16_t kIpcServiceVersion[] = u"1.51";
inline constexpr char16_t kIpcDatabaseFileName[] = u"_$kvcipcdb$_";
inline constexpr char16_t kIpcServiceProgram[] = u"kvipcsrv";

enum class MailboxObject {
  kIncomingMutex,  // "KVCMSICSY%02d"
  kIncomingEvent,  // "KVCMSICEV%02d"
  kOutgoingMutex,  // "KVCMSOGSY%02d"
  kOutgoingEvent,  // "KVCMSOGEV%02d"
};

// The object's name for channel slot `index` (0 to 23), the index as two digits.
std::u16string MailboxObjectName(MailboxObject object, uint32_t index);

}  // namespace kolvar

#endif  // KOLVAR_IPC_IPC_NAMES_H_

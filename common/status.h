// The status codes of the common library: one numeric space shared by every library object (the
// lockable base, shared blocks, containers, the file wrapper, protected files, the configuration
// store, the registry accessor and the IPC client), so that a code read from any object names its
// cause without knowing which class set it. 0 is success.
#ifndef KOLVAR_COMMON_STATUS_H_
#define KOLVAR_COMMON_STATUS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar {

using Status = uint32_t;

inline constexpr Status kStatusOk = 0;
inline constexpr Status kStatusBadArgument = 1;
// Protected files: the platform's encrypt or decrypt call failed. IPC client: starting the
// service program failed.
inline constexpr Status kStatusCipherCallFailed = 2;
inline constexpr Status kStatusServiceStartFailed = 2;
// Busy (an operation is running), or the object was not set up successfully.
inline constexpr Status kStatusBusy = 3;
inline constexpr Status kStatusNotReady = 3;

// Registry accessor.
inline constexpr Status kStatusRelativePathHasSeparator = 6;
inline constexpr Status kStatusKeyOpenFailed = 7;
inline constexpr Status kStatusNoKeyOpen = 8;
inline constexpr Status kStatusValueDeleteFailed = 9;
inline constexpr Status kStatusSubkeyDeleteFailed = 10;
inline constexpr Status kStatusValueWriteFailed = 11;
inline constexpr Status kStatusValueReadFailed = 12;
inline constexpr Status kStatusNoMoreSubkeys = 13;
inline constexpr Status kStatusEnumerationFailed = 14;

// Configuration store keys.
inline constexpr Status kStatusNoMoreKeys = 15;
inline constexpr Status kStatusKeyNotFound = 16;

// Folder queries.
inline constexpr Status kStatusFolderQueryFailed = 17;

// Tables and heaps.
inline constexpr Status kStatusSlotArrayAllocationFailed = 26;
inline constexpr Status kStatusHeapCreationFailed = 41;
inline constexpr Status kStatusKeyLengthMissing = 44;
inline constexpr Status kStatusDuplicateKey = 45;
inline constexpr Status kStatusOutOfMemory = 47;
inline constexpr Status kStatusIndexOutOfRange = 48;
inline constexpr Status kStatusTableEmpty = 49;
inline constexpr Status kStatusNotFound = 50;

// IPC client.
inline constexpr Status kStatusServiceKeyOpenFailed = 32;
inline constexpr Status kStatusServiceNotRunning = 33;
inline constexpr Status kStatusAddresseeNotRegistered = 34;
inline constexpr Status kStatusChannelRemovalRefused = 35;
inline constexpr Status kStatusIpcDatabaseOpenFailed = 36;
inline constexpr Status kStatusRegistrationRefused = 37;
inline constexpr Status kStatusBadMessageLength = 39;
inline constexpr Status kStatusAllChannelsInUse = 40;

// File wrapper.
inline constexpr Status kStatusNoPath = 52;
inline constexpr Status kStatusFileOpenFailed = 53;
inline constexpr Status kStatusBadPath = 54;  // wildcard in the path, or the path names a folder
inline constexpr Status kStatusFileNotOpen = 55;
inline constexpr Status kStatusAttributeChangeFailed = 58;
inline constexpr Status kStatusSeekFailed = 59;
inline constexpr Status kStatusReadFailed = 60;
inline constexpr Status kStatusWriteFailed = 61;
inline constexpr Status kStatusDeleteFailed = 62;
inline constexpr Status kStatusFileIsOpen = 63;

// Cipher and protected files.
inline constexpr Status kStatusNoSource = 66;
inline constexpr Status kStatusSourceAttributesRefused = 67;
inline constexpr Status kStatusBadProviderChoice = 68;
inline constexpr Status kStatusProviderAcquireFailed = 69;
inline constexpr Status kStatusNoKeyMaterial = 70;
inline constexpr Status kStatusKeyDerivationFailed = 71;
inline constexpr Status kStatusNoDigest = 72;
inline constexpr Status kStatusNoCipher = 73;
inline constexpr Status kStatusDestinationExists = 74;
inline constexpr Status kStatusAlreadyProtected = 75;
inline constexpr Status kStatusNotProtectedFile = 76;
inline constexpr Status kStatusOtherKeyScheme = 77;
inline constexpr Status kStatusOtherKeyMaterial = 78;

// Shared-memory blocks.
inline constexpr Status kStatusSharedBlockCreateFailed = 79;
inline constexpr Status kStatusSharedBlockOverrun = 80;

// Configuration store.
inline constexpr Status kStatusStoreHasNoSections = 81;
inline constexpr Status kStatusSectionNotFound = 82;
inline constexpr Status kStatusSectionExists = 83;
inline constexpr Status kStatusNoSectionsForKeys = 84;
inline constexpr Status kStatusNoMoreSections = 85;
inline constexpr Status kStatusKeyExists = 86;
inline constexpr Status kStatusSectionHasNoKeys = 87;
inline constexpr Status kStatusFileTooShort = 88;
inline constexpr Status kStatusBadMagic = 89;
inline constexpr Status kStatusEncryptedWithoutCipher = 90;
inline constexpr Status kStatusDecryptionFailed = 91;

// The meaning of a status code in words ("the file cannot be opened"); "unknown status" for a
// code no library object sets.
std::string_view StatusText(Status status);

// For messages: "error 5: access denied", a system error value with its meaning.
std::u16string SystemErrorText(uint32_t error);
// The cause of a failed operation for messages: its system error as above when there is one,
// else "status 76: not a protected file".
std::u16string FailureText(Status status, uint32_t system_error);

// Why the namespace folder of named objects cannot serve, for messages ("the namespace folder /x
// is accessible to group or others (mode 0755)"); empty when it can. Failures to set up named
// objects or IPC add it as their cause.
std::u16string NamespaceFolderCause();
// The cause of a failure to set up named objects or IPC: the namespace folder's problem, which the
// user can put right, else the failing object's status when it recorded one (else empty).
std::u16string IpcFailureCause(Status status, uint32_t system_error);
// `text` with `cause` on a line of its own ("...\nCause: error 5: access denied"); `text` alone
// when there is no cause.
std::u16string WithCause(std::u16string_view text, std::u16string_view cause);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_STATUS_H_

// The device's system error values, and the per-thread "last error" that the suite records in its
// status fields and shows in messages. Every platform call that fails sets the last error; callers
// read it with GetLastError() exactly as they would on the device.
#ifndef KOLVAR_PLATFORM_ERROR_H_
#define KOLVAR_PLATFORM_ERROR_H_

#include <cstdint>
#include <string_view>

namespace kolvar::platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorNotSameDevice = 17;  // a folder cannot move to another volume
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorWriteProtect = 19;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorNegativeSeek = 131;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorBusy = 170;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorFilenameExcedRange = 206;
inline constexpr uint32_t kErrorMoreData = 234;  // a buffer too small; the size needed is returned
inline constexpr uint32_t kErrorWaitTimeout = 258;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorDirectory = 267;  // a folder operation on something else
inline constexpr uint32_t kErrorNotOwner = 288;
inline constexpr uint32_t kErrorBadDb = 1009;  // the registry database is damaged
inline constexpr uint32_t kErrorRegistryIoFailed =
    1016;  // the registry database cannot be read or written
inline constexpr uint32_t kErrorKeyDeleted = 1018;  // a registry key was deleted while open
inline constexpr uint32_t kErrorIoDevice = 1117;
inline constexpr uint32_t kErrorCantResolveFilename = 1921;  // symbolic link loop (ELOOP)
inline constexpr uint32_t kErrorNotFound = 1168;  // an element (a file's note) does not exist
inline constexpr uint32_t kErrorFileCorrupt = 1392;  // a file is damaged or not of its kind
inline constexpr uint32_t kErrorTimeout = 1460;

// Still-active exit code of a running process, as the device reports it.
inline constexpr uint32_t kStillActive = 259;

// Maps an errno value to the device's error value (unknown values map to kErrorInvalidFunction).
uint32_t ErrorFromErrno(int errno_value);

// The meaning of an error value in words ("access denied"), for messages that show it; the crypto
// provider's values (crypto.h) included. "unknown error" for a value the platform never sets.
std::string_view ErrorMeaning(uint32_t error);

// The calling thread's last error.
uint32_t GetLastError();
void SetLastError(uint32_t error);
// Sets the last error from errno and returns false, for one-line failure paths.
bool FailWithErrno(int errno_value);
bool Fail(uint32_t error);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_ERROR_H_

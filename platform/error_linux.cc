// errno to device error values, and the per-thread last error.
#include <cerrno>

#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/internet.h"

namespace kolvar::platform {
namespace {
thread_local uint32_t last_error = kErrorSuccess;
}  // namespace

uint32_t ErrorFromErrno(int errno_value) {
  switch (errno_value) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EROFS:
      return kErrorWriteProtect;
    case EBUSY:
      return kErrorBusy;
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case ENOSYS:
    case EOPNOTSUPP:
      return kErrorNotSupported;
    case EEXIST:
      return kErrorAlreadyExists;
    case EINVAL:
    case ERANGE:
      return kErrorInvalidParameter;
    case EPIPE:
      return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ETIMEDOUT:
      return kErrorTimeout;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EXDEV:
      return kErrorNotSameDevice;
    case ENOEXEC:
      return kErrorBadExeFormat;
    case ESRCH:
      return kErrorInvalidParameter;
    case EIO:
      return kErrorIoDevice;
    case EILSEQ:
      return kErrorInvalidName;
    default:
      return kErrorInvalidFunction;
  }
}

std::string_view ErrorMeaning(uint32_t error) {
  switch (error) {
    case kErrorSuccess:
      return "success";
    case kErrorInvalidFunction:
      return "the operation failed";
    case kErrorFileNotFound:
      return "not found";
    case kErrorPathNotFound:
      return "folder not found";
    case kErrorTooManyOpenFiles:
      return "too many open files";
    case kErrorAccessDenied:
      return "access denied";
    case kErrorInvalidHandle:
      return "invalid handle";
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
      return "out of memory";
    case kErrorNotSameDevice:
      return "a folder cannot move to another file system";
    case kErrorNoMoreFiles:
      return "no more files";
    case kErrorWriteProtect:
      return "read-only file system";
    case kErrorSharingViolation:
      return "the file is in use by another program";
    case kErrorHandleEof:
      return "the file ends too early";
    case kErrorNotSupported:
      return "not supported";
    case kErrorFileExists:
    case kErrorAlreadyExists:
      return "it exists already";
    case kErrorInvalidParameter:
      return "invalid name or data";
    case kErrorBrokenPipe:
      return "broken pipe";
    case kErrorDiskFull:
      return "the disk is full";
    case kErrorInsufficientBuffer:
    case kErrorMoreData:
      return "the buffer is too small";
    case kErrorInvalidName:
      return "the name is not valid";
    case kErrorNegativeSeek:
      return "seek before the start of the file";
    case kErrorDirNotEmpty:
      return "the folder is not empty";
    case kErrorBusy:
      return "busy";
    case kErrorBadExeFormat:
      return "not a program";
    case kErrorFilenameExcedRange:
      return "the path is too long";
    case kErrorWaitTimeout:
    case kErrorTimeout:
      return "timed out";
    case kErrorNoMoreItems:
      return "no more items";
    case kErrorDirectory:
      return "not a folder";
    case kErrorNotOwner:
      return "the lock is not held";
    case kErrorBadDb:
      return "the registry database is damaged or not a registry";
    case kErrorRegistryIoFailed:
      return "the registry database cannot be read or written";
    case kErrorKeyDeleted:
      return "the registry key was deleted meanwhile";
    case kErrorIoDevice:
      return "input/output error";
    case kErrorFileCorrupt:
      return "the file is damaged or of an unknown kind";
    case kErrorCantResolveFilename:
      return "too many levels of symbolic links";
    case kNteBadLength:
      return "bad data length for the cipher";
    case kNteBadData:
      return "the data is damaged or was encrypted with another key";
    case kNteBadAlgorithm:
      return "cipher not supported";
    case kNteProviderFailed:
      return "the crypto provider failed";
    case kErrorInternetTimeout:
      return "the server did not answer in time";
    case kErrorInternetInvalidUrl:
    case kErrorInternetUnrecognizedScheme:
      return "the URL is not a valid http:// or https:// URL";
    case kErrorInternetNameNotResolved:
      return "the server name cannot be resolved";
    case kErrorInternetCannotConnect:
      return "cannot connect to the server";
    case kErrorInternetConnectionAborted:
      return "the connection ended before the transfer was complete";
    case kErrorInternetSecurityFailure:
      return "the server's certificate is not trusted";
    case kErrorHttpInvalidServerResponse:
      return "the server's answer is not valid";
    case kErrorHttpRedirectFailed:
      return "the server redirected too often or to a URL that is not http:// or https://";
    case kErrorHttpStatus:
      return "the server refused the request";
    default:
      return "unknown error";
  }
}

uint32_t GetLastError() { return last_error; }
void SetLastError(uint32_t error) { last_error = error; }

bool FailWithErrno(int errno_value) {
  last_error = ErrorFromErrno(errno_value);
  return false;
}

bool Fail(uint32_t error) {
  last_error = error;
  return false;
}

}  // namespace kolvar::platform

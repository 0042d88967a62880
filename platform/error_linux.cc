// errno to device error values, and the per-thread last error.
#include <cerrno>

#include "platform/error.h"

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

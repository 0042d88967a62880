// Open regular files by device path. Only regular files are ever opened: the entry is looked at
// without following links before the open (so that opening a device node never has side effects),
// the open itself never follows a final link and never blocks on a FIFO, and the opened file is
// checked again, which closes the window between the look and the open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_info_linux.h"
#include "platform/path.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {
namespace {

using internal::RetryOnEintr;
using internal::UniqueFd;

constexpr mode_t kNewFileMode = 0600;
constexpr int kCommonFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

bool WantsWrite(FileAccess access) {
  return access == FileAccess::kWrite || access == FileAccess::kReadWrite;
}

int AccessFlags(FileAccess access) {
  switch (access) {
    case FileAccess::kQuery:
    case FileAccess::kRead:
      return O_RDONLY;
    case FileAccess::kWrite:
      return O_WRONLY;
    case FileAccess::kReadWrite:
      return O_RDWR;
  }
  return O_RDONLY;
}

// The device's error for an open that the host refused; a final link is "access denied" here,
// since links are never opened.
uint32_t OpenError(int error, const std::string& host) {
  if (error == ENOENT) return internal::MissingPathError(host);
  if (error == ELOOP || error == ENXIO || error == ENODEV) {
    struct stat st;
    if (lstat(host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return kErrorAccessDenied;
  }
  return ErrorFromErrno(error);
}

// Opens without creating; a query that may not read the file falls back to a path descriptor,
// which still answers status questions (*path_only tells).
int OpenExisting(const std::string& host, FileAccess access, bool* path_only) {
  *path_only = false;
  int fd = RetryOnEintr([&] { return open(host.c_str(), AccessFlags(access) | kCommonFlags); });
  if (fd < 0 && errno == EACCES && access == FileAccess::kQuery) {
    fd = RetryOnEintr([&] { return open(host.c_str(), O_PATH | O_CLOEXEC | O_NOFOLLOW); });
    *path_only = fd >= 0;
  }
  return fd;
}

// Creates the file, or opens the existing one; *existed tells which. Retried when the file
// vanishes or appears between the two attempts.
int OpenOrCreate(const std::string& host, FileAccess access, bool* existed, bool* path_only) {
  const int flags = AccessFlags(access) | kCommonFlags;
  for (int attempt = 0; attempt < 16; ++attempt) {
    int fd =
        RetryOnEintr([&] { return open(host.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode); });
    if (fd >= 0 || errno != EEXIST) {
      *existed = false;
      return fd;
    }
    fd = OpenExisting(host, access, path_only);
    if (fd >= 0 || errno != ENOENT) {
      *existed = true;
      return fd;
    }
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), access_(other.access_), name_(std::move(other.name_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    access_ = other.access_;
    name_ = std::move(other.name_);
  }
  return *this;
}

bool File::Open(std::u16string_view device_path, FileAccess access, CreateDisposition disposition) {
  Close();
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  const bool truncate_existing = disposition == CreateDisposition::kCreateAlways ||
                                 disposition == CreateDisposition::kTruncateExisting;
  if (truncate_existing && !WantsWrite(access)) return Fail(kErrorInvalidParameter);

  struct stat st;
  if (lstat(host.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
    if (disposition == CreateDisposition::kCreateNew) return Fail(kErrorFileExists);
    if ((WantsWrite(access) || truncate_existing) && (st.st_mode & S_IWUSR) == 0) {
      return Fail(kErrorAccessDenied);
    }
  } else if (errno != ENOENT) {
    return FailWithErrno(errno);
  }

  bool existed = true;
  bool path_only = false;
  int fd;
  switch (disposition) {
    case CreateDisposition::kCreateNew:
      existed = false;
      fd = RetryOnEintr([&] {
        return open(host.c_str(), AccessFlags(access) | kCommonFlags | O_CREAT | O_EXCL,
                    kNewFileMode);
      });
      if (fd < 0 && errno == EEXIST) return Fail(kErrorFileExists);
      break;
    case CreateDisposition::kCreateAlways:
    case CreateDisposition::kOpenAlways:
      fd = OpenOrCreate(host, access, &existed, &path_only);
      break;
    case CreateDisposition::kOpenExisting:
    case CreateDisposition::kTruncateExisting:
    default:
      fd = OpenExisting(host, access, &path_only);
      break;
  }
  if (fd < 0) return Fail(OpenError(errno, host));
  UniqueFd owned(fd);

  if (fstat(fd, &st) != 0) return FailWithErrno(errno);
  if (!S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
  // Reads and writes of a regular file block as usual once it is known to be one (F_SETFL
  // changes only the status flags, of which this leaves none set).
  if (!path_only && fcntl(fd, F_SETFL, 0) != 0) return FailWithErrno(errno);
  if (existed && truncate_existing) {
    if (RetryOnEintr([&] { return ftruncate(fd, 0); }) != 0) return FailWithErrno(errno);
  }

  fd_ = owned.release();
  access_ = access;
  name_ = std::string(internal::BaseName(host));
  const bool reports_existing = disposition == CreateDisposition::kCreateAlways ||
                                disposition == CreateDisposition::kOpenAlways;
  SetLastError(existed && reports_existing ? kErrorAlreadyExists : kErrorSuccess);
  return true;
}

bool File::Read(void* buffer, uint32_t length, uint32_t* read) {
  *read = 0;
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (access_ != FileAccess::kRead && access_ != FileAccess::kReadWrite) {
    return Fail(kErrorAccessDenied);
  }
  auto* bytes = static_cast<char*>(buffer);
  uint32_t total = 0;
  while (total < length) {
    const ssize_t n = RetryOnEintr([&] { return ::read(fd_, bytes + total, length - total); });
    if (n < 0) return FailWithErrno(errno);
    if (n == 0) break;
    total += static_cast<uint32_t>(n);
  }
  *read = total;
  return true;
}

bool File::Write(const void* buffer, uint32_t length, uint32_t* written) {
  *written = 0;
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WantsWrite(access_)) return Fail(kErrorAccessDenied);
  const auto* bytes = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < length) {
    const ssize_t n = RetryOnEintr([&] { return ::write(fd_, bytes + total, length - total); });
    if (n < 0) {
      *written = total;
      return FailWithErrno(errno);
    }
    total += static_cast<uint32_t>(n);
  }
  *written = total;
  return true;
}

bool File::Seek(int64_t offset, SeekOrigin origin, uint64_t* new_position) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  int whence = SEEK_SET;
  if (origin == SeekOrigin::kCurrent) whence = SEEK_CUR;
  if (origin == SeekOrigin::kEnd) whence = SEEK_END;
  const off_t position = lseek(fd_, offset, whence);
  if (position < 0) return Fail(errno == EINVAL ? kErrorNegativeSeek : ErrorFromErrno(errno));
  if (new_position != nullptr) *new_position = static_cast<uint64_t>(position);
  return true;
}

bool File::Flush() {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WantsWrite(access_)) return true;  // nothing of ours to reach the disk
  if (RetryOnEintr([&] { return fsync(fd_); }) != 0) return FailWithErrno(errno);
  return true;
}

bool File::WriteAt(uint64_t offset, const void* buffer, uint32_t length) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WantsWrite(access_)) return Fail(kErrorAccessDenied);
  const ssize_t n =
      RetryOnEintr([&] { return ::pwrite(fd_, buffer, length, static_cast<off_t>(offset)); });
  if (n < 0) return FailWithErrno(errno);
  if (static_cast<uint32_t>(n) != length) return Fail(kErrorDiskFull);
  return true;
}

bool File::FlushData() {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WantsWrite(access_)) return true;
  if (RetryOnEintr([&] { return fdatasync(fd_); }) != 0) return FailWithErrno(errno);
  return true;
}

bool File::GetSize(uint64_t* size) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(fd_, &st) != 0) return FailWithErrno(errno);
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::GetInfo(FileInfo* info) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  struct statx st;
  if (const int error = internal::StatAt(fd_, "", AT_EMPTY_PATH, &st); error != 0) {
    return FailWithErrno(error);
  }
  internal::InfoFromStat(st, name_, internal::ReadSystemBitOfFd(fd_), info);
  return true;
}

bool File::SetEndOfFile() {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  if (!WantsWrite(access_)) return Fail(kErrorAccessDenied);
  const off_t position = lseek(fd_, 0, SEEK_CUR);
  if (position < 0) return FailWithErrno(errno);
  if (RetryOnEintr([&] { return ftruncate(fd_, position); }) != 0) return FailWithErrno(errno);
  return true;
}

void File::Close() {
  if (fd_ >= 0) {
    UniqueFd closing(fd_);
    fd_ = -1;
  }
  name_.clear();
}

}  // namespace kolvar::platform

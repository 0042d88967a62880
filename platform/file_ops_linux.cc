// Whole-file operations by device path: information and attributes, move, copy, delete, folders.
// Each keeps the device's observable rules (a move never replaces, a read-only file is not
// deleted, a copy never shows a half-written target) on top of the host's calls.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_info_linux.h"
#include "platform/path.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {
namespace {

using internal::RetryOnEintr;
using internal::UniqueFd;

constexpr mode_t kNewFolderMode = 0700;

bool HostPaths(std::u16string_view from, std::u16string_view to, std::string* host_from,
               std::string* host_to) {
  return CheckedHostPath(from, host_from) && CheckedHostPath(to, host_to);
}

// Fails for a missing entry with 2 or 3, for anything else with the mapped errno.
bool FailLookup(int error, const std::string& host) {
  if (error == ENOENT) return Fail(internal::MissingPathError(host));
  return FailWithErrno(error);
}

// The /proc path of a descriptor, through which calls that take only paths reach exactly the
// file that was opened (and never a link swapped in since).
std::string FdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool SetSystemXattr(const std::string& path, bool on) {
  int rc;
  if (on) {
    rc = setxattr(path.c_str(), kSystemAttributeXattr, "1", 1, 0);
  } else {
    rc = removexattr(path.c_str(), kSystemAttributeXattr);
    if (rc != 0 && errno == ENODATA) rc = 0;
  }
  // A file system without user attributes cannot keep the bit; it reads as clear there.
  if (rc != 0 && (errno == ENOTSUP || errno == EOPNOTSUPP)) rc = 0;
  return rc == 0 || FailWithErrno(errno);
}

// rename() that never replaces: renameat2 where the file system has it, else a hard link (which
// never replaces either) and an unlink, else a check and a rename for what cannot be linked.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST || errno == ENOENT || errno == EXDEV) return errno;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Copies every byte of `in` to `out` from their current offsets.
bool CopyData(int in, int out) {
  for (;;) {
    const ssize_t n = RetryOnEintr(
        [&] { return copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0); });
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
    break;  // not offered between these files: copy through a buffer
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = RetryOnEintr([&] { return read(in, buffer.data(), buffer.size()); });
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = RetryOnEintr([&] { return write(out, buffer.data() + done, n - done); });
      if (w < 0) return false;
      done += w;
    }
  }
}

// Opens a regular file for reading without following a link or blocking on a FIFO.
int OpenRegularForRead(const std::string& host, struct stat* st) {
  if (lstat(host.c_str(), st) != 0) return -1;
  if (!S_ISREG(st->st_mode)) {
    errno = EACCES;
    return -1;
  }
  const int fd = RetryOnEintr([&] {
    return open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  });
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

// Writes a copy of `from` (opened as `in`) under a hidden temporary name in the folder of `to`
// and returns that name; the copy carries permissions, system bit and times, and is on disk.
bool WriteTemporaryCopy(int in, const struct stat& from_st, const std::string& from,
                        const std::string& to, std::string* temporary) {
  std::string name = internal::ParentFolder(to) + "/.kolvar-copy-XXXXXX";
  UniqueFd out(mkostemp(name.data(), O_CLOEXEC));
  if (!out.valid()) return Fail(errno == ENOENT ? kErrorPathNotFound : ErrorFromErrno(errno));
  bool ok = CopyData(in, out.get());
  if (ok && internal::ReadSystemBit(from)) {
    ok = fsetxattr(out.get(), kSystemAttributeXattr, "1", 1, 0) == 0 || errno == ENOTSUP;
  }
  const struct timespec times[2] = {from_st.st_atim, from_st.st_mtim};
  ok = ok && futimens(out.get(), times) == 0;
  ok = ok && fchmod(out.get(), from_st.st_mode & 07777) == 0;
  ok = ok && RetryOnEintr([&] { return fsync(out.get()); }) == 0;
  if (!ok) {
    const int error = errno;
    unlink(name.c_str());
    return FailWithErrno(error);
  }
  *temporary = std::move(name);
  return true;
}

bool CopyBetweenHosts(const std::string& from, const std::string& to, bool replace,
                      uint32_t exists_error) {
  struct stat from_st;
  UniqueFd in(OpenRegularForRead(from, &from_st));
  if (!in.valid()) return FailLookup(errno, from);
  std::string temporary;
  if (!WriteTemporaryCopy(in.get(), from_st, from, to, &temporary)) return false;
  const int error = replace ? (rename(temporary.c_str(), to.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(temporary, to);
  if (error == 0) return true;
  unlink(temporary.c_str());
  if (error == EEXIST) return Fail(exists_error);
  return FailWithErrno(error);
}

}  // namespace

bool GetFileInfo(std::u16string_view device_path, FileInfo* info) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct statx st;
  if (const int error = internal::StatAt(AT_FDCWD, host.c_str(), 0, &st); error != 0) {
    return FailLookup(error, host);
  }
  const bool can_hold_xattr = S_ISREG(st.stx_mode) || S_ISDIR(st.stx_mode);
  const std::string_view name = host == DeviceRoot() ? "" : internal::BaseName(host);
  internal::InfoFromStat(st, name, can_hold_xattr && internal::ReadSystemBit(host), info);
  return true;
}

bool GetFileAttributes(std::u16string_view device_path, uint32_t* attributes) {
  FileInfo info;
  if (!GetFileInfo(device_path, &info)) return false;
  *attributes = info.attributes;
  return true;
}

bool SetFileAttributes(std::u16string_view device_path, uint32_t attributes) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  UniqueFd fd(RetryOnEintr([&] { return open(host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
  if (!fd.valid()) return FailLookup(errno, host);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return FailWithErrno(errno);
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  const std::string path = FdPath(fd.get());
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted =
      (attributes & kAttributeReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
  const bool system = (attributes & kAttributeSystem) != 0;
  if (system != internal::ReadSystemBitOfFd(fd.get())) {
    // Changing a user attribute needs write permission, so the owner's write bit is given for
    // the change when the file is read-only before or after it.
    if ((mode & S_IWUSR) == 0 && chmod(path.c_str(), mode | S_IWUSR) != 0) {
      return FailWithErrno(errno);
    }
    if (!SetSystemXattr(path, system)) {
      const uint32_t error = GetLastError();
      chmod(path.c_str(), mode);
      return Fail(error);
    }
  }
  if (chmod(path.c_str(), wanted) != 0) return FailWithErrno(errno);
  return true;
}

bool MoveFile(std::u16string_view from, std::u16string_view to) {
  std::string host_from, host_to;
  if (!HostPaths(from, to, &host_from, &host_to)) return false;
  struct stat st;
  if (lstat(host_from.c_str(), &st) != 0) return FailLookup(errno, host_from);
  const int error = RenameNoReplace(host_from, host_to);
  if (error == 0) return true;
  if (error == EEXIST || error == ENOTEMPTY) return Fail(kErrorAlreadyExists);
  if (error == ENOENT) return Fail(kErrorPathNotFound);  // `from` exists, so `to` lacks a folder
  if (error != EXDEV) return FailWithErrno(error);
  if (S_ISDIR(st.st_mode)) return Fail(kErrorNotSameDevice);
  if (!CopyBetweenHosts(host_from, host_to, /*replace=*/false, kErrorAlreadyExists)) return false;
  if (unlink(host_from.c_str()) != 0) {
    // Both copies would remain; take back the new one so the move has either happened or not.
    const int unlink_error = errno;
    unlink(host_to.c_str());
    return FailWithErrno(unlink_error);
  }
  return true;
}

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
  std::string host_from, host_to;
  if (!HostPaths(from, to, &host_from, &host_to)) return false;
  if (rename(host_from.c_str(), host_to.c_str()) == 0) return true;
  const int error = errno;
  struct stat st;
  if (lstat(host_from.c_str(), &st) != 0) return FailLookup(errno, host_from);
  if (error == ENOENT) return Fail(kErrorPathNotFound);
  if (error == EISDIR || error == ENOTEMPTY || error == EEXIST) return Fail(kErrorAccessDenied);
  return FailWithErrno(error);
}

bool CopyFile(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  std::string host_from, host_to;
  if (!HostPaths(from, to, &host_from, &host_to)) return false;
  struct stat st;
  if (lstat(host_to.c_str(), &st) == 0) {
    if (fail_if_exists) return Fail(kErrorFileExists);
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return Fail(kErrorAccessDenied);
  }
  return CopyBetweenHosts(host_from, host_to, /*replace=*/!fail_if_exists, kErrorFileExists);
}

bool DeleteFile(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailLookup(errno, host);
  if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) return Fail(kErrorAccessDenied);
  if (unlink(host.c_str()) != 0) {
    if (errno == EISDIR) return Fail(kErrorAccessDenied);
    return FailLookup(errno, host);
  }
  return true;
}

bool CreateDirectory(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  if (mkdir(host.c_str(), kNewFolderMode) == 0) return true;
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  if (errno == ENOENT) return Fail(kErrorPathNotFound);
  return FailWithErrno(errno);
}

bool RemoveDirectory(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailLookup(errno, host);
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  if ((st.st_mode & S_IWUSR) == 0) return Fail(kErrorAccessDenied);
  if (rmdir(host.c_str()) == 0) return true;
  if (errno == ENOTEMPTY || errno == EEXIST) return Fail(kErrorDirNotEmpty);
  return FailLookup(errno, host);
}

bool FileExists(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailLookup(errno, host);
  return S_ISREG(st.st_mode) || Fail(kErrorFileNotFound);
}

bool DirectoryExists(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return FailLookup(errno, host);
  return S_ISDIR(st.st_mode) || Fail(kErrorPathNotFound);
}

}  // namespace kolvar::platform

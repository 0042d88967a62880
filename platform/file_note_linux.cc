// What a file carries beside its bytes on the host: its permission bits and last-write time, and
// the suite's notes in user extended attributes. Every call works on the file itself through an
// O_PATH descriptor, never on a link put in its place.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {
namespace {

using internal::RetryOnEintr;
using internal::UniqueFd;

constexpr char kNotePrefix[] = "user.kolvar.";
// Longer notes are not ours: the suite's notes are small records.
constexpr size_t kMaxNoteBytes = 4096;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// Opens the entry itself (no final link followed) and checks that it is a regular file.
bool OpenRegular(std::u16string_view device_path, UniqueFd* fd, struct stat* st) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  *fd = UniqueFd(RetryOnEintr([&] { return open(host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
  if (!fd->valid()) {
    return errno == ENOENT ? Fail(kErrorFileNotFound) : FailWithErrno(errno);
  }
  if (fstat(fd->get(), st) != 0) return FailWithErrno(errno);
  if (!S_ISREG(st->st_mode)) return Fail(kErrorAccessDenied);
  return true;
}

std::string FdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool IsUnsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

}  // namespace

bool GetHostFileState(std::u16string_view device_path, HostFileState* state) {
  UniqueFd fd;
  struct stat st;
  if (!OpenRegular(device_path, &fd, &st)) return false;
  state->mode = static_cast<uint32_t>(st.st_mode & 07777);
  state->last_write = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return true;
}

bool SetHostFileState(std::u16string_view device_path, const HostFileState& state) {
  UniqueFd fd;
  struct stat st;
  if (!OpenRegular(device_path, &fd, &st)) return false;
  const std::string path = FdPath(fd.get());
  const int64_t ticks = static_cast<int64_t>(state.last_write.value);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time is not ours to keep
  times[1].tv_sec = static_cast<time_t>(ticks / kTicksPerSecond - kSecondsFrom1601To1970);
  times[1].tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return FailWithErrno(errno);
  if (chmod(path.c_str(), static_cast<mode_t>(state.mode & 07777)) != 0) {
    return FailWithErrno(errno);
  }
  return true;
}

bool WriteFileNote(std::u16string_view device_path, std::string_view name,
                   std::string_view bytes) {
  if (name.empty() || bytes.size() > kMaxNoteBytes) return Fail(kErrorInvalidParameter);
  UniqueFd fd;
  struct stat st;
  if (!OpenRegular(device_path, &fd, &st)) return false;
  const std::string path = FdPath(fd.get());
  const std::string attribute = kNotePrefix + std::string(name);
  // A user attribute needs write permission: a read-only file gets the owner's for the change.
  const mode_t mode = st.st_mode & 07777;
  const bool lend_write = (mode & S_IWUSR) == 0;
  if (lend_write && chmod(path.c_str(), mode | S_IWUSR) != 0) return FailWithErrno(errno);
  const int rc = setxattr(path.c_str(), attribute.c_str(), bytes.data(), bytes.size(), 0);
  const int error = errno;
  if (lend_write) chmod(path.c_str(), mode);
  if (rc == 0) return true;
  return IsUnsupported(error) ? Fail(kErrorNotSupported) : FailWithErrno(error);
}

bool ReadFileNote(std::u16string_view device_path, std::string_view name, std::string* bytes) {
  UniqueFd fd;
  struct stat st;
  if (!OpenRegular(device_path, &fd, &st)) return false;
  const std::string attribute = kNotePrefix + std::string(name);
  std::string value(kMaxNoteBytes, '\0');
  const ssize_t n = getxattr(FdPath(fd.get()).c_str(), attribute.c_str(), value.data(), value.size());
  if (n < 0) {
    if (errno == ENODATA) return Fail(kErrorNotFound);
    if (errno == ERANGE) return Fail(kErrorInvalidParameter);  // longer than any note of ours
    return IsUnsupported(errno) ? Fail(kErrorNotSupported) : FailWithErrno(errno);
  }
  value.resize(static_cast<size_t>(n));
  *bytes = std::move(value);
  return true;
}

}  // namespace kolvar::platform

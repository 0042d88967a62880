// Host file status as device file information: read-only is the owner's write bit, hidden a name
// beginning with ".", system an extended attribute, in-ROM never; the creation time is the birth
// time where the file system records one.
#include "platform/file_info_linux.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>

#include "platform/error.h"
#include "platform/posix_fd.h"

namespace kolvar::platform::internal {
namespace {

FileTime FromStatx(const struct statx_timestamp& t) {
  return FileTimeFromUnix(t.tv_sec, t.tv_nsec);
}

bool IsSetValue(const char* value, ssize_t length) { return length == 1 && value[0] == '1'; }

// The identifier folds the device number into the inode number: equal for the same file, and
// different for files on different file systems except by a hash collision.
uint64_t ObjectId(const struct statx& st) {
  const uint64_t device = (static_cast<uint64_t>(st.stx_dev_major) << 32) | st.stx_dev_minor;
  return st.stx_ino ^ (device * 0x9E3779B97F4A7C15ULL);
}

}  // namespace

int StatAt(int dirfd, const char* path, int flags, struct statx* st) {
  const int rc = RetryOnEintr([&] {
    return statx(dirfd, path, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | flags,
                 STATX_BASIC_STATS | STATX_BTIME, st);
  });
  return rc == 0 ? 0 : errno;
}

bool ReadSystemBit(const std::string& host_path) {
  char value[4];
  const ssize_t n = lgetxattr(host_path.c_str(), kSystemAttributeXattr, value, sizeof value);
  return IsSetValue(value, n);
}

bool ReadSystemBitOfFd(int fd) {
  char value[4];
  ssize_t n = fgetxattr(fd, kSystemAttributeXattr, value, sizeof value);
  if (n < 0 && errno == EBADF) {
    // A descriptor opened only for queries (O_PATH) reaches its file through /proc.
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    n = getxattr(link.c_str(), kSystemAttributeXattr, value, sizeof value);
  }
  return IsSetValue(value, n);
}

bool ReadSystemBitAt(int dirfd, const char* name, const std::string& host_path, bool* supported) {
  // Linux 6.13 gave getxattrat the same number on every architecture; older kernels (or filters
  // that refuse unknown calls) answer ENOSYS or EPERM, and the path form is used from then on.
  constexpr long kGetxattrat = 464;
  struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
  };
  static std::atomic<bool> at_missing{false};
  if (!*supported) return false;
  char value[4];
  ssize_t n = -1;
  bool done = false;
  if (!at_missing.load(std::memory_order_relaxed)) {
    XattrArgs args{reinterpret_cast<uintptr_t>(value), sizeof value, 0};
    n = syscall(kGetxattrat, dirfd, name, AT_SYMLINK_NOFOLLOW, kSystemAttributeXattr, &args,
                sizeof args);
    if (n < 0 && (errno == ENOSYS || errno == EPERM)) {
      at_missing.store(true, std::memory_order_relaxed);
    } else {
      done = true;
    }
  }
  if (!done) n = lgetxattr(host_path.c_str(), kSystemAttributeXattr, value, sizeof value);
  if (n < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP)) *supported = false;
  return IsSetValue(value, n);
}

void InfoFromStat(const struct statx& st, std::string_view name, bool system, FileInfo* info) {
  *info = FileInfo{};
  const mode_t mode = st.stx_mode;
  if (S_ISREG(mode)) {
    info->kind = EntryKind::kRegular;
  } else if (S_ISDIR(mode)) {
    info->kind = EntryKind::kDirectory;
  } else {
    info->kind = EntryKind::kOther;
  }
  uint32_t attributes = 0;
  if ((mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  if (!name.empty() && name[0] == '.') attributes |= kAttributeHidden;
  if (system) attributes |= kAttributeSystem;
  if (info->kind == EntryKind::kDirectory) attributes |= kAttributeDirectory;
  info->attributes = attributes != 0 ? attributes : kAttributeNormal;
  info->last_access = FromStatx(st.stx_atime);
  info->last_write = FromStatx(st.stx_mtime);
  if (st.stx_mask & STATX_BTIME) {
    info->creation = FromStatx(st.stx_btime);
  } else {
    // Without a birth time the earlier of change and write time comes closest to it.
    info->creation.value = std::min(FromStatx(st.stx_ctime).value, info->last_write.value);
  }
  info->size = info->kind == EntryKind::kDirectory ? 0 : st.stx_size;
  info->object_id = ObjectId(st);
}

uint32_t MissingPathError(const std::string& host_path) {
  const std::string parent = ParentFolder(host_path);
  struct stat st;
  if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
  return kErrorFileNotFound;
}

std::string_view BaseName(std::string_view host_path) {
  while (host_path.size() > 1 && host_path.back() == '/') host_path.remove_suffix(1);
  const size_t slash = host_path.rfind('/');
  if (slash == std::string_view::npos) return host_path;
  return host_path.substr(slash + 1);
}

std::string ParentFolder(std::string_view host_path) {
  while (host_path.size() > 1 && host_path.back() == '/') host_path.remove_suffix(1);
  const size_t slash = host_path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(host_path.substr(0, slash));
}

}  // namespace kolvar::platform::internal

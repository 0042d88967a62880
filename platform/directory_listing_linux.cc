// find-first/next over one host folder. Names are matched with the device's wildcards and entries
// are examined relative to the open folder without following links. Every host name is listed,
// whatever its bytes, under its device name (see DeviceNameFromHost): a name the listing passed
// over would hide its file, or a whole tree, from every scan.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_info_linux.h"
#include "platform/path.h"
#include "platform/posix_fd.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

bool HasWildcard(std::u16string_view name) {
  return name.find_first_of(u"*?") != std::u16string_view::npos;
}

// "*" matches any run of units, "?" exactly one; letters compare after FoldCase. Backtracks
// only to the last "*", which keeps the match linear in practice.
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t star = std::u16string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// The device lets a final ".*" also match names without any extension, so "*.*" matches every
// name and "readme.*" matches "readme".
bool MatchesDevicePattern(std::u16string_view pattern, std::u16string_view name) {
  if (MatchWildcard(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*") {
    return MatchWildcard(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

void FillFindData(const std::u16string& name, const FileInfo& info, FindData* data) {
  data->name = name;
  data->attributes = info.attributes;
  data->creation = info.creation;
  data->last_access = info.last_access;
  data->last_write = info.last_write;
  data->size = info.size;
  data->kind = info.kind;
}

EntryKind KindFromDirent(unsigned char type) {
  if (type == DT_REG) return EntryKind::kRegular;
  if (type == DT_DIR) return EntryKind::kDirectory;
  return EntryKind::kOther;
}

}  // namespace

struct DirectoryListing::State {
  DIR* dir = nullptr;
  std::string folder;    // host folder, for the extended attributes
  std::u16string match;  // last component of the pattern
  bool single = false;   // the pattern named one entry, already returned
  bool xattrs = true;    // false once the file system said it keeps none

  ~State() {
    if (dir != nullptr) closedir(dir);
  }

  // The system bit of one entry, asked only where the file system keeps user attributes.
  bool SystemBit(const char* name) {
    return internal::ReadSystemBitAt(dirfd(dir), name, folder + "/" + name, &xattrs);
  }

  // The next matching entry: true with *data filled, false at the end (last error 18) or on a
  // failure to read the folder.
  bool ReadMatch(FindData* data) {
    if (dir == nullptr) return Fail(kErrorNoMoreFiles);
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(dir);
      if (entry == nullptr) {
        return errno == 0 ? Fail(kErrorNoMoreFiles) : FailWithErrno(errno);
      }
      const std::string_view host_name = entry->d_name;
      if (host_name == "." || host_name == "..") continue;
      const std::u16string name = DeviceNameFromHost(host_name);
      if (!MatchesDevicePattern(match, name)) continue;
      struct statx st;
      FileInfo info;
      const int error = internal::StatAt(dirfd(dir), entry->d_name, 0, &st);
      if (error == ENOENT) continue;  // removed since the folder was read
      if (error != 0) {
        // A folder that may be read but not searched still shows its names.
        info.kind = KindFromDirent(entry->d_type);
        info.attributes =
            info.kind == EntryKind::kDirectory ? kAttributeDirectory : kAttributeNormal;
      } else {
        const bool can_hold = S_ISREG(st.stx_mode) || S_ISDIR(st.stx_mode);
        internal::InfoFromStat(st, host_name, can_hold && SystemBit(entry->d_name), &info);
      }
      FillFindData(name, info, data);
      return true;
    }
  }
};

DirectoryListing::DirectoryListing() = default;
DirectoryListing::~DirectoryListing() = default;

void DirectoryListing::Close() { state_.reset(); }

bool DirectoryListing::First(std::u16string_view pattern, FindData* data) {
  Close();
  if (pattern.empty()) return Fail(kErrorPathNotFound);
  if (pattern.size() >= kMaxPath) return Fail(kErrorFilenameExcedRange);
  const size_t split = pattern.find_last_of(u"\\/");
  const std::u16string_view folder =
      split == std::u16string_view::npos ? std::u16string_view() : pattern.substr(0, split);
  const std::u16string_view match =
      split == std::u16string_view::npos ? pattern : pattern.substr(split + 1);
  // The last component is a pattern, not a name: its wildcards are no host bytes.
  if (!IsValidDevicePath(folder) || match.find(u'\0') != std::u16string_view::npos) {
    return Fail(kErrorInvalidName);
  }
  const std::string host_folder = HostPath(folder);

  if (!HasWildcard(match)) {
    if (match.empty() || match == u"." || match == u"..") {
      struct stat st;
      if (stat(host_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Fail(kErrorPathNotFound);
      }
      return Fail(kErrorFileNotFound);
    }
    FileInfo info;
    if (!GetFileInfo(pattern, &info)) return false;
    auto state = std::make_unique<State>();
    state->single = true;
    state_ = std::move(state);
    FillFindData(std::u16string(match), info, data);
    return true;
  }

  const int fd = internal::RetryOnEintr(
      [&] { return open(host_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Fail(kErrorPathNotFound);
    return FailWithErrno(errno);
  }
  auto state = std::make_unique<State>();
  state->dir = fdopendir(fd);
  if (state->dir == nullptr) {
    const int error = errno;
    close(fd);
    return FailWithErrno(error);
  }
  state->folder = host_folder;
  state->match = std::u16string(match);
  if (!state->ReadMatch(data)) {
    return GetLastError() == kErrorNoMoreFiles ? Fail(kErrorFileNotFound) : false;
  }
  state_ = std::move(state);
  return true;
}

bool DirectoryListing::Next(FindData* data) {
  if (!state_) return Fail(kErrorInvalidHandle);
  if (state_->single) return Fail(kErrorNoMoreFiles);
  return state_->ReadMatch(data);
}

}  // namespace kolvar::platform

// Kinds of special entries from lstat's file type.
#include <sys/stat.h>

#include <string>

#include "platform/path.h"
#include "platform/special_entry.h"

namespace kolvar::platform {

SpecialEntryKind GetSpecialEntryKind(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return SpecialEntryKind::kNone;
  struct stat st {};
  if (lstat(host.c_str(), &st) != 0) return SpecialEntryKind::kNone;
  switch (st.st_mode & S_IFMT) {
    case S_IFREG:
    case S_IFDIR:
      return SpecialEntryKind::kNone;
    case S_IFLNK:
      return SpecialEntryKind::kSymbolicLink;
    case S_IFIFO:
      return SpecialEntryKind::kFifo;
    case S_IFSOCK:
      return SpecialEntryKind::kSocket;
    case S_IFCHR:
      return SpecialEntryKind::kCharacterDevice;
    case S_IFBLK:
      return SpecialEntryKind::kBlockDevice;
    default:
      return SpecialEntryKind::kOther;
  }
}

std::u16string_view SpecialEntryKindName(SpecialEntryKind kind) {
  switch (kind) {
    case SpecialEntryKind::kNone:
      return u"";
    case SpecialEntryKind::kSymbolicLink:
      return u"symbolic link";
    case SpecialEntryKind::kFifo:
      return u"FIFO";
    case SpecialEntryKind::kSocket:
      return u"socket";
    case SpecialEntryKind::kCharacterDevice:
      return u"character device";
    case SpecialEntryKind::kBlockDevice:
      return u"block device";
    case SpecialEntryKind::kOther:
      break;
  }
  return u"special file";
}

}  // namespace kolvar::platform

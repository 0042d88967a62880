// What a directory entry that is not a regular file or folder is (a symbolic link, a FIFO, a
// socket, a device), so that a program can tell the user why it left the entry alone.
#ifndef KOLVAR_PLATFORM_SPECIAL_ENTRY_H_
#define KOLVAR_PLATFORM_SPECIAL_ENTRY_H_

#include <string_view>

namespace kolvar::platform {

enum class SpecialEntryKind {
  kNone,  // a regular file or a folder, or nothing at the path
  kSymbolicLink,
  kFifo,
  kSocket,
  kCharacterDevice,
  kBlockDevice,
  kOther,
};

// The kind of the entry itself (a link is not followed).
SpecialEntryKind GetSpecialEntryKind(std::u16string_view device_path);
// "symbolic link", "FIFO", "socket", "character device", "block device", "special file"; empty
// for kNone.
std::u16string_view SpecialEntryKindName(SpecialEntryKind kind);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_SPECIAL_ENTRY_H_

// Internal to platform/: how a host file's status becomes the device's attributes, times, size
// and object identifier, shared by the single-file queries and the listings.
#ifndef KOLVAR_PLATFORM_FILE_INFO_LINUX_H_
#define KOLVAR_PLATFORM_FILE_INFO_LINUX_H_

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace kolvar::platform::internal {

// statx of `path` relative to `dirfd` without following a final link (flags are added to
// AT_SYMLINK_NOFOLLOW; AT_EMPTY_PATH with "" queries dirfd itself). Returns 0 or an errno value.
int StatAt(int dirfd, const char* path, int flags, struct statx* st);

// The system bit, from the extended attribute of a host path (not followed) or of a descriptor.
// False wherever the attribute is missing or the file system has none.
bool ReadSystemBit(const std::string& host_path);
bool ReadSystemBitOfFd(int fd);
// The same for the entry `name` of an open folder, without walking the folder's path again where
// the kernel offers getxattrat (Linux 6.13); `host_path` is the entry's full path for the others.
// *supported turns false once the file system said it keeps no user attributes.
bool ReadSystemBitAt(int dirfd, const char* name, const std::string& host_path, bool* supported);

// Fills *info from a statx result; `name` is the entry's own name (for the hidden bit).
void InfoFromStat(const struct statx& st, std::string_view name, bool system, FileInfo* info);

// The device's error for a path that does not exist: 3 when its folder is missing (or is not a
// folder), else 2.
uint32_t MissingPathError(const std::string& host_path);

// Last component of a host path ("" for "/").
std::string_view BaseName(std::string_view host_path);
// The folder part of a host path ("/" for a name in the root).
std::string ParentFolder(std::string_view host_path);

}  // namespace kolvar::platform::internal

#endif  // KOLVAR_PLATFORM_FILE_INFO_LINUX_H_

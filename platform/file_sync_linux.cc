// Folder flush through fsync on a read-only descriptor of the folder.
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/error.h"
#include "platform/file_sync.h"
#include "platform/path.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {

bool FlushContainingFolder(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  const size_t slash = host.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : host.substr(0, slash);
  internal::UniqueFd fd(internal::RetryOnEintr(
      [&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!fd.valid()) return FailWithErrno(errno);
  if (internal::RetryOnEintr([&] { return ::fsync(fd.get()); }) != 0) return FailWithErrno(errno);
  return true;
}

}  // namespace kolvar::platform

// A small filled tmpfs; see full_file_system.h.
#include "tests/testing/full_file_system.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

namespace kolvar::testing {

FullFileSystem::FullFileSystem(const std::string& host_folder, uint64_t size)
    : folder_(host_folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const std::string options = "size=" + std::to_string(size) + ",mode=0755";
  mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

void FullFileSystem::Fill(uint64_t free_bytes) {
  const uint64_t available = FreeBytes();
  if (available <= free_bytes) return;
  const std::string filler = folder_ + "/.filler" + std::to_string(fillers_++);
  const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  posix_fallocate(fd, 0, static_cast<off_t>(available - free_bytes));
  close(fd);
}

FullFileSystem::~FullFileSystem() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

uint64_t FullFileSystem::FreeBytes() const {
  struct statvfs info;
  if (statvfs(folder_.c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace kolvar::testing

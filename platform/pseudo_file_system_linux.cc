// Which folders lie on pseudo file systems that the file walker must not enter: kernel views such
// as proc and sysfs, whose "files" are endless or have side effects when read. tmpfs itself is an
// ordinary file system (it holds /tmp); only devtmpfs, which reports the tmpfs magic number, is
// told apart through the mount table.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {
namespace {

constexpr uint64_t kTmpfsMagic = 0x01021994;
constexpr uint64_t kRamfsMagic = 0x858458f6;

bool IsPseudoMagic(uint64_t magic) {
  switch (magic) {
    case 0x9fa0:      // proc
    case 0x62656572:  // sysfs
    case 0x27e0eb:    // cgroup
    case 0x63677270:  // cgroup2
    case 0x64626720:  // debugfs
    case 0x74726163:  // tracefs
    case 0x73636673:  // securityfs
    case 0x1cd1:      // devpts
    case 0x6165676c:  // pstore
    case 0xcafe4a11:  // bpf
    case 0x62656570:  // configfs
    case 0x65735543:  // fusectl
    case 0x19800202:  // mqueue
    case 0x958458f6:  // hugetlbfs
    case 0x0187:      // autofs
    case 0x42494e4d:  // binfmt_misc
    case 0xf97cff8c:  // selinuxfs
    case 0xde5e81e4:  // efivarfs
    case 0x6e736673:  // nsfs
    case 0x67596969:  // rpc_pipefs
    case 0x6c6f6f70:  // binderfs
      return true;
    default:
      return false;
  }
}

// File system type of a mount, from /proc/self/mountinfo. Remembered, since the walker asks for
// every folder; the key joins the mount id with the device number, so a mount id reused by a later
// mount of another file system is not mistaken for the old one.
std::string MountType(uint64_t mount_id, const std::string& device) {
  using Key = std::pair<uint64_t, std::string>;
  static std::mutex mutex;
  static auto* known = new std::map<Key, std::string>();  // lives as long as the process
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = known->find(Key(mount_id, device)); it != known->end()) return it->second;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    // "<id> <parent> <major:minor> <root> <mount point> <options> [fields...] - <type> ..."
    std::istringstream fields(line);
    uint64_t id = 0, parent = 0;
    std::string numbers;
    if (!(fields >> id >> parent >> numbers)) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type;
    tail >> type;
    (*known)[Key(id, numbers)] = type;
  }
  auto it = known->find(Key(mount_id, device));
  return it != known->end() ? it->second : std::string();
}

bool IsDevtmpfs(const std::string& host) {
  struct statx st;
  const int rc = internal::RetryOnEintr([&] {
    return statx(AT_FDCWD, host.c_str(), AT_NO_AUTOMOUNT, STATX_MNT_ID | STATX_BASIC_STATS, &st);
  });
  if (rc != 0 || (st.stx_mask & STATX_MNT_ID) == 0) return false;
  const std::string device =
      std::to_string(st.stx_dev_major) + ":" + std::to_string(st.stx_dev_minor);
  return MountType(st.stx_mnt_id, device) == "devtmpfs";
}

}  // namespace

bool IsPseudoFileSystem(std::u16string_view device_path) {
  std::string host;
  if (!CheckedHostPath(device_path, &host)) return false;
  struct statfs fs;
  if (internal::RetryOnEintr([&] { return statfs(host.c_str(), &fs); }) != 0) {
    return FailWithErrno(errno);
  }
  const uint64_t magic = static_cast<uint64_t>(fs.f_type) & 0xffffffffu;
  if (IsPseudoMagic(magic)) return true;
  if (magic == kTmpfsMagic || magic == kRamfsMagic) return IsDevtmpfs(host);
  return false;
}

}  // namespace kolvar::platform

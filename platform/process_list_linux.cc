// The running programs as /proc shows them: this program's own file, and the processes of this
// user by program file name.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_info_linux.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

// The target of an exe link; a program file deleted or replaced while running shows as its former
// path followed by " (deleted)", which is taken off unless a file really has that name.
std::string ExeOf(const std::string& link) {
  std::string target(4096, '\0');
  const ssize_t n = readlink(link.c_str(), target.data(), target.size());
  if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {};
  target.resize(static_cast<size_t>(n));
  if (target.size() > kDeletedSuffix.size() && target.ends_with(kDeletedSuffix)) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) target.resize(target.size() - kDeletedSuffix.size());
  }
  return target;
}

}  // namespace

std::string CurrentExecutableHostPath() { return ExeOf("/proc/self/exe"); }

std::vector<pid_t> FindProcessesByFileName(std::u16string_view file_name) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  const uid_t me = geteuid();
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0) continue;
    const std::string folder = std::string("/proc/") + entry->d_name;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || st.st_uid != me) continue;
    const std::string exe = ExeOf(folder + "/exe");
    if (exe.empty()) continue;  // a kernel thread, a zombie, or gone meanwhile
    std::u16string name;
    if (!Utf8ToUtf16(internal::BaseName(exe), &name)) continue;
    if (EqualsNoCase(name, file_name)) found.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace kolvar::platform

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
#include "platform/proc_parser_linux.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform {

std::string CurrentExecutableHostPath() { return internal::ProgramFileOf("/proc/self/exe"); }

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
    const std::string exe = internal::ProgramFileOf(folder + "/exe");
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

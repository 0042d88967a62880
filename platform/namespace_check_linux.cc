// Why the namespace folder is refused, in words; see kernel_objects.h.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel_objects.h"
#include "platform/kernel_objects_internal.h"

namespace kolvar::platform {
namespace {

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Why an entry of the folder (its own bookkeeping files included) is not ours; empty when it is.
// Its mode does not matter: nobody else can reach it in a folder of ours that only we may enter.
std::string EntryProblem(const std::string& name, const struct stat& st) {
  if (st.st_uid == geteuid()) return "";
  return "holds '" + name + "', which belongs to another user (uid " + std::to_string(st.st_uid) +
         ")";
}

// Why the default folder that holds a device's own namespace is refused; empty when it is not.
std::string BaseProblem(const std::string& base) {
  struct stat st;
  if (stat(base.c_str(), &st) != 0) return "";  // created at the first use
  std::string reason;
  if (!S_ISDIR(st.st_mode)) {
    reason = "is no folder";
  } else if (st.st_uid != geteuid()) {
    reason = "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  } else if ((st.st_mode & 077) != 0) {
    reason = "may be entered by group or others (mode " + Octal(st.st_mode) + "; it must be 0700)";
  }
  if (reason.empty()) return "";
  return "the folder '" + base + "', which holds the named objects of each device, " + reason +
         "; remove it, or name a folder of your own in KOLVAR_RUNTIME_DIR";
}

}  // namespace

std::string NamespaceFolderProblem() {
  if (const std::string base = kobj::NamespaceBasePath(); !base.empty()) {
    if (std::string problem = BaseProblem(base); !problem.empty()) return problem;
  }
  const std::string path = kobj::NamespaceFolderPath();
  std::string reason;
  struct stat st;
  if (path.empty()) {
    reason = "is not set";
  } else if (lstat(path.c_str(), &st) != 0) {
    // A missing folder is created at the first use; one that still is missing could not be.
    reason = std::string("cannot be used (") + std::strerror(errno) + ")";
  } else if (!S_ISDIR(st.st_mode)) {
    reason = "is no folder";
  } else if (st.st_uid != geteuid()) {
    reason = "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  } else if ((st.st_mode & 077) != 0) {
    reason = "may be entered by group or others (mode " + Octal(st.st_mode) + "; it must be 0700)";
  } else if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat entry_st;
      if (fstatat(dirfd(dir), entry->d_name, &entry_st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      reason = EntryProblem(name, entry_st);
      if (!reason.empty()) break;
    }
    closedir(dir);
  } else {
    reason = std::string("cannot be read (") + std::strerror(errno) + ")";
  }
  if (reason.empty()) return "";
  return "the folder of named objects '" + path + "' " + reason +
         "; remove it, or name a folder of your own in KOLVAR_RUNTIME_DIR";
}

}  // namespace kolvar::platform

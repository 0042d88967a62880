// Device paths and their host paths below KOLVAR_DEVICE_ROOT, and the special folders of the two
// profiles. Nothing here touches a file except the creation of a missing special folder and the
// resolving of links when a host path is compared with the root.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits a host path into components, resolving "." and ".." by name; ".." never climbs above
// the first component.
std::vector<std::string> HostComponents(std::string_view path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    const size_t end = std::min(path.find('/', i), path.size());
    const std::string_view part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    i = end + 1;
  }
  return parts;
}

// The names of a device path, with "." and ".." resolved by name; ".." never climbs above the
// first name.
std::vector<std::u16string_view> DeviceComponents(std::u16string_view device_path) {
  std::vector<std::u16string_view> parts;
  size_t i = 0;
  while (i < device_path.size()) {
    size_t end = i;
    while (end < device_path.size() && !IsSeparator(device_path[end])) ++end;
    const std::u16string_view part = device_path.substr(i, end - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  return parts;
}

std::string JoinHost(const std::vector<std::string>& parts) {
  if (parts.empty()) return "/";
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out;
}

std::string AbsoluteHost(std::string_view host_path) {
  if (!host_path.empty() && host_path[0] == '/') return std::string(host_path);
  std::string cwd(4096, '\0');
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return "/" + std::string(host_path);
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(cwd.find('\0'));
  return cwd + "/" + std::string(host_path);
}

// The components of `path` below `root`, when it lies there.
bool ComponentsBelow(const std::vector<std::string>& root, const std::vector<std::string>& path,
                     std::vector<std::string>* below) {
  if (path.size() < root.size()) return false;
  for (size_t i = 0; i < root.size(); ++i) {
    if (path[i] != root[i]) return false;
  }
  below->assign(path.begin() + static_cast<std::ptrdiff_t>(root.size()), path.end());
  return true;
}

std::string RealPathOr(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out(resolved);
  free(resolved);
  return out;
}

// Resolves the links of the longest existing prefix of `path`, keeping the rest as it stands.
std::string RealPathOfExistingPrefix(const std::string& path) {
  std::vector<std::string> parts = HostComponents(path);
  std::vector<std::string> rest;
  while (!parts.empty()) {
    const std::string prefix = JoinHost(parts);
    if (char* resolved = realpath(prefix.c_str(), nullptr)) {
      std::string out(resolved);
      free(resolved);
      for (auto it = rest.rbegin(); it != rest.rend(); ++it) out += (out == "/" ? "" : "/") + *it;
      return out;
    }
    rest.push_back(parts.back());
    parts.pop_back();
  }
  return path;
}

bool IsAbsoluteEnv(const char* name, std::string* value) {
  const char* env = getenv(name);
  if (env == nullptr || env[0] != '/') return false;
  *value = env;
  return true;
}

std::string HomeFolder() {
  std::string home;
  if (IsAbsoluteEnv("HOME", &home)) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "/";
}

std::string XdgConfigHome() {
  std::string config;
  if (IsAbsoluteEnv("XDG_CONFIG_HOME", &config)) return config;
  return HomeFolder() + "/.config";
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs: a quoted value that is absolute or starts with
// "$HOME/".
bool DocumentsFromUserDirs(std::string* folder) {
  std::ifstream in(XdgConfigHome() + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  while (std::getline(in, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    const size_t open = start + key.size();
    const size_t close = line.find('"', open);
    if (close == std::string::npos) return false;
    std::string value = line.substr(open, close - open);
    if (value.rfind("$HOME/", 0) == 0) {
      value = HomeFolder() + value.substr(5);
    } else if (value == "$HOME") {
      value = HomeFolder();
    }
    if (value.empty() || value[0] != '/') return false;
    *folder = value;
    return true;
  }
  return false;
}

std::string HostSpecialFolder(SpecialFolder folder) {
  std::string value;
  switch (folder) {
    case SpecialFolder::kWindows:
      return XdgConfigHome() + "/kolvar";
    case SpecialFolder::kDocuments:
      if (IsAbsoluteEnv("XDG_DOCUMENTS_DIR", &value)) return value;
      if (DocumentsFromUserDirs(&value)) return value;
      return HomeFolder();
    case SpecialFolder::kStartup:
      return XdgConfigHome() + "/autostart";
    case SpecialFolder::kProgramFiles:
      return HomeFolder() + "/.local/lib";
    case SpecialFolder::kTemp:
      if (IsAbsoluteEnv("TMPDIR", &value)) return value;
      return "/tmp";
  }
  return "/";
}

const char16_t* DeviceSpecialFolder(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::kWindows:
      return u"\\Windows";
    case SpecialFolder::kDocuments:
      return u"\\My Documents";
    case SpecialFolder::kStartup:
      return u"\\Windows\\StartUp";
    case SpecialFolder::kProgramFiles:
      return u"\\Program Files";
    case SpecialFolder::kTemp:
      return u"\\Temp";
  }
  return u"\\";
}

// mkdir -p with private new folders; existing folders (or links to them) are accepted.
bool MakeFolders(const std::string& host) {
  std::string path;
  for (const std::string& part : HostComponents(host)) {
    path += "/" + part;
    if (mkdir(path.c_str(), 0700) == 0) continue;
    if (errno != EEXIST) return FailWithErrno(errno);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return FailWithErrno(errno);
    if (!S_ISDIR(st.st_mode)) return Fail(kErrorPathNotFound);
  }
  return true;
}

}  // namespace

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (out.empty() || out.back() != u'\\') out += u'\\';
  out += name;
  return out;
}

std::string DeviceRoot() {
  const char* env = getenv("KOLVAR_DEVICE_ROOT");
  if (env == nullptr || env[0] == '\0') return "/";
  std::string root(env);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool IsDeviceImage() { return DeviceRoot() != "/"; }

std::string CanonicalDeviceRoot() {
  const std::string root = DeviceRoot();
  if (root == "/") return root;
  return RealPathOfExistingPrefix(AbsoluteHost(root));
}

std::string ShownPath(std::u16string_view device_path) {
  if (IsDeviceImage()) return ShownDeviceText(device_path);
  return ShownHostPath(device_path);
}

std::string ShownHostPath(std::u16string_view device_path) {
  return ShownHostText(HostPath(device_path));
}

std::string HostPath(std::u16string_view device_path) {
  std::string host = DeviceRoot();
  if (host == "/") host.clear();
  std::string name;
  for (std::u16string_view part : DeviceComponents(device_path)) {
    HostNameFromDevice(part, &name);  // checked by CheckedHostPath where it matters
    host += "/" + name;
  }
  return host.empty() ? "/" : host;
}

bool IsValidDevicePath(std::u16string_view device_path) {
  if (device_path.find(u'\0') != std::u16string_view::npos) return false;
  std::string name;
  for (std::u16string_view part : DeviceComponents(device_path)) {
    if (!HostNameFromDevice(part, &name)) return false;
  }
  return true;
}

bool CheckedHostPath(std::u16string_view device_path, std::string* host_path) {
  if (device_path.empty()) return Fail(kErrorPathNotFound);
  if (device_path.size() >= kMaxPath) return Fail(kErrorFilenameExcedRange);
  if (!IsValidDevicePath(device_path)) return Fail(kErrorInvalidName);
  *host_path = HostPath(device_path);
  return true;
}

bool DevicePathFromHost(std::string_view host_path, std::u16string* device_path) {
  const std::string absolute = AbsoluteHost(host_path);
  const std::string root = AbsoluteHost(DeviceRoot());
  std::vector<std::string> below;
  if (!ComponentsBelow(HostComponents(root), HostComponents(absolute), &below)) {
    // The root or the path may reach the same folder through links (/tmp as a link, say).
    const std::string real_root = RealPathOr(root);
    const std::string real_path = RealPathOfExistingPrefix(absolute);
    if (!ComponentsBelow(HostComponents(real_root), HostComponents(real_path), &below)) {
      return Fail(kErrorPathNotFound);
    }
  }
  std::u16string out;
  for (const std::string& part : below) {
    out += u'\\';
    out += DeviceNameFromHost(part);
  }
  if (out.empty()) out = u"\\";
  if (out.size() >= kMaxPath) return Fail(kErrorFilenameExcedRange);
  *device_path = std::move(out);
  return true;
}

bool GetSpecialFolder(SpecialFolder folder, std::u16string* device_path) {
  std::u16string path;
  if (IsDeviceImage()) {
    path = DeviceSpecialFolder(folder);
  } else if (!DevicePathFromHost(HostSpecialFolder(folder), &path)) {
    return false;
  }
  if (!MakeFolders(HostPath(path))) return false;
  *device_path = std::move(path);
  return true;
}

bool RunningProgramPath(std::u16string* device_path) {
  const std::string exe = CurrentExecutableHostPath();
  if (exe.empty()) return Fail(kErrorFileNotFound);
  return DevicePathFromHost(exe, device_path);
}

}  // namespace kolvar::platform

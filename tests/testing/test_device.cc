// Temporary device images for tests; see test_device.h.
#include "tests/testing/test_device.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/path.h"
#include "platform/text.h"

namespace kolvar::testing {
namespace {

namespace fs = std::filesystem;

std::string MakeTempFolder(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

std::string ExeOf(pid_t pid) {
  std::error_code ec;
  auto target = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  if (ec) return {};
  std::string s = target.string();
  const std::string deleted = " (deleted)";
  if (s.size() > deleted.size() &&
      s.compare(s.size() - deleted.size(), deleted.size(), deleted) == 0)
    s.resize(s.size() - deleted.size());
  return s;
}

}  // namespace

std::string BinDir() {
  if (const char* env = getenv("KOLVAR_TEST_BIN_DIR"); env && *env) return env;
  return KOLVAR_BIN_DIR;
}

TestDevice::TestDevice() {
  root_ = MakeTempFolder("kolvar-device-");
  runtime_dir_ = MakeTempFolder("kolvar-ns-");
  fs::permissions(runtime_dir_, fs::perms::owner_all, fs::perm_options::replace);
  setenv("KOLVAR_DEVICE_ROOT", root_.c_str(), 1);
  setenv("KOLVAR_RUNTIME_DIR", runtime_dir_.c_str(), 1);
  for (const char* folder :
       {"Windows", "Windows/StartUp", "My Documents", "Program Files", "Temp"}) {
    fs::create_directories(fs::path(root_) / folder);
  }
}

TestDevice::~TestDevice() {
  KillDeviceProcesses();
  std::error_code ec;
  // Read-only files and folders left by tests must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(
           root_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root_, ec);
  fs::remove_all(runtime_dir_, ec);
  unsetenv("KOLVAR_DEVICE_ROOT");
  unsetenv("KOLVAR_RUNTIME_DIR");
}

std::string TestDevice::Host(std::u16string_view device_path) const {
  return platform::HostPath(device_path);
}

void TestDevice::WriteFile(std::u16string_view device_path, std::string_view bytes) const {
  fs::path p = Host(device_path);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string TestDevice::ReadFile(std::u16string_view device_path) const {
  std::ifstream in(Host(device_path), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool TestDevice::Exists(std::u16string_view device_path) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Host(device_path), ec));
}

void TestDevice::MakeFolder(std::u16string_view device_path) const {
  fs::create_directories(Host(device_path));
}

std::u16string TestDevice::InstallPrograms(std::initializer_list<std::string_view> names) const {
  const std::u16string folder = u"\\Program Files\\Kolvar";
  fs::path host = Host(folder);
  fs::create_directories(host);
  for (std::string_view name : names) {
    fs::path from = fs::path(BinDir()) / name;
    fs::path to = host / name;
    std::error_code ec;
    fs::remove(to, ec);
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  }
  return folder;
}

std::vector<pid_t> TestDevice::ProcessesOfDevice() const {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  const std::string prefix = root_ + "/";
  while (dirent* e = readdir(proc)) {
    char* end = nullptr;
    long pid = strtol(e->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == getpid()) continue;
    if (ExeOf(static_cast<pid_t>(pid)).rfind(prefix, 0) == 0)
      pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
}

void TestDevice::KillDeviceProcesses() const {
  using namespace std::chrono;
  auto deadline = steady_clock::now() + seconds(10);
  for (;;) {
    auto pids = ProcessesOfDevice();
    if (pids.empty() || steady_clock::now() > deadline) return;
    for (pid_t pid : pids) kill(pid, SIGKILL);
    std::this_thread::sleep_for(milliseconds(10));
  }
}

}  // namespace kolvar::testing

// Test support of the installer's tests; see setup_test_support.h.
#include "tests/setup/setup_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/text.h"

extern char** environ;

namespace kolvar::testing {
namespace {

namespace fs = std::filesystem;

// The package the tests install: the resident programs, the setup library and the installer, the
// tools the tests drive, and the data the programs start from.
constexpr const char* kPackageFiles[] = {
    "kvipcsrv", "KVBkgScan", "kvmsetup.so", "kvsetup",       "kolvar",           "kvcfg",
    "kvtasks",  "kvnotifyd", "wceload",     "KVVirusDB.dat", "KVVirusDBDet.dat", "KVTasks.dat"};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string MakeTempFolder() {
  std::string pattern = (fs::temp_directory_path() / "kolvar-setup-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

SetupDeviceTest::SetupDeviceTest() {
  work_ = MakeTempFolder();
  package_ = work_ + "/package";
  fs::create_directory(package_);
  for (const char* name : kPackageFiles) {
    const fs::path from = fs::path(BinDir()) / name;
    std::error_code error;
    fs::create_hard_link(from, fs::path(package_) / name, error);
    if (error) fs::copy_file(from, fs::path(package_) / name, error);
  }
  box_log_ = work_ + "/boxes.log";
  setenv("KOLVAR_MSGBOX_LOG", box_log_.c_str(), 1);
  unsetenv("KOLVAR_MSGBOX_ANSWERS");
}

SetupDeviceTest::~SetupDeviceTest() {
  device_.KillDeviceProcesses();
  unsetenv("KOLVAR_MSGBOX_LOG");
  std::error_code error;
  fs::remove_all(work_, error);
}

ToolRun SetupDeviceTest::Run(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
  ToolRun result;
  const std::string out_file = work_ + "/run.out";
  const std::string err_file = work_ + "/run.err";
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
  variables.insert(variables.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadAll(out_file);
  result.err = ReadAll(err_file);
  return result;
}

ToolRun SetupDeviceTest::Kvsetup(const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment) {
  return Run(package_ + "/kvsetup", arguments, environment);
}

void SetupDeviceTest::Install() {
  const ToolRun run = Kvsetup({"install", "--from", package_});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
}

std::string SetupDeviceTest::Installed(std::string_view name) const {
  return device_.Host(kSuiteFolder) + "/" + std::string(name);
}

std::vector<pid_t> SetupDeviceTest::Pids(std::u16string_view folder, std::string_view name) const {
  std::vector<pid_t> found;
  const fs::path wanted = fs::weakly_canonical(device_.Host(folder)) / name;
  for (pid_t pid : device_.ProcessesOfDevice()) {
    std::error_code error;
    std::string exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
    if (error) continue;
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.ends_with(deleted))
      exe.resize(exe.size() - deleted.size());
    if (fs::path(exe) == wanted) found.push_back(pid);
  }
  return found;
}

bool SetupDeviceTest::WaitFor(const std::function<bool()>& condition,
                              std::chrono::seconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::map<std::string, std::string> SetupDeviceTest::Listing() const {
  std::map<std::string, std::string> listing;
  const fs::path root(device_.root());
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = fs::relative(it->path(), root).string();
    const std::string name = it->path().filename().string();
    if (name.starts_with("registry.db") || name.starts_with("notify.db")) continue;
    if (it->is_symlink()) {
      listing[relative] = "link";
    } else if (it->is_directory()) {
      listing[relative] = "folder";
    } else {
      listing[relative] = ReadAll(it->path());
    }
  }
  return listing;
}

std::vector<std::string> SetupDeviceTest::MessageBoxes() const {
  std::vector<std::string> boxes;
  std::istringstream lines(ReadAll(box_log_));
  for (std::string line; std::getline(lines, line);) boxes.push_back(line);
  return boxes;
}

std::vector<std::string> SetupDeviceTest::BoxesWith(std::string_view text) const {
  std::vector<std::string> found;
  for (const std::string& box : MessageBoxes()) {
    if (box.find(text) != std::string::npos) found.push_back(box);
  }
  return found;
}

bool SetupDeviceTest::KeyExists(platform::RegistryRoot root, std::u16string_view path) {
  platform::RegistryHandle key;
  return platform::OpenRegistryKey(root, path, &key);
}

bool SetupDeviceTest::ValueExists(platform::RegistryRoot root, std::u16string_view path,
                                  std::u16string_view name) {
  platform::RegistryHandle key;
  platform::RegistryValue value;
  return platform::OpenRegistryKey(root, path, &key) &&
         platform::ReadRegistryValue(key, name, &value);
}

}  // namespace kolvar::testing

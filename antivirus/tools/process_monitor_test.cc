// ProcessMonitor on the live system (a child started here appears with its id, path and threads;
// terminating it through the monitor ends it) and on fixture trees (records kept across
// refreshes, ended processes dropped, the error codes).
#include "antivirus/tools/process_monitor.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "platform/text.h"

extern char** environ;

namespace kolvar::tools {
namespace {

namespace fs = std::filesystem;

// A child process for the test, killed and reaped at the end.
class SleepingChild {
 public:
  SleepingChild() {
    char program[] = "/bin/sleep";
    char seconds[] = "300";
    char* argv[] = {program, seconds, nullptr};
    if (posix_spawn(&pid_, program, nullptr, nullptr, argv, environ) != 0) pid_ = 0;
  }
  ~SleepingChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Reap();
    }
  }
  pid_t pid() const { return pid_; }
  // The status once ended.
  int Reap() {
    int status = 0;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = 0;
    return status;
  }

 private:
  pid_t pid_ = 0;
};

ProcessMonitorSources LiveWithoutWindows() {
  ProcessMonitorSources sources;
  sources.windows = {};
  return sources;
}

TEST(ProcessMonitorTest, AChildAppearsAndEndsWhenTerminated) {
  SleepingChild child;
  ASSERT_GT(child.pid(), 0);
  const uint32_t pid = static_cast<uint32_t>(child.pid());
  ProcessMonitor monitor(LiveWithoutWindows());
  // The child may still be between spawn and exec at the first snapshot.
  ProcessRecord record;
  for (int tries = 0; tries < 500; ++tries) {
    if (monitor.CopyProcess(pid, &record) && record.entry.name == u"sleep") break;
    usleep(10000);
    monitor.Refresh();
  }
  ASSERT_EQ(record.entry.name, u"sleep");
  EXPECT_EQ(record.entry.parent_pid, static_cast<uint32_t>(getpid()));
  EXPECT_TRUE(record.full_path.ends_with(u"/sleep")) << platform::Utf16ToUtf8(record.full_path);
  EXPECT_EQ(monitor.CountThreads(pid), 1u);
  std::map<uint32_t, ModuleRecord> modules;
  ASSERT_TRUE(monitor.CopyModules(pid, &modules));
  bool maps_program = false;
  for (const auto& [id, module] : modules) {
    maps_program |= module.facts.full_path == record.full_path;
    EXPECT_GE(module.global_count, 1u);
  }
  EXPECT_TRUE(maps_program);

  ProcessesByName list;
  ASSERT_TRUE(monitor.CopyProcessList(&list));
  EXPECT_EQ(list.count({u"sleep", pid}), 1u);
  EXPECT_EQ(monitor.CountProcesses(), list.size());

  ASSERT_TRUE(monitor.Terminate(pid, 10000));
  const int status = child.Reap();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ASSERT_TRUE(monitor.Refresh());
  EXPECT_FALSE(monitor.CopyProcess(pid, &record));
  EXPECT_EQ(monitor.GetStatus(), kProcessNotInSnapshot);
}

TEST(ProcessMonitorTest, TerminatingAProcessThatIsNotThereFails) {
  ProcessMonitor monitor(LiveWithoutWindows());
  // A pid above the kernel's limit is never a process.
  EXPECT_FALSE(monitor.Terminate(0x7ffffff0u, 0));
  EXPECT_EQ(monitor.GetStatus(), kProcessTerminateFailed);
}

class FixtureTree {
 public:
  FixtureTree() {
    root_ = fs::temp_directory_path() /
            ("kolvar-monitor-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_ / "proc");
  }
  ~FixtureTree() { fs::remove_all(root_); }
  std::string root() const { return root_.string(); }
  void Add(uint32_t pid, const std::string& comm, const std::string& exe,
           const std::string& maps) const {
    const fs::path folder = root_ / "proc" / std::to_string(pid);
    fs::create_directories(folder / "task" / std::to_string(pid));
    const std::string stat =
        std::to_string(pid) + " (" + comm + ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0\n";
    std::ofstream(folder / "stat") << stat;
    std::ofstream(folder / "task" / std::to_string(pid) / "stat") << stat;
    std::ofstream(folder / "maps") << maps;
    fs::remove(folder / "exe");
    if (!exe.empty()) fs::create_symlink(exe, folder / "exe");
  }
  void Remove(uint32_t pid) const { fs::remove_all(root_ / "proc" / std::to_string(pid)); }

 private:
  fs::path root_;
  static inline int counter_ = 0;
};

ProcessMonitorSources FixtureSources(const FixtureTree& tree,
                                     std::vector<platform::TopWindow> windows = {}) {
  ProcessMonitorSources sources;
  sources.reader = platform::ProcessFactsReader(tree.root());
  sources.windows = [windows] { return windows; };
  return sources;
}

TEST(ProcessMonitorTest, RefreshDropsEndedProcessesAndFollowsChanges) {
  FixtureTree tree;
  const std::string libc = "7f000000-7f001000 r--p 00000000 08:01 200 /lib/libc.so.6\n";
  tree.Add(10, "alpha", "/bin/alpha", libc);
  tree.Add(11, "beta", "", libc);  // a path that cannot be read: the name stands in
  tree.Add(12, "beta", "/bin/beta", "");
  ProcessMonitor monitor(FixtureSources(tree, {{0x100, 10}, {0x200, 12}, {0x300, 10}}));
  ASSERT_EQ(monitor.GetStatus(), kStatusOk);
  ProcessesByName list;
  ASSERT_TRUE(monitor.CopyProcessList(&list));
  ASSERT_EQ(list.size(), 3u) << "two processes of one name are both listed";
  auto it = list.begin();
  EXPECT_EQ(it->first.second, 10u);
  EXPECT_EQ((++it)->second.full_path, u"beta");
  EXPECT_EQ((++it)->second.full_path, u"/bin/beta");
  EXPECT_EQ(monitor.MainWindow(10), 0x300u) << "the last window of the process";
  EXPECT_EQ(monitor.MainWindow(11), 0u);
  EXPECT_EQ(monitor.GetStatus(), kStatusOk);
  std::map<uint32_t, ModuleRecord> modules;
  ASSERT_TRUE(monitor.CopyModules(10, &modules));
  ASSERT_EQ(modules.size(), 1u);
  EXPECT_EQ(modules.begin()->second.global_count, 2u);

  tree.Remove(11);
  tree.Add(12, "beta", "/bin/beta", libc);
  ASSERT_TRUE(monitor.Refresh());
  ASSERT_TRUE(monitor.CopyProcessList(&list));
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(monitor.CountModules(12), 1u);
  EXPECT_EQ(monitor.CountHeaps(12), 0u);

  // The error codes of a process that is not in the snapshot.
  const struct {
    std::function<void()> call;
    Status status;
  } cases[] = {
      {[&] { monitor.MainWindow(11); }, kProcessNotInSnapshot},
      {[&] { monitor.CountModules(11); }, kProcessNotInSnapshot},
      {[&] { monitor.CountThreads(11); }, kThreadSnapshotFailed},
      {[&] { monitor.CountHeaps(11); }, kHeapSnapshotFailed},
  };
  for (const auto& c : cases) {
    c.call();
    EXPECT_EQ(monitor.GetStatus(), c.status);
  }

  tree.Remove(10);
  tree.Remove(12);
  EXPECT_FALSE(monitor.Refresh());
  EXPECT_EQ(monitor.GetStatus(), kProcessSnapshotFailed);
}

}  // namespace
}  // namespace kolvar::tools

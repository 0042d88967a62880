// ProcessMonitor: a snapshot of the running processes, each with its modules (the files mapped
// into it), threads and heaps and its main window, taken when the object is made and again on
// every Refresh; nothing refreshes it in the background. Records that did not change between two
// snapshots are kept as they were. Every operation runs under the object's lock and leaves its
// error code readable (GetStatus): 0, or one of the kProcessMonitor... codes below.
//
// The facts come from the platform's /proc reader and window list; tests may hand in a reader of
// a fixture tree and a window list of their own.
#ifndef KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MONITOR_H_
#define KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MONITOR_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/lockable_object.h"
#include "platform/desktop_windows.h"
#include "platform/process_facts.h"

namespace kolvar::tools {

inline constexpr Status kProcessSnapshotFailed = 93;  // the process list failed or was empty
inline constexpr Status kThreadSnapshotFailed = 94;
inline constexpr Status kHeapSnapshotFailed = 96;
inline constexpr Status kProcessNotInSnapshot = 100;
inline constexpr Status kProcessTerminateFailed = 102;

struct ModuleRecord {
  platform::ModuleFacts facts;
  // How many processes of the snapshot map the same file.
  uint32_t global_count = 0;
  bool operator==(const ModuleRecord&) const = default;
};

struct ProcessRecord {
  platform::ProcessFacts entry;
  // The program's full path, or its name when the path cannot be read.
  std::u16string full_path;
  std::map<uint32_t, ModuleRecord> modules;
  std::map<uint32_t, platform::ThreadFacts> threads;
  std::map<uint64_t, platform::HeapFacts> heaps;
  // The last top-level window of the process; 0 for none.
  uint64_t main_window = 0;
};

// The process list as the process manager shows it: by name without regard to case, and
// processes of one name by id. (Keyed by the name alone, processes that share a program would
// hide each other.)
struct NameThenId {
  bool operator()(const std::pair<std::u16string, uint32_t>& a,
                  const std::pair<std::u16string, uint32_t>& b) const;
};
using ProcessesByName = std::map<std::pair<std::u16string, uint32_t>, ProcessRecord, NameThenId>;

struct ProcessMonitorSources {
  platform::ProcessFactsReader reader = platform::ProcessFactsReader("/");
  std::function<std::vector<platform::TopWindow>()> windows = platform::ListTopWindows;
};

class ProcessMonitor : public LockableObject {
 public:
  // Takes the first snapshot.
  explicit ProcessMonitor(ProcessMonitorSources sources = {});

  bool Refresh();

  bool CopyProcessList(ProcessesByName* processes);
  uint32_t CountProcesses();
  // A copy of one process's record; 100 when it is not in the snapshot.
  bool CopyProcess(uint32_t pid, ProcessRecord* record);
  bool CopyModules(uint32_t pid, std::map<uint32_t, ModuleRecord>* modules);
  bool CopyThreads(uint32_t pid, std::map<uint32_t, platform::ThreadFacts>* threads);
  bool CopyHeaps(uint32_t pid, std::map<uint64_t, platform::HeapFacts>* heaps);
  uint32_t CountThreads(uint32_t pid);
  uint32_t CountModules(uint32_t pid);
  uint32_t CountHeaps(uint32_t pid);
  // The process's main window, 0 (with 100) when it is not in the snapshot.
  uint64_t MainWindow(uint32_t pid);
  // Ends the process at once (the device's terminate, SIGKILL); with a wait, true only when it
  // ended within it. 102 when it cannot be opened or ended (another user's process).
  bool Terminate(uint32_t pid, uint32_t wait_ms);

 private:
  Status RefreshLocked();
  void ReadDetails(ProcessRecord* record) const;
  void CountGlobalUsage();
  const ProcessRecord* Find(uint32_t pid) const;

  ProcessMonitorSources sources_;
  std::map<uint32_t, ProcessRecord> processes_;
};

}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MONITOR_H_

// The process snapshot; see process_monitor.h.
#include "antivirus/tools/process_monitor.h"

#include <vector>

#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::tools {
namespace {

template <typename Key, typename Value, typename Facts, typename KeyOf>
void Merge(std::map<Key, Value>* into, const std::vector<Facts>& facts, KeyOf key_of) {
  // Replaces only the entries whose content changed, and drops those that are gone.
  std::map<Key, Value> fresh;
  for (const Facts& fact : facts) {
    Value value{fact};
    const Key key = key_of(fact);
    auto old = into->find(key);
    if (old != into->end() && old->second == value) {
      fresh.emplace(key, std::move(old->second));
    } else {
      fresh.emplace(key, std::move(value));
    }
  }
  *into = std::move(fresh);
}

}  // namespace
}  // namespace kolvar::tools

namespace kolvar::tools {

bool NameThenId::operator()(const std::pair<std::u16string, uint32_t>& a,
                            const std::pair<std::u16string, uint32_t>& b) const {
  if (const int order = platform::CompareNoCase(a.first, b.first); order != 0) return order < 0;
  if (a.first != b.first) return a.first < b.first;
  return a.second < b.second;
}

ProcessMonitor::ProcessMonitor(ProcessMonitorSources sources)
    : LockableObject(true, kLockCriticalSection), sources_(std::move(sources)) {
  Refresh();
}

void ProcessMonitor::ReadDetails(ProcessRecord* record) const {
  const uint32_t pid = record->entry.pid;
  std::vector<platform::ModuleFacts> modules;
  std::vector<platform::ThreadFacts> threads;
  std::vector<platform::HeapFacts> heaps;
  sources_.reader.ReadModules(pid, &modules);
  sources_.reader.ReadThreads(pid, &threads);
  sources_.reader.ReadHeaps(pid, &heaps);
  Merge(&record->modules, modules, [](const platform::ModuleFacts& m) { return m.module_id; });
  Merge(&record->threads, threads, [](const platform::ThreadFacts& t) { return t.tid; });
  Merge(&record->heaps, heaps, [](const platform::HeapFacts& h) { return h.base_address; });
}

void ProcessMonitor::CountGlobalUsage() {
  std::map<uint32_t, uint32_t> users;
  for (const auto& [pid, record] : processes_) {
    for (const auto& [id, module] : record.modules) ++users[id];
  }
  for (auto& [pid, record] : processes_) {
    for (auto& [id, module] : record.modules) module.global_count = users[id];
  }
}

Status ProcessMonitor::RefreshLocked() {
  std::vector<platform::ProcessFacts> facts;
  if (!sources_.reader.ListProcesses(&facts) || facts.empty()) return kProcessSnapshotFailed;
  std::map<uint32_t, ProcessRecord> fresh;
  for (platform::ProcessFacts& entry : facts) {
    const uint32_t pid = entry.pid;
    const std::u16string full_path = entry.full_path.empty() ? entry.name : entry.full_path;
    auto old = processes_.find(pid);
    ProcessRecord record;
    if (old != processes_.end() && old->second.full_path == full_path) {
      // The same program under the same id: its details are brought up to date below.
      record = std::move(old->second);
    } else {
      record.full_path = full_path;
    }
    record.entry = std::move(entry);
    record.main_window = 0;
    fresh.emplace(pid, std::move(record));
  }
  // The last top-level window of a process is its main window.
  if (sources_.windows) {
    for (const platform::TopWindow& window : sources_.windows()) {
      auto it = fresh.find(window.pid);
      if (it != fresh.end()) it->second.main_window = window.window;
    }
  }
  // A process that ended while it was read is dropped; the others' details are refreshed.
  for (auto it = fresh.begin(); it != fresh.end();) {
    if (!sources_.reader.Exists(it->first)) {
      it = fresh.erase(it);
      continue;
    }
    ReadDetails(&it->second);
    ++it;
  }
  processes_ = std::move(fresh);
  CountGlobalUsage();
  return processes_.empty() ? kProcessSnapshotFailed : kStatusOk;
}

bool ProcessMonitor::Refresh() {
  return RunLocked([this] { return RefreshLocked(); });
}

const ProcessRecord* ProcessMonitor::Find(uint32_t pid) const {
  const auto it = processes_.find(pid);
  return it == processes_.end() ? nullptr : &it->second;
}

bool ProcessMonitor::CopyProcessList(ProcessesByName* processes) {
  return RunLocked([&] {
    processes->clear();
    for (const auto& [pid, record] : processes_) {
      processes->emplace(std::make_pair(record.entry.name, pid), record);
    }
    return processes_.empty() ? kProcessSnapshotFailed : kStatusOk;
  });
}

uint32_t ProcessMonitor::CountProcesses() {
  uint32_t count = 0;
  RunLocked([&] {
    count = static_cast<uint32_t>(processes_.size());
    return processes_.empty() ? kProcessSnapshotFailed : kStatusOk;
  });
  return count;
}

bool ProcessMonitor::CopyProcess(uint32_t pid, ProcessRecord* record) {
  return RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kProcessNotInSnapshot;
    *record = *found;
    return kStatusOk;
  });
}

bool ProcessMonitor::CopyModules(uint32_t pid, std::map<uint32_t, ModuleRecord>* modules) {
  return RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kProcessNotInSnapshot;
    *modules = found->modules;
    return kStatusOk;
  });
}

bool ProcessMonitor::CopyThreads(uint32_t pid, std::map<uint32_t, platform::ThreadFacts>* threads) {
  return RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kThreadSnapshotFailed;
    *threads = found->threads;
    return kStatusOk;
  });
}

bool ProcessMonitor::CopyHeaps(uint32_t pid, std::map<uint64_t, platform::HeapFacts>* heaps) {
  return RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kHeapSnapshotFailed;
    *heaps = found->heaps;
    return kStatusOk;
  });
}

uint32_t ProcessMonitor::CountThreads(uint32_t pid) {
  uint32_t count = 0;
  RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kThreadSnapshotFailed;
    count = static_cast<uint32_t>(found->threads.size());
    return kStatusOk;
  });
  return count;
}

uint32_t ProcessMonitor::CountModules(uint32_t pid) {
  uint32_t count = 0;
  RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kProcessNotInSnapshot;
    count = static_cast<uint32_t>(found->modules.size());
    return kStatusOk;
  });
  return count;
}

uint32_t ProcessMonitor::CountHeaps(uint32_t pid) {
  uint32_t count = 0;
  RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kHeapSnapshotFailed;
    count = static_cast<uint32_t>(found->heaps.size());
    return kStatusOk;
  });
  return count;
}

uint64_t ProcessMonitor::MainWindow(uint32_t pid) {
  uint64_t window = 0;
  RunLocked([&] {
    const ProcessRecord* found = Find(pid);
    if (found == nullptr) return kProcessNotInSnapshot;
    window = found->main_window;
    return kStatusOk;
  });
  return window;
}

bool ProcessMonitor::Terminate(uint32_t pid, uint32_t wait_ms) {
  return RunLocked([&] {
    platform::Process process;
    if (!platform::Process::OpenById(static_cast<pid_t>(pid), &process) || !process.Terminate()) {
      return kProcessTerminateFailed;
    }
    if (wait_ms > 0 && process.Wait(wait_ms) != platform::WaitResult::kSignaled) {
      return kProcessTerminateFailed;
    }
    return kStatusOk;
  });
}

}  // namespace kolvar::tools

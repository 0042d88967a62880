// The process facts from /proc; see process_facts.h. Every file is read once per question and
// whatever the kernel refuses (EACCES for another user's maps or exe link) is left unknown, so a
// process of another user still shows what anyone may read.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <sstream>

#include "platform/file_info_linux.h"
#include "platform/posix_fd.h"
#include "platform/proc_parser_linux.h"
#include "platform/process_facts.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace internal {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

std::string WithoutDeletedSuffix(std::string path) {
  if (path.size() > kDeletedSuffix.size() && path.ends_with(kDeletedSuffix)) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) path.resize(path.size() - kDeletedSuffix.size());
  }
  return path;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* value, int base = 10) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return error == std::errc() && end == text.data() + text.size();
}

// The next blank-separated field of `rest`, which moves past it.
std::string_view NextField(std::string_view* rest) {
  const size_t begin = rest->find_first_not_of(' ');
  if (begin == std::string_view::npos) {
    *rest = {};
    return {};
  }
  size_t end = rest->find(' ', begin);
  if (end == std::string_view::npos) end = rest->size();
  const std::string_view field = rest->substr(begin, end - begin);
  rest->remove_prefix(end);
  return field;
}

}  // namespace

std::string ProgramFileOf(const std::string& exe_link) {
  std::string target(4096, '\0');
  const ssize_t n = readlink(exe_link.c_str(), target.data(), target.size());
  if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {};
  target.resize(static_cast<size_t>(n));
  return WithoutDeletedSuffix(std::move(target));
}

std::vector<uint32_t> NumericEntries(const std::string& folder) {
  std::vector<uint32_t> ids;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return ids;
  while (const dirent* entry = readdir(dir)) {
    uint32_t id = 0;
    if (ParseNumber(std::string_view(entry->d_name), &id) && id > 0) ids.push_back(id);
  }
  closedir(dir);
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::optional<StatLine> ParseStatLine(std::string_view line) {
  const size_t open = line.find('(');
  const size_t close = line.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  StatLine stat;
  stat.comm = std::string(line.substr(open + 1, close - open - 1));
  std::string_view rest = line.substr(close + 1);
  // Fields from the third on: state, ppid, ..., priority (18), nice (19), num_threads (20).
  std::vector<std::string_view> fields;
  while (fields.size() < 18) {
    const std::string_view field = NextField(&rest);
    if (field.empty()) break;
    fields.push_back(field);
  }
  if (fields.size() < 18) return std::nullopt;
  if (!ParseNumber(fields[1], &stat.parent_pid) || !ParseNumber(fields[15], &stat.priority) ||
      !ParseNumber(fields[16], &stat.nice) || !ParseNumber(fields[17], &stat.thread_count)) {
    return std::nullopt;
  }
  return stat;
}

std::optional<MapsLine> ParseMapsLine(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  MapsLine maps;
  std::string_view rest = line;
  const std::string_view range = NextField(&rest);
  const std::string_view perms = NextField(&rest);
  const std::string_view offset = NextField(&rest);
  const std::string_view device = NextField(&rest);
  const std::string_view inode = NextField(&rest);
  const size_t dash = range.find('-');
  const size_t colon = device.find(':');
  uint64_t major = 0, minor = 0, unused = 0;
  if (dash == std::string_view::npos || colon == std::string_view::npos || perms.size() < 2 ||
      !ParseNumber(range.substr(0, dash), &maps.start, 16) ||
      !ParseNumber(range.substr(dash + 1), &maps.end, 16) || !ParseNumber(offset, &unused, 16) ||
      !ParseNumber(device.substr(0, colon), &major, 16) ||
      !ParseNumber(device.substr(colon + 1), &minor, 16) || !ParseNumber(inode, &maps.inode) ||
      maps.end < maps.start) {
    return std::nullopt;
  }
  maps.writable = perms[1] == 'w';
  maps.device = major << 32 | minor;
  // The path is the rest after the padding; it may hold blanks of its own.
  const size_t begin = rest.find_first_not_of(' ');
  if (begin != std::string_view::npos) {
    maps.path = WithoutDeletedSuffix(std::string(rest.substr(begin)));
  }
  return maps;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  UniqueFd fd(RetryOnEintr([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!fd.valid()) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = RetryOnEintr([&] { return read(fd.get(), buffer, sizeof buffer); });
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace internal

namespace {

std::u16string Shown(std::string_view host_path) { return DeviceNameFromHost(host_path); }

// FNV-1a over the device and inode numbers: a module id that stays the same for one file.
uint32_t ModuleIdOf(uint64_t device, uint64_t inode) {
  uint32_t hash = 2166136261u;
  for (uint64_t value : {device, inode}) {
    for (int byte = 0; byte < 8; ++byte) {
      hash ^= static_cast<uint8_t>(value >> (8 * byte));
      hash *= 16777619u;
    }
  }
  return hash;
}

bool IsFileMapping(const internal::MapsLine& line) {
  return line.inode != 0 && !line.path.empty() && line.path.front() == '/';
}

}  // namespace

ProcessFactsReader::ProcessFactsReader(std::string root) {
  if (root.empty() || root.back() != '/') root += '/';
  proc_ = root + "proc";
}

bool ProcessFactsReader::Exists(uint32_t pid) const {
  struct stat st;
  return stat((proc_ + "/" + std::to_string(pid)).c_str(), &st) == 0;
}

bool ProcessFactsReader::ReadProcess(uint32_t pid, ProcessFacts* facts) const {
  const std::string folder = proc_ + "/" + std::to_string(pid);
  const std::optional<std::string> stat_text = internal::ReadSmallFile(folder + "/stat");
  if (!stat_text) return false;
  const std::optional<internal::StatLine> stat = internal::ParseStatLine(*stat_text);
  if (!stat) return false;
  *facts = ProcessFacts();
  facts->pid = pid;
  facts->parent_pid = stat->parent_pid;
  facts->priority = stat->priority;
  facts->thread_count = stat->thread_count;
  const std::string program = internal::ProgramFileOf(folder + "/exe");
  if (!program.empty()) {
    facts->full_path = Shown(program);
    facts->name = Shown(internal::BaseName(program));
  } else {
    facts->name = Shown(stat->comm);
  }
  return true;
}

bool ProcessFactsReader::ListProcesses(std::vector<ProcessFacts>* processes) const {
  processes->clear();
  DIR* dir = opendir(proc_.c_str());
  if (dir == nullptr) return false;
  closedir(dir);
  for (uint32_t pid : internal::NumericEntries(proc_)) {
    ProcessFacts facts;
    if (ReadProcess(pid, &facts)) processes->push_back(std::move(facts));
  }
  return true;
}

bool ProcessFactsReader::ReadModules(uint32_t pid, std::vector<ModuleFacts>* modules) const {
  modules->clear();
  const std::string folder = proc_ + "/" + std::to_string(pid);
  const std::optional<std::string> maps = internal::ReadSmallFile(folder + "/maps");
  if (!maps) return Exists(pid);
  std::map<uint32_t, size_t> index;  // module id -> position in *modules
  std::istringstream lines(*maps);
  for (std::string text; std::getline(lines, text);) {
    const std::optional<internal::MapsLine> line = internal::ParseMapsLine(text);
    if (!line || !IsFileMapping(*line)) continue;
    const uint32_t id = ModuleIdOf(line->device, line->inode);
    auto [at, added] = index.emplace(id, modules->size());
    if (added) {
      ModuleFacts module;
      module.module_id = id;
      module.full_path = Shown(line->path);
      module.name = Shown(internal::BaseName(line->path));
      module.base_address = line->start;
      modules->push_back(std::move(module));
    }
    ModuleFacts& module = (*modules)[at->second];
    module.base_address = std::min(module.base_address, line->start);
    module.size = std::max(module.size, line->end - module.base_address);
    ++module.mapping_count;
  }
  return true;
}

bool ProcessFactsReader::ReadThreads(uint32_t pid, std::vector<ThreadFacts>* threads) const {
  threads->clear();
  const std::string task = proc_ + "/" + std::to_string(pid) + "/task";
  for (uint32_t tid : internal::NumericEntries(task)) {
    const std::optional<std::string> text =
        internal::ReadSmallFile(task + "/" + std::to_string(tid) + "/stat");
    if (!text) continue;  // ended meanwhile
    const std::optional<internal::StatLine> stat = internal::ParseStatLine(*text);
    if (!stat) continue;
    threads->push_back({tid, pid, stat->priority, stat->nice});
  }
  return Exists(pid);
}

bool ProcessFactsReader::ReadHeaps(uint32_t pid, std::vector<HeapFacts>* heaps) const {
  heaps->clear();
  const std::optional<std::string> maps =
      internal::ReadSmallFile(proc_ + "/" + std::to_string(pid) + "/maps");
  if (!maps) return Exists(pid);
  std::istringstream lines(*maps);
  for (std::string text; std::getline(lines, text);) {
    const std::optional<internal::MapsLine> line = internal::ParseMapsLine(text);
    if (!line || !line->writable) continue;
    const bool heap = line->path == "[heap]";
    if (!heap && !(line->path.empty() && line->inode == 0)) continue;
    heaps->push_back({line->start, line->end - line->start, heap});
  }
  return true;
}

}  // namespace kolvar::platform

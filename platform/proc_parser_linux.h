// Internal to platform/: the one reader of the /proc tree, shared by the process facts and the
// search for running programs by file name.
#ifndef KOLVAR_PLATFORM_PROC_PARSER_LINUX_H_
#define KOLVAR_PLATFORM_PROC_PARSER_LINUX_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar::platform::internal {

// The target of a process's exe link; a program file deleted or replaced while running shows as
// its former path followed by " (deleted)", which is taken off unless a file really has that name.
// Empty when the link cannot be read (another user's process, a kernel thread, gone).
std::string ProgramFileOf(const std::string& exe_link);

// The numeric entries of a proc folder ("/proc" or "/proc/PID/task"), ascending.
std::vector<uint32_t> NumericEntries(const std::string& folder);

// The fields of a stat file that the suite uses.
struct StatLine {
  std::string comm;
  uint32_t parent_pid = 0;
  int32_t priority = 0;
  int32_t nice = 0;
  uint32_t thread_count = 0;
};
// Parses "pid (comm) state ppid ... priority nice num_threads ..."; the short name may hold
// blanks and parentheses, so it ends at the last ")".
std::optional<StatLine> ParseStatLine(std::string_view line);

// One line of a maps file.
struct MapsLine {
  uint64_t start = 0;
  uint64_t end = 0;
  bool writable = false;
  uint64_t device = 0;  // major << 32 | minor
  uint64_t inode = 0;
  std::string path;  // "" for an anonymous mapping, "[heap]", "[stack]", or a file
};
std::optional<MapsLine> ParseMapsLine(std::string_view line);

// The whole of a small file (proc and sys files report no size); nullopt when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::string& path);

}  // namespace kolvar::platform::internal

#endif  // KOLVAR_PLATFORM_PROC_PARSER_LINUX_H_

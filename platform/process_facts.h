// What the system tells about its running processes, as the process manager shows them: each
// process with its program, parent, priority and thread count; the files mapped into a process
// (its modules); its threads; its heap and anonymous memory. On Linux all of it comes from one
// parser of the /proc tree (process_facts_linux.cc). The tree's root is a parameter so that tests
// can hand the parser a fixture folder; the programs use the live "/".
//
// A process of another user shows what /proc lets anyone read (its name, parent, priority and
// threads); its program path and mappings stay unknown and are never an error. Only a process
// that has ended counts as gone.
#ifndef KOLVAR_PLATFORM_PROCESS_FACTS_H_
#define KOLVAR_PLATFORM_PROCESS_FACTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kolvar::platform {

struct ProcessFacts {
  uint32_t pid = 0;
  uint32_t parent_pid = 0;
  // The kernel's scheduling priority of the process (20 for a normal process at nice 0).
  int32_t priority = 0;
  uint32_t thread_count = 0;
  // The program's file name: the last component of its file, or the kernel's short name when the
  // file cannot be read.
  std::u16string name;
  // The program's full host path as a device text (names mapped losslessly); empty when /proc does
  // not tell it (another user's process, a kernel thread).
  std::u16string full_path;
};

// A file mapped into a process, once per file: the lowest address, and the span up to the end of
// its highest mapping.
struct ModuleFacts {
  // Stable for a file while it exists: a hash of its device and inode numbers.
  uint32_t module_id = 0;
  std::u16string name;
  std::u16string full_path;
  uint64_t base_address = 0;
  uint64_t size = 0;
  // How many separate mappings of the file the process has.
  uint32_t mapping_count = 0;
  bool operator==(const ModuleFacts&) const = default;
};

struct ThreadFacts {
  uint32_t tid = 0;
  uint32_t owner_pid = 0;
  int32_t priority = 0;
  int32_t nice = 0;
  bool operator==(const ThreadFacts&) const = default;
};

// The heap ("[heap]") and each anonymous writable mapping of a process.
struct HeapFacts {
  uint64_t base_address = 0;
  uint64_t size = 0;
  bool is_default_heap = false;
  bool operator==(const HeapFacts&) const = default;
};

class ProcessFactsReader {
 public:
  // `root` is the folder that holds "proc" ("/" for the live system).
  explicit ProcessFactsReader(std::string root = "/");

  // Every process; false when the proc folder cannot be listed. A process that ends while it is
  // read is left out.
  bool ListProcesses(std::vector<ProcessFacts>* processes) const;
  // Each returns false only when the process is gone; what cannot be read is left empty.
  bool ReadProcess(uint32_t pid, ProcessFacts* facts) const;
  bool ReadModules(uint32_t pid, std::vector<ModuleFacts>* modules) const;
  bool ReadThreads(uint32_t pid, std::vector<ThreadFacts>* threads) const;
  bool ReadHeaps(uint32_t pid, std::vector<HeapFacts>* heaps) const;
  bool Exists(uint32_t pid) const;

 private:
  std::string proc_;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_PROCESS_FACTS_H_

// The /proc reader against a fixture tree (names with blanks and parentheses, a deleted program
// file, a process whose maps and program link cannot be read, one that ends) and against the live
// system (a child started here appears with its id, threads and the program it maps).
#include "platform/process_facts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/proc_parser_linux.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

class FixtureProc {
 public:
  FixtureProc() {
    root_ = fs::temp_directory_path() /
            ("kolvar-proc-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_ / "proc");
  }
  ~FixtureProc() { fs::remove_all(root_); }

  std::string root() const { return root_.string(); }
  fs::path Process(uint32_t pid) const { return root_ / "proc" / std::to_string(pid); }

  // A process with a stat line, optional program link and maps, and its threads.
  void Add(uint32_t pid, const std::string& comm, uint32_t parent, int priority,
           const std::vector<uint32_t>& threads, const std::string& exe,
           const std::string* maps) const {
    const fs::path folder = Process(pid);
    fs::create_directories(folder / "task");
    Write(folder / "stat", StatLine(pid, comm, parent, priority, threads.size()));
    if (!exe.empty()) fs::create_symlink(exe, folder / "exe");
    if (maps != nullptr) {
      Write(folder / "maps", *maps);
    } else {
      fs::create_directory(folder / "maps");  // reading it fails, as for another user's process
    }
    for (uint32_t tid : threads) {
      fs::create_directories(folder / "task" / std::to_string(tid));
      Write(folder / "task" / std::to_string(tid) / "stat",
            StatLine(tid, comm, parent, priority + 1, threads.size()));
    }
  }

  static std::string StatLine(uint32_t pid, const std::string& comm, uint32_t parent, int priority,
                              size_t threads) {
    return std::to_string(pid) + " (" + comm + ") S " + std::to_string(parent) +
           " 1 1 0 -1 4194304 10 0 0 0 5 6 0 0 " + std::to_string(priority) + " 0 " +
           std::to_string(threads) + " 0 12345 1000 200\n";
  }
  static void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

 private:
  fs::path root_;
  static inline int counter_ = 0;
};

TEST(ProcParserTest, StatLinesKeepNamesWithBlanksAndParentheses) {
  const struct {
    std::string line;
    bool valid;
    std::string comm;
  } cases[] = {
      {FixtureProc::StatLine(7, "bash", 1, 20, 1), true, "bash"},
      {FixtureProc::StatLine(7, "my (odd) name", 1, 20, 1), true, "my (odd) name"},
      {FixtureProc::StatLine(7, ") S 9", 1, 20, 1), true, ") S 9"},
      {"7 (cut) S 1 2 3", false, ""},
      {"no parenthesis at all", false, ""},
  };
  for (const auto& c : cases) {
    const std::optional<internal::StatLine> stat = internal::ParseStatLine(c.line);
    ASSERT_EQ(stat.has_value(), c.valid) << c.line;
    if (!c.valid) continue;
    EXPECT_EQ(stat->comm, c.comm);
    EXPECT_EQ(stat->parent_pid, 1u);
    EXPECT_EQ(stat->priority, 20);
    EXPECT_EQ(stat->thread_count, 1u);
  }
}

TEST(ProcParserTest, MapsLinesGiveRangesInodesAndPaths) {
  const std::optional<internal::MapsLine> file = internal::ParseMapsLine(
      "7f00a000-7f00c000 r-xp 00001000 08:01 1234   /usr/lib/with blank/libx.so\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->start, 0x7f00a000u);
  EXPECT_EQ(file->end, 0x7f00c000u);
  EXPECT_FALSE(file->writable);
  EXPECT_EQ(file->inode, 1234u);
  EXPECT_EQ(file->device, (uint64_t{8} << 32) | 1);
  EXPECT_EQ(file->path, "/usr/lib/with blank/libx.so");
  const std::optional<internal::MapsLine> anonymous =
      internal::ParseMapsLine("7f00c000-7f00d000 rw-p 00000000 00:00 0 ");
  ASSERT_TRUE(anonymous);
  EXPECT_TRUE(anonymous->writable);
  EXPECT_EQ(anonymous->path, "");
  EXPECT_FALSE(internal::ParseMapsLine("7f00c000 rw-p 00000000 00:00 0"));
  EXPECT_FALSE(internal::ParseMapsLine("zz-7f rw-p 00000000 00:00 0"));
}

TEST(ProcessFactsTest, FixtureProcessesShowWhatCanBeRead) {
  FixtureProc proc;
  const std::string maps =
      "00400000-00401000 r-xp 00000000 08:01 100 /opt/app/tool (deleted)\n"
      "00401000-00403000 rw-p 00001000 08:01 100 /opt/app/tool (deleted)\n"
      "00500000-00600000 rw-p 00000000 00:00 0 [heap]\n"
      "7f000000-7f001000 r--p 00000000 08:01 200 /lib/libc.so.6\n"
      "7f001000-7f002000 rw-p 00000000 00:00 0 \n"
      "7f002000-7f003000 r--p 00000000 00:00 0 \n"
      "7ffd0000-7ffd1000 rw-p 00000000 00:00 0 [stack]\n";
  proc.Add(42, "tool", 1, 20, {42, 43, 44}, "/opt/app/tool (deleted)", &maps);
  // Another user's process: no program link, maps unreadable.
  proc.Add(7, "other (daemon)", 1, 19, {7}, "", nullptr);
  // A folder that is no process, and a process whose stat is damaged (left out).
  fs::create_directories(fs::path(proc.root()) / "proc" / "self");
  fs::create_directories(proc.Process(99));
  FixtureProc::Write(proc.Process(99) / "stat", "99 (half");

  ProcessFactsReader reader(proc.root());
  std::vector<ProcessFacts> processes;
  ASSERT_TRUE(reader.ListProcesses(&processes));
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].pid, 7u);
  EXPECT_EQ(processes[0].name, u"other (daemon)");
  EXPECT_EQ(processes[0].full_path, u"");
  EXPECT_EQ(processes[0].priority, 19);
  EXPECT_EQ(processes[1].pid, 42u);
  EXPECT_EQ(processes[1].name, u"tool");
  EXPECT_EQ(processes[1].full_path, u"/opt/app/tool");
  EXPECT_EQ(processes[1].thread_count, 3u);
  EXPECT_EQ(processes[1].parent_pid, 1u);

  std::vector<ModuleFacts> modules;
  ASSERT_TRUE(reader.ReadModules(42, &modules));
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[0].full_path, u"/opt/app/tool");
  EXPECT_EQ(modules[0].base_address, 0x400000u);
  EXPECT_EQ(modules[0].size, 0x3000u);
  EXPECT_EQ(modules[0].mapping_count, 2u);
  EXPECT_EQ(modules[1].name, u"libc.so.6");
  EXPECT_NE(modules[0].module_id, modules[1].module_id);

  std::vector<HeapFacts> heaps;
  ASSERT_TRUE(reader.ReadHeaps(42, &heaps));
  ASSERT_EQ(heaps.size(), 2u) << "the heap and the writable anonymous mapping";
  EXPECT_TRUE(heaps[0].is_default_heap);
  EXPECT_EQ(heaps[0].base_address, 0x500000u);
  EXPECT_FALSE(heaps[1].is_default_heap);

  std::vector<ThreadFacts> threads;
  ASSERT_TRUE(reader.ReadThreads(42, &threads));
  ASSERT_EQ(threads.size(), 3u);
  EXPECT_EQ(threads[2].tid, 44u);
  EXPECT_EQ(threads[2].owner_pid, 42u);
  EXPECT_EQ(threads[2].priority, 21);

  // The unreadable process is there with nothing mapped; a process that is gone is not.
  EXPECT_TRUE(reader.ReadModules(7, &modules));
  EXPECT_TRUE(modules.empty());
  EXPECT_TRUE(reader.ReadHeaps(7, &heaps));
  EXPECT_FALSE(reader.ReadModules(12345, &modules));
  EXPECT_FALSE(reader.ReadThreads(12345, &threads));
  EXPECT_FALSE(reader.Exists(12345));
}

TEST(ProcessFactsTest, AMissingProcFolderFailsTheList) {
  ProcessFactsReader reader("/nonexistent-kolvar-root");
  std::vector<ProcessFacts> processes;
  EXPECT_FALSE(reader.ListProcesses(&processes));
}

TEST(ProcessFactsTest, ALiveChildShowsItsIdThreadsAndProgram) {
  ProcessFactsReader reader;
  ProcessFacts self;
  ASSERT_TRUE(reader.ReadProcess(static_cast<uint32_t>(getpid()), &self));
  // A second thread of this process appears among its threads.
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop) usleep(1000);
  });
  std::vector<ThreadFacts> threads;
  ASSERT_TRUE(reader.ReadThreads(static_cast<uint32_t>(getpid()), &threads));
  stop = true;
  worker.join();
  EXPECT_GE(threads.size(), 2u);

  const std::u16string program = DeviceNameFromHost(CurrentExecutableHostPath());
  EXPECT_EQ(self.full_path, program);
  std::vector<ModuleFacts> modules;
  ASSERT_TRUE(reader.ReadModules(static_cast<uint32_t>(getpid()), &modules));
  EXPECT_TRUE(std::any_of(modules.begin(), modules.end(),
                          [&](const ModuleFacts& m) { return m.full_path == program; }));

  std::vector<ProcessFacts> processes;
  ASSERT_TRUE(reader.ListProcesses(&processes));
  EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [](const ProcessFacts& p) {
    return p.pid == static_cast<uint32_t>(getpid());
  }));
}

}  // namespace
}  // namespace kolvar::platform

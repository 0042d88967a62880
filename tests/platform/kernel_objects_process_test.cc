// Kernel objects across real processes: driver programs (kolvar_kobj_child) started, scripted
// and killed by the test, with the test process itself as one more party. Shows mutual exclusion,
// abandonment by a killed owner, event wake-ups and reset kinds across processes, presence of
// objects exactly while a live process holds them, shared memory contents, and that processes
// killed at any moment leave nothing that blocks the next one.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/kernel_objects.h"
#include "tests/testing/test_device.h"

extern char** environ;

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kReplyTimeoutMs = 60000;

// Waits (up to seconds) until the thread sleeps in futex, i.e. inside an event or mutex wait.
bool ThreadBlockedInFutex(pid_t pid, pid_t tid) {
  const std::string path =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/syscall";
  const auto deadline = steady_clock::now() + std::chrono::seconds(30);
  while (steady_clock::now() < deadline) {
    std::ifstream in(path);
    long number = -1;
    if (in >> number && number == SYS_futex) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

// One driver program with a pipe to its standard input and one from its standard output.
class Child {
 public:
  explicit Child(const std::string& program) {
    signal(SIGPIPE, SIG_IGN);  // a killed child must not take the test with it
    int to[2], from[2];
    if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from[1], STDOUT_FILENO);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(to[0]);
    close(from[1]);
    to_child_ = to[1];
    from_child_ = from[0];
  }
  ~Child() {
    Kill();
    if (to_child_ >= 0) close(to_child_);
    if (from_child_ >= 0) close(from_child_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(to_child_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // The next reply line, or nothing when none came within the time.
  std::optional<std::string> Reply(int timeout_ms = kReplyTimeoutMs) {
    const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
    for (;;) {
      if (size_t end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      if (left < 0) return std::nullopt;
      pollfd p{from_child_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[4096];
      const ssize_t n = read(from_child_, chunk, sizeof(chunk));
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  std::string Do(const std::string& line) {
    Send(line);
    return Reply().value_or("<no reply>");
  }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Waits until the child's main thread sleeps in a wait.
  bool BlockedInFutex() const { return ThreadBlockedInFutex(pid_, pid_); }

 private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string buffer_;
};

class KernelObjectsProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::u16string folder = device_.InstallPrograms({"kolvar_kobj_child"});
    program_ = device_.Host(folder + u"\\kolvar_kobj_child");
  }

  std::unique_ptr<Child> Start() {
    auto child = std::make_unique<Child>(program_);
    EXPECT_TRUE(child->running());
    return child;
  }

  // Files of the namespace folder other than its lock.
  std::set<std::string> ObjectFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(device_.runtime_dir())) {
      const std::string name = entry.path().filename().string();
      if (name != ".lock") names.insert(name);
    }
    return names;
  }

  testing::TestDevice device_;
  std::string program_;
};

TEST_F(KernelObjectsProcessTest, NamedMutexExcludesProcessesUnnamedDoesNot) {
  auto a = Start();
  auto b = Start();
  ASSERT_EQ(a->Do("mutex m create _@KVMAVGENCFG@_ 1"), "ok 0");
  ASSERT_EQ(b->Do("mutex m create _@KVMAVGENCFG@_ 0"), "ok 1");
  EXPECT_EQ(b->Do("mutex m wait 0"), "timeout");
  Mutex mine;
  ASSERT_TRUE(mine.Open(u"_@KVMAVGENCFG@_"));
  EXPECT_EQ(mine.Wait(0), WaitResult::kTimeout);

  b->Send("mutex m wait 30000");
  ASSERT_TRUE(b->BlockedInFutex());
  EXPECT_EQ(a->Do("mutex m release"), "ok");
  EXPECT_EQ(b->Reply().value_or(""), "signaled");
  EXPECT_EQ(a->Do("mutex m wait 0"), "timeout");
  EXPECT_EQ(mine.Wait(0), WaitResult::kTimeout);
  EXPECT_EQ(b->Do("mutex m release"), "ok");
  EXPECT_EQ(mine.Wait(0), WaitResult::kSignaled);
  EXPECT_EQ(a->Do("mutex m release"), "err 288");
  EXPECT_TRUE(mine.Release());

  ASSERT_EQ(a->Do("mutex u create - 1"), "ok 0");
  ASSERT_EQ(b->Do("mutex u create - 1"), "ok 0");
  Mutex unnamed;
  ASSERT_TRUE(unnamed.Create(u"", false));
  EXPECT_EQ(unnamed.Wait(0), WaitResult::kSignaled);
}

TEST_F(KernelObjectsProcessTest, NamedMutexKeepsCountsOfSeveralProcesses) {
  SharedMemory block;
  ASSERT_TRUE(block.Create(u"counter", sizeof(int64_t)));
  constexpr int kChildren = 3;
  constexpr int kTimes = 2000;
  std::vector<std::unique_ptr<Child>> children;
  for (int i = 0; i < kChildren; ++i) children.push_back(Start());
  for (auto& child : children) child->Send("count _@counter@_ counter " + std::to_string(kTimes));
  for (auto& child : children) EXPECT_EQ(child->Reply().value_or(""), "ok");
  int64_t total;
  std::memcpy(&total, block.data(), sizeof(total));
  EXPECT_EQ(total, kChildren * kTimes);
}

TEST_F(KernelObjectsProcessTest, KilledOwnerLeavesMutexAbandonedNotBlocked) {
  auto owner = Start();
  auto waiter = Start();
  ASSERT_EQ(owner->Do("mutex m create KVCIPCCPLEV 1"), "ok 0");
  ASSERT_EQ(waiter->Do("mutex m open KVCIPCCPLEV"), "ok");
  waiter->Send("mutex m wait 30000");
  ASSERT_TRUE(waiter->BlockedInFutex());
  owner->Kill();
  EXPECT_EQ(waiter->Reply().value_or(""), "abandoned");
  EXPECT_EQ(waiter->Do("mutex m release"), "ok");

  Mutex mine;
  ASSERT_TRUE(mine.Open(u"KVCIPCCPLEV"));
  EXPECT_EQ(mine.Wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mine.Release());

  // A short-bounded wait, as the service uses, does not hang on a dead owner either.
  auto second_owner = Start();
  ASSERT_EQ(second_owner->Do("mutex m open KVCIPCCPLEV"), "ok");
  ASSERT_EQ(second_owner->Do("mutex m wait 0"), "signaled");
  second_owner->Kill();
  EXPECT_EQ(mine.Wait(15), WaitResult::kAbandoned);
  EXPECT_TRUE(mine.Release());
  EXPECT_EQ(mine.Wait(15), WaitResult::kSignaled);
  EXPECT_TRUE(mine.Release());
}

TEST_F(KernelObjectsProcessTest, ClosingTheLastHandleOfAProcessGivesItsMutexUp) {
  auto owner = Start();
  ASSERT_EQ(owner->Do("mutex m create M 1"), "ok 0");
  Mutex mine;
  ASSERT_TRUE(mine.Open(u"M"));
  EXPECT_EQ(mine.Wait(0), WaitResult::kTimeout);
  ASSERT_EQ(owner->Do("close m"), "ok");
  EXPECT_EQ(mine.Wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mine.Release());
}

TEST_F(KernelObjectsProcessTest, EventSetInOneProcessWakesWaiterInAnother) {
  for (int manual : {0, 1}) {
    SCOPED_TRACE(manual);
    const std::string name = "KVCMSICEV0" + std::to_string(manual);
    auto waiter = Start();
    Event event;
    ASSERT_TRUE(event.Create(std::u16string(name.begin(), name.end()), manual != 0, false));
    ASSERT_EQ(waiter->Do("event e open " + name), "ok");
    waiter->Send("event e wait 30000");
    ASSERT_TRUE(waiter->BlockedInFutex());
    const auto start = steady_clock::now();
    ASSERT_TRUE(event.Set());
    EXPECT_EQ(waiter->Reply().value_or(""), "signaled");
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(30));
    // And the other way round.
    const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    std::atomic<bool> about_to_wait{false};
    std::thread set_later([&] {
      while (!about_to_wait.load()) std::this_thread::yield();
      EXPECT_TRUE(ThreadBlockedInFutex(getpid(), self));
      EXPECT_EQ(waiter->Do("event e reset"), "ok");
      EXPECT_EQ(waiter->Do("event e set"), "ok");
    });
    event.Reset();
    about_to_wait = true;
    EXPECT_EQ(event.Wait(30000), WaitResult::kSignaled);
    set_later.join();
  }
}

TEST_F(KernelObjectsProcessTest, AutoResetReleasesOneProcessManualResetAll) {
  for (int manual : {0, 1}) {
    SCOPED_TRACE(manual);
    const std::string name = manual ? "KVCIPCSYNC" : "@_KVMIPCSCAN_@";
    Event event;
    ASSERT_TRUE(event.Create(std::u16string(name.begin(), name.end()), manual != 0, false));
    auto first = Start();
    auto second = Start();
    for (Child* child : {first.get(), second.get()}) {
      ASSERT_EQ(child->Do("event e open " + name), "ok");
      child->Send("event e wait 60000");
      ASSERT_TRUE(child->BlockedInFutex());
    }
    ASSERT_TRUE(event.Set());
    if (manual) {
      EXPECT_EQ(first->Reply().value_or(""), "signaled");
      EXPECT_EQ(second->Reply().value_or(""), "signaled");
      EXPECT_EQ(event.Wait(0), WaitResult::kSignaled);
      continue;
    }
    // Exactly one of them consumes the signal; the other sleeps on until the next Set.
    std::optional<std::string> one;
    std::optional<std::string> other;
    const auto deadline = steady_clock::now() + std::chrono::seconds(60);
    while (!one && !other && steady_clock::now() < deadline) {
      one = first->Reply(10);
      if (!one) other = second->Reply(10);
    }
    ASSERT_TRUE(one || other);
    EXPECT_EQ(one ? *one : *other, "signaled");
    Child* loser = one ? second.get() : first.get();
    EXPECT_FALSE(loser->Reply(300).has_value());
    EXPECT_TRUE(loser->BlockedInFutex());
    EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
    ASSERT_TRUE(event.Set());
    EXPECT_EQ(loser->Reply().value_or(""), "signaled");
    EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
  }
}

TEST_F(KernelObjectsProcessTest, PresenceEventOfAKilledProgramIsGone) {
  auto program = Start();
  ASSERT_EQ(program->Do("event p create @_KVMIPCSRV_@ 0 0"), "ok 0");
  EXPECT_TRUE(ObjectExists(u"@_KVMIPCSRV_@"));
  auto observer = Start();
  EXPECT_EQ(observer->Do("exists @_KVMIPCSRV_@"), "1");
  {
    Event second_copy;
    bool existed = false;
    ASSERT_TRUE(second_copy.Create(u"@_KVMIPCSRV_@", false, false, &existed));
    EXPECT_TRUE(existed);
  }
  EXPECT_TRUE(ObjectExists(u"@_KVMIPCSRV_@"));
  program->Kill();
  EXPECT_FALSE(ObjectExists(u"@_KVMIPCSRV_@"));
  EXPECT_EQ(observer->Do("exists @_KVMIPCSRV_@"), "0");
  Event restarted;
  bool existed = true;
  ASSERT_TRUE(restarted.Create(u"@_KVMIPCSRV_@", false, false, &existed));
  EXPECT_FALSE(existed);
  EXPECT_EQ(observer->Do("event p create @_KVMIPCSRV_@ 0 0"), "ok 1");
}

TEST_F(KernelObjectsProcessTest, SecondCreateReportsAlreadyExistedWhileTheFirstHolderLives) {
  auto first = Start();
  auto second = Start();
  ASSERT_EQ(first->Do("mutex m create _SCHEDULER_APP_EXE_ 0"), "ok 0");
  EXPECT_EQ(second->Do("mutex m create _SCHEDULER_APP_EXE_ 0"), "ok 1");
  EXPECT_EQ(second->Do("close m"), "ok");
  EXPECT_EQ(second->Do("mutex m create _SCHEDULER_APP_EXE_ 0"), "ok 1");
  EXPECT_EQ(second->Do("close m"), "ok");
  EXPECT_EQ(first->Do("close m"), "ok");
  EXPECT_EQ(second->Do("mutex m create _SCHEDULER_APP_EXE_ 0"), "ok 0");
  // The kind travels with the name: another kind under it is refused in every process.
  EXPECT_EQ(first->Do("event e create _SCHEDULER_APP_EXE_ 1 0"), "err 6");
  EXPECT_EQ(first->Do("shm s open _SCHEDULER_APP_EXE_ 8"), "err 6");
}

TEST_F(KernelObjectsProcessTest, SharedMemoryKeepsTheFirstWritersBytesUntilTheLastHolderCloses) {
  auto writer = Start();
  auto reader = Start();
  ASSERT_EQ(writer->Do("shm s create SHD__@KVMAVGENCFG@_ 8"), "ok 0");
  ASSERT_EQ(writer->Do("shm s write 0 kolvar01"), "ok");
  ASSERT_EQ(reader->Do("shm s create SHD__@KVMAVGENCFG@_ 8"), "ok 1");
  EXPECT_EQ(reader->Do("shm s read 0 8"), "ok 6b6f6c7661723031");
  SharedMemory mine;
  ASSERT_TRUE(mine.Open(u"SHD__@KVMAVGENCFG@_", 8));
  EXPECT_EQ(std::string(static_cast<char*>(mine.data()), 8), "kolvar01");
  std::memcpy(mine.data(), "changed!", 8);
  EXPECT_EQ(writer->Do("shm s read 0 8"), "ok 6368616e67656421");
  EXPECT_EQ(writer->Do("shm s open SHD__@KVMAVGENCFG@_ 9"), "err 5");

  mine.Close();
  EXPECT_EQ(writer->Do("close s"), "ok");
  EXPECT_EQ(reader->Do("shm s read 0 8"), "ok 6368616e67656421");
  EXPECT_EQ(reader->Do("close s"), "ok");
  EXPECT_TRUE(ObjectFiles().empty());
  EXPECT_EQ(reader->Do("shm s create SHD__@KVMAVGENCFG@_ 8"), "ok 0");
  EXPECT_EQ(reader->Do("shm s read 0 8"), "ok 0000000000000000");

  // A holder killed rather than closed takes the contents with it just the same.
  ASSERT_EQ(reader->Do("shm s write 0 leftover"), "ok");
  reader->Kill();
  bool existed = true;
  ASSERT_TRUE(mine.Create(u"SHD__@KVMAVGENCFG@_", 8, &existed));
  EXPECT_FALSE(existed);
  EXPECT_EQ(std::string(static_cast<char*>(mine.data()), 8), std::string(8, '\0'));
}

TEST_F(KernelObjectsProcessTest, StartedProgramsInheritNoObjectDescriptors) {
  Event presence;
  ASSERT_TRUE(presence.Create(u"@_KVMAVGUI_@", false, false));
  SharedMemory block;
  ASSERT_TRUE(block.Create(u"KVCIPCSHMEM", 101472));
  Mutex mutex;
  ASSERT_TRUE(mutex.Create(u"_@KVMAVGEN_MAIN@_", true));
  auto child = Start();
  const std::string descriptors = child->Do("fds");
  EXPECT_EQ(descriptors.rfind("ok", 0), 0u);
  EXPECT_EQ(descriptors.find(device_.runtime_dir()), std::string::npos) << descriptors;
  presence.Close();
  EXPECT_FALSE(ObjectExists(u"@_KVMAVGUI_@"));
  EXPECT_EQ(child->Do("exists @_KVMAVGUI_@"), "0");
}

TEST_F(KernelObjectsProcessTest, ProcessesCreatingAndClosingTheSameNamesLeaveNoFiles) {
  constexpr int kChildren = 3;
  std::vector<std::unique_ptr<Child>> children;
  for (int i = 0; i < kChildren; ++i) children.push_back(Start());
  for (auto& child : children) child->Send("churn 150 a b c");
  std::thread local([] {
    for (int round = 0; round < 150; ++round) {
      for (const char16_t* name : {u"a", u"b", u"c"}) {
        Mutex mutex;
        ASSERT_TRUE(mutex.Create(std::u16string(u"M") + name));
        ASSERT_EQ(mutex.Wait(30000), WaitResult::kSignaled);
        SharedMemory block;
        ASSERT_TRUE(block.Create(std::u16string(u"S") + name, 4096));
        ASSERT_TRUE(mutex.Release());
        ObjectExists(std::u16string(u"E") + name);
      }
    }
  });
  for (auto& child : children) EXPECT_EQ(child->Reply().value_or(""), "ok 0");
  local.join();
  children.clear();
  EXPECT_TRUE(ObjectFiles().empty());
}

TEST_F(KernelObjectsProcessTest, ProcessesKilledAtAnyMomentLeaveNothingThatBlocks) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> delay_ms(0, 120);
  for (int round = 0; round < 12; ++round) {
    auto first = Start();
    auto second = Start();
    // Both are past start-up, so that the kills land inside the churn.
    ASSERT_EQ(first->Do("exists Ma").size(), 1u);
    ASSERT_EQ(second->Do("exists Ma").size(), 1u);
    first->Send("churn 1000000 a b");
    second->Send("churn 1000000 b a");
    std::this_thread::sleep_for(milliseconds(delay_ms(random)));
    first->Kill();
    std::this_thread::sleep_for(milliseconds(delay_ms(random)));
    second->Kill();
  }
  for (const char* name : {"a", "b"}) {
    SCOPED_TRACE(name);
    for (const char* kind : {"M", "E", "S"}) {
      const std::string full = std::string(kind) + name;
      EXPECT_FALSE(ObjectExists(std::u16string(full.begin(), full.end())));
    }
    Mutex mutex;
    bool existed = true;
    ASSERT_TRUE(
        mutex.Create(std::u16string(u"M") + (name[0] == 'a' ? u"a" : u"b"), false, &existed));
    EXPECT_FALSE(existed);
    EXPECT_EQ(mutex.Wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(mutex.Release());
  }
  EXPECT_TRUE(ObjectFiles().empty());
}

}  // namespace
}  // namespace kolvar::platform

// Processes started from inside a device image: the single command-line argument, exit codes,
// waits and their time-outs, termination, liveness through pidfds, reaping of closed handles,
// detached sessions, and finding programs by file name. The programs are copies of the host's
// sh and sleep placed in the image, and scripts run by that sh.
#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/path.h"
#include "platform/test_child.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kLongWaitMs = 30000;

bool Contains(const std::vector<pid_t>& pids, pid_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// The state letter of /proc/<pid>/stat, or 0 when there is no such process.
char StateOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string bin = device_.root() + "/bin";
    fs::create_directories(bin);
    fs::copy_file("/bin/sh", bin + "/sh");
    fs::create_directories(device_.Host(u"\\Program Files\\Kolvar"));
    fs::copy_file("/bin/sleep", device_.Host(kSleeper));
    // "run" evaluates its one argument; "args" records how many arguments came and the first.
    WriteScript(u"\\bin\\run", "eval \"$1\"\n");
    WriteScript(u"\\bin\\args",
                "printf '%s|%s' \"$#\" \"$1\" > '" + device_.root() + "/Temp/args.txt'\n");
  }

  void WriteScript(std::u16string_view device_path, const std::string& body) {
    const std::string host = device_.Host(device_path);
    std::ofstream(host) << "#!" << device_.root() << "/bin/sh\n" << body;
    fs::permissions(host, fs::perms::owner_all);
  }

  Process StartOrFail(std::u16string_view program, std::u16string_view command_line,
                      StartOptions options = {}) {
    Process process;
    EXPECT_TRUE(Process::Start(program, command_line, options, &process)) << GetLastError();
    return process;
  }

  const std::u16string kSleeper = u"\\Program Files\\Kolvar\\KVSleeper";
  testing::TestDevice device_;
};

TEST_F(ProcessTest, CommandLineArrivesAsOneArgumentOrNone) {
  const struct {
    std::u16string command_line;
    std::string seen;
  } cases[] = {
      {u"", "0|"},
      {u"DOSCAN", "1|DOSCAN"},
      {u"a b  c", "1|a b  c"},
      {u"\"\\My Documents\\x.cab\" /nouninstall", "1|\"\\My Documents\\x.cab\" /nouninstall"},
      {u"caf\u00E9 $HOME `x`", "1|caf\xC3\xA9 $HOME `x`"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seen);
    Process process = StartOrFail(u"\\bin\\args", c.command_line);
    ASSERT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);
    uint32_t code = 1;
    ASSERT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(device_.ReadFile(u"\\Temp\\args.txt"), c.seen);
  }
}

TEST_F(ProcessTest, ExitCodesAndLivenessAfterTheEnd) {
  const struct {
    std::u16string command_line;
    uint32_t code;
  } cases[] = {{u"exit 0", 0}, {u"exit 3", 3}, {u"exit 255", 255}, {u"kill -TERM $$", 128 + 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Process process = StartOrFail(u"\\bin\\run", c.command_line);
    EXPECT_GT(process.Pid(), 0);
    ASSERT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);
    EXPECT_FALSE(process.IsAlive());
    uint32_t code = 0;
    ASSERT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(process.Wait(0), WaitResult::kSignaled);  // and stays so
    ASSERT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, c.code);
  }
}

TEST_F(ProcessTest, WaitTimesOutWhileRunningAndTerminateKills) {
  Process process = StartOrFail(kSleeper, u"120");
  EXPECT_EQ(process.Wait(50), WaitResult::kTimeout);
  EXPECT_EQ(process.Wait(0), WaitResult::kTimeout);
  EXPECT_TRUE(process.IsAlive());
  uint32_t code = 0;
  ASSERT_TRUE(process.GetExitCode(&code));
  EXPECT_EQ(code, kStillActive);

  ASSERT_TRUE(process.Terminate());
  ASSERT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);
  ASSERT_TRUE(process.GetExitCode(&code));
  EXPECT_EQ(code, 128u + SIGKILL);
  EXPECT_TRUE(process.Terminate());  // already ended: nothing left to do
  EXPECT_EQ(StateOf(process.Pid()), 0) << "reaped, not a zombie";
}

TEST_F(ProcessTest, StartFailuresGiveTheDevicesErrors) {
  device_.WriteFile(u"\\bin\\plain", "#!/bin/sh\nexit 0\n");
  fs::permissions(device_.Host(u"\\bin\\plain"), fs::perms::owner_read | fs::perms::owner_write);
  device_.WriteFile(u"\\bin\\garbage", std::string("\x01\x02\x03\x04 not a program"));
  fs::permissions(device_.Host(u"\\bin\\garbage"), fs::perms::owner_all);
  const struct {
    const char* name;
    std::u16string program;
    std::u16string command_line;
    uint32_t error;
  } cases[] = {
      {"missing program", u"\\bin\\none", u"", kErrorFileNotFound},
      {"missing folder", u"\\none\\prog", u"", kErrorPathNotFound},
      {"a folder", u"\\bin", u"", kErrorAccessDenied},
      {"not executable", u"\\bin\\plain", u"", kErrorAccessDenied},
      {"unknown format", u"\\bin\\garbage", u"", kErrorBadExeFormat},
      {"NUL in the command line", u"\\bin\\run", std::u16string(u"a\0b", 3),
       kErrorInvalidParameter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    SetLastError(0);
    EXPECT_FALSE(Process::Start(c.program, c.command_line, {}, &process));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_FALSE(process.IsValid());
  }
}

TEST_F(ProcessTest, ClosedHandlesLeaveNoZombies) {
  pid_t quick = 0, slow = 0;
  {
    Process a = StartOrFail(u"\\bin\\run", u"exit 0");
    Process b = StartOrFail(kSleeper, u"120");
    quick = a.Pid();
    slow = b.Pid();
  }  // both handles closed: one child may have ended already, the other still runs
  ASSERT_EQ(kill(slow, SIGKILL), 0);  // still our unreaped child, so the pid is still its own
  for (int i = 0; i < 1000 && (StateOf(quick) != 0 || StateOf(slow) != 0); ++i) Sleep(10);
  EXPECT_EQ(StateOf(quick), 0);
  EXPECT_EQ(StateOf(slow), 0);
}

TEST_F(ProcessTest, DetachedProgramsGetTheirOwnSessionAndNoInput) {
  Process process = StartOrFail(kSleeper, u"120", StartOptions{.detached = true});
  EXPECT_EQ(getsid(process.Pid()), process.Pid());
  EXPECT_NE(getsid(process.Pid()), getsid(0));
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(process.Pid()) + "/fd/0"), "/dev/null");
  ASSERT_TRUE(process.Terminate());
  EXPECT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);

  Process attached = StartOrFail(kSleeper, u"120");
  EXPECT_EQ(getsid(attached.Pid()), getsid(0));
  attached.Terminate();
}

TEST_F(ProcessTest, DescriptorsOfTheStarterAreNotInherited) {
  const int leaked = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(leaked, 0);
  ASSERT_EQ(dup2(leaked, 77), 77);
  Process process =
      StartOrFail(u"\\bin\\run", u"if [ -e /proc/$$/fd/77 ]; then exit 1; else exit 0; fi");
  ASSERT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);
  uint32_t code = 9;
  ASSERT_TRUE(process.GetExitCode(&code));
  EXPECT_EQ(code, 0u);
  close(77);
  close(leaked);
}

TEST_F(ProcessTest, OpenByIdReachesTheSameProcess) {
  Process started = StartOrFail(kSleeper, u"120");
  Process opened;
  ASSERT_TRUE(Process::OpenById(started.Pid(), &opened));
  EXPECT_EQ(opened.Pid(), started.Pid());
  EXPECT_TRUE(opened.IsAlive());
  uint32_t code = 0;
  ASSERT_TRUE(opened.GetExitCode(&code));
  EXPECT_EQ(code, kStillActive);
  ASSERT_TRUE(opened.Terminate());
  // The second handle sees the exit code but leaves the child to the handle that started it.
  EXPECT_EQ(opened.Wait(kLongWaitMs), WaitResult::kSignaled);
  EXPECT_FALSE(opened.IsAlive());
  ASSERT_TRUE(opened.GetExitCode(&code));
  EXPECT_EQ(code, 128u + SIGKILL);
  opened.Close();
  EXPECT_EQ(StateOf(started.Pid()), 'Z');
  EXPECT_EQ(started.Wait(kLongWaitMs), WaitResult::kSignaled);
  ASSERT_TRUE(started.GetExitCode(&code));
  EXPECT_EQ(code, 128u + SIGKILL);
  EXPECT_EQ(StateOf(started.Pid()), 0);

  // Our own parent: alive, and its exit code is not ours to read.
  Process parent;
  ASSERT_TRUE(Process::OpenById(getppid(), &parent));
  EXPECT_TRUE(parent.IsAlive());
  ASSERT_TRUE(parent.GetExitCode(&code));
  EXPECT_EQ(code, kStillActive);

  for (pid_t pid : {pid_t{0}, pid_t{-1}, pid_t{0x7FFFFFF0}}) {
    Process none;
    SetLastError(0);
    EXPECT_FALSE(Process::OpenById(pid, &none));
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  }
  EXPECT_EQ(CurrentProcessId(), getpid());
}

TEST_F(ProcessTest, FindsRunningProgramsByFileNameInAnyCase) {
  Process process = StartOrFail(kSleeper, u"120");
  // The program may still be the starter's copy for a moment before its exec.
  for (int i = 0; i < 1000 && !Contains(FindProcessesByFileName(u"KVSleeper"), process.Pid());
       ++i) {
    Sleep(10);
  }
  EXPECT_TRUE(Contains(FindProcessesByFileName(u"KVSleeper"), process.Pid()));
  EXPECT_TRUE(Contains(FindProcessesByFileName(u"kvsleeper"), process.Pid()));
  EXPECT_FALSE(Contains(FindProcessesByFileName(u"KVSleep"), process.Pid()));
  EXPECT_FALSE(Contains(FindProcessesByFileName(u"Kolvar\\KVSleeper"), process.Pid()));

  const std::string self = fs::path(CurrentExecutableHostPath()).filename();
  std::u16string self_name;
  ASSERT_TRUE(Utf8ToUtf16(self, &self_name));
  EXPECT_TRUE(Contains(FindProcessesByFileName(self_name), getpid()));

  ASSERT_TRUE(process.Terminate());
  ASSERT_EQ(process.Wait(kLongWaitMs), WaitResult::kSignaled);
  EXPECT_FALSE(Contains(FindProcessesByFileName(u"KVSleeper"), process.Pid()));
}

TEST_F(ProcessTest, ProgramInsideTheImageKnowsItsDevicePath) {
  const std::u16string program = test_child::Install(device_);
  const std::string out = device_.root() + "/Temp/path.txt";
  Process child;
  ASSERT_TRUE(test_child::Start(program, "program-path " + out, &child));
  ASSERT_EQ(child.Wait(kLongWaitMs * 4), WaitResult::kSignaled);
  uint32_t code = 1;
  ASSERT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, 0u);
  std::ifstream in(out);
  std::string path;
  std::getline(in, path);
  EXPECT_EQ(path, Utf16ToUtf8(program));
}

}  // namespace
}  // namespace kolvar::platform

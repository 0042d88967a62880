// A program started with an output file writes its standard output and error there, from the
// start of the file; a detached one without a file writes them nowhere. Neither keeps its
// starter's descriptors: a starter whose output is a pipe sees the pipe close when the starter
// itself is done, whatever its daemons still do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/error.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

class ProcessOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string bin = device_.root() + "/bin";
    fs::create_directories(bin);
    fs::copy_file("/bin/sh", bin + "/sh");
    const std::string run = device_.Host(u"\\bin\\run");
    std::ofstream(run) << "#!" << device_.root() << "/bin/sh\neval \"$1\"\n";
    fs::permissions(run, fs::perms::owner_all);
  }

  testing::TestDevice device_;
};

TEST_F(ProcessOutputTest, OutputAndErrorGoToTheFileWhichStartsEmpty) {
  device_.WriteFile(u"\\Temp\\out.log", "left over from an earlier program\n");
  Process process;
  ASSERT_TRUE(Process::Start(u"\\bin\\run", u"echo to-out; echo to-err >&2; echo again",
                             StartOptions{.detached = true, .output_file = u"\\Temp\\out.log"},
                             &process))
      << GetLastError();
  ASSERT_EQ(process.Wait(30000), WaitResult::kSignaled);
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\out.log"), "to-out\nto-err\nagain\n");

  Process fresh;
  ASSERT_TRUE(Process::Start(u"\\bin\\run", u"echo new",
                             StartOptions{.output_file = u"\\Temp\\new.log"}, &fresh));
  ASSERT_EQ(fresh.Wait(30000), WaitResult::kSignaled);
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\new.log"), "new\n");
  EXPECT_EQ(fs::status(device_.Host(u"\\Temp\\new.log")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ProcessOutputTest, StarterOutputAndErrorAreNotHeldByTheProgram) {
  struct Case {
    const char* name;
    StartOptions options;
  };
  const Case cases[] = {
      {"with an output file", StartOptions{.output_file = u"\\Temp\\daemon.log"}},
      {"detached without an output file", StartOptions{.detached = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const int saved_out = dup(STDOUT_FILENO);
    const int saved_err = dup(STDERR_FILENO);
    ASSERT_EQ(dup2(pipe_ends[1], STDOUT_FILENO), STDOUT_FILENO);
    ASSERT_EQ(dup2(pipe_ends[1], STDERR_FILENO), STDERR_FILENO);
    Process process;
    const bool started =
        Process::Start(u"\\bin\\run", u"echo lost; echo lost >&2; sleep 120", c.options, &process);
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    close(saved_out);
    close(saved_err);
    close(pipe_ends[1]);
    ASSERT_TRUE(started) << GetLastError();
    // Every writer of the pipe is gone although the program still runs: the read finds the end.
    char byte = 0;
    EXPECT_EQ(read(pipe_ends[0], &byte, 1), 0);
    EXPECT_TRUE(process.IsAlive());
    close(pipe_ends[0]);
    process.Terminate();
    process.Wait(30000);
  }
}

}  // namespace
}  // namespace kolvar::platform

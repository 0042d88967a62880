// Messages a user can act on, over real processes: a namespace folder that is refused is named with
// its reason by every program that meets it, and a file that cannot be deleted is reported with
// the error's meaning, not a bare number.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/antivirus/front_end_test_support.h"

extern char** environ;

namespace kolvar {
namespace {

// Runs a program of the device image to its end (killed after a generous bound); its exit status,
// -1 when it had to be killed.
int RunToEnd(const std::string& program) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class KolvarMessagesTest : public FrontEndTest {};

// A folder that others may enter, and one that another user owns: every program refuses it and
// says which folder and why (the windowless ones once ended without a word).
TEST_F(KolvarMessagesTest, EveryProgramNamesARefusedNamespaceFolder) {
  struct Case {
    const char* name;
    mode_t mode;
    uid_t owner;  // 0: the test's own user
    std::string reason;
  };
  std::vector<Case> cases = {
      {"open", 0755, 0, "' may be entered by group or others (mode 0755; it must be 0700)"}};
  if (geteuid() == 0) {
    cases.push_back({"theirs", 0700, 65534, "' belongs to another user (uid 65534)"});
  } else {
    std::cout << "not root: the case of a folder owned by another user is left out\n";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = device_.root() + "/ns-" + c.name;
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
    if (c.owner != 0) {
      ASSERT_EQ(chown(folder.c_str(), c.owner, c.owner), 0);
    }
    const std::string expected = "the folder of named objects '" + folder + c.reason;
    environment_changes_["KOLVAR_RUNTIME_DIR"] = folder;

    const RunResult scan = Kolvar({"scan", "\\My Documents"}, "", 120);
    EXPECT_EQ(scan.exit_status, 2) << scan.err;
    EXPECT_NE(scan.err.find("named objects cannot be created: " + expected), std::string::npos)
        << scan.err;

    // The windowless programs tell it in their boxes.
    setenv("KOLVAR_RUNTIME_DIR", folder.c_str(), 1);
    for (const char* program : {"KVBkgScan", "kvipcsrv"}) {
      SCOPED_TRACE(program);
      std::remove(box_log_.c_str());
      EXPECT_EQ(RunToEnd(device_.Host(folder_ + u"\\" +
                                      std::u16string(program, program + strlen(program)))),
                0);
      const std::vector<std::string> boxes = Boxes();
      ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
      EXPECT_NE(boxes[0].find(std::string("\"program\":\"") + program + "\""), std::string::npos);
      EXPECT_NE(boxes[0].find("\\nCause: " + expected), std::string::npos) << boxes[0];
    }
    setenv("KOLVAR_RUNTIME_DIR", device_.runtime_dir().c_str(), 1);
    EXPECT_TRUE(device_.ProcessesOfDevice().empty());
  }
}

}  // namespace
}  // namespace kolvar

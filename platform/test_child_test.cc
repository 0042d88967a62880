// The child side of test_child.h, and the starting of it. PlatformChild.Run does nothing (it is
// skipped) unless KOLVAR_PLATFORM_CHILD gives it a job.
#include "platform/test_child.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform::test_child {

namespace fs = std::filesystem;

std::u16string Install(const testing::TestDevice& device) {
  const std::u16string path = u"\\Program Files\\Kolvar\\platform_child";
  const fs::path host = device.Host(path);
  fs::create_directories(host.parent_path());
  std::error_code ec;
  fs::create_hard_link(CurrentExecutableHostPath(), host, ec);
  if (ec) fs::copy_file(CurrentExecutableHostPath(), host, fs::copy_options::overwrite_existing);
  return path;
}

bool Start(std::u16string_view program, const std::string& job, Process* out) {
  setenv("KOLVAR_PLATFORM_CHILD", job.c_str(), 1);
  const bool started = Process::Start(program, u"--gtest_filter=PlatformChild.Run", {}, out);
  unsetenv("KOLVAR_PLATFORM_CHILD");
  return started;
}

namespace {

TEST(PlatformChild, Run) {
  const char* job = getenv("KOLVAR_PLATFORM_CHILD");
  if (job == nullptr) GTEST_SKIP() << "runs only as a child of another test";
  std::istringstream words(job);
  std::string kind;
  words >> kind;
  if (kind == "program-path") {
    std::string out_file;
    words >> out_file;
    std::u16string path;
    std::ofstream out(out_file);
    if (RunningProgramPath(&path)) {
      out << Utf16ToUtf8(path);
    } else {
      out << "failed " << GetLastError();
    }
  } else if (kind == "msgbox") {
    int count = 0;
    std::string out_file;
    words >> count >> out_file;
    for (int i = 0; i < count; ++i) {
      const int answer = MessageBox(u"child", u"Caption",
                                    u"box " + Utf8ToUtf16Lossy(std::to_string(i)), kMbOkCancel);
      std::ofstream(out_file, std::ios::app) << answer << "\n";
    }
  } else if (kind == "event") {
    std::string change;
    std::string name;
    words >> change >> name;
    Event event;
    ASSERT_TRUE(event.Open(Utf8ToUtf16Lossy(name)));
    ASSERT_TRUE(change == "set" ? event.Set() : event.Reset());
  } else {
    FAIL() << "unknown job " << job;
  }
}

}  // namespace
}  // namespace kolvar::platform::test_child

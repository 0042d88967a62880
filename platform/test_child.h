// Test support: this test program run again as a child process inside a test's device image, to
// act as a second program (a second message-box user, a program that asks for its own path).
// The child is the same executable, started with the single argument
// "--gtest_filter=PlatformChild.Run" and told its job through KOLVAR_PLATFORM_CHILD.
#ifndef KOLVAR_PLATFORM_TEST_CHILD_H_
#define KOLVAR_PLATFORM_TEST_CHILD_H_

#include <string>
#include <string_view>

#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform::test_child {

// Hard-links (or copies) this test program into the image; returns its device path.
std::u16string Install(const testing::TestDevice& device);

// Starts the installed program as a child with the job `job`:
//   "program-path <host file>": writes RunningProgramPath (UTF-8) or "failed <error>" there;
//   "msgbox <count> <host file>": shows `count` boxes, appending each answer as a line there;
//   "event set|reset <name>": sets or resets the named event, which must exist.
bool Start(std::u16string_view program, const std::string& job, Process* out);

}  // namespace kolvar::platform::test_child

#endif  // KOLVAR_PLATFORM_TEST_CHILD_H_

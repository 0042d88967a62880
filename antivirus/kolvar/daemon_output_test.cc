// Following the background programs' output: only what came after the start, whole lines, and a
// file emptied by a newly started program followed from its beginning.
#include "antivirus/kolvar/daemon_output.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

TEST(DaemonOutput, NewWholeLinesInOrder) {
  testing::TestDevice device;
  const std::u16string path = u"\\Windows\\kvdaemons.log";
  device.WriteFile(path, "old line\n");
  DaemonOutputFollower follower(path);
  follower.StartHere();
  EXPECT_TRUE(follower.TakeNewLines().empty());

  std::ofstream(device.Host(path), std::ios::app) << "KVBkgScan: one\nKVBkgScan: two\npart";
  EXPECT_EQ(follower.TakeNewLines(),
            (std::vector<std::string>{"KVBkgScan: one", "KVBkgScan: two"}));
  std::ofstream(device.Host(path), std::ios::app) << "ial\n";
  EXPECT_EQ(follower.TakeNewLines(), std::vector<std::string>{"partial"});

  device.WriteFile(path, "new start\nlast");  // emptied and written again
  EXPECT_EQ(follower.TakeRemainingLines(), (std::vector<std::string>{"new start", "last"}));
}

TEST(DaemonOutput, MissingFileGivesNothing) {
  testing::TestDevice device;
  DaemonOutputFollower follower(u"\\Windows\\none.log");
  follower.StartHere();
  EXPECT_TRUE(follower.TakeRemainingLines().empty());
}

}  // namespace
}  // namespace kolvar

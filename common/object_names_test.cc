// The suite's object names.
#include "common/object_names.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

TEST(ObjectNamesTest, BuildsLockPresenceAndScratchNames) {
  EXPECT_EQ(LockName(u"KVMAVGEN_MAIN"), u"_@KVMAVGEN_MAIN@_");
  EXPECT_EQ(LockName(u"_@KVMAVGENCFG@_"), u"_@_@KVMAVGENCFG@_@_");
  EXPECT_EQ(PresenceEventName(u"KVMIPCSRV"), u"@_KVMIPCSRV_@");
  EXPECT_EQ(ScratchBlockName(1234, 0), u"_@KVCC_1234_0@_");
  EXPECT_EQ(ScratchBlockName(4294967295u, 17), u"_@KVCC_4294967295_17@_");
  EXPECT_EQ(ScratchBlockName(7, -1), u"_@KVCC_7_-1@_");
}

}  // namespace
}  // namespace kolvar

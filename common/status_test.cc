// The texts of status codes and system errors as messages show them.
#include "common/status.h"

#include <gtest/gtest.h>

#include "platform/crypto.h"
#include "platform/error.h"

namespace kolvar {
namespace {

TEST(StatusTextTest, FailuresNameTheSystemErrorElseTheStatus) {
  EXPECT_EQ(StatusText(kStatusFileOpenFailed), "the file cannot be opened");
  EXPECT_EQ(StatusText(4242), "unknown status");
  EXPECT_EQ(FailureText(kStatusReadFailed, platform::kErrorAccessDenied),
            u"error 5: access denied");
  EXPECT_EQ(FailureText(kStatusNotProtectedFile, 0), u"status 76: not a protected file");
  EXPECT_EQ(SystemErrorText(platform::kNteBadData),
            u"error 2148073477: the data is damaged or was encrypted with another key");
}

}  // namespace
}  // namespace kolvar

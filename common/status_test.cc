// The texts of status codes and system errors as messages show them.
#include "common/status.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/crypto.h"
#include "platform/error.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

TEST(StatusTextTest, FailuresNameTheSystemErrorElseTheStatus) {
  EXPECT_EQ(StatusText(kStatusFileOpenFailed), "the file cannot be opened");
  EXPECT_EQ(StatusText(4242), "unknown status");
  EXPECT_EQ(FailureText(kStatusReadFailed, platform::kErrorAccessDenied),
            u"error 5: access denied");
  EXPECT_EQ(FailureText(kStatusNotProtectedFile, 0), u"status 76: not a protected file");
}

// Every value the platform sets, the crypto provider's included, is shown with its words, so that
// no message is left with a bare number.
TEST(StatusTextTest, SystemErrorsAreShownWithTheirMeaning) {
  struct Case {
    uint32_t error;
    std::u16string text;
  };
  const Case cases[] = {
      {platform::kErrorFileNotFound, u"error 2: not found"},
      {platform::kErrorPathNotFound, u"error 3: folder not found"},
      {platform::kErrorAccessDenied, u"error 5: access denied"},
      {platform::kErrorSharingViolation, u"error 32: the file is in use by another program"},
      {platform::kErrorDiskFull, u"error 112: the disk is full"},
      {platform::kErrorFilenameExcedRange, u"error 206: the path is too long"},
      {platform::kErrorIoDevice, u"error 1117: input/output error"},
      {platform::kNteBadLength, u"error 2148073476: bad data length for the cipher"},
      {platform::kNteBadData,
       u"error 2148073477: the data is damaged or was encrypted with another key"},
      {platform::kNteBadAlgorithm, u"error 2148073480: cipher not supported"},
      {platform::kNteProviderFailed, u"error 2148073501: the crypto provider failed"},
      {4242, u"error 4242: unknown error"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemErrorText(c.error), c.text);
  }
  // Whatever errno a platform call meets becomes a value with words of its own, except the
  // catch-all "the operation failed".
  for (int errno_value = 1; errno_value < 134; ++errno_value) {
    SCOPED_TRACE(errno_value);
    EXPECT_NE(platform::ErrorMeaning(platform::ErrorFromErrno(errno_value)), "unknown error");
  }
}

TEST(StatusTextTest, CauseFollowsOnALineOfItsOwn) {
  EXPECT_EQ(WithCause(u"IPC communication failed.", u"error 5: access denied"),
            u"IPC communication failed.\nCause: error 5: access denied");
  EXPECT_EQ(WithCause(u"IPC communication failed.", u""), u"IPC communication failed.");
}

TEST(StatusTextTest, NamespaceFolderCauseNamesTheFolder) {
  testing::TestDevice device;
  EXPECT_EQ(NamespaceFolderCause(), u"");
  ASSERT_EQ(chmod(device.runtime_dir().c_str(), 0705), 0);
  const std::string folder(device.runtime_dir());
  EXPECT_EQ(NamespaceFolderCause(),
            u"the folder of named objects '" + std::u16string(folder.begin(), folder.end()) +
                u"' may be entered by group or others (mode 0705; it must be 0700); remove it, or "
                u"name a folder of your own in KOLVAR_RUNTIME_DIR");
  ASSERT_EQ(chmod(device.runtime_dir().c_str(), 0700), 0);
}

}  // namespace
}  // namespace kolvar

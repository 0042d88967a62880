// File wrapper on a real device image: path checks, creation, reading to the end, seeking,
// deletion of open files, attributes and extensions.
#include "common/data_file.h"

#include <gtest/gtest.h>

#include <string>

#include "common/status.h"
#include "platform/file.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class DataFileTest : public ::testing::Test {
 protected:
  kolvar::testing::TestDevice device_;
};

TEST_F(DataFileTest, SetPathRefusesWildcardsFoldersAndMissingFiles) {
  device_.WriteFile(u"\\Temp\\present.dat", "x");
  struct Case {
    std::u16string_view path;
    Status status;
  };
  const Case cases[] = {
      {u"\\Temp\\*.dat", kStatusBadPath},
      {u"\\Temp\\pres?nt.dat", kStatusBadPath},
      {u"\\Temp", kStatusBadPath},
      {u"\\Temp\\missing.dat", kStatusFileOpenFailed},
      {u"\\Nowhere\\file.dat", kStatusFileOpenFailed},
      {u"", kStatusBadArgument},
      {u"\\Temp\\present.dat", kStatusOk},
  };
  for (const Case& c : cases) {
    for (bool create : {false, true}) {
      DataFile file;
      const Status expected = create && c.path == u"\\Temp\\missing.dat" ? kStatusOk : c.status;
      EXPECT_EQ(file.SetPath(c.path, create), expected == kStatusOk);
      EXPECT_EQ(file.GetStatus(), expected)
          << std::string(c.path.begin(), c.path.end()) << " create " << create;
      EXPECT_EQ(file.HasPath(), expected == kStatusOk);
    }
  }
  // Wildcards are refused before the file system is asked: nothing is created.
  EXPECT_FALSE(device_.Exists(u"\\Temp\\*.dat"));
}

TEST_F(DataFileTest, CreatedFileStaysOpenForWriting) {
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\new.dat", true));
  EXPECT_TRUE(file.IsOpen());
  std::string text = "hello, device";
  uint32_t length = static_cast<uint32_t>(text.size());
  ASSERT_TRUE(file.Write(text.data(), &length, true));
  EXPECT_EQ(length, text.size());
  EXPECT_EQ(file.Position(), text.size());
  uint64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, text.size());
  ASSERT_TRUE(file.Close());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\new.dat"), text);
}

TEST_F(DataFileTest, ReadPastEndReturnsNothingAndSetsEndReached) {
  device_.WriteFile(u"\\Temp\\six.dat", "abcdef");
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\six.dat"));
  ASSERT_TRUE(file.Open(true));
  EXPECT_FALSE(file.EndReached());
  struct Step {
    uint32_t asked, got;
    bool end;
  };
  char buffer[8];
  for (Step step : {Step{4, 4, false}, Step{4, 2, true}, Step{4, 0, true}}) {
    uint32_t length = step.asked;
    ASSERT_TRUE(file.Read(buffer, &length));
    EXPECT_EQ(length, step.got);
    EXPECT_EQ(file.EndReached(), step.end);
  }
  EXPECT_EQ(file.Position(), 6u);
}

TEST_F(DataFileTest, SeekMovesReadPosition) {
  device_.WriteFile(u"\\Temp\\digits.dat", "0123456789");
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\digits.dat"));
  ASSERT_TRUE(file.Open(true));
  ASSERT_TRUE(file.Seek(5));
  char buffer[5];
  uint32_t length = sizeof(buffer);
  ASSERT_TRUE(file.Read(buffer, &length));
  EXPECT_EQ(std::string(buffer, length), "56789");
  ASSERT_TRUE(file.Seek(0));
  length = 2;
  ASSERT_TRUE(file.Write("AB", &length));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(device_.ReadFile(u"\\Temp\\digits.dat"), "AB23456789");
}

TEST_F(DataFileTest, OperationsNeedPathAndOpenFile) {
  device_.WriteFile(u"\\Temp\\a.dat", "abc");
  char buffer[4];
  uint32_t length = 4;
  DataFile no_path;
  EXPECT_FALSE(no_path.Read(buffer, &length));
  EXPECT_EQ(no_path.GetStatus(), kStatusNoPath);
  EXPECT_FALSE(no_path.Open(true));
  EXPECT_EQ(no_path.GetStatus(), kStatusNoPath);
  EXPECT_FALSE(no_path.Delete());
  EXPECT_EQ(no_path.GetStatus(), kStatusNoPath);
  EXPECT_FALSE(no_path.SetReadOnly(true));
  EXPECT_EQ(no_path.GetStatus(), kStatusNoPath);

  DataFile closed;
  ASSERT_TRUE(closed.SetPath(u"\\Temp\\a.dat"));
  length = 4;
  EXPECT_FALSE(closed.Read(buffer, &length));
  EXPECT_EQ(closed.GetStatus(), kStatusFileNotOpen);
  length = 1;
  EXPECT_FALSE(closed.Write("x", &length));
  EXPECT_EQ(closed.GetStatus(), kStatusFileNotOpen);
  EXPECT_FALSE(closed.Seek(1));
  EXPECT_EQ(closed.GetStatus(), kStatusFileNotOpen);

  ASSERT_TRUE(closed.Open(true));
  ASSERT_TRUE(closed.Open(true));  // already open: success
  length = 0;
  EXPECT_FALSE(closed.Read(buffer, &length));
  EXPECT_EQ(closed.GetStatus(), kStatusBadArgument);
  length = 4;
  EXPECT_FALSE(closed.Read(nullptr, &length));
  EXPECT_EQ(closed.GetStatus(), kStatusBadArgument);
}

TEST_F(DataFileTest, QueryAccessCannotRead) {
  device_.WriteFile(u"\\Temp\\q.dat", "abc");
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\q.dat"));
  ASSERT_TRUE(file.Open(false));
  char buffer[3];
  uint32_t length = 3;
  EXPECT_FALSE(file.Read(buffer, &length));
  EXPECT_EQ(file.GetStatus(), kStatusReadFailed);
  EXPECT_EQ(length, 0u);
  uint64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 3u);
}

TEST_F(DataFileTest, OpenFileIsDeletedOnlyWhenForced) {
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\del.dat", true));
  uint32_t length = 3;
  ASSERT_TRUE(file.Write("abc", &length));
  EXPECT_FALSE(file.Delete());
  EXPECT_EQ(file.GetStatus(), kStatusFileIsOpen);
  EXPECT_TRUE(device_.Exists(u"\\Temp\\del.dat"));
  ASSERT_TRUE(file.Delete(true));
  EXPECT_FALSE(device_.Exists(u"\\Temp\\del.dat"));
  EXPECT_FALSE(file.HasPath());
  EXPECT_TRUE(file.Path().empty());
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(DataFileTest, DeleteOfReadOnlyFileFails) {
  device_.WriteFile(u"\\Temp\\ro.dat", "abc");
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\ro.dat"));
  ASSERT_TRUE(file.SetReadOnly(true));
  EXPECT_FALSE(file.Delete());
  EXPECT_EQ(file.GetStatus(), kStatusDeleteFailed);
  EXPECT_TRUE(device_.Exists(u"\\Temp\\ro.dat"));
  ASSERT_TRUE(file.ClearAttributes());
  EXPECT_TRUE(file.Delete());
}

TEST_F(DataFileTest, AttributesAreRecordedAndChanged) {
  device_.WriteFile(u"\\Temp\\plain.dat", "abc");
  device_.WriteFile(u"\\Temp\\.hidden", "abc");
  DataFile hidden;
  ASSERT_TRUE(hidden.SetPath(u"\\Temp\\.hidden"));
  EXPECT_TRUE(hidden.IsHidden());

  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\plain.dat"));
  EXPECT_FALSE(file.IsReadOnly());
  EXPECT_FALSE(file.IsHidden());
  EXPECT_FALSE(file.IsSystem());
  ASSERT_TRUE(file.SetReadOnly(true));
  EXPECT_TRUE(file.IsReadOnly());
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetFileAttributes(u"\\Temp\\plain.dat", &attributes));
  EXPECT_NE(attributes & platform::kAttributeReadOnly, 0u);
  // The system bit needs extended attributes, which some file systems lack.
  if (file.SetSystem(true)) {
    EXPECT_TRUE(file.IsSystem());
    ASSERT_TRUE(platform::GetFileAttributes(u"\\Temp\\plain.dat", &attributes));
    EXPECT_NE(attributes & platform::kAttributeSystem, 0u);
  } else {
    EXPECT_EQ(file.GetStatus(), kStatusAttributeChangeFailed);
  }
  ASSERT_TRUE(file.ClearAttributes());
  EXPECT_FALSE(file.IsReadOnly());
  EXPECT_FALSE(file.IsSystem());
  ASSERT_TRUE(platform::GetFileAttributes(u"\\Temp\\plain.dat", &attributes));
  EXPECT_EQ(attributes & (platform::kAttributeReadOnly | platform::kAttributeSystem), 0u);
  ASSERT_TRUE(file.SetReadOnly(false));
  EXPECT_FALSE(file.IsReadOnly());
}

TEST_F(DataFileTest, SetPathRecordsSizeAndTimes) {
  device_.WriteFile(u"\\Temp\\sized.dat", std::string(1000, 'z'));
  DataFile file;
  ASSERT_TRUE(file.SetPath(u"\\Temp\\sized.dat"));
  uint32_t low = 0, high = 7;
  ASSERT_TRUE(file.Size(&low, &high));
  EXPECT_EQ(low, 1000u);
  EXPECT_EQ(high, 0u);
  EXPECT_GE(file.LastWriteTime().year, 2020);
  EXPECT_NE(file.ObjectId(), 0u);
}

TEST_F(DataFileTest, ExtensionIsTextAfterLastDotOfName) {
  device_.MakeFolder(u"\\Temp\\dir.d");
  struct Case {
    std::u16string_view path, without_dot, with_dot;
  };
  const Case cases[] = {
      {u"\\Temp\\report.txt", u"txt", u".txt"},
      {u"\\Temp\\archive.tar.gz", u"gz", u".gz"},
      {u"\\Temp\\noext", u"", u""},
      {u"\\Temp\\dir.d\\noext", u"", u""},  // a "\" before any "." ends the search
      {u"\\Temp\\trailing.", u"", u"."},
  };
  for (const Case& c : cases) {
    device_.WriteFile(c.path, "x");
    DataFile file;
    ASSERT_TRUE(file.SetPath(c.path));
    EXPECT_EQ(file.Extension(false), c.without_dot);
    EXPECT_EQ(file.Extension(true), c.with_dot);
  }
}

}  // namespace
}  // namespace kolvar

// find-first/next over real folders: the device's wildcards, the entries that are never shown
// ("." and ".."), host names that are not UTF-8 or hold "\" listed under their device names, and
// the kinds reported for what is not a file or folder (links, loops, FIFOs, sockets).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

class DirectoryListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "b.TXT", "readme", "c.dat", ".hidden", "caf\xC3\xA9.txt"}) {
      std::ofstream(folder_ + "/" + name) << name;
    }
    fs::create_directory(folder_ + "/sub");
    ASSERT_EQ(mkfifo((folder_ + "/pipe").c_str(), 0600), 0);
    MakeSocket(folder_ + "/sock");
    fs::create_symlink("a.txt", folder_ + "/link");
    fs::create_symlink("loop", folder_ + "/loop");
    // Names that are no device text as they stand: not UTF-8, or holding the device's separator.
    std::ofstream(folder_ + "/bad\xFFname.txt") << "x";
    std::ofstream(folder_ + "/back\\slash.txt") << "x";
  }

  static void MakeSocket(const std::string& host) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(host.size(), sizeof address.sun_path);
    host.copy(address.sun_path, host.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }

  // Every entry of a listing, by name; fails the test on a repeated name.
  std::map<std::u16string, FindData> List(std::u16string_view pattern, uint32_t* error) {
    std::map<std::u16string, FindData> found;
    DirectoryListing listing;
    FindData data;
    SetLastError(0);
    if (!listing.First(pattern, &data)) {
      *error = GetLastError();
      return found;
    }
    do {
      EXPECT_TRUE(found.emplace(data.name, data).second) << Utf16ToUtf8(data.name);
    } while (listing.Next(&data));
    *error = GetLastError();
    EXPECT_EQ(*error, kErrorNoMoreFiles);
    EXPECT_FALSE(listing.Next(&data));  // stays at the end
    *error = 0;
    return found;
  }

  static std::vector<std::u16string> Names(const std::map<std::u16string, FindData>& found) {
    std::vector<std::u16string> names;
    for (const auto& [name, data] : found) names.push_back(name);
    return names;
  }

  testing::TestDevice device_;
  const std::string folder_ = device_.Host(u"\\Docs");
  const bool made_ = fs::create_directory(folder_);
};

TEST_F(DirectoryListingTest, WildcardsMatchAsOnTheDevice) {
  const std::u16string back = u"back\xF05Cslash.txt";
  const std::u16string bad = u"bad\xDCFFname.txt";
  const std::vector<std::u16string> every = {
      u".hidden", u"a.txt", u"b.TXT", back,      bad,     u"c.dat", u"caf\u00E9.txt",
      u"link",    u"loop",  u"pipe",  u"readme", u"sock", u"sub"};
  const struct {
    std::u16string pattern;
    std::vector<std::u16string> names;
  } cases[] = {
      {u"\\Docs\\*.*", every},
      {u"\\Docs\\*", every},
      {u"\\Docs\\*.txt", {u"a.txt", u"b.TXT", back, bad, u"caf\u00E9.txt"}},
      {u"\\Docs\\*.TxT", {u"a.txt", u"b.TXT", back, bad, u"caf\u00E9.txt"}},
      {u"\\Docs\\?.dat", {u"c.dat"}},
      {u"\\Docs\\??", {}},
      {u"\\Docs\\readme.*", {u"readme"}},
      {u"\\Docs\\CAF\u00C9*", {u"caf\u00E9.txt"}},
      {u"\\Docs\\*e*", {u".hidden", bad, u"pipe", u"readme"}},  // "é" is no "e"
      {u"\\Docs\\ba?\xDCFF*", {bad}},
      {u"\\Docs\\l??p", {u"loop"}},
      {u"\\Docs\\a.txt", {u"a.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.pattern));
    uint32_t error = 0;
    const auto found = List(c.pattern, &error);
    if (c.names.empty()) {
      EXPECT_EQ(error, kErrorFileNotFound);
    } else {
      EXPECT_EQ(error, 0u);
      EXPECT_EQ(Names(found), c.names);
    }
  }
}

TEST_F(DirectoryListingTest, EntriesCarryKindsAndAttributesWithoutFollowingLinks) {
  uint32_t error = 0;
  const auto found = List(u"\\Docs\\*.*", &error);
  ASSERT_EQ(error, 0u);
  EXPECT_EQ(found.count(u"."), 0u);
  EXPECT_EQ(found.count(u".."), 0u);
  const struct {
    std::u16string name;
    EntryKind kind;
    uint32_t attributes;
  } cases[] = {
      {u"a.txt", EntryKind::kRegular, kAttributeNormal},
      {u".hidden", EntryKind::kRegular, kAttributeHidden},
      {u"sub", EntryKind::kDirectory, kAttributeDirectory},
      {u"link", EntryKind::kOther, kAttributeNormal},
      {u"loop", EntryKind::kOther, kAttributeNormal},
      {u"pipe", EntryKind::kOther, kAttributeNormal},
      {u"sock", EntryKind::kOther, kAttributeNormal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    ASSERT_EQ(found.count(c.name), 1u);
    const FindData& data = found.at(c.name);
    EXPECT_EQ(data.kind, c.kind);
    EXPECT_EQ(data.attributes & ~kAttributeReadOnly, c.attributes);
  }
  EXPECT_EQ(found.at(u"a.txt").size, 5u);
  EXPECT_EQ(found.at(u"link").size, 5u);  // the link's own size: its target's name
  EXPECT_NE(found.at(u"a.txt").last_write.value, 0u);

  ASSERT_TRUE(SetFileAttributes(u"\\Docs\\c.dat", kAttributeReadOnly | kAttributeSystem));
  const auto again = List(u"\\Docs\\c.*", &error);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again.begin()->second.attributes, kAttributeReadOnly | kAttributeSystem);
}

TEST_F(DirectoryListingTest, MissingFoldersAndNamesGiveTheDevicesErrors) {
  device_.WriteFile(u"\\Docs\\sub\\inner.txt", "x");
  const struct {
    const char* name;
    std::u16string pattern;
    uint32_t error;
  } cases[] = {
      {"no match", u"\\Docs\\*.zip", kErrorFileNotFound},
      {"missing exact name", u"\\Docs\\none.txt", kErrorFileNotFound},
      {"exact name in another case", u"\\Docs\\A.TXT", kErrorFileNotFound},
      {"missing folder", u"\\None\\*.*", kErrorPathNotFound},
      {"missing folder, exact name", u"\\None\\a.txt", kErrorPathNotFound},
      {"a file as folder", u"\\Docs\\a.txt\\*.*", kErrorPathNotFound},
      {"dot", u"\\Docs\\.", kErrorFileNotFound},
      {"dot dot", u"\\Docs\\..", kErrorFileNotFound},
      {"trailing separator", u"\\Docs\\", kErrorFileNotFound},
      {"too long", u"\\Docs\\" + std::u16string(260, u'x'), kErrorFilenameExcedRange},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t error = 0;
    EXPECT_TRUE(List(c.pattern, &error).empty());
    EXPECT_EQ(error, c.error);
  }
  uint32_t error = 0;
  EXPECT_EQ(Names(List(u"\\Docs\\sub\\*.*", &error)), std::vector<std::u16string>{u"inner.txt"});
  // An empty folder has nothing to match.
  device_.MakeFolder(u"\\Empty");
  EXPECT_TRUE(List(u"\\Empty\\*.*", &error).empty());
  EXPECT_EQ(error, kErrorFileNotFound);
}

// A name the listing passed over would hide its file, or with a folder a whole tree, from every
// scan: each host name is listed, and its device name reaches the same file.
TEST_F(DirectoryListingTest, EveryHostNameIsListedAndReachesItsFile) {
  const struct {
    std::string host;
    std::u16string device;
  } cases[] = {
      {"bad\xFF\xFEname.com", u"bad\xDCFF\xDCFEname.com"},
      {"back\\slash.com", u"back\xF05Cslash.com"},
      {"priv\xEF\x81\x9C.com", u"priv\xDCEF\xDC81\xDC9C.com"},  // a real U+F05C
      {"cut\xC3", u"cut\xDCC3"},
      {"\xED\xB3\xBF", u"\xDCED\xDCB3\xDCBF"},  // an encoded surrogate
      {"\x1B[31mred", u"\x1B[31mred"},
      {"star*name?.com", u"star\xF02Aname\xF03F.com"},  // no wildcards in a name
  };
  fs::create_directory(device_.Host(u"\\Odd"));
  const std::string odd = device_.Host(u"\\Odd");
  std::vector<std::u16string> expected;
  for (const auto& c : cases) {
    std::ofstream(odd + "/" + c.host) << "bytes of " << c.host;
    expected.push_back(c.device);
  }
  fs::create_directory(odd + "/dir\xFF");
  std::ofstream(odd + "/dir\xFF/inner\\x") << "inner";
  expected.push_back(u"dir\xDCFF");
  std::sort(expected.begin(), expected.end());

  uint32_t error = 0;
  EXPECT_EQ(Names(List(u"\\Odd\\*.*", &error)), expected);
  for (const auto& c : cases) {
    SCOPED_TRACE(ShownHostText(c.host));
    const std::u16string path = u"\\Odd\\" + c.device;
    File file;
    ASSERT_TRUE(file.Open(path, FileAccess::kRead, CreateDisposition::kOpenExisting));
    std::string bytes(64, '\0');
    uint32_t read = 0;
    ASSERT_TRUE(file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &read));
    EXPECT_EQ(bytes.substr(0, read), "bytes of " + c.host);
    EXPECT_EQ(Names(List(path, &error)), std::vector<std::u16string>{c.device});
  }
  EXPECT_EQ(Names(List(u"\\Odd\\dir\xDCFF\\*.*", &error)),
            std::vector<std::u16string>{u"inner\xF05Cx"});
  // A second spelling of a name (escapes that form valid UTF-8) reaches no file.
  SetLastError(0);
  EXPECT_TRUE(List(u"\\Docs\\caf\xDCC3\xDCA9.txt", &error).empty());
  EXPECT_EQ(error, kErrorInvalidName);
}

TEST_F(DirectoryListingTest, ListingSurvivesEntriesRemovedWhileItRuns) {
  for (int i = 0; i < 200; ++i) std::ofstream(folder_ + "/many" + std::to_string(i)) << i;
  DirectoryListing listing;
  FindData data;
  ASSERT_TRUE(listing.First(u"\\Docs\\many*", &data));
  for (int i = 0; i < 200; ++i) fs::remove(folder_ + "/many" + std::to_string(i));
  int seen = 1;
  while (listing.Next(&data)) {
    ++seen;
    EXPECT_EQ(data.name.rfind(u"many", 0), 0u);
  }
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  EXPECT_LE(seen, 200);
  // Next after Close, or without First, fails cleanly.
  listing.Close();
  EXPECT_FALSE(listing.Next(&data));
  DirectoryListing never_started;
  EXPECT_FALSE(never_started.Next(&data));
}

}  // namespace
}  // namespace kolvar::platform

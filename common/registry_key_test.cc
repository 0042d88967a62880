// RegistryKey on a private device per case: paths below the company key or from the root, the
// root selectors, level-by-level creation, subkey and value-name enumeration, typed reads, and
// every status code a caller can meet. The platform store, read directly, is the oracle.
#include "common/registry_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/sorted_table.h"
#include "platform/error.h"
#include "platform/registry_store.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

using platform::RegistryHandle;
using platform::RegistryRoot;

std::vector<uint8_t> Sz(std::u16string_view text) {
  std::vector<uint8_t> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

bool KeyExists(RegistryRoot root, std::u16string_view path) {
  RegistryHandle key;
  return platform::OpenRegistryKey(root, path, &key);
}

class RegistryKeyTest : public ::testing::Test {
 protected:
  // Writes a value straight into the store, creating the key.
  void Put(RegistryRoot root, std::u16string_view path, std::u16string_view name, uint32_t type,
           const std::vector<uint8_t>& data) {
    RegistryHandle key;
    ASSERT_TRUE(platform::CreateRegistryKey(root, path, &key));
    ASSERT_TRUE(platform::SetRegistryValue(key, name, type, data.data(),
                                           static_cast<uint32_t>(data.size())));
  }

  testing::TestDevice device_;
};

TEST_F(RegistryKeyTest, CompanyModeOpensBelowTheCompanyKeyOfTheChosenRoot) {
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  EXPECT_FALSE(key.OpenKey(u"Kolvar IPC Service", false, false));
  EXPECT_EQ(key.GetStatus(), kStatusKeyOpenFailed);
  ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service", false, true));
  EXPECT_EQ(key.GetStatus(), kStatusOk);
  EXPECT_EQ(key.CurrentPath(), u"Software\\Kolvar Corp.\\Kolvar IPC Service");
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service"));
  EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine, u"Software"));

  // An empty path opens the root itself, in either mode.
  ASSERT_TRUE(key.OpenKey(u"", false, false));
  EXPECT_EQ(key.CurrentPath(), u"");
  char16_t name[128];
  uint32_t size = 128;
  ASSERT_TRUE(key.FirstSubkey(name, &size));
  EXPECT_EQ(std::u16string(name, size), u"Software");
}

TEST_F(RegistryKeyTest, RootSelectorsPickTheirRootsAndAnyOtherValueMeansCurrentUser) {
  struct Case {
    int selector;
    RegistryRoot root;
  };
  const Case cases[] = {
      {1, RegistryRoot::kCurrentUser},  {2, RegistryRoot::kLocalMachine},
      {3, RegistryRoot::kClassesRoot},  {4, RegistryRoot::kUsers},
      {0, RegistryRoot::kCurrentUser},  {5, RegistryRoot::kCurrentUser},
      {-1, RegistryRoot::kCurrentUser},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector);
    RegistryKey constructed(kRegistryPathRoot, c.selector);
    EXPECT_EQ(constructed.root(), c.root);
    RegistryKey reset(kRegistryPathCompany, kRegistryRootUsers);
    ASSERT_TRUE(reset.Reset(kRegistryPathRoot, c.selector));
    EXPECT_EQ(reset.root(), c.root);
    ASSERT_TRUE(
        reset.OpenKey(u"Selector" + std::u16string(1, u'0' + (c.selector & 7)), false, true));
    const uint32_t tag = static_cast<uint32_t>(c.selector);
    ASSERT_TRUE(reset.SetValue(u"Tag", platform::kRegDword, &tag, sizeof tag));
    EXPECT_TRUE(KeyExists(c.root, reset.CurrentPath()));
  }
}

TEST_F(RegistryKeyTest, CreateMakesTheMissingLevelsInOrderAndOpensTheDeepest) {
  Put(RegistryRoot::kLocalMachine, u"SOFTWARE", u"Keep", platform::kRegDword, {1, 0, 0, 0});
  RegistryKey key(kRegistryPathRoot, kRegistryRootLocalMachine);
  ASSERT_TRUE(key.OpenKey(u"software\\Apps\\Kolvar Update Package\\Files", false, true));
  // The existing level kept its spelling and value; the three new ones hang below each other.
  RegistryHandle top;
  ASSERT_TRUE(platform::OpenRegistryKey(RegistryRoot::kLocalMachine, u"", &top));
  std::u16string name;
  ASSERT_TRUE(platform::EnumRegistryKey(top, 0, &name));
  EXPECT_EQ(name, u"SOFTWARE");
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, u"SOFTWARE\\Apps"));
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, u"SOFTWARE\\Apps\\Kolvar Update Package"));
  const std::vector<uint8_t> path = Sz(u"\\Windows\\x.cmd");
  ASSERT_TRUE(
      key.SetValue(u"CmdFile", platform::kRegSz, path.data(), static_cast<uint32_t>(path.size())));
  RegistryHandle deepest;
  ASSERT_TRUE(platform::OpenRegistryKey(RegistryRoot::kLocalMachine,
                                        u"SOFTWARE\\APPS\\KOLVAR UPDATE PACKAGE\\FILES", &deepest));
  platform::RegistryValue value;
  ASSERT_TRUE(platform::ReadRegistryValue(deepest, u"CmdFile", &value));
  EXPECT_EQ(value.data, path);

  // The viewer's paths end in "\"; such a path opens (and creates) the same key.
  ASSERT_TRUE(key.OpenKey(u"SOFTWARE\\Apps\\", false, false));
  ASSERT_TRUE(key.OpenKey(u"New\\Level\\", false, true));
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, u"New\\Level"));
}

TEST_F(RegistryKeyTest, RelativeOpenGoesOneLevelDownAndRefusesSeparators) {
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service", false, true));
  ASSERT_TRUE(key.OpenKey(u"Channels", true, true));
  EXPECT_EQ(key.CurrentPath(), u"Software\\Kolvar Corp.\\Kolvar IPC Service\\Channels");

  EXPECT_FALSE(key.OpenKey(u"a\\b", true, true));
  EXPECT_EQ(key.GetStatus(), kStatusRelativePathHasSeparator);
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser,
                         u"Software\\Kolvar Corp.\\Kolvar IPC Service\\Channels\\a"));
  // The current key is still open, at its old path.
  EXPECT_EQ(key.CurrentPath(), u"Software\\Kolvar Corp.\\Kolvar IPC Service\\Channels");
  const uint32_t one = 1;
  EXPECT_TRUE(key.SetValue(u"Still", platform::kRegDword, &one, sizeof one));
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser,
                        u"Software\\Kolvar Corp.\\Kolvar IPC Service\\Channels"));

  // A failed open keeps key and path together, so the next relative open builds on the open key.
  EXPECT_FALSE(key.OpenKey(u"Missing", true, false));
  EXPECT_EQ(key.GetStatus(), kStatusKeyOpenFailed);
  uint32_t got = 0, size = sizeof got;
  ASSERT_TRUE(key.GetValue(u"Still", platform::kRegDword, &got, &size));
  ASSERT_TRUE(key.OpenKey(u"Below", true, true));
  EXPECT_EQ(key.CurrentPath(), u"Software\\Kolvar Corp.\\Kolvar IPC Service\\Channels\\Below");
}

TEST_F(RegistryKeyTest, SubkeysComeOneByOneThenNoMoreSubkeys) {
  RegistryKey key(kRegistryPathRoot, kRegistryRootClassesRoot);
  ASSERT_TRUE(key.OpenKey(u"Empty", false, true));
  char16_t name[128];
  uint32_t size = 128;
  EXPECT_FALSE(key.FirstSubkey(name, &size));
  EXPECT_EQ(key.GetStatus(), kStatusNoMoreSubkeys);

  const std::vector<std::u16string> children = {u"cabfile", u"Alpha", u"zeta"};
  for (const auto& child : children) {
    RegistryHandle made;
    ASSERT_TRUE(platform::CreateRegistryKey(RegistryRoot::kClassesRoot, u"Empty\\" + child, &made));
  }
  for (int pass = 0; pass < 2; ++pass) {  // FirstSubkey starts again
    std::vector<std::u16string> seen;
    size = 128;
    for (bool ok = key.FirstSubkey(name, &size); ok; ok = key.NextSubkey(name, &size)) {
      seen.emplace_back(name, size);
      EXPECT_EQ(name[size], u'\0');
      size = 128;
    }
    EXPECT_EQ(key.GetStatus(), kStatusNoMoreSubkeys);
    EXPECT_EQ(seen, children);
  }

  // A name that does not fit fails with 14 and stays next.
  size = 7;  // "cabfile" needs 8 with its NUL
  EXPECT_FALSE(key.FirstSubkey(name, &size));
  EXPECT_EQ(key.GetStatus(), kStatusEnumerationFailed);
  size = 8;
  ASSERT_TRUE(key.NextSubkey(name, &size));
  EXPECT_EQ(std::u16string(name, size), u"cabfile");
}

std::vector<std::u16string> TableNames(SortedTable* table) {
  std::vector<std::u16string> names;
  for (uint32_t i = 0; i < table->Count(); ++i) {
    char16_t key[256];
    EXPECT_TRUE(table->GetKey(key, sizeof key, i));
    names.emplace_back(key);
  }
  return names;
}

TEST_F(RegistryKeyTest, ValueNamesFillTheTableSortedWithoutRegardToCase) {
  for (const char16_t* name : {u"beta", u"Alpha", u"", u"GAMMA", u"alpha2", u"Delta"}) {
    Put(RegistryRoot::kCurrentUser, u"Names", name, platform::kRegDword, {0, 0, 0, 0});
  }
  RegistryKey key(kRegistryPathRoot, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Names", false, false));
  SortedTable table(16);  // another key length, and old records, which must go
  const uint32_t old = 7;
  ASSERT_TRUE(table.Add(&old, sizeof old, "0123456789abcdef"));
  ASSERT_TRUE(key.ValueNames(&table));
  EXPECT_EQ(table.KeyLength(), 512u);
  EXPECT_EQ(TableNames(&table),
            (std::vector<std::u16string>{u"", u"Alpha", u"alpha2", u"beta", u"Delta", u"GAMMA"}));
  char16_t probe[256] = u"gamma";
  EXPECT_TRUE(table.Find(probe));
  char16_t record[256];
  uint32_t copied = 0;
  ASSERT_TRUE(table.Get(record, sizeof record, false, 3, &copied));
  EXPECT_EQ(std::u16string(record), u"beta");
  EXPECT_EQ(copied, 10u);

  // A key without values gives an empty table.
  ASSERT_TRUE(key.OpenKey(u"", false, false));
  ASSERT_TRUE(key.ValueNames(&table));
  EXPECT_EQ(table.Count(), 0u);
}

TEST_F(RegistryKeyTest, ValueNamesLongerThanTheTableKeyEndTheEnumeration) {
  Put(RegistryRoot::kCurrentUser, u"Long", u"short", platform::kRegDword, {0, 0, 0, 0});
  Put(RegistryRoot::kCurrentUser, u"Long", std::u16string(255, u'n'), platform::kRegDword,
      {0, 0, 0, 0});
  RegistryKey key(kRegistryPathRoot, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Long", false, false));
  SortedTable table(512);
  ASSERT_TRUE(key.ValueNames(&table));
  EXPECT_EQ(table.Count(), 2u);
  Put(RegistryRoot::kCurrentUser, u"Long", std::u16string(256, u'n'), platform::kRegDword,
      {0, 0, 0, 0});
  EXPECT_FALSE(key.ValueNames(&table));
  EXPECT_EQ(key.GetStatus(), kStatusEnumerationFailed);
}

TEST_F(RegistryKeyTest, TypedReadsCheckTheTypeAndTheBuffer) {
  const std::vector<uint8_t> version = Sz(u"1.51");  // 10 bytes
  Put(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service", u"Version",
      platform::kRegSz, version);
  Put(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service", u"Count",
      platform::kRegDword, {0x2A, 0, 0, 0});
  Put(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service", u"Empty",
      platform::kRegBinary, {});
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service", false, false));

  EXPECT_EQ(key.ValueSize(u"version"), 10u);
  EXPECT_EQ(key.ValueType(u"Version"), platform::kRegSz);
  EXPECT_EQ(key.ValueSize(u"Empty"), 0u);
  EXPECT_EQ(key.GetStatus(), kStatusOk);
  EXPECT_EQ(key.ValueType(u"Count"), platform::kRegDword);

  uint8_t buffer[32];
  std::memset(buffer, 0xEE, sizeof buffer);
  uint32_t size = sizeof buffer;
  EXPECT_FALSE(key.GetValue(u"Version", platform::kRegDword, buffer, &size));
  EXPECT_EQ(key.GetStatus(), kStatusValueReadFailed);
  EXPECT_EQ(size, sizeof buffer);  // unchanged: the type did not match
  EXPECT_EQ(buffer[0], 0xEE);

  ASSERT_TRUE(key.GetValue(u"VERSION", platform::kRegSz, buffer, &size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), version);

  std::memset(buffer, 0xEE, sizeof buffer);
  size = 4;
  EXPECT_FALSE(key.GetValue(u"Version", platform::kRegSz, buffer, &size));
  EXPECT_EQ(key.GetStatus(), kStatusValueReadFailed);
  uint32_t system_error = 0;
  key.GetStatus(&system_error);
  EXPECT_EQ(system_error, platform::kErrorMoreData);
  EXPECT_EQ(size, 10u);  // the size needed
  EXPECT_EQ(buffer[0], 0xEE);

  uint32_t count = 0;
  size = sizeof count;
  ASSERT_TRUE(key.GetValue(u"Count", platform::kRegDword, &count, &size));
  EXPECT_EQ(count, 42u);
  size = 0;
  ASSERT_TRUE(key.GetValue(u"Empty", platform::kRegBinary, nullptr, &size));
  EXPECT_EQ(size, 0u);
}

// Every status a caller can meet, each with the call that leads to it.
TEST_F(RegistryKeyTest, EveryFailureRecordsItsStatusCode) {
  Put(RegistryRoot::kCurrentUser, u"Codes", u"Text", platform::kRegSz, Sz(u"x"));
  RegistryKey key(kRegistryPathRoot, kRegistryRootCurrentUser);
  RegistryKey closed(kRegistryPathRoot, kRegistryRootCurrentUser);
  RegistryKey stale(kRegistryPathRoot, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Codes", false, false));
  char16_t name[128];
  uint32_t size = 128;
  uint32_t number = 0, number_size = sizeof number;
  SortedTable table(512);
  const std::u16string too_long(300, u'p');
  struct Case {
    const char* what;
    RegistryKey* object;
    std::function<bool()> call;
    Status status;
  };
  const Case cases[] = {
      {"relative path with separator", &key, [&] { return key.OpenKey(u"x\\y", true, false); },
       kStatusRelativePathHasSeparator},
      {"missing key", &key, [&] { return key.OpenKey(u"Missing", false, false); },
       kStatusKeyOpenFailed},
      {"path beyond 259 characters", &key, [&] { return key.OpenKey(too_long, false, true); },
       kStatusKeyOpenFailed},
      {"first subkey, nothing open", &closed, [&] { return closed.FirstSubkey(name, &size); },
       kStatusNoKeyOpen},
      {"next subkey, nothing open", &closed, [&] { return closed.NextSubkey(name, &size); },
       kStatusNoKeyOpen},
      {"value names, nothing open", &closed, [&] { return closed.ValueNames(&table); },
       kStatusNoKeyOpen},
      {"value size, nothing open", &closed, [&] { return closed.ValueSize(u"Text") != 0; },
       kStatusNoKeyOpen},
      {"value type, nothing open", &closed, [&] { return closed.ValueType(u"Text") != -1; },
       kStatusNoKeyOpen},
      {"get, nothing open", &closed,
       [&] { return closed.GetValue(u"Text", 1, &number, &number_size); }, kStatusNoKeyOpen},
      {"set, nothing open", &closed, [&] { return closed.SetValue(u"v", 4, &number, 4); },
       kStatusNoKeyOpen},
      {"delete value, nothing open", &closed, [&] { return closed.DeleteValue(u"v"); },
       kStatusNoKeyOpen},
      {"delete subkey, nothing open", &closed, [&] { return closed.DeleteSubkey(u"v"); },
       kStatusNoKeyOpen},
      {"delete a missing value", &key, [&] { return key.DeleteValue(u"Missing"); },
       kStatusValueDeleteFailed},
      {"delete a missing subkey", &key, [&] { return key.DeleteSubkey(u"Missing"); },
       kStatusSubkeyDeleteFailed},
      {"write a value name with NUL", &key,
       [&] { return key.SetValue(std::u16string(u"a\0b", 3), 4, &number, 4); },
       kStatusValueWriteFailed},
      {"write into a deleted key", &stale, [&] { return stale.SetValue(u"v", 4, &number, 4); },
       kStatusValueWriteFailed},
      {"read a missing value", &key,
       [&] { return key.GetValue(u"Missing", 1, &number, &number_size); }, kStatusValueReadFailed},
      {"size of a missing value", &key, [&] { return key.ValueSize(u"Missing") != 0; },
       kStatusValueReadFailed},
      {"type of a missing value", &key, [&] { return key.ValueType(u"Missing") != -1; },
       kStatusValueReadFailed},
      {"read with the wrong type", &key,
       [&] { return key.GetValue(u"Text", 4, &number, &number_size); }, kStatusValueReadFailed},
      {"no subkeys", &key, [&] { return key.FirstSubkey(name, &size); }, kStatusNoMoreSubkeys},
      {"enumerate a deleted key", &stale, [&] { return stale.FirstSubkey(name, &size); },
       kStatusEnumerationFailed},
      {"value names of a deleted key", &stale, [&] { return stale.ValueNames(&table); },
       kStatusEnumerationFailed},
  };
  ASSERT_TRUE(stale.OpenKey(u"Doomed", false, true));
  ASSERT_TRUE(platform::DeleteRegistryKey(RegistryRoot::kCurrentUser, u"Doomed"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(c.object->GetStatus(), c.status);
    // The key that was open stays open after every failure.
    if (c.object == &key) {
      EXPECT_EQ(key.CurrentPath(), u"Codes");
    }
  }
  // A success clears status and platform error.
  ASSERT_TRUE(key.OpenKey(u"Codes", false, false));
  uint32_t system_error = 1;
  EXPECT_EQ(key.GetStatus(&system_error), kStatusOk);
  EXPECT_EQ(system_error, 0u);
}

TEST_F(RegistryKeyTest, SetDeleteAndResetWorkOnTheOpenKey) {
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service", false, true));
  const std::vector<uint8_t> dir = Sz(u"\\Program Files\\Kolvar\\");
  ASSERT_TRUE(
      key.SetValue(u"InstallDir", platform::kRegSz, dir.data(), static_cast<uint32_t>(dir.size())));
  ASSERT_TRUE(key.DeleteValue(u"installdir"));
  EXPECT_EQ(key.ValueType(u"InstallDir"), -1);

  // Uninstall's step: open the company key and delete the service's key below it.
  ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service\\Deeper", false, true));
  ASSERT_TRUE(key.Reset(kRegistryPathRoot, kRegistryRootCurrentUser));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.CurrentPath(), u"");
  ASSERT_TRUE(key.OpenKey(u"Software\\Kolvar Corp.", false, false));
  ASSERT_TRUE(key.DeleteSubkey(u"Kolvar IPC Service"));
  EXPECT_FALSE(
      KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.\\Kolvar IPC Service"));
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp."));
}

}  // namespace
}  // namespace kolvar

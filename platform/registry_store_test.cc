// The registry store against a private device per case: names without regard to case, typed values
// byte for byte, the device's buffer rules, enumeration order, subtree deletion and handles that
// outlive their key, and the database file itself (place, mode, WAL, damaged files left alone).
#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/registry_fold.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

using testing::TestDevice;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A UTF-16LE string value with its terminating NUL, as the programs write them.
std::vector<uint8_t> Sz(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

bool Set(const RegistryHandle& key, std::u16string_view name, uint32_t type,
         const std::vector<uint8_t>& data) {
  return SetRegistryValue(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
}

std::vector<std::u16string> Subkeys(const RegistryHandle& key) {
  std::vector<std::u16string> names;
  std::u16string name;
  for (uint32_t i = 0; EnumRegistryKey(key, i, &name); ++i) names.push_back(name);
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
  return names;
}

std::vector<std::u16string> ValueNames(const RegistryHandle& key) {
  std::vector<std::u16string> names;
  RegistryValue value;
  for (uint32_t i = 0; EnumRegistryValue(key, i, &value); ++i) names.push_back(value.name);
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
  return names;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  TestDevice device_;
};

TEST_F(RegistryStoreTest, KeyNamesMatchWithoutRegardToCaseAndKeepTheirSpelling) {
  RegistryHandle key;
  bool created = false;
  ASSERT_TRUE(
      CreateRegistryKey(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.", &key, &created));
  EXPECT_TRUE(created);
  RegistryHandle again;
  ASSERT_TRUE(
      CreateRegistryKey(RegistryRoot::kCurrentUser, u"SOFTWARE\\kolvar CORP.", &again, &created));
  EXPECT_FALSE(created);
  ASSERT_TRUE(OpenRegistryKey(RegistryRoot::kCurrentUser, u"software\\KOLVAR corp.", &again));
  EXPECT_EQ(Subkeys(RegistryHandle(RegistryRoot::kCurrentUser)),
            std::vector<std::u16string>{u"Software"});
}

// Pairs of names that are one name, and pairs that stay two, across scripts.
TEST_F(RegistryStoreTest, CaseFoldingReachesBeyondAscii) {
  struct Case {
    std::u16string created, looked_up;
    bool same;
  };
  const Case cases[] = {
      {u"Kolvar", u"kOLVAR", true},
      {u"\u00C4rger \u00D6l \u00DCbel", u"\u00E4rger \u00F6l \u00FCbel", true},  // Latin-1
      {u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179", true},                    // Latin Ext-A
      {u"\u03A9\u03A3\u0391", u"\u03C9\u03C3\u03B1", true},                      // Greek
      {u"\u03A3", u"\u03C2", true},  // final sigma upper-cases to capital sigma
      {u"\u0416\u0401\u0436", u"\u0436\u0451\u0416", true},  // Cyrillic
      {u"\u0531\u0532", u"\u0561\u0562", true},              // Armenian
      {u"\uFF21\uFF22", u"\uFF41\uFF42", true},              // full-width Latin
      {u"\u01C4", u"\u01C6", true},                          // DZ with caron, both cases
      {u"Stra\u00DFe", u"STRASSE", false},                   // no one-unit upper case for sharp s
      {u"A", u"B", false},
      {u"\u0130", u"I", false},  // dotted capital I keeps its own identity
  };
  RegistryHandle parent;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kLocalMachine, u"Fold", &parent));
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.created) + " / " + Utf16ToUtf8(c.looked_up));
    EXPECT_EQ(FoldRegistryName(c.created) == FoldRegistryName(c.looked_up), c.same);
    RegistryHandle key, found;
    ASSERT_TRUE(CreateRegistryKey(parent, c.created, &key));
    EXPECT_EQ(OpenRegistryKey(parent, c.looked_up, &found), c.same);
    const std::vector<uint8_t> data = Bytes("x");
    ASSERT_TRUE(Set(parent, c.created, kRegBinary, data));
    uint32_t size = 0;
    EXPECT_EQ(QueryRegistryValue(parent, c.looked_up, nullptr, nullptr, &size), c.same);
    ASSERT_TRUE(DeleteRegistryKey(parent, c.created));
    ASSERT_TRUE(DeleteRegistryValue(parent, c.created));
  }
}

TEST_F(RegistryStoreTest, ValueNamesMatchWithoutRegardToCaseAndReplacingKeepsPlaceAndSpelling) {
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Values", &key));
  ASSERT_TRUE(Set(key, u"InstallDir", kRegSz, Sz(u"\\Program Files\\Kolvar\\")));
  ASSERT_TRUE(Set(key, u"Version", kRegSz, Sz(u"1.51")));
  ASSERT_TRUE(Set(key, u"INSTALLDIR", kRegSz, Sz(u"\\Elsewhere\\")));
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"InstallDir", u"Version"}));
  RegistryValue value;
  ASSERT_TRUE(ReadRegistryValue(key, u"installdir", &value));
  EXPECT_EQ(value.data, Sz(u"\\Elsewhere\\"));
  ASSERT_TRUE(DeleteRegistryValue(key, u"iNSTALLdIR"));
  EXPECT_FALSE(ReadRegistryValue(key, u"InstallDir", &value));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(RegistryStoreTest, TypedValuesRoundTripByteForByte) {
  std::vector<uint8_t> big(100000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + 3);
  std::vector<uint8_t> multi = Sz(u"first");
  for (uint8_t b : Sz(u"second")) multi.push_back(b);
  multi.push_back(0);
  multi.push_back(0);
  struct Case {
    std::u16string name;
    uint32_t type;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {
      {u"", kRegSz, Sz(u"default value")},
      {u"String", kRegSz, Sz(u"\u00C4\u03A9\u0416 \U0001F600")},
      {u"Unterminated", kRegSz, {'a', 0, 'b', 0}},
      {u"Expand", kRegExpandSz, Sz(u"%WINDOWS%\\x")},
      {u"Binary", kRegBinary, {0, 1, 0, 0xFF, 0}},
      {u"EmptyBinary", kRegBinary, {}},
      {u"Big", kRegBinary, big},
      {u"Number", kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {u"BigEndian", kRegDwordBigEndian, {0, 0, 1, 0}},
      {u"Multi", kRegMultiSz, multi},
      {u"Unknown", 0x12345678, {9, 8, 7}},
      {u"TypeMax", 0xFFFFFFFF, {1}},
      {u"Name\\With\\Backslashes", kRegNone, {0}},
  };
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kClassesRoot, u"Types", &key));
  for (const Case& c : cases) ASSERT_TRUE(Set(key, c.name, c.type, c.data));
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    RegistryValue value;
    ASSERT_TRUE(ReadRegistryValue(key, c.name, &value));
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.data);
    uint32_t type = 0, size = 0;
    ASSERT_TRUE(QueryRegistryValue(key, c.name, &type, nullptr, &size));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.data.size());
  }
  std::vector<std::u16string> expected;
  for (const Case& c : cases) expected.push_back(c.name);
  EXPECT_EQ(ValueNames(key), expected);
}

TEST_F(RegistryStoreTest, QueryFollowsTheDeviceBufferRules) {
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Buffers", &key));
  const std::vector<uint8_t> data = Sz(u"1.51");  // 10 bytes
  ASSERT_TRUE(Set(key, u"Version", kRegSz, data));

  uint8_t buffer[16];
  std::memset(buffer, 0xEE, sizeof buffer);
  uint32_t type = 0, size = 9;
  EXPECT_FALSE(QueryRegistryValue(key, u"Version", &type, buffer, &size));
  EXPECT_EQ(GetLastError(), kErrorMoreData);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(buffer[0], 0xEE);  // nothing copied

  size = 10;
  ASSERT_TRUE(QueryRegistryValue(key, u"Version", &type, buffer, &size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), data);
  EXPECT_EQ(buffer[10], 0xEE);

  size = sizeof buffer;
  ASSERT_TRUE(QueryRegistryValue(key, u"Version", nullptr, buffer, &size));
  EXPECT_EQ(size, 10u);

  size = 0;
  ASSERT_TRUE(QueryRegistryValue(key, u"Version", nullptr, nullptr, &size));
  EXPECT_EQ(size, 10u);

  size = sizeof buffer;
  EXPECT_FALSE(QueryRegistryValue(key, u"Missing", &type, buffer, &size));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(RegistryStoreTest, EnumerationGivesCreationOrderThenNoMoreItems) {
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kLocalMachine, u"Order", &key));
  std::u16string name;
  EXPECT_FALSE(EnumRegistryKey(key, 0, &name));
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
  RegistryValue value;
  EXPECT_FALSE(EnumRegistryValue(key, 0, &value));
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);

  const std::vector<std::u16string> names = {u"zeta", u"Alpha", u"mu", u"Beta"};
  for (const auto& n : names) {
    RegistryHandle child;
    ASSERT_TRUE(CreateRegistryKey(key, n + u"\\Below", &child));
    ASSERT_TRUE(Set(key, n, kRegDword, {1, 0, 0, 0}));
  }
  EXPECT_EQ(Subkeys(key), names);
  EXPECT_EQ(ValueNames(key), names);
  ASSERT_TRUE(DeleteRegistryKey(key, u"alpha"));
  ASSERT_TRUE(DeleteRegistryValue(key, u"ALPHA"));
  const std::vector<std::u16string> rest = {u"zeta", u"mu", u"Beta"};
  EXPECT_EQ(Subkeys(key), rest);
  EXPECT_EQ(ValueNames(key), rest);
  EXPECT_FALSE(EnumRegistryKey(key, 3, &name));
  EXPECT_EQ(GetLastError(), kErrorNoMoreItems);
}

// Sequential indexes continue from the last row; any other index counts from the first. Both
// must name the same entries, also on a handle that moved.
TEST_F(RegistryStoreTest, EnumerationInTurnAndByAnyIndexAgree) {
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Many", &key));
  std::vector<std::u16string> names;
  for (int i = 0; i < 40; ++i) {
    names.push_back(u"n" + std::u16string{static_cast<char16_t>(u'0' + i / 10),
                                          static_cast<char16_t>(u'0' + i % 10)});
    RegistryHandle child;
    ASSERT_TRUE(CreateRegistryKey(key, names.back(), &child));
    ASSERT_TRUE(Set(key, names.back(), kRegDword, {static_cast<uint8_t>(i), 0, 0, 0}));
  }
  ASSERT_TRUE(DeleteRegistryKey(key, u"n02"));  // a gap in the rows
  ASSERT_TRUE(DeleteRegistryValue(key, u"n02"));
  names.erase(names.begin() + 2);
  EXPECT_EQ(Subkeys(key), names);
  EXPECT_EQ(ValueNames(key), names);
  const uint32_t order[] = {39, 38, 5, 6, 7, 0, 1, 20, 19, 21, 22, 38};
  RegistryHandle moved = std::move(key);
  for (uint32_t index : order) {
    SCOPED_TRACE(index);
    std::u16string name;
    RegistryValue value;
    if (index < names.size()) {
      ASSERT_TRUE(EnumRegistryKey(moved, index, &name));
      EXPECT_EQ(name, names[index]);
      ASSERT_TRUE(EnumRegistryValue(moved, index, &value));
      EXPECT_EQ(value.name, names[index]);
    } else {
      EXPECT_FALSE(EnumRegistryKey(moved, index, &name));
      EXPECT_FALSE(EnumRegistryValue(moved, index, &value));
    }
  }
}

TEST_F(RegistryStoreTest, CreateMakesEveryMissingLevelAndReportsTheLast) {
  RegistryHandle key;
  bool created = false;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"A\\B\\C", &key, &created));
  EXPECT_TRUE(created);
  ASSERT_TRUE(Set(key, u"Deep", kRegDword, {7, 0, 0, 0}));
  RegistryHandle b;
  ASSERT_TRUE(OpenRegistryKey(RegistryRoot::kCurrentUser, u"a\\b", &b));
  EXPECT_EQ(Subkeys(b), std::vector<std::u16string>{u"C"});
  ASSERT_TRUE(CreateRegistryKey(b, u"C", &key, &created));
  EXPECT_FALSE(created);
  RegistryValue value;
  EXPECT_TRUE(ReadRegistryValue(key, u"deep", &value));
  // Empty levels are skipped: a leading, doubled or trailing separator names the same key.
  ASSERT_TRUE(OpenRegistryKey(RegistryRoot::kCurrentUser, u"\\A\\\\B\\C\\", &key));
  EXPECT_TRUE(ReadRegistryValue(key, u"Deep", &value));
  // An empty path opens the key itself.
  ASSERT_TRUE(OpenRegistryKey(b, u"", &key));
  EXPECT_EQ(Subkeys(key), std::vector<std::u16string>{u"C"});
}

TEST_F(RegistryStoreTest, OpeningAMissingKeyFailsWithNotFoundAndCreatesNothing) {
  RegistryHandle key;
  EXPECT_FALSE(OpenRegistryKey(RegistryRoot::kLocalMachine, u"Init", &key));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(key.IsValid());
  EXPECT_FALSE(OpenRegistryKey(RegistryRoot::kLocalMachine, u"Init\\Deeper", &key));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_TRUE(Subkeys(RegistryHandle(RegistryRoot::kLocalMachine)).empty());
}

TEST_F(RegistryStoreTest, RootsAreSeparateTrees) {
  const RegistryRoot roots[] = {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser,
                                RegistryRoot::kLocalMachine, RegistryRoot::kUsers};
  for (RegistryRoot root : roots) {
    RegistryHandle key;
    ASSERT_TRUE(CreateRegistryKey(root, u"Same", &key));
    const uint32_t tag = static_cast<uint32_t>(root);
    ASSERT_TRUE(SetRegistryValue(key, u"Root", kRegDword, &tag, sizeof tag));
  }
  for (RegistryRoot root : roots) {
    RegistryHandle key;
    ASSERT_TRUE(OpenRegistryKey(root, u"Same", &key));
    uint32_t tag = 0, size = sizeof tag;
    ASSERT_TRUE(QueryRegistryValue(key, u"Root", nullptr, &tag, &size));
    EXPECT_EQ(tag, static_cast<uint32_t>(root));
  }
  EXPECT_FALSE(RegistryHandle(static_cast<RegistryRoot>(0x80000004)).IsValid());
}

TEST_F(RegistryStoreTest, DeletingAKeyRemovesItsWholeSubtreeAndItsOpenHandlesGoStale) {
  RegistryHandle deep, middle;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Top\\Middle\\Deep", &deep));
  ASSERT_TRUE(Set(deep, u"V", kRegDword, {1, 2, 3, 4}));
  ASSERT_TRUE(OpenRegistryKey(RegistryRoot::kCurrentUser, u"Top\\Middle", &middle));
  ASSERT_TRUE(Set(middle, u"W", kRegDword, {1, 2, 3, 4}));

  ASSERT_TRUE(DeleteRegistryKey(RegistryRoot::kCurrentUser, u"top"));
  RegistryHandle key;
  EXPECT_FALSE(OpenRegistryKey(RegistryRoot::kCurrentUser, u"Top", &key));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);

  // A key made again under the old name is a new, empty key; the old handles stay stale.
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Top\\Middle\\Deep", &key));
  RegistryValue value;
  EXPECT_FALSE(ReadRegistryValue(key, u"V", &value));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(ReadRegistryValue(deep, u"V", &value));
  EXPECT_EQ(GetLastError(), kErrorKeyDeleted);
  EXPECT_FALSE(Set(middle, u"W", kRegDword, {0, 0, 0, 0}));
  EXPECT_EQ(GetLastError(), kErrorKeyDeleted);
  std::u16string name;
  EXPECT_FALSE(EnumRegistryKey(middle, 0, &name));
  EXPECT_EQ(GetLastError(), kErrorKeyDeleted);
  RegistryHandle child;
  EXPECT_FALSE(CreateRegistryKey(middle, u"New", &child));
  EXPECT_EQ(GetLastError(), kErrorKeyDeleted);
}

TEST_F(RegistryStoreTest, RefusedRequestsFailWithTheDeviceErrors) {
  RegistryHandle key, out, invalid;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Refusals", &key));
  const std::u16string long_name(kMaxRegistryKeyName + 1, u'k');
  const std::u16string lone_surrogate = u"bad\xD800name";
  const std::u16string with_nul(u"a\0b", 3);
  struct Case {
    const char* what;
    std::function<bool()> call;
    uint32_t error;
  };
  const Case cases[] = {
      {"delete a root", [&] { return DeleteRegistryKey(RegistryRoot::kCurrentUser, u""); },
       kErrorAccessDenied},
      {"delete the parent itself", [&] { return DeleteRegistryKey(key, u"\\"); },
       kErrorAccessDenied},
      {"delete a missing key", [&] { return DeleteRegistryKey(key, u"Missing"); },
       kErrorFileNotFound},
      {"delete a missing value", [&] { return DeleteRegistryValue(key, u"Missing"); },
       kErrorFileNotFound},
      {"key name too long", [&] { return CreateRegistryKey(key, long_name, &out); },
       kErrorInvalidParameter},
      {"unpaired surrogate", [&] { return CreateRegistryKey(key, lone_surrogate, &out); },
       kErrorInvalidParameter},
      {"value name with NUL", [&] { return Set(key, with_nul, kRegBinary, {1}); },
       kErrorInvalidParameter},
      {"no data for a size", [&] { return SetRegistryValue(key, u"x", kRegBinary, nullptr, 4); },
       kErrorInvalidParameter},
      {"closed handle", [&] { return OpenRegistryKey(invalid, u"x", &out); }, kErrorInvalidHandle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(kErrorSuccess);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  const std::u16string longest(kMaxRegistryKeyName, u'k');
  EXPECT_TRUE(CreateRegistryKey(key, longest, &out));
}

TEST_F(RegistryStoreTest, DatabaseIsPrivateWalFileInTheWindowsFolder) {
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Private", &key));
  std::string path;
  ASSERT_TRUE(RegistryDatabasePath(&path));
  EXPECT_EQ(path, device_.Host(u"\\Windows\\registry.db"));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((path + "-wal").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A second, independent connection (as another program has) sees the committed key.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db, "SELECT count(*) FROM keys WHERE name = 'Private'", -1, &s, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 1);
  sqlite3_finalize(s);
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST_F(RegistryStoreTest, ADatabaseFileMadeWithAWiderModeBecomesPrivate) {
  device_.WriteFile(u"\\Windows\\registry.db", "");
  const std::string path = device_.Host(u"\\Windows\\registry.db");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  RegistryHandle key;
  ASSERT_TRUE(CreateRegistryKey(RegistryRoot::kUsers, u"Default", &key));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Each case is a device of its own, so that no connection of an earlier case is reused.
TEST(RegistryStoreDamageTest, DamagedOrForeignDatabaseIsReportedAndLeftUntouched) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string garbage(8192, 'x');
  std::string bad_header = garbage;
  bad_header.replace(0, 16, std::string("SQLite format 3\0", 16));
  const Case cases[] = {{"text", garbage}, {"damaged header", bad_header}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDevice device;
    device.WriteFile(u"\\Windows\\registry.db", c.bytes);
    RegistryHandle key;
    EXPECT_FALSE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Software", &key));
    EXPECT_EQ(GetLastError(), kErrorBadDb);
    EXPECT_TRUE(device.ReadFile(u"\\Windows\\registry.db") == c.bytes);
  }

  // Another program's SQLite database under our name is not ours to change.
  TestDevice device;
  std::string path = device.Host(u"\\Windows\\registry.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE other(x); INSERT INTO other VALUES (42);", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string before = device.ReadFile(u"\\Windows\\registry.db");
  RegistryHandle key;
  EXPECT_FALSE(CreateRegistryKey(RegistryRoot::kCurrentUser, u"Software", &key));
  EXPECT_EQ(GetLastError(), kErrorBadDb);
  EXPECT_TRUE(device.ReadFile(u"\\Windows\\registry.db") == before);
}

}  // namespace
}  // namespace kolvar::platform

// The configuration file as a program opens it: the defaults table on a first start, a damaged
// file put aside and replaced, the update information file, and the path macros.
#include "common/configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/config_keys.h"
#include "platform/file.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

namespace keys = config_keys;

constexpr char16_t kConfigPath[] = u"\\Windows\\kvmavcfg.dat";

uint32_t Integer(ConfigStore& store, const char* section, const char* key) {
  uint32_t value = 0xDEADBEEF, size = sizeof value;
  EXPECT_TRUE(store.GetValue(key, &size, &value, section)) << key;
  EXPECT_EQ(size, 4u) << key;
  return value;
}

std::u16string Text(ConfigStore& store, const char* section, const char* key, uint32_t* size) {
  *size = 0;
  EXPECT_TRUE(store.GetValue(key, size, nullptr, section)) << key;
  std::u16string text(*size / 2, u'\0');
  uint32_t capacity = *size;
  EXPECT_TRUE(store.GetValue(key, &capacity, text.data(), section)) << key;
  return text;
}

int KeysOf(ConfigStore& store, const char* section) {
  EXPECT_TRUE(store.SelectSection(section));
  return store.KeyCount();
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("KOLVAR_PLATFORM_TYPE"); }
  testing::TestDevice device_;
};

TEST_F(ConfigurationTest, FirstStartCreatesTheDefaultsTable) {
  std::unique_ptr<ConfigurationFile> configuration;
  ASSERT_TRUE(OpenConfiguration(false, &configuration));
  EXPECT_EQ(configuration->path(), kConfigPath);
  ASSERT_TRUE(device_.Exists(kConfigPath));

  // Read back from the file by a second store, not from the creating one.
  std::unique_ptr<ConfigurationFile> reader;
  ASSERT_TRUE(OpenConfiguration(true, &reader));
  ConfigStore& store = reader->store();
  ASSERT_EQ(store.SectionCount(), 3u);
  EXPECT_EQ(KeysOf(store, keys::kBasic), 3);
  EXPECT_EQ(KeysOf(store, keys::kConfig), 5);
  EXPECT_EQ(KeysOf(store, keys::kUpdates), 19);

  uint32_t size = 0;
  EXPECT_EQ(Text(store, keys::kBasic, keys::kVersion, &size), std::u16string(u"3.0\0", 4));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(Integer(store, keys::kBasic, keys::kPlatform), 2u);
  EXPECT_EQ(Text(store, keys::kConfig, keys::kShorcutPath, &size),
            std::u16string(keys::kDefaultShortcutPath) + u'\0');
  EXPECT_EQ(Integer(store, keys::kConfig, keys::kSplashScreen), 1u);
  EXPECT_EQ(Integer(store, keys::kConfig, keys::kEnableBckScan), 0u);
  EXPECT_EQ(Integer(store, keys::kUpdates, keys::kProxyPort), 80u);
  EXPECT_EQ(Text(store, keys::kUpdates, keys::kUpdateUrlFile, &size),
            std::u16string(u"kvmupdi.dat\0", 12));
  EXPECT_EQ(Text(store, keys::kUpdates, keys::kUpdateVersion, &size),
            std::u16string(u"KVUPD-V30\0", 10));
  const std::u16string url = Text(store, keys::kUpdates, keys::kUpdateUrl, &size);
  EXPECT_TRUE(url.starts_with(u"http://"));
  EXPECT_TRUE(url.ends_with(std::u16string(u"/downloads/av/updmavv30/\0", 25)));
  Text(store, keys::kUpdates, keys::kLastUpdateId, &size);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(store.HasSection("ShortcutPath"));
}

TEST_F(ConfigurationTest, PlatformFollowsThePocketTest) {
  struct Case {
    const char* type;
    uint32_t platform;
  };
  for (const Case& c : {Case{"PocketPC", 2}, Case{"pocket pc 2003", 2}, Case{"SmartPhone", 1}}) {
    SCOPED_TRACE(c.type);
    setenv("KOLVAR_PLATFORM_TYPE", c.type, 1);
    platform::DeleteFile(kConfigPath);
    std::unique_ptr<ConfigurationFile> configuration;
    ASSERT_TRUE(OpenConfiguration(false, &configuration));
    EXPECT_EQ(Integer(configuration->store(), keys::kBasic, keys::kPlatform), c.platform);
  }
}

TEST_F(ConfigurationTest, MissingFileWithKeepAsIsIsNotCreated) {
  std::unique_ptr<ConfigurationFile> configuration;
  EXPECT_FALSE(OpenConfiguration(true, &configuration));
  ASSERT_NE(configuration, nullptr);
  EXPECT_FALSE(device_.Exists(kConfigPath));
}

TEST_F(ConfigurationTest, DamagedFileIsKeptAsideAndReplacedByTheDefaultsOnce) {
  const std::string damaged = "\x22\x11\xBB\xAA that is not the second magic";
  device_.WriteFile(kConfigPath, damaged);
  std::unique_ptr<ConfigurationFile> configuration;
  EXPECT_TRUE(OpenConfiguration(true, &configuration));
  EXPECT_EQ(configuration->store().GetStatus(), kStatusBadMagic);
  EXPECT_EQ(configuration->damage_notice(), u"") << "keep_as_is leaves the file alone";
  EXPECT_EQ(device_.ReadFile(kConfigPath), damaged);

  EXPECT_TRUE(OpenConfiguration(false, &configuration));
  EXPECT_EQ(configuration->damage_notice(),
            u"The configuration file '\\Windows\\kvmavcfg.dat' is damaged (status 89: wrong magic "
            u"numbers).\nIt was kept as '\\Windows\\kvmavcfg.dat.damaged' and replaced by the "
            u"default settings.");
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\kvmavcfg.dat.damaged"), damaged);
  EXPECT_EQ(Integer(configuration->store(), keys::kConfig, keys::kEnableBckScan), 0u);
  std::unique_ptr<ConfigurationFile> reader;
  ASSERT_TRUE(OpenConfiguration(true, &reader));
  EXPECT_EQ(reader->store().GetStatus(), kStatusOk);
  EXPECT_EQ(KeysOf(reader->store(), keys::kUpdates), 19);

  // The next start finds the new file whole: nothing more to tell.
  EXPECT_TRUE(OpenConfiguration(false, &configuration));
  EXPECT_EQ(configuration->damage_notice(), u"");
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\kvmavcfg.dat.damaged"), damaged);
}

TEST_F(ConfigurationTest, DamagedFileThatCannotBePutAsideGivesTheDefaultsInMemory) {
  const std::string damaged(10, 'x');
  device_.WriteFile(kConfigPath, damaged);
  device_.MakeFolder(u"\\Windows\\kvmavcfg.dat.damaged");
  std::unique_ptr<ConfigurationFile> configuration;
  EXPECT_TRUE(OpenConfiguration(false, &configuration));
  EXPECT_EQ(configuration->damage_notice(),
            u"The configuration file '\\Windows\\kvmavcfg.dat' is damaged (status 88: the file is "
            u"too short to hold a header, or reading it failed) and cannot be replaced (error 5: "
            u"access denied).\nThe default settings are used.");
  EXPECT_EQ(device_.ReadFile(kConfigPath), damaged);
  EXPECT_EQ(Integer(configuration->store(), keys::kConfig, keys::kSplashScreen), 1u);
}

TEST_F(ConfigurationTest, UpdateInformationUsesItsOwnKey) {
  const std::u16string path = u"\\Temp\\kvmupdi.dat";
  {
    ConfigurationFile writer(ConfigStore::kUpdateInformationName,
                             KeyMaterialUse::kUpdateInformation);
    ASSERT_TRUE(writer.store().AddSection(keys::kUpdateInformation));
    ASSERT_TRUE(writer.store().AddValue("UpdateID", 1, 4, u"7"));
    writer.set_path(path);
    ASSERT_TRUE(writer.Save());
  }
  std::unique_ptr<ConfigurationFile> information;
  ASSERT_TRUE(OpenUpdateInformation(path, &information));
  uint32_t size = 0;
  EXPECT_EQ(Text(information->store(), keys::kUpdateInformation, "UpdateID", &size),
            std::u16string(u"7\0", 2));

  // The configuration key does not open it: the padding is wrong, or (when the garbage happens to
  // end like padding) the body does not hold together.
  ConfigurationFile wrong_key(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  EXPECT_FALSE(wrong_key.store().Load(path, false));
  const Status status = wrong_key.store().GetStatus();
  EXPECT_TRUE(status == kStatusDecryptionFailed || status == kStatusFileTooShort) << status;
}

TEST_F(ConfigurationTest, PathMacrosExpandToTheirFolders) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_TRUE(store.AddSection(keys::kBasic));
  const std::u16string install = u"\\Program Files\\Kolvar\\";
  ASSERT_TRUE(store.AddValue(keys::kInstallDir, 1, install.size() * 2, install.data()));

  struct Case {
    std::u16string in;
    bool expanded;
    std::u16string out;
  };
  const Case cases[] = {
      {u"#program#\\KVVirusDB.dat", true, u"\\Program Files\\Kolvar\\KVVirusDB.dat"},
      {u"#program#", true, u"\\Program Files\\Kolvar"},
      {u"#windows#\\kvmavcfg.dat", true, u"\\Windows\\kvmavcfg.dat"},
      {u"#temp#\\x.cab", true, u"\\Temp\\x.cab"},
      {u"#personal#\\notes.txt", true, u"\\My Documents\\notes.txt"},
      {u"#other#\\x", false, u"#other#\\x"},
      {u"\\Windows\\x", false, u"\\Windows\\x"},
      {u"#PROGRAM#\\x", false, u"#PROGRAM#\\x"},
      {u"#program#\\" + std::u16string(250, u'a'), false,
       u"#program#\\" + std::u16string(250, u'a')},
  };
  for (const Case& c : cases) {
    std::u16string path = c.in;
    EXPECT_EQ(ExpandPathMacro(&store, &path), c.expanded);
    EXPECT_TRUE(path == c.out);
  }
  std::u16string path = u"#program#\\x";
  EXPECT_FALSE(ExpandPathMacro(nullptr, &path));
  EXPECT_EQ(path, u"#program#\\x");
}

}  // namespace
}  // namespace kolvar

// The applier finds the device's cabinet installer by the command registered for cabinets: the
// text before its first space, or the default name when the registration is missing or unusable.
#include "updater/update_applier.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/config_keys.h"
#include "common/registry_key.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar::updater {
namespace {

TEST(InstallerNameTest, TheRegisteredCommandNamesTheInstaller) {
  const struct {
    const char* name;
    bool key;                             // the command key exists
    std::optional<std::u16string> value;  // the command, if registered
    uint32_t type = 1;
    std::u16string expected;
  } cases[] = {
      {"no registration", false, std::nullopt, 1, u"wceload"},
      {"key without its value", true, std::nullopt, 1, u"wceload"},
      {"the command setup registers", true, config_keys::kInstallerCommand, 1, u"wceload"},
      {"another installer", true, u"kvinstall.bin /q \"%1\"", 1, u"kvinstall.bin"},
      {"a device image's command", true, u"wceload.exe \"%1\"", 1, u"wceload.exe"},
      {"cut at the first space only", true, u"my installer \"%1\"", 1, u"my"},
      {"no space", true, u"kvinstall", 1, u"wceload"},
      {"a space first", true, u" kvinstall \"%1\"", 1, u"wceload"},
      {"empty", true, u"", 1, u"wceload"},
      {"not text", true, u"kvinstall \"%1\"", 3, u"wceload"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TestDevice device;
    if (c.key) {
      RegistryKey key(kRegistryPathRoot, kRegistryRootClassesRoot);
      ASSERT_TRUE(key.OpenKey(config_keys::kInstallerCommandKey, false, true));
      if (c.value) {
        std::u16string text = *c.value;
        text.push_back(u'\0');
        ASSERT_TRUE(key.SetValue(config_keys::kInstallerCommandValue, c.type, text.data(),
                                 static_cast<uint32_t>(text.size() * sizeof(char16_t))));
      }
    }
    EXPECT_EQ(platform::Utf16ToUtf8(InstallerName()), platform::Utf16ToUtf8(c.expected));
  }
}

}  // namespace
}  // namespace kolvar::updater

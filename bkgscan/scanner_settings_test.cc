// The scanner's two configuration values read from a store: "EnableBckScan" with its message when
// it cannot be read, and "ScanPacing", on unless it holds 0 (its default in the host profile is
// off).
#include "bkgscan/scanner_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bkgscan/scanner_texts.h"
#include "common/config_keys.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

// A value of CONFIG: nullopt leaves the key out; a size other than 4 stores that many bytes.
struct StoredValue {
  std::optional<uint32_t> value;
  uint32_t size = 4;
};

struct SettingsCase {
  const char* name;
  StoredValue background;
  StoredValue pacing;
  bool background_on;
  bool told;
  bool pacing_on;
};

// Test names and failure messages show the case's name.
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class ScannerSettingsTest : public ::testing::TestWithParam<SettingsCase> {
 protected:
  testing::TestDevice device_;
};

void Store(ConfigStore& store, const char* key, const StoredValue& stored) {
  if (!stored.value) return;
  const uint32_t value = *stored.value;
  ASSERT_TRUE(store.AddValue(key, kConfigTypeInteger, stored.size, &value));
}

TEST_P(ScannerSettingsTest, ValuesAreReadAsTheScannerFollowsThem) {
  const SettingsCase& c = GetParam();
  ConfigurationFile configuration(u"_@KVTESTSETTINGS@_", KeyMaterialUse::kConfiguration);
  ConfigStore& store = configuration.store();
  ASSERT_TRUE(store.AddSection(config_keys::kConfig));
  ASSERT_TRUE(store.AddValue(config_keys::kAutoStartup, kConfigTypeInteger, 4, "\0\0\0\0"));
  Store(store, config_keys::kEnableBckScan, c.background);
  Store(store, kScanPacingKey, c.pacing);

  std::vector<std::u16string> told;
  const bool on = ReadBackgroundScanning(
      configuration, [&](std::u16string_view text, uint32_t) { told.emplace_back(text); });
  EXPECT_EQ(on, c.background_on);
  if (c.told) {
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], kBackgroundValueMessage);
  } else {
    EXPECT_TRUE(told.empty());
  }
  EXPECT_EQ(ScanPacingValue(store), c.pacing_on);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ScannerSettingsTest,
    ::testing::Values(SettingsCase{"Missing", {}, {}, false, true, true},
                      SettingsCase{"Off", {0}, {0}, false, false, false},
                      SettingsCase{"On", {1}, {1}, true, false, true},
                      SettingsCase{"AnyNonZeroIsOn", {7}, {5}, true, false, true},
                      SettingsCase{
                          "WrongSizeIsUnreadable", {{0x0101}, 2}, {{0}, 2}, false, true, true}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(ScanPacingDefaultTest, WithoutTheKeyADeviceImageIsPacedAndTheHostIsNot) {
  testing::TestDevice device;
  ConfigurationFile configuration(u"_@KVTESTSETTINGS@_", KeyMaterialUse::kConfiguration);
  ConfigStore& store = configuration.store();
  ASSERT_TRUE(store.AddSection(config_keys::kConfig));
  EXPECT_TRUE(ScanPacingValue(store));
  const std::string image_root = getenv("KOLVAR_DEVICE_ROOT");
  setenv("KOLVAR_DEVICE_ROOT", "/", 1);
  const bool host_paced = ScanPacingValue(store);
  Store(store, kScanPacingKey, {1});
  const bool host_asked = ScanPacingValue(store);
  setenv("KOLVAR_DEVICE_ROOT", image_root.c_str(), 1);
  EXPECT_FALSE(host_paced);
  EXPECT_TRUE(host_asked);  // the key overrides the host's default
}

}  // namespace
}  // namespace kolvar

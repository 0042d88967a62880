// DeviceInfo: the size selectors and units, the refused queries (error 18), the battery values
// and their error 19 on a machine without one, the device id, the processor names.
#include "antivirus/tools/device_info.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "tests/testing/test_device.h"

namespace kolvar::tools {
namespace {

namespace fs = std::filesystem;

class FixtureRoot {
 public:
  FixtureRoot() {
    root_ = fs::temp_directory_path() /
            ("kolvar-info-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_);
  }
  ~FixtureRoot() { fs::remove_all(root_); }
  std::string root() const { return root_.string(); }
  void Write(const std::string& relative, const std::string& text) const {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }

 private:
  fs::path root_;
  static inline int counter_ = 0;
};

TEST(DeviceInfoTest, SizesFollowSelectorAndUnit) {
  testing::TestDevice device;
  FixtureRoot root;
  root.Write("proc/meminfo", "MemTotal: 4194304 kB\nMemAvailable: 1048576 kB\n");
  struct statvfs st;
  ASSERT_EQ(statvfs(device.root().c_str(), &st), 0);
  const double store_total = static_cast<double>(st.f_blocks) * st.f_frsize;
  const double memory_total = 4294967296.0;
  DeviceInfo info(root.root());
  const struct {
    int selector;
    int unit;
    double expected;
  } cases[] = {
      {kProgramMemory, kBytes, memory_total}, {kProgramMemory, kKilobytes, memory_total / 1024},
      {kProgramMemory, kMegabytes, 4096},     {kProgramMemory, kGigabytes, 4},
      {kMemoryAvailable, kGigabytes, 1},      {kProgramMemoryUsed, kGigabytes, 3},
      {kFileSystemSize, kBytes, store_total}, {kDeviceMemory, kBytes, store_total + memory_total},
  };
  for (const auto& c : cases) {
    double value = -1;
    ASSERT_TRUE(info.Size(c.selector, c.unit, &value)) << c.selector << "/" << c.unit;
    EXPECT_DOUBLE_EQ(value, c.expected) << c.selector << "/" << c.unit;
  }
  double free_bytes = 0, used_bytes = 0;
  ASSERT_TRUE(info.Size(kFileSystemFree, kBytes, &free_bytes));
  ASSERT_TRUE(info.Size(kFileSystemUsed, kBytes, &used_bytes));
  // As df counts them; others write meanwhile, so within 256 MB.
  ASSERT_EQ(statvfs(device.root().c_str(), &st), 0);
  EXPECT_NEAR(free_bytes, static_cast<double>(st.f_bavail) * st.f_frsize, 268435456.0);
  EXPECT_NEAR(used_bytes, static_cast<double>(st.f_blocks - st.f_bfree) * st.f_frsize, 268435456.0);

  for (const auto& bad : {std::pair{7, 1}, std::pair{-1, 1}, std::pair{0, 0}, std::pair{0, 5}}) {
    double value = -1;
    EXPECT_FALSE(info.Size(bad.first, bad.second, &value));
    EXPECT_EQ(info.GetStatus(), kBadSizeQuery);
    EXPECT_EQ(value, 0);
  }
  EXPECT_FALSE(info.Size(0, 1, nullptr));
  EXPECT_EQ(info.GetStatus(), kDeviceInfoNoBuffer);
}

TEST(DeviceInfoTest, BatteryValuesAndTheirAbsence) {
  FixtureRoot root;
  DeviceInfo info(root.root());
  int64_t value = -1;
  for (int selector = 0; selector <= 5; ++selector) {
    EXPECT_FALSE(info.Battery(selector, &value)) << selector;
    EXPECT_EQ(info.GetStatus(), kPowerStatusUnavailable);
  }
  root.Write("sys/class/power_supply/BAT0/type", "Battery\n");
  root.Write("sys/class/power_supply/BAT0/capacity", "64\n");
  root.Write("sys/class/power_supply/BAT0/technology", "Li-poly\n");
  root.Write("sys/class/power_supply/BAT0/temp", "312\n");
  root.Write("sys/class/power_supply/BAT0/voltage_now", "3900000\n");
  const struct {
    int selector;
    bool ok;
    int64_t value;
  } cases[] = {
      {kBatteryPercent, true, 64},
      {kBatteryLifeTime, false, 0},
      {kBackupBatteryPercent, true, 255},
      {kBatteryChemistry, true, kChemistryLithiumPolymer},
      {kBatteryTemperature, true, 312},
      {kBatteryVoltage, true, 3900},
      {6, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(info.Battery(c.selector, &value), c.ok) << c.selector;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.selector;
    }
    if (!c.ok) {
      EXPECT_EQ(info.GetStatus(), kPowerStatusUnavailable);
    }
  }
}

TEST(DeviceInfoTest, ChemistryAndProcessorTexts) {
  const std::pair<uint32_t, std::u16string> chemistries[] = {
      {1, u"Alkaline"},        {2, u"Nickel Cadmium"}, {3, u"(unknown)"}, {4, u"Lithium Ion"},
      {5, u"Lithium Polymer"}, {255, u"(unknown)"},    {0, u"(unknown)"}};
  for (const auto& [number, text] : chemistries) EXPECT_EQ(ChemistryText(number), text);
  const std::pair<uint32_t, std::u16string> processors[] = {{586, u"INTEL PENTIUM"},
                                                            {2577, u"STRONGARM"},
                                                            {70001, u"ARM 7TDMI"},
                                                            {8664, u"UNKNOWN"},
                                                            {0, u"UNKNOWN"}};
  for (const auto& [type, name] : processors) EXPECT_EQ(ProcessorName(type), name);
  EXPECT_EQ(ProcessorTypeOf("i686"), 586u);
  EXPECT_EQ(ProcessorTypeOf("aarch64"), 0u);
}

TEST(DeviceInfoTest, DeviceIdIsLowerCaseHex) {
  FixtureRoot root;
  DeviceInfo info(root.root());
  std::u16string hex = u"x";
  uint32_t length = 9;
  EXPECT_FALSE(info.DeviceId(&hex, &length));
  EXPECT_EQ(info.GetStatus(), kDeviceIdFailed);
  EXPECT_EQ(hex, u"");
  EXPECT_EQ(length, 0u);
  root.Write("etc/machine-id", "00FF10aa00FF10aa00FF10aa00FF10AA\n");
  ASSERT_TRUE(info.DeviceId(&hex, &length));
  EXPECT_EQ(hex, u"00ff10aa00ff10aa00ff10aa00ff10aa");
  EXPECT_EQ(length, 16u);
}

}  // namespace
}  // namespace kolvar::tools

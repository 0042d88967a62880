// The system information pages against fixture /proc, /sys and /etc trees and the live machine:
// the rows and formats of each page, the edge cases of the battery and the storage cards, the
// fonts once each in case-insensitive order, and the dialog's page commands.
#include "antivirus/tools/system_information.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar::tools {
namespace {

namespace fs = std::filesystem;
using namespace sysinfo_commands;

class FixtureRoot {
 public:
  FixtureRoot() {
    root_ = fs::temp_directory_path() /
            ("kolvar-sysinfo-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_);
    Write("proc/meminfo", "MemTotal: 2097152 kB\nMemAvailable: 524288 kB\n");
  }
  ~FixtureRoot() { fs::remove_all(root_); }
  std::string root() const { return root_.string(); }
  void Write(const std::string& relative, const std::string& text) const {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }
  void Battery(const std::string& temp) const {
    Write("sys/class/power_supply/BAT0/type", "Battery\n");
    Write("sys/class/power_supply/BAT0/capacity", "77\n");
    Write("sys/class/power_supply/BAT0/technology", "Li-ion\n");
    Write("sys/class/power_supply/BAT0/temp", temp + "\n");
    Write("sys/class/power_supply/BAT0/voltage_now", "4100000\n");
  }

 private:
  fs::path root_;
  static inline int counter_ = 0;
};

std::vector<std::u16string> Column(const PageTable& table, size_t column) {
  std::vector<std::u16string> cells;
  for (const auto& row : table.rows) cells.push_back(row[column]);
  return cells;
}

TEST(SystemInformationTest, GeneralPageRows) {
  testing::TestDevice device;
  FixtureRoot root;
  root.Write("etc/machine-id", "00112233445566778899aabbccddeeff\n");
  root.Write("sys/class/dmi/id/product_name", "Handheld 9\n");
  DeviceInfo info(root.root());
  const PageTable table = SystemInformationPage(kGeneralPage, info, {});
  EXPECT_EQ(table.columns[1].width, 750);
  EXPECT_EQ(Column(table, 0),
            (std::vector<std::u16string>{u"Platform:", u"Device Model:", u"Processor Name:",
                                         u"OS Version:", u"Device Memory:", u"Windows Folder:",
                                         u"Programs Folder:", u"Startup Folder:",
                                         u"Personal Folder:", u"DeviceID length:", u"DeviceID:"}));
  EXPECT_EQ(table.rows[0][1], u"PocketPC");
  EXPECT_EQ(table.rows[1][1], u"Handheld 9");
  EXPECT_TRUE(table.rows[3][1].find(u" (Build: ") != std::u16string::npos);
  EXPECT_TRUE(table.rows[4][1].ends_with(u" MB"));
  EXPECT_EQ(table.rows[5][1], u"\\Windows");
  EXPECT_EQ(table.rows[6][1], u"\\Program Files");
  EXPECT_EQ(table.rows[9][1], u"16 bytes");
  EXPECT_EQ(table.rows[10][1], u"00112233445566778899aabbccddeeff");

  FixtureRoot bare;
  DeviceInfo no_id(bare.root());
  const PageTable without = SystemInformationPage(kGeneralPage, no_id, {});
  EXPECT_EQ(without.rows[1][1], u"");
  EXPECT_EQ(without.rows[9][1], u"0");
  EXPECT_EQ(without.rows[10][1], u"(none)");
}

TEST(SystemInformationTest, MemoryPageHasTwoRowsWithoutStorageCards) {
  testing::TestDevice device;
  FixtureRoot root;
  DeviceInfo info(root.root());
  PageTable table = SystemInformationPage(kMemoryPage, info, {});
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0], (std::vector<std::u16string>{u"Programs:", u"512.00 MB", u"1536.00 MB",
                                                        u"2048.00 MB"}));
  EXPECT_EQ(table.rows[1][0], u"File System:");
  // A removable medium mounted at the device root's folder adds its row, named by its folder.
  root.Write("proc/self/mountinfo",
             "30 22 8:16 / " + device.Host(u"\\Temp") + " rw - vfat /dev/sdb rw\n");
  root.Write("sys/dev/block/8:16/removable", "1\n");
  table = SystemInformationPage(kMemoryPage, info, {});
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.rows[2][0], u"Temp");
  EXPECT_TRUE(table.rows[2][3].ends_with(u" MB"));
}

TEST(SystemInformationTest, BatteryPageRowsAndEdgeCases) {
  FixtureRoot root;
  DeviceInfo info(root.root());
  PageTable table = SystemInformationPage(kBatteryPage, info, {});
  EXPECT_EQ(Column(table, 0),
            (std::vector<std::u16string>{u"Battery:", u"Chemistry:", u"Temperature:", u"Voltage:",
                                         u"Backup Battery:"}));
  EXPECT_EQ(Column(table, 1), (std::vector<std::u16string>{u"", u"", u"", u"", u"(none)"}))
      << "no battery: the values stay empty";
  root.Battery("312");
  table = SystemInformationPage(kBatteryPage, info, {});
  EXPECT_EQ(Column(table, 1),
            (std::vector<std::u16string>{u"77%", u"Lithium Ion", u"31 Degrees Celsius ",
                                         u"4100 mV (millivolts) ", u"(none)"}));
  const std::pair<int64_t, std::u16string> temperatures[] = {
      {99, u"99 Degrees Celsius "}, {100, u"10 Degrees Celsius "}, {0, u"0 Degrees Celsius "}};
  for (const auto& [value, text] : temperatures) EXPECT_EQ(TemperatureText(value), text);
  const std::pair<int64_t, std::u16string> backups[] = {
      {0, u"(none)"}, {255, u"(none)"}, {1, u"1%"}, {100, u"100%"}, {101, u"(none)"}};
  for (const auto& [value, text] : backups) EXPECT_EQ(BackupBatteryText(value), text);
}

TEST(SystemInformationTest, ScreenAndFontPagesFromTheDisplay) {
  FixtureRoot root;
  DeviceInfo info(root.root());
  DisplayFacts display;
  PageTable table = SystemInformationPage(kScreenPage, info, display);
  ASSERT_EQ(table.rows.size(), 7u);
  EXPECT_EQ(table.rows[0][1], u"");
  display.screen = [] { return ScreenFacts{1, 24, 1920, 1080, 96, 96, 36, 36}; };
  display.fonts = [] {
    return std::vector<FontFamily>{{u"zeta Sans", u"Regular", true},
                                   {u"Alpha Mono", u"Bold", false},
                                   {u"ZETA SANS", u"Book", true}};
  };
  table = SystemInformationPage(kScreenPage, info, display);
  EXPECT_EQ(Column(table, 1),
            (std::vector<std::u16string>{u"Raster Display", u"24 bits", u"1920 x 1080 (pixels)",
                                         u"96", u"96", u"36", u"36"}));
  EXPECT_EQ(TechnologyText(5), u"Unknown (5)");
  table = SystemInformationPage(kFontsPage, info, display);
  ASSERT_EQ(table.rows.size(), 2u) << "one row per name, whatever its case";
  EXPECT_EQ(table.rows[0], (std::vector<std::u16string>{u"Alpha Mono", u"No", u"Bold"}));
  EXPECT_EQ(table.rows[1][1], u"Yes");
}

TEST(SystemInformationTest, DialogSwitchesPagesAndSelectsTheFirstRow) {
  testing::TestDevice device;
  FixtureRoot root;
  root.Battery("250");
  ui::testing::RecordingHost host;
  SystemInformationDialog dialog({u"System Info", u"Kolvar AV", u"Options"}, {}, root.root());
  host.Show(dialog);
  EXPECT_EQ(dialog.page(), kGeneralPage);
  EXPECT_EQ(dialog.list().size(), 11);
  EXPECT_EQ(dialog.list().selected(), 0);
  const struct {
    uint32_t command;
    int page;
    std::u16string first_column;
  } cases[] = {
      {kMemoryAndStorage, kMemoryPage, u"Memory"}, {kScreenProperties, kScreenPage, u"Information"},
      {kInstalledFonts, kFontsPage, u"Font Name"}, {kBattery, kBatteryPage, u"Information"},
      {kRefresh, kBatteryPage, u"Information"},    {kGeneralInfo, kGeneralPage, u"Information"}};
  for (const auto& c : cases) {
    dialog.list().Select(1);
    dialog.OnCommand(c.command);
    EXPECT_EQ(dialog.page(), c.page);
    EXPECT_EQ(dialog.list().columns()[0].title, c.first_column);
    if (!dialog.list().empty()) {
      EXPECT_EQ(dialog.list().selected(), 0);
    }
  }
  EXPECT_EQ(dialog.soft_keys().left.menu.Find(kMemoryAndStorage)->text, u"Memory && Storage");
  dialog.OnCommand(kClose);
  EXPECT_TRUE(dialog.ended());
}

}  // namespace
}  // namespace kolvar::tools

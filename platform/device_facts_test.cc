// The machine's facts against fixture trees (a battery, removable media and machine ids cannot be
// made here) and the live memory and space queries.
#include "platform/device_facts.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

class FixtureRoot {
 public:
  FixtureRoot() {
    root_ = fs::temp_directory_path() /
            ("kolvar-facts-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
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

TEST(DeviceFactsTest, MemoryComesFromMeminfo) {
  FixtureRoot root;
  root.Write("proc/meminfo",
             "MemTotal:        2048000 kB\nMemFree:          100000 kB\n"
             "MemAvailable:     512000 kB\nBuffers:           1000 kB\n");
  MemoryFacts memory;
  ASSERT_TRUE(DeviceFactsReader(root.root()).ReadMemory(&memory));
  EXPECT_EQ(memory.total_bytes, 2048000ull * 1024);
  EXPECT_EQ(memory.available_bytes, 512000ull * 1024);
  // An old kernel without MemAvailable: the free memory stands in.
  root.Write("proc/meminfo", "MemTotal: 1000 kB\nMemFree: 300 kB\n");
  ASSERT_TRUE(DeviceFactsReader(root.root()).ReadMemory(&memory));
  EXPECT_EQ(memory.available_bytes, 300u * 1024);
  root.Write("proc/meminfo", "garbage\n");
  EXPECT_FALSE(DeviceFactsReader(root.root()).ReadMemory(&memory));
  EXPECT_FALSE(DeviceFactsReader("/nonexistent-kolvar").ReadMemory(&memory));
}

TEST(DeviceFactsTest, LiveMemoryAndSpaceAreSane) {
  MemoryFacts memory;
  ASSERT_TRUE(DeviceFactsReader().ReadMemory(&memory));
  EXPECT_GT(memory.total_bytes, 0u);
  EXPECT_LE(memory.available_bytes, memory.total_bytes);
  SpaceFacts space;
  ASSERT_TRUE(DeviceFactsReader::ReadSpace("/", &space));
  struct statvfs st;
  ASSERT_EQ(statvfs("/", &st), 0);
  EXPECT_EQ(space.total_bytes, static_cast<uint64_t>(st.f_blocks) * st.f_frsize);
  EXPECT_LE(space.free_bytes + space.used_bytes, space.total_bytes);
  EXPECT_FALSE(DeviceFactsReader::ReadSpace("/nonexistent-kolvar/x", &space));
}

TEST(DeviceFactsTest, BatteryIsTheFirstPresentBatterySupply) {
  FixtureRoot root;
  BatteryFacts battery;
  EXPECT_FALSE(DeviceFactsReader(root.root()).ReadBattery(&battery)) << "no power_supply folder";
  root.Write("sys/class/power_supply/AC/type", "Mains\n");
  root.Write("sys/class/power_supply/AC/online", "1\n");
  EXPECT_FALSE(DeviceFactsReader(root.root()).ReadBattery(&battery)) << "mains only";
  root.Write("sys/class/power_supply/BAT0/type", "Battery\n");
  root.Write("sys/class/power_supply/BAT0/present", "0\n");
  EXPECT_FALSE(DeviceFactsReader(root.root()).ReadBattery(&battery)) << "battery not inserted";
  root.Write("sys/class/power_supply/BAT1/type", "Battery\n");
  root.Write("sys/class/power_supply/BAT1/capacity", "87\n");
  root.Write("sys/class/power_supply/BAT1/technology", "Li-ion\n");
  root.Write("sys/class/power_supply/BAT1/temp", "253\n");
  root.Write("sys/class/power_supply/BAT1/voltage_now", "12345678\n");
  ASSERT_TRUE(DeviceFactsReader(root.root()).ReadBattery(&battery));
  EXPECT_EQ(battery.percent, 87u);
  EXPECT_EQ(battery.technology, "Li-ion");
  EXPECT_EQ(battery.temperature_tenths, 253);
  EXPECT_EQ(battery.voltage_millivolts, 12345);
  EXPECT_FALSE(battery.seconds_left);
}

TEST(DeviceFactsTest, RemovableMediaAreMountsOfRemovableDisks) {
  FixtureRoot root;
  root.Write("proc/self/mountinfo",
             "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
             "30 22 8:17 / /media/me/MY\\040CARD rw - vfat /dev/sdb1 rw\n"
             "31 22 8:32 / /media/me/DISK rw - vfat /dev/sdc rw\n"
             "32 22 0:5 / /proc rw - proc proc rw\n");
  root.Write("sys/dev/block/8:1/partition", "1\n");
  root.Write("sys/dev/block/removable", "0\n");  // the fixed disk's, one folder up from 8:1
  root.Write("sys/dev/block/8:17/partition", "1\n");
  root.Write("sys/dev/block/8:17/removable", "1\n");
  root.Write("sys/dev/block/8:32/removable", "1\n");
  const std::vector<RemovableMedium> media = DeviceFactsReader(root.root()).RemovableMedia();
  ASSERT_EQ(media.size(), 2u);
  EXPECT_EQ(media[0].mount_point, "/media/me/MY CARD");
  EXPECT_EQ(media[1].mount_point, "/media/me/DISK");
  FixtureRoot empty;
  EXPECT_TRUE(DeviceFactsReader(empty.root()).RemovableMedia().empty());
}

TEST(DeviceFactsTest, MachineIdAndModel) {
  const struct {
    std::string file;
    bool valid;
    size_t bytes;
  } cases[] = {
      {"0123456789ABCDEF0123456789abcdef\n", true, 16},
      {"abc\n", false, 0},
      {"zz\n", false, 0},
      {"\n", false, 0},
  };
  for (const auto& c : cases) {
    FixtureRoot root;
    root.Write("etc/machine-id", c.file);
    std::vector<uint8_t> id;
    EXPECT_EQ(DeviceFactsReader(root.root()).ReadMachineId(&id), c.valid) << c.file;
    if (c.valid) {
      EXPECT_EQ(id.size(), c.bytes);
      EXPECT_EQ(id[7], 0xef);
    }
  }
  FixtureRoot root;
  std::vector<uint8_t> id;
  EXPECT_FALSE(DeviceFactsReader(root.root()).ReadMachineId(&id));
  EXPECT_EQ(DeviceFactsReader(root.root()).MachineModel(), "");
  root.Write("proc/device-tree/model", std::string("Pocket Board 2\0", 15));
  EXPECT_EQ(DeviceFactsReader(root.root()).MachineModel(), "Pocket Board 2");
  root.Write("sys/class/dmi/id/product_name", "Handheld X\n");
  EXPECT_EQ(DeviceFactsReader(root.root()).MachineModel(), "Handheld X");
}

TEST(DeviceFactsTest, VersionHasTheKernelsNumbers) {
  const SystemVersion version = DeviceFactsReader::ReadVersion();
  EXPECT_FALSE(version.machine.empty());
  EXPECT_GT(version.major, 0u);
}

}  // namespace
}  // namespace kolvar::platform

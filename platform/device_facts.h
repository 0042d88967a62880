// The machine's facts that the system information tool shows, each read afresh on every call:
// memory (/proc/meminfo), the space of a folder's file system (statvfs), the mounted removable
// media (the mount table and each block device's removable flag in /sys), the battery
// (/sys/class/power_supply), the architecture and kernel release (uname), the machine's model
// (/sys/class/dmi/id, or the device tree) and its identifier (/etc/machine-id).
//
// The files are read below a root folder that tests may replace with a fixture tree (a battery
// cannot be made here); the programs use the live "/". Space queries take host paths.
#ifndef KOLVAR_PLATFORM_DEVICE_FACTS_H_
#define KOLVAR_PLATFORM_DEVICE_FACTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kolvar::platform {

struct MemoryFacts {
  uint64_t total_bytes = 0;
  uint64_t available_bytes = 0;
};

// Sizes as `df` shows them: the whole file system, the space an ordinary user may still fill, and
// the space in use. Blocks kept back for the superuser count as neither free nor used, so free and
// used need not add up to the total.
struct SpaceFacts {
  uint64_t total_bytes = 0;
  uint64_t free_bytes = 0;
  uint64_t used_bytes = 0;
};

// A mounted file system of a removable block device.
struct RemovableMedium {
  std::string mount_point;  // host path
  SpaceFacts space;
};

// The first battery the system reports.
struct BatteryFacts {
  // 0..100; nullopt when the battery does not tell.
  std::optional<uint32_t> percent;
  // Seconds until empty while discharging; nullopt when unknown.
  std::optional<uint32_t> seconds_left;
  // The kernel's technology text ("Li-ion", "Li-poly", "NiCd", "NiMH", "Unknown", ...).
  std::string technology;
  // Tenths of a degree Celsius, as the kernel reports it.
  std::optional<int32_t> temperature_tenths;
  std::optional<int32_t> voltage_millivolts;
};

struct SystemVersion {
  std::string machine;  // "x86_64", "aarch64", "i686", ...
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

class DeviceFactsReader {
 public:
  // `root` is the folder that holds proc, sys and etc ("/" for the live system).
  explicit DeviceFactsReader(std::string root = "/");

  bool ReadMemory(MemoryFacts* memory) const;
  // The space of the file system that holds a host path; false with the errno's device error.
  static bool ReadSpace(const std::string& host_path, SpaceFacts* space);
  // The mount points of removable media, in the mount table's order (empty when none).
  std::vector<RemovableMedium> RemovableMedia() const;
  // False when the system has no battery.
  bool ReadBattery(BatteryFacts* battery) const;
  // The kernel's release and the architecture (from uname; the fixture root's are not used).
  static SystemVersion ReadVersion();
  // The product name of the machine; empty when unknown.
  std::string MachineModel() const;
  // The bytes of the machine id (16 for the usual 32 hexadecimal digits); false when missing.
  bool ReadMachineId(std::vector<uint8_t>* id) const;

 private:
  std::string root_;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_DEVICE_FACTS_H_

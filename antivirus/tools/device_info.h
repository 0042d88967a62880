// DeviceInfo: the machine's facts for the system information tool, each read afresh: sizes of
// memory and of the device's file system in a chosen unit, the battery, the processor, the system
// version, the machine's model and identifier, and the mounted removable media (the device's
// storage cards). Every operation runs under the object's lock and leaves its status readable:
// 0, kDeviceInfoNoBuffer, kDeviceIdFailed, kStatusFolderQueryFailed (17), kBadSizeQuery or
// kPowerStatusUnavailable.
#ifndef KOLVAR_ANTIVIRUS_TOOLS_DEVICE_INFO_H_
#define KOLVAR_ANTIVIRUS_TOOLS_DEVICE_INFO_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/lockable_object.h"
#include "platform/device_facts.h"

namespace kolvar::tools {

inline constexpr Status kDeviceInfoNoBuffer = 1;
inline constexpr Status kDeviceIdFailed = 2;
inline constexpr Status kBadSizeQuery = 18;
inline constexpr Status kPowerStatusUnavailable = 19;

// Size selectors.
enum SizeSelector : int {
  kDeviceMemory = 0,       // file system size plus total physical memory
  kProgramMemory = 1,      // total physical memory
  kFileSystemSize = 2,     // the size of the device root's file system
  kMemoryAvailable = 3,    // available physical memory
  kFileSystemFree = 4,     // free space of the device root's file system
  kProgramMemoryUsed = 5,  // total minus available memory
  kFileSystemUsed = 6,     // the space in use (without the blocks kept back for the superuser)
};

// Units.
enum SizeUnit : int { kBytes = 1, kKilobytes = 2, kMegabytes = 3, kGigabytes = 4 };

// Battery selectors.
enum BatterySelector : int {
  kBatteryPercent = 0,
  kBatteryLifeTime = 1,
  kBackupBatteryPercent = 2,
  kBatteryChemistry = 3,
  kBatteryTemperature = 4,
  kBatteryVoltage = 5,
};

// Chemistry numbers as the device's power status gives them.
inline constexpr uint32_t kChemistryAlkaline = 1;
inline constexpr uint32_t kChemistryNickelCadmium = 2;
inline constexpr uint32_t kChemistryNickelMetalHydride = 3;
inline constexpr uint32_t kChemistryLithiumIon = 4;
inline constexpr uint32_t kChemistryLithiumPolymer = 5;
inline constexpr uint32_t kChemistryUnknown = 255;
// The text of a chemistry number ("Lithium Ion", "(unknown)").
std::u16string ChemistryText(uint32_t chemistry);

// The processor type number of an architecture name (586 for "i686"), 0 when it has none.
uint32_t ProcessorTypeOf(const std::string& machine);
// The processor name of a processor type ("INTEL PENTIUM", "UNKNOWN").
std::u16string ProcessorName(uint32_t processor_type);

struct StorageCard {
  std::u16string name;  // the medium's folder name
  platform::SpaceFacts space;
};

class DeviceInfo : public LockableObject {
 public:
  // `facts_root` holds the proc, sys and etc folders read ("/" on the live system).
  explicit DeviceInfo(std::string facts_root = "/");

  // A size in the unit; 18 for a selector above 6 or a unit outside 1 to 4.
  bool Size(int selector, int unit, double* value);
  // A battery value: percent, seconds, tenths of a degree, millivolts, or the chemistry number
  // (kBatteryChemistry). 19 when there is no battery or it does not tell that value; a backup
  // battery (which Linux machines do not report) reads as 255.
  bool Battery(int selector, int64_t* value);
  // The machine identifier as lower-case hexadecimal, and its length in bytes; 2 when there is
  // none.
  bool DeviceId(std::u16string* hex, uint32_t* length_bytes);
  uint32_t ProcessorType();
  platform::SystemVersion Version();
  // The machine's product name (the device's OEM text); empty when unknown.
  std::u16string OemInfo();
  std::vector<StorageCard> StorageCards();

 private:
  bool ReadSize(int selector, double* bytes) const;

  platform::DeviceFactsReader reader_;
};

}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_DEVICE_INFO_H_

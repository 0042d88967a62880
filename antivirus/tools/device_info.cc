// The machine's facts; see device_info.h.
#include "antivirus/tools/device_info.h"

#include <cstdio>

#include "antivirus/tools/tool_texts.h"
#include "platform/path.h"
#include "platform/text.h"

namespace kolvar::tools {
namespace {

uint32_t ChemistryOf(const std::string& technology) {
  if (technology == "Li-ion") return kChemistryLithiumIon;
  if (technology == "Li-poly") return kChemistryLithiumPolymer;
  if (technology == "NiCd") return kChemistryNickelCadmium;
  if (technology == "NiMH") return kChemistryNickelMetalHydride;
  return kChemistryUnknown;
}

std::u16string LastName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return platform::DeviceNameFromHost(name.empty() ? path : name);
}

}  // namespace

std::u16string ChemistryText(uint32_t chemistry) {
  switch (chemistry) {
    case kChemistryAlkaline:
      return u"Alkaline";
    case kChemistryNickelCadmium:
      return u"Nickel Cadmium";
    case kChemistryLithiumIon:
      return u"Lithium Ion";
    case kChemistryLithiumPolymer:
      return u"Lithium Polymer";
    default:
      return texts::kUnknownChemistry;
  }
}

uint32_t ProcessorTypeOf(const std::string& machine) {
  if (machine == "i386") return 386;
  if (machine == "i486") return 486;
  if (machine == "i586" || machine == "i686") return 586;
  if (machine == "x86_64") return 8664;
  return 0;
}

std::u16string ProcessorName(uint32_t processor_type) {
  static const struct {
    uint32_t type;
    const char16_t* name;
  } kNames[] = {{386, u"INTEL 386"},     {486, u"INTEL 486"},     {586, u"INTEL PENTIUM"},
                {403, u"PPC 403"},       {1824, u"ARM720"},       {2080, u"ARM820"},
                {2336, u"ARM920"},       {2577, u"STRONGARM"},    {4000, u"MIPS R4000"},
                {10003, u"HITACHI SH3"}, {10005, u"HITACHI SH4"}, {70001, u"ARM 7TDMI"}};
  for (const auto& entry : kNames) {
    if (entry.type == processor_type) return entry.name;
  }
  return texts::kUnknownProcessor;
}

DeviceInfo::DeviceInfo(std::string facts_root)
    : LockableObject(true, kLockCriticalSection), reader_(std::move(facts_root)) {}

bool DeviceInfo::ReadSize(int selector, double* bytes) const {
  platform::MemoryFacts memory;
  platform::SpaceFacts store;
  const bool needs_memory =
      selector != kFileSystemSize && selector != kFileSystemFree && selector != kFileSystemUsed;
  const bool needs_store = selector == kDeviceMemory || !needs_memory;
  if (needs_memory && !reader_.ReadMemory(&memory)) return false;
  if (needs_store && !platform::DeviceFactsReader::ReadSpace(platform::HostPath(u"\\"), &store)) {
    return false;
  }
  switch (selector) {
    case kDeviceMemory:
      *bytes = static_cast<double>(store.total_bytes) + static_cast<double>(memory.total_bytes);
      break;
    case kProgramMemory:
      *bytes = static_cast<double>(memory.total_bytes);
      break;
    case kFileSystemSize:
      *bytes = static_cast<double>(store.total_bytes);
      break;
    case kMemoryAvailable:
      *bytes = static_cast<double>(memory.available_bytes);
      break;
    case kFileSystemFree:
      *bytes = static_cast<double>(store.free_bytes);
      break;
    case kProgramMemoryUsed:
      *bytes = static_cast<double>(memory.total_bytes - memory.available_bytes);
      break;
    default:
      // What files occupy, as df counts it: blocks kept back for the superuser are not "used".
      *bytes = static_cast<double>(store.used_bytes);
      break;
  }
  return true;
}

bool DeviceInfo::Size(int selector, int unit, double* value) {
  return RunLocked([&]() -> Status {
    if (value == nullptr) return kDeviceInfoNoBuffer;
    *value = 0;
    if (selector < 0 || selector > kFileSystemUsed || unit < kBytes || unit > kGigabytes) {
      return kBadSizeQuery;
    }
    double bytes = 0;
    // The device's memory and store queries do not fail; a host that cannot tell is "bad" here.
    if (!ReadSize(selector, &bytes)) return kBadSizeQuery;
    static constexpr double kScale[] = {1.0, 1.0 / 1024, 1.0 / 1048576, 1.0 / 1073741824};
    *value = bytes * kScale[unit - 1];
    return kStatusOk;
  });
}

bool DeviceInfo::Battery(int selector, int64_t* value) {
  return RunLocked([&]() -> Status {
    if (value == nullptr) return kDeviceInfoNoBuffer;
    *value = 0;
    platform::BatteryFacts battery;
    if (!reader_.ReadBattery(&battery)) return kPowerStatusUnavailable;
    switch (selector) {
      case kBatteryPercent:
        if (!battery.percent) return kPowerStatusUnavailable;
        *value = *battery.percent;
        return kStatusOk;
      case kBatteryLifeTime:
        if (!battery.seconds_left) return kPowerStatusUnavailable;
        *value = *battery.seconds_left;
        return kStatusOk;
      case kBackupBatteryPercent:
        *value = 255;  // the unknown percentage: no backup battery is reported
        return kStatusOk;
      case kBatteryChemistry:
        *value = ChemistryOf(battery.technology);
        return kStatusOk;
      case kBatteryTemperature:
        if (!battery.temperature_tenths) return kPowerStatusUnavailable;
        *value = *battery.temperature_tenths;
        return kStatusOk;
      case kBatteryVoltage:
        if (!battery.voltage_millivolts) return kPowerStatusUnavailable;
        *value = *battery.voltage_millivolts;
        return kStatusOk;
      default:
        return kPowerStatusUnavailable;
    }
  });
}

bool DeviceInfo::DeviceId(std::u16string* hex, uint32_t* length_bytes) {
  return RunLocked([&]() -> Status {
    if (hex == nullptr || length_bytes == nullptr) return kDeviceInfoNoBuffer;
    hex->clear();
    *length_bytes = 0;
    std::vector<uint8_t> id;
    if (!reader_.ReadMachineId(&id)) return kDeviceIdFailed;
    for (uint8_t byte : id) {
      char digits[3];
      snprintf(digits, sizeof digits, "%02x", byte);
      *hex += static_cast<char16_t>(digits[0]);
      *hex += static_cast<char16_t>(digits[1]);
    }
    *length_bytes = static_cast<uint32_t>(id.size());
    return kStatusOk;
  });
}

uint32_t DeviceInfo::ProcessorType() {
  return WithLock(
      [] { return ProcessorTypeOf(platform::DeviceFactsReader::ReadVersion().machine); });
}

platform::SystemVersion DeviceInfo::Version() {
  return WithLock([] { return platform::DeviceFactsReader::ReadVersion(); });
}

std::u16string DeviceInfo::OemInfo() {
  return WithLock([this] { return platform::Utf8ToUtf16Lossy(reader_.MachineModel()); });
}

std::vector<StorageCard> DeviceInfo::StorageCards() {
  return WithLock([this] {
    std::vector<StorageCard> cards;
    for (const platform::RemovableMedium& medium : reader_.RemovableMedia()) {
      cards.push_back({LastName(medium.mount_point), medium.space});
    }
    return cards;
  });
}

}  // namespace kolvar::tools

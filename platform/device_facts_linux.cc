// The machine's facts from /proc, /sys, /etc and the kernel; see device_facts.h.
#include <dirent.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <algorithm>
#include <charconv>
#include <sstream>

#include "platform/device_facts.h"
#include "platform/error.h"
#include "platform/posix_fd.h"
#include "platform/proc_parser_linux.h"

namespace kolvar::platform {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) {
    text.pop_back();
  }
  return text;
}

template <typename Number>
std::optional<Number> NumberIn(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::string trimmed = Trimmed(*text);
  Number value{};
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || end != trimmed.data() + trimmed.size()) return std::nullopt;
  return value;
}

// "MemTotal:       16384000 kB" -> bytes.
std::optional<uint64_t> MeminfoBytes(const std::string& text, std::string_view key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != ':') continue;
    std::istringstream fields(line.substr(key.size() + 1));
    uint64_t value = 0;
    std::string unit;
    if (!(fields >> value)) return std::nullopt;
    fields >> unit;
    return unit == "kB" ? value * 1024 : value;
  }
  return std::nullopt;
}

// Mount points in the mount table escape blanks, tabs, newlines and backslashes as \ooo.
std::string Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      int value = 0;
      const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 4, value, 8);
      if (error == std::errc() && end == text.data() + i + 4) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

DeviceFactsReader::DeviceFactsReader(std::string root) : root_(std::move(root)) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
}

bool DeviceFactsReader::ReadMemory(MemoryFacts* memory) const {
  const std::optional<std::string> text = internal::ReadSmallFile(root_ + "proc/meminfo");
  if (!text) return false;
  const std::optional<uint64_t> total = MeminfoBytes(*text, "MemTotal");
  std::optional<uint64_t> available = MeminfoBytes(*text, "MemAvailable");
  if (!available) available = MeminfoBytes(*text, "MemFree");  // kernels before 3.14
  if (!total || !available) return false;
  memory->total_bytes = *total;
  memory->available_bytes = *available;
  return true;
}

bool DeviceFactsReader::ReadSpace(const std::string& host_path, SpaceFacts* space) {
  struct statvfs st;
  if (internal::RetryOnEintr([&] { return statvfs(host_path.c_str(), &st); }) != 0) {
    return FailWithErrno(errno);
  }
  space->total_bytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
  space->free_bytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  space->used_bytes = static_cast<uint64_t>(st.f_blocks - st.f_bfree) * st.f_frsize;
  return true;
}

std::vector<RemovableMedium> DeviceFactsReader::RemovableMedia() const {
  std::vector<RemovableMedium> media;
  const std::optional<std::string> table = internal::ReadSmallFile(root_ + "proc/self/mountinfo");
  if (!table) return media;
  std::istringstream lines(*table);
  for (std::string line; std::getline(lines, line);) {
    // "id parent major:minor root mount-point options ... - type source super-options"
    std::istringstream fields(line);
    std::string id, parent, numbers, mount_root, mount_point;
    if (!(fields >> id >> parent >> numbers >> mount_root >> mount_point)) continue;
    const std::string block = root_ + "sys/dev/block/" + numbers;
    // A partition's flag is its disk's, one folder up.
    std::optional<uint32_t> removable =
        NumberIn<uint32_t>(internal::ReadSmallFile(block + "/removable"));
    if (!removable)
      removable = NumberIn<uint32_t>(internal::ReadSmallFile(block + "/../removable"));
    if (!removable || *removable != 1) continue;
    RemovableMedium medium;
    medium.mount_point = Unescaped(mount_point);
    ReadSpace(medium.mount_point, &medium.space);
    media.push_back(std::move(medium));
  }
  return media;
}

bool DeviceFactsReader::ReadBattery(BatteryFacts* battery) const {
  const std::string folder = root_ + "sys/class/power_supply";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string supply = folder + "/" + name + "/";
    const std::optional<std::string> type = internal::ReadSmallFile(supply + "type");
    if (!type || Trimmed(*type) != "Battery") continue;
    const std::optional<std::string> present = internal::ReadSmallFile(supply + "present");
    if (present && Trimmed(*present) == "0") continue;
    *battery = BatteryFacts();
    battery->percent = NumberIn<uint32_t>(internal::ReadSmallFile(supply + "capacity"));
    if (battery->percent && *battery->percent > 100) battery->percent.reset();
    battery->seconds_left =
        NumberIn<uint32_t>(internal::ReadSmallFile(supply + "time_to_empty_now"));
    const std::optional<std::string> technology = internal::ReadSmallFile(supply + "technology");
    battery->technology = technology ? Trimmed(*technology) : std::string();
    battery->temperature_tenths = NumberIn<int32_t>(internal::ReadSmallFile(supply + "temp"));
    // The kernel reports microvolts.
    if (const std::optional<int64_t> microvolts =
            NumberIn<int64_t>(internal::ReadSmallFile(supply + "voltage_now"))) {
      battery->voltage_millivolts = static_cast<int32_t>(*microvolts / 1000);
    }
    return true;
  }
  return false;
}

SystemVersion DeviceFactsReader::ReadVersion() {
  SystemVersion version;
  struct utsname names;
  if (uname(&names) != 0) return version;
  version.machine = names.machine;
  // "6.1.0-13-amd64": the first three numbers.
  uint32_t* parts[] = {&version.major, &version.minor, &version.build};
  const char* at = names.release;
  const char* end = at + std::char_traits<char>::length(at);
  for (uint32_t* part : parts) {
    const auto [next, error] = std::from_chars(at, end, *part);
    if (error != std::errc() || next == end || *next != '.') break;
    at = next + 1;
  }
  return version;
}

std::string DeviceFactsReader::MachineModel() const {
  for (const char* file : {"sys/class/dmi/id/product_name", "proc/device-tree/model"}) {
    const std::optional<std::string> text = internal::ReadSmallFile(root_ + file);
    if (text && !Trimmed(*text).empty()) return Trimmed(*text);
  }
  return {};
}

bool DeviceFactsReader::ReadMachineId(std::vector<uint8_t>* id) const {
  const std::optional<std::string> text = internal::ReadSmallFile(root_ + "etc/machine-id");
  if (!text) return false;
  const std::string digits = Trimmed(*text);
  if (digits.empty() || digits.size() % 2 != 0) return false;
  id->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    uint8_t byte = 0;
    const auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, byte, 16);
    if (error != std::errc() || end != digits.data() + i + 2) return false;
    id->push_back(byte);
  }
  return true;
}

}  // namespace kolvar::platform

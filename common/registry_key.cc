// RegistryKey over the platform's registry store; see registry_key.h.
#include "common/registry_key.h"

#include <cstring>
#include <utility>

#include "common/key_comparison.h"
#include "common/sorted_table.h"
#include "platform/error.h"

namespace kolvar {
namespace {

using platform::RegistryHandle;
using platform::RegistryRoot;

RegistryRoot RootOf(int selector) {
  switch (selector) {
    case kRegistryRootLocalMachine:
      return RegistryRoot::kLocalMachine;
    case kRegistryRootClassesRoot:
      return RegistryRoot::kClassesRoot;
    case kRegistryRootUsers:
      return RegistryRoot::kUsers;
    default:
      return RegistryRoot::kCurrentUser;
  }
}

// Splits a path at each "\"; the text after the last one is the last level (possibly empty,
// which names the level above it again).
std::vector<std::u16string> SplitLevels(const std::u16string& path) {
  std::vector<std::u16string> levels;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) {
      levels.push_back(path.substr(start));
      return levels;
    }
    levels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
}

std::u16string JoinLevels(const std::vector<std::u16string>& levels, size_t count) {
  std::u16string path;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) path += u'\\';
    path += levels[i];
  }
  return path;
}

}  // namespace

RegistryKey::RegistryKey(int path_mode, int root_selector)
    : LockableObject(true, kLockCriticalSection),
      root_(RootOf(root_selector)),
      path_mode_(path_mode) {}

RegistryKey::~RegistryKey() { key_.Close(); }

bool RegistryKey::Reset(int path_mode, int root_selector) {
  return RunLocked([&] {
    key_.Close();
    current_path_.clear();
    components_.clear();
    subkey_index_ = 0;
    path_mode_ = path_mode;
    root_ = RootOf(root_selector);
    return kStatusOk;
  });
}

std::u16string RegistryKey::CurrentPath() {
  return WithLock([&] { return current_path_; });
}

bool RegistryKey::OpenKey(std::u16string_view path, bool relative, bool create) {
  return RunLocked([&] { return OpenLocked(path, relative, create); });
}

Status RegistryKey::OpenLocked(std::u16string_view path, bool relative, bool create) {
  std::u16string new_path;
  if (relative) {
    if (path.find(u'\\') != std::u16string_view::npos) {
      platform::SetLastError(platform::kErrorInvalidParameter);
      return kStatusRelativePathHasSeparator;
    }
    new_path = current_path_ + u'\\';
    new_path += path;
  } else if (!path.empty()) {
    if (path_mode_ == kRegistryPathCompany) {
      new_path = kCompanyKeyPath;
      new_path += u'\\';
    }
    new_path += path;
  }
  // The device keeps the path in a fixed buffer; a longer one is refused rather than cut.
  if (new_path.size() >= kRegistryMaxPath) {
    platform::SetLastError(platform::kErrorFilenameExcedRange);
    return kStatusKeyOpenFailed;
  }
  RegistryHandle opened;
  if (!platform::OpenRegistryKey(root_, new_path, &opened)) {
    if (!create) return kStatusKeyOpenFailed;
    const Status created = CreateLevels(new_path);
    if (created != kStatusOk) return created;
    if (!platform::OpenRegistryKey(root_, new_path, &opened)) return kStatusKeyOpenFailed;
  }
  key_ = std::move(opened);
  current_path_ = std::move(new_path);
  subkey_index_ = 0;
  return kStatusOk;
}

// Creates the path one level at a time, each below its opened parent, as the device's accessor
// does; levels made before a failure stay.
Status RegistryKey::CreateLevels(const std::u16string& path) {
  std::vector<std::u16string> levels = SplitLevels(path);
  if (levels.size() > kRegistryMaxLevels) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return kStatusKeyOpenFailed;
  }
  components_ = std::move(levels);
  for (size_t i = 0; i < components_.size(); ++i) {
    RegistryHandle parent;
    if (i == 0) {
      parent = RegistryHandle(root_);
    } else if (!platform::OpenRegistryKey(root_, JoinLevels(components_, i), &parent)) {
      return kStatusKeyOpenFailed;
    }
    RegistryHandle child;
    if (!platform::CreateRegistryKey(parent, components_[i], &child)) return kStatusKeyOpenFailed;
  }
  return kStatusOk;
}

// 8 (last error 6) when no key is open.
Status RegistryKey::OpenKeyStatus() const {
  if (key_.IsValid()) return kStatusOk;
  platform::SetLastError(platform::kErrorInvalidHandle);
  return kStatusNoKeyOpen;
}

bool RegistryKey::FirstSubkey(char16_t* buffer, uint32_t* size) {
  return RunLocked([&]() -> Status {
    subkey_index_ = 0;
    const Status status = EnumerateLocked(buffer, size);
    return status;
  });
}

bool RegistryKey::NextSubkey(char16_t* buffer, uint32_t* size) {
  return RunLocked([&] { return EnumerateLocked(buffer, size); });
}

Status RegistryKey::EnumerateLocked(char16_t* buffer, uint32_t* size) {
  if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
  if (buffer == nullptr || size == nullptr) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return kStatusEnumerationFailed;
  }
  std::u16string name;
  if (!platform::EnumRegistryKey(key_, subkey_index_, &name)) {
    return platform::GetLastError() == platform::kErrorNoMoreItems ? kStatusNoMoreSubkeys
                                                                   : kStatusEnumerationFailed;
  }
  if (name.size() >= *size) {
    platform::SetLastError(platform::kErrorMoreData);
    return kStatusEnumerationFailed;
  }
  std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
  buffer[name.size()] = u'\0';
  *size = static_cast<uint32_t>(name.size());
  ++subkey_index_;
  return kStatusOk;
}

bool RegistryKey::ValueNames(SortedTable* table) {
  return RunLocked([&] { return ValueNamesLocked(table); });
}

Status RegistryKey::ValueNamesLocked(SortedTable* table) {
  if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
  if (table == nullptr) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return kStatusBadArgument;
  }
  if (!table->Clear() || !table->SetKeyLength(kValueNameKeyLength)) {
    return kStatusEnumerationFailed;
  }
  table->SetSortComparison(CompareTextNoCase);
  table->SetSearchComparison(CompareTextNoCase);
  constexpr size_t kMaxName = kValueNameKeyLength / sizeof(char16_t) - 1;
  platform::RegistryValue value;
  for (uint32_t index = 0;; ++index) {
    if (!platform::EnumRegistryValue(key_, index, &value)) {
      if (platform::GetLastError() == platform::kErrorNoMoreItems) break;
      return kStatusEnumerationFailed;
    }
    if (value.name.size() > kMaxName) {
      platform::SetLastError(platform::kErrorMoreData);
      return kStatusEnumerationFailed;
    }
    char16_t key[kValueNameKeyLength / sizeof(char16_t)] = {};
    std::memcpy(key, value.name.data(), value.name.size() * sizeof(char16_t));
    const auto record_size = static_cast<uint32_t>((value.name.size() + 1) * sizeof(char16_t));
    if (!table->Add(key, record_size, key, true)) return kStatusEnumerationFailed;
  }
  if (table->Count() > 1 && !table->Sort()) return kStatusEnumerationFailed;
  return kStatusOk;
}

uint32_t RegistryKey::ValueSize(std::u16string_view name) {
  uint32_t size = 0;
  RunLocked([&] {
    if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
    if (platform::QueryRegistryValue(key_, name, nullptr, nullptr, &size)) return kStatusOk;
    size = 0;
    return kStatusValueReadFailed;
  });
  return size;
}

int64_t RegistryKey::ValueType(std::u16string_view name) {
  uint32_t type = 0;
  const bool known = RunLocked([&] {
    if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
    uint32_t size = 0;
    if (!platform::QueryRegistryValue(key_, name, &type, nullptr, &size)) {
      return kStatusValueReadFailed;
    }
    return kStatusOk;
  });
  return known ? static_cast<int64_t>(type) : -1;
}

bool RegistryKey::GetValue(std::u16string_view name, uint32_t expected_type, void* buffer,
                           uint32_t* size) {
  return RunLocked([&] { return GetValueLocked(name, expected_type, buffer, size); });
}

Status RegistryKey::GetValueLocked(std::u16string_view name, uint32_t expected_type, void* buffer,
                                   uint32_t* size) {
  if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
  if (size == nullptr || (buffer == nullptr && *size != 0)) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return kStatusValueReadFailed;
  }
  platform::RegistryValue value;
  if (!platform::ReadRegistryValue(key_, name, &value)) return kStatusValueReadFailed;
  if (value.type != expected_type) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return kStatusValueReadFailed;
  }
  const auto needed = static_cast<uint32_t>(value.data.size());
  if (needed > *size) {
    // The device would report success here with the buffer unfilled; a caller could then take
    // stale bytes for the value, so a short buffer is a failure that tells the size needed.
    *size = needed;
    platform::SetLastError(platform::kErrorMoreData);
    return kStatusValueReadFailed;
  }
  if (needed != 0) std::memcpy(buffer, value.data.data(), needed);
  *size = needed;
  return kStatusOk;
}

bool RegistryKey::SetValue(std::u16string_view name, uint32_t type, const void* data,
                           uint32_t size) {
  return RunLocked([&] {
    if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
    return platform::SetRegistryValue(key_, name, type, data, size) ? kStatusOk
                                                                    : kStatusValueWriteFailed;
  });
}

bool RegistryKey::DeleteValue(std::u16string_view name) {
  return RunLocked([&] {
    if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
    return platform::DeleteRegistryValue(key_, name) ? kStatusOk : kStatusValueDeleteFailed;
  });
}

bool RegistryKey::DeleteSubkey(std::u16string_view name) {
  return RunLocked([&] {
    if (Status status = OpenKeyStatus(); status != kStatusOk) return status;
    return platform::DeleteRegistryKey(key_, name) ? kStatusOk : kStatusSubkeyDeleteFailed;
  });
}

}  // namespace kolvar

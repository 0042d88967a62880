// The programs' one way into the device registry: a RegistryKey holds one open key under a chosen
// root, builds key paths below the suite's company key "Software\Kolvar Corp." or from the root,
// creates missing keys level by level on request, and reads, writes, enumerates and deletes values
// and subkeys, keeping the status of its last operation like every library object (status codes
// 6 to 14, with the platform's error beside them).
#ifndef KOLVAR_COMMON_REGISTRY_KEY_H_
#define KOLVAR_COMMON_REGISTRY_KEY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/lockable_object.h"
#include "platform/registry_store.h"

namespace kolvar {

class SortedTable;

// Path modes: paths below the company key, or from the root (any value other than 1).
inline constexpr int kRegistryPathCompany = 1;
inline constexpr int kRegistryPathRoot = 0;

// Root selectors (any value not listed selects HKEY_CURRENT_USER).
inline constexpr int kRegistryRootCurrentUser = 1;
inline constexpr int kRegistryRootLocalMachine = 2;
inline constexpr int kRegistryRootClassesRoot = 3;
inline constexpr int kRegistryRootUsers = 4;

// The suite's company key, below which mode 1 builds its paths.
inline constexpr char16_t kCompanyKeyPath[] = u"Software\\Kolvar Corp.";

// Longest current path, in characters, including the terminating NUL of the device's buffer.
inline constexpr size_t kRegistryMaxPath = 260;
// Most levels a created path may have.
inline constexpr size_t kRegistryMaxLevels = 32;
// Key length of the value-name table: 256 wide characters (255 and a NUL).
inline constexpr uint32_t kValueNameKeyLength = 512;

class RegistryKey : public LockableObject {
 public:
  RegistryKey(int path_mode, int root_selector);
  ~RegistryKey() override;

  // Closes the open key, clears the path and the enumeration, sets mode and root. Always true.
  bool Reset(int path_mode, int root_selector);

  // Builds the new current path (from the company key, from the root, or with `relative` one
  // level below the current path) and opens it, with `create` making every missing level first.
  // 6 for a relative path that holds "\", 7 when the key cannot be opened or created. On failure
  // the open key and the current path stay as they were.
  bool OpenKey(std::u16string_view path, bool relative, bool create);

  // The subkeys of the open key, one per call, in the registry's order. `size` is the buffer's
  // capacity in characters on entry and the name's length (without its NUL) on return. 13 after
  // the last, 8 without an open key, 14 on another failure (also for a name that does not fit,
  // which then stays next).
  bool FirstSubkey(char16_t* buffer, uint32_t* size);
  bool NextSubkey(char16_t* buffer, uint32_t* size);

  // Empties the table, gives it 512-byte keys compared as text without regard to case, adds the
  // name of every value of the open key (as key and as record) and sorts it. 14 when the
  // enumeration fails before its end (also for a name longer than 255 characters), 8 without an
  // open key.
  bool ValueNames(SortedTable* table);

  // The value's size in bytes; 0 with 12 (or 8) on failure.
  uint32_t ValueSize(std::u16string_view name);
  // The value's type; -1 with 12 (or 8) on failure.
  int64_t ValueType(std::u16string_view name);
  // Reads the value into the buffer of *size bytes. 12 when it cannot be read, when its type is
  // not `expected_type` (the size then stays unchanged), or when the buffer is too small (the size
  // then receives the size needed and the buffer is untouched). 8 without an open key.
  bool GetValue(std::u16string_view name, uint32_t expected_type, void* buffer, uint32_t* size);
  // 11 on failure, 8 without an open key.
  bool SetValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size);
  // 9 on failure, 8 without an open key.
  bool DeleteValue(std::u16string_view name);
  // Deletes a subkey of the open key with everything below it. 10 on failure, 8 without an open
  // key.
  bool DeleteSubkey(std::u16string_view name);

  bool IsOpen() const { return key_.IsValid(); }
  // The current path (without the root); a copy, since another thread may change it.
  std::u16string CurrentPath();
  platform::RegistryRoot root() const { return root_; }
  int path_mode() const { return path_mode_; }

 private:
  Status OpenKeyStatus() const;
  Status OpenLocked(std::u16string_view path, bool relative, bool create);
  Status CreateLevels(const std::u16string& path);
  Status EnumerateLocked(char16_t* buffer, uint32_t* size);
  Status ValueNamesLocked(SortedTable* table);
  Status GetValueLocked(std::u16string_view name, uint32_t expected_type, void* buffer,
                        uint32_t* size);

  platform::RegistryHandle key_;
  std::u16string current_path_;
  std::vector<std::u16string> components_;  // the levels of the path last created
  platform::RegistryRoot root_ = platform::RegistryRoot::kCurrentUser;
  int path_mode_ = kRegistryPathCompany;
  uint32_t subkey_index_ = 0;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_REGISTRY_KEY_H_

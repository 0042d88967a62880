// The device registry: a tree of keys under four roots, each key holding typed values, shared by
// every program of the user. It lives in one SQLite database, "registry.db" in the Windows folder,
// which several programs read and write at once. Key and value names are compared without regard
// to case (registry_fold.h) and keep the spelling they were created with. Failures return false
// and set the device's last error: 2 not found, 5 access denied (a root cannot be deleted), 6 no
// handle, 87 bad name, 170 the database stayed busy, 234 more data, 259 no more items, 1009 the
// database file is damaged or another program's, 1018 the key was deleted while open.
#ifndef KOLVAR_PLATFORM_REGISTRY_STORE_H_
#define KOLVAR_PLATFORM_REGISTRY_STORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar::platform {

// The predefined root keys, with the device's handle values.
enum class RegistryRoot : uint32_t {
  kClassesRoot = 0x80000000,
  kCurrentUser = 0x80000001,
  kLocalMachine = 0x80000002,
  kUsers = 0x80000003,
};

// Value types of the device. The store keeps the bytes of every type as given; the types only
// tell readers how to take them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;        // UTF-16LE text, normally with its terminating NUL
inline constexpr uint32_t kRegExpandSz = 2;  // the same, with %VARIABLES%
inline constexpr uint32_t kRegBinary = 3;    // any bytes
inline constexpr uint32_t kRegDword = 4;     // 32-bit number, little-endian
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;  // UTF-16LE texts, each NUL-terminated, then one NUL
inline constexpr uint32_t kRegResourceList = 8;

// Longest key name (one level) and value name, in characters.
inline constexpr size_t kMaxRegistryKeyName = 255;
inline constexpr size_t kMaxRegistryValueName = 16383;

// The host path of the database, for tools and tests: registry.db in the Windows folder.
bool RegistryDatabasePath(std::string* host_path);

namespace registry_internal {
class Database;
}  // namespace registry_internal

// An open key, or one of the roots. Closed by the destructor; movable, not copyable. A handle
// keeps the database it was opened in even when KOLVAR_DEVICE_ROOT changes later; a root handle
// resolves the database at each use. A key deleted while a handle is open stays deleted: the
// handle then fails with 1018 (and a key created later under the same name is a different key).
class RegistryHandle {
 public:
  RegistryHandle() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): roots stand wherever a handle may, as on the
  // device.
  RegistryHandle(RegistryRoot root);
  ~RegistryHandle();
  RegistryHandle(RegistryHandle&& other) noexcept;
  RegistryHandle& operator=(RegistryHandle&& other) noexcept;
  RegistryHandle(const RegistryHandle&) = delete;
  RegistryHandle& operator=(const RegistryHandle&) = delete;

  bool IsValid() const { return key_id_ != 0; }
  bool IsRoot() const;
  void Close();

 private:
  friend class RegistryAccess;
  // Where the last enumeration of subkeys or values stopped, so that asking for the next index
  // continues from that row instead of counting from the first one again.
  struct EnumCursor {
    const void* database = nullptr;
    uint32_t index = 0;
    int64_t row = 0;
  };

  std::shared_ptr<registry_internal::Database> database_;
  int64_t key_id_ = 0;
  mutable EnumCursor key_cursor_;
  mutable EnumCursor value_cursor_;
};

// A path below a key is one or more key names joined by "\"; empty levels (a leading, doubled or
// trailing "\") are skipped, so an empty path names the key itself.

// Opens an existing key. 2 when it (or a level above it) is missing.
bool OpenRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key);
// Opens a key, creating every missing level in one step. *created (when given) tells whether the
// last level was created now.
bool CreateRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key,
                       bool* created = nullptr);
// Deletes a key below `parent` together with everything below it (as the device does). 2 when
// missing, 5 for an empty path (a root, or the parent itself).
bool DeleteRegistryKey(const RegistryHandle& parent, std::u16string_view path);

// The name of the index-th subkey, in the order the keys were created; 259 past the last. Asking
// for the indexes in turn costs one step each.
bool EnumRegistryKey(const RegistryHandle& key, uint32_t index, std::u16string* name);

struct RegistryValue {
  std::u16string name;
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;
};
// The index-th value (name, type and data), in the order the values were first set; 259 past the
// last. The empty name is the key's default value.
bool EnumRegistryValue(const RegistryHandle& key, uint32_t index, RegistryValue* value);

// Reads a value as the device does. `type` (when given) receives the type. With `data` null,
// *size receives the size and the call succeeds. With a buffer of *size bytes too small, the call
// fails with 234 and *size receives the size needed. Otherwise the bytes are copied and *size is
// their count. 2 when the value is missing.
bool QueryRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t* type,
                        void* data, uint32_t* size);
// The whole value in one call.
bool ReadRegistryValue(const RegistryHandle& key, std::u16string_view name, RegistryValue* value);
// Creates or replaces a value; a replaced value keeps its place and spelling.
bool SetRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t type,
                      const void* data, uint32_t size);
// 2 when missing.
bool DeleteRegistryValue(const RegistryHandle& key, std::u16string_view name);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_REGISTRY_STORE_H_

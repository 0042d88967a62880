// The configuration store: an in-memory database of named sections, each holding named, typed
// binary values, saved as a whole to one file (kvmavcfg.dat, kvmupdi.dat) whose body is encrypted
// with an attached cipher. Several programs open the same file at once: every operation holds the
// store's named mutex, and an 8-byte shared block per store name ({last writer's process id, save
// counter}) tells a program that another one has saved since it last loaded.
#ifndef KOLVAR_COMMON_CONFIG_STORE_H_
#define KOLVAR_COMMON_CONFIG_STORE_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/data_file.h"
#include "common/lockable_object.h"
#include "common/shared_block.h"
#include "common/sorted_table.h"
#include "common/tracked_heap.h"

namespace kolvar {

class CipherContext;

// Section and key names: 8-bit text in a NUL-padded 32-byte field, at most 31 characters, compared
// as the raw bytes of the whole field.
inline constexpr size_t kConfigNameLength = 32;
inline constexpr size_t kConfigMaxNameCharacters = kConfigNameLength - 1;

// Value types that the programs use (the store itself keeps any type as given).
inline constexpr uint32_t kConfigTypeText = 1;     // UTF-16LE; the size counts bytes
inline constexpr uint32_t kConfigTypeInteger = 2;  // 32-bit little-endian, size 4

inline constexpr uint32_t kConfigMagic1 = 0xAABB1122;  // bytes 22 11 BB AA
inline constexpr uint32_t kConfigMagic2 = 0x3344CCDD;  // bytes DD CC 44 33

static_assert(std::endian::native == std::endian::little);

// The file's header, never encrypted; the body follows at offset 16.
// Layout: docs/formats.md#configuration-store
struct ConfigFileHeader {
  uint32_t magic1;
  uint32_t magic2;
  uint32_t encrypted;  // 1 when the body is encrypted
  uint32_t section_count;
};
static_assert(sizeof(ConfigFileHeader) == 16);
static_assert(offsetof(ConfigFileHeader, magic1) == 0);
static_assert(offsetof(ConfigFileHeader, magic2) == 4);
static_assert(offsetof(ConfigFileHeader, encrypted) == 8);
static_assert(offsetof(ConfigFileHeader, section_count) == 12);

// A section in the body, followed by its keys.
// Layout: docs/formats.md#configuration-store
struct ConfigSectionHeader {
  char name[kConfigNameLength];
  uint32_t key_count;
};
static_assert(sizeof(ConfigSectionHeader) == 36);
static_assert(offsetof(ConfigSectionHeader, key_count) == 32);

// A key in the body, followed by `size` value bytes.
// Layout: docs/formats.md#configuration-store
struct ConfigKeyHeader {
  char name[kConfigNameLength];
  uint32_t type;
  uint32_t size;
};
static_assert(sizeof(ConfigKeyHeader) == 40);
static_assert(offsetof(ConfigKeyHeader, type) == 32);
static_assert(offsetof(ConfigKeyHeader, size) == 36);

// The change block "SHD_" + store name.
// Layout: docs/formats.md#configuration-change-block
struct ConfigChangeBlock {
  uint32_t writer_process_id;
  uint32_t save_counter;
};
static_assert(sizeof(ConfigChangeBlock) == 8);
static_assert(offsetof(ConfigChangeBlock, save_counter) == 4);

class ConfigStore : public LockableObject {
 public:
  // The programs' store names.
  static constexpr char16_t kConfigurationName[] = u"_@KVMAVGENCFG@_";
  static constexpr char16_t kUpdateInformationName[] = u"_@KVMAVGENUPDI@_";

  // Opens the change block "SHD_" + name (a new block starts as {own process id, 0}; an existing
  // one gives its counter as the one last seen). Status 79 when the block cannot be set up, 1 for
  // an empty name; the store then still works in memory.
  explicit ConfigStore(std::u16string_view name, bool private_heaps = false);
  ~ConfigStore() override;

  // Keeps the cipher (not owned, null for none) and derives its key when it has none yet; a failed
  // derivation leaves the cipher's status as the store's.
  bool AttachCipher(CipherContext* cipher);

  // Names: null, empty or longer than 31 characters fail with 1.
  // Adds an empty section and makes it current. 83 when it exists.
  bool AddSection(const char* name);
  // 81 when the store has no sections, 82 when the section does not exist.
  bool SelectSection(const char* name);
  // Leaves the current section as it is.
  bool HasSection(const char* name);

  // Adds a key to the current section with a copy of `size` bytes. 84 without sections, 1 for
  // missing data of a non-empty value, 86 when the key exists (its value stays), 47 without
  // memory.
  bool AddValue(const char* key, uint32_t type, uint32_t size, const void* data);
  // Copies min(*size, stored size) bytes into `buffer` and returns the stored size in *size (a
  // short buffer is no error; a null buffer only asks for the size). With a section name that
  // section is read (82 when absent) and the current section stays. 84 without sections, 87 when
  // the section has no keys, 16 when the key does not exist.
  bool GetValue(const char* key, uint32_t* size, void* buffer, const char* section = nullptr);
  // The stored type and size of a key, found as GetValue finds it.
  bool GetValueInfo(const char* key, uint32_t* type, uint32_t* size, const char* section = nullptr);
  // Replaces type and value of an existing key (16 when missing, 87 when the section is empty).
  bool SetValue(const char* key, uint32_t type, uint32_t size, const void* data,
                const char* section = nullptr);
  // Removes a key and frees its value (16 when missing, 87 when the section is empty). Used by
  // the command-line tool; the programs never remove keys.
  bool DeleteValue(const char* key, const char* section = nullptr);
  // Removes every section and key. 81 when the store is empty already.
  bool Clear();

  // Enumeration in name order; the names land in CurrentSectionName() / CurrentKeyName(). Section
  // enumeration does not change the current section. 81 without sections, 85 past the last one.
  bool FirstSection();
  bool NextSection();
  // Over the current section: 84 without sections, 87 when it has no keys, 15 past the last one.
  bool FirstKey();
  bool NextKey();
  // Keys of the current section; -1 with status 81 when the store has no sections.
  int32_t KeyCount();
  const char* CurrentSectionName() const { return current_section_name_; }
  const char* CurrentKeyName() const { return current_key_name_; }

  // Writes the store to `path` (84 without sections, 1 for an empty path). The new file is written
  // beside the old one and renamed over it, so a crash leaves the old or the new file, never a
  // part; then the change block is advanced.
  bool Save(std::u16string_view path);
  // Reads `path` and merges it: sections the store lacks are added with their keys; a section the
  // store holds keeps its values. With clear_first the store is emptied once the file has been
  // read and decrypted. 88 for a file shorter than its header, or a body that ends before its
  // counts are met (what was read in full is kept), 89 wrong magic, 90 encrypted without a cipher,
  // 91 decryption failed, or the file wrapper's code when the file cannot be opened.
  bool Load(std::u16string_view path, bool clear_first);
  // True when a program other than this one has saved a store of this name since this object
  // last loaded or saved.
  bool IsModifiedElsewhere();

  // The running byte count of the plain body that Save would write.
  uint32_t SerializedSize();
  uint32_t SectionCount();
  const std::u16string& name() const { return name_; }

 private:
  // Room for the cipher's padding beyond the plain body, in the scratch block of a save.
  static constexpr uint32_t kScratchSlack = 64;

  // A record of the section table.
  struct Section {
    char name[kConfigNameLength];
    SortedTable* keys;
  };
  // A record of a section's key table; the value lies in heap_.
  struct Key {
    char name[kConfigNameLength];
    uint32_t size;
    uint32_t type;
    void* value;
  };
  struct Body;

  Status OpenChangeBlock(std::u16string_view name);
  Status AddSectionLocked(const char (&name)[kConfigNameLength]);
  Status FindSection(const char (&name)[kConfigNameLength], Section* section);
  Status ResolveSection(const char* section_name, Section* section);
  Status FindKey(const char* key_name, const char* section_name, SortedTable** keys, Key* key);
  Status AddValueLocked(SortedTable* keys, const char (&name)[kConfigNameLength], uint32_t type,
                        uint32_t size, const void* data);
  Status ClearLocked();
  Status MoveSectionCursor(uint32_t cursor);
  Status CurrentKeysStatus();
  Status MoveKeyCursor(uint32_t cursor);
  Status SaveLocked(std::u16string_view path);
  Status WriteFile(std::u16string_view path, const uint8_t* body, uint32_t body_length);
  Status LoadLocked(std::u16string_view path, bool clear_first);
  Status ReadBody(std::u16string_view path, ConfigFileHeader* header, std::unique_ptr<Body>* body);
  Status Merge(const ConfigFileHeader& header, const uint8_t* body, uint32_t length);
  void Serialize(uint8_t* out);
  bool ReadChangeBlock(ConfigChangeBlock* block);

  std::u16string name_;
  DataFile file_;
  TrackedHeap heap_;
  SortedTable sections_;
  CipherContext* cipher_ = nullptr;
  std::unique_ptr<SharedBlock> change_;
  uint32_t seen_counter_ = 0;
  uint32_t serialized_size_ = 0;
  uint32_t section_cursor_ = 0;
  uint32_t key_cursor_ = 0;
  char current_section_name_[kConfigNameLength] = {};
  char current_key_name_[kConfigNameLength] = {};
  bool private_heaps_;
  SortedTable* current_keys_ = nullptr;  // key table of the current section
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_CONFIG_STORE_H_

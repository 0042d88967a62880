// ConfigStore's table: sections and keys in sorted tables, values in a tracked heap, the cursors
// of enumeration, and the change block that tells of saves by other programs. The file format
// lives in config_store_file.cc.
#include "common/config_store.h"

#include <cstring>
#include <new>

#include "common/cipher_context.h"
#include "platform/error.h"
#include "platform/process.h"

namespace kolvar {
namespace {

constexpr uint32_t kSectionBytes = sizeof(ConfigSectionHeader);
constexpr uint32_t kKeyBytes = sizeof(ConfigKeyHeader);

// Copies a caller's name into a zero-filled 32-byte field; false for a missing, empty or too long
// name.
bool MakeName(const char* name, char (&field)[kConfigNameLength]) {
  std::memset(field, 0, sizeof field);
  if (name == nullptr || name[0] == '\0') return false;
  const size_t length = strnlen(name, kConfigNameLength);
  if (length > kConfigMaxNameCharacters) return false;
  std::memcpy(field, name, length);
  return true;
}

}  // namespace

ConfigStore::ConfigStore(std::u16string_view name, bool private_heaps)
    : LockableObject(true, kLockMutex, name),
      name_(name),
      heap_(!private_heaps),
      sections_(kConfigNameLength, private_heaps),
      private_heaps_(private_heaps) {
  // This object serialises every use of its parts under its own lock.
  file_.SetLocking(false);
  heap_.SetLocking(false);
  sections_.SetLocking(false);
  RunLocked([&] { return OpenChangeBlock(name); });
}

ConfigStore::~ConfigStore() {
  WithLock([&] { return ClearLocked(); });
}

Status ConfigStore::OpenChangeBlock(std::u16string_view name) {
  if (sections_.GetStatus() != kStatusOk) return sections_.GetStatus();
  if (heap_.GetStatus() != kStatusOk) return heap_.GetStatus();
  if (name.empty()) return kStatusBadArgument;
  change_ =
      std::make_unique<SharedBlock>(u"SHD_" + std::u16string(name), sizeof(ConfigChangeBlock));
  change_->SetLocking(false);  // read and written under the store's lock only
  if (!change_->IsReady()) {
    const Status status = change_->GetStatus();
    change_.reset();
    return status;
  }
  if (change_->IsNew()) {
    ConfigChangeBlock block{static_cast<uint32_t>(platform::CurrentProcessId()), 0};
    change_->Write(&block, sizeof block, true);
  } else {
    ConfigChangeBlock block{};
    if (change_->Read(&block, sizeof block, true)) seen_counter_ = block.save_counter;
  }
  return kStatusOk;
}

bool ConfigStore::AttachCipher(CipherContext* cipher) {
  return RunLocked([&]() -> Status {
    cipher_ = cipher;
    if (cipher == nullptr || cipher->DigestLength() != 0 || cipher->DeriveKey()) return kStatusOk;
    uint32_t error = 0;
    const Status status = cipher->GetStatus(&error);
    platform::SetLastError(error);
    return status;
  });
}

Status ConfigStore::FindSection(const char (&name)[kConfigNameLength], Section* section) {
  if (sections_.Count() == 0) return kStatusStoreHasNoSections;
  if (!sections_.Find(name)) return kStatusSectionNotFound;
  sections_.Get(section, sizeof *section);
  return kStatusOk;
}

Status ConfigStore::AddSectionLocked(const char (&name)[kConfigNameLength]) {
  Section existing;
  if (FindSection(name, &existing) == kStatusOk) return kStatusSectionExists;
  if (serialized_size_ > UINT32_MAX - kScratchSlack - kSectionBytes) return kStatusOutOfMemory;
  auto* keys = new (std::nothrow) SortedTable(kConfigNameLength, private_heaps_);
  if (keys == nullptr) return kStatusOutOfMemory;
  if (keys->GetStatus() != kStatusOk) {
    const Status status = keys->GetStatus();
    delete keys;
    return status;
  }
  keys->SetLocking(false);
  Section section{};
  std::memcpy(section.name, name, sizeof section.name);
  section.keys = keys;
  if (!sections_.Add(&section, sizeof section, section.name)) {
    delete keys;
    return sections_.GetStatus();
  }
  serialized_size_ += kSectionBytes;
  current_keys_ = keys;
  return kStatusOk;
}

bool ConfigStore::AddSection(const char* name) {
  return RunLocked([&] {
    char field[kConfigNameLength];
    return MakeName(name, field) ? AddSectionLocked(field) : kStatusBadArgument;
  });
}

bool ConfigStore::SelectSection(const char* name) {
  return RunLocked([&] {
    char field[kConfigNameLength];
    Section section;
    const Status status = MakeName(name, field) ? FindSection(field, &section) : kStatusBadArgument;
    if (status == kStatusOk) current_keys_ = section.keys;
    return status;
  });
}

bool ConfigStore::HasSection(const char* name) {
  return RunLocked([&] {
    char field[kConfigNameLength];
    Section section;
    return MakeName(name, field) ? FindSection(field, &section) : kStatusBadArgument;
  });
}

// The section that a key operation works on: the named one, else the current one.
Status ConfigStore::ResolveSection(const char* section_name, Section* section) {
  if (sections_.Count() == 0) return kStatusNoSectionsForKeys;
  if (section_name == nullptr) {
    if (current_keys_ == nullptr) return kStatusNoSectionsForKeys;
    section->keys = current_keys_;
    return kStatusOk;
  }
  char field[kConfigNameLength];
  if (!MakeName(section_name, field)) return kStatusBadArgument;
  return FindSection(field, section);
}

Status ConfigStore::FindKey(const char* key_name, const char* section_name, SortedTable** keys,
                            Key* key) {
  char field[kConfigNameLength];
  if (!MakeName(key_name, field)) return kStatusBadArgument;
  Section section;
  if (Status status = ResolveSection(section_name, &section); status != kStatusOk) return status;
  *keys = section.keys;
  if (section.keys->Count() == 0) return kStatusSectionHasNoKeys;
  if (!section.keys->Find(field)) return kStatusKeyNotFound;
  section.keys->Get(key, sizeof *key);
  return kStatusOk;
}

Status ConfigStore::AddValueLocked(SortedTable* keys, const char (&name)[kConfigNameLength],
                                   uint32_t type, uint32_t size, const void* data) {
  if (size != 0 && data == nullptr) return kStatusBadArgument;
  if (keys->Count() != 0 && keys->Find(name)) return kStatusKeyExists;
  if (size > UINT32_MAX - kScratchSlack - kKeyBytes ||
      serialized_size_ > UINT32_MAX - kScratchSlack - kKeyBytes - size) {
    return kStatusOutOfMemory;
  }
  Key key{};
  std::memcpy(key.name, name, sizeof key.name);
  key.size = size;
  key.type = type;
  if (size != 0) {
    key.value = heap_.Allocate(size, true);
    if (key.value == nullptr) return kStatusOutOfMemory;
    std::memcpy(key.value, data, size);
  }
  if (!keys->Add(&key, sizeof key, key.name)) {
    if (key.value != nullptr) heap_.Free(key.value);
    return keys->GetStatus();
  }
  serialized_size_ += kKeyBytes + size;
  return kStatusOk;
}

bool ConfigStore::AddValue(const char* key, uint32_t type, uint32_t size, const void* data) {
  return RunLocked([&] {
    char field[kConfigNameLength];
    if (!MakeName(key, field)) return kStatusBadArgument;
    if (Status status = CurrentKeysStatus(); status != kStatusOk) return status;
    return AddValueLocked(current_keys_, field, type, size, data);
  });
}

bool ConfigStore::GetValue(const char* key, uint32_t* size, void* buffer, const char* section) {
  return RunLocked([&] {
    if (size == nullptr) return kStatusBadArgument;
    SortedTable* keys = nullptr;
    Key found;
    const Status status = FindKey(key, section, &keys, &found);
    if (status != kStatusOk) return status;
    const uint32_t capacity = buffer == nullptr ? 0 : *size;
    const uint32_t copied = capacity < found.size ? capacity : found.size;
    if (copied != 0) std::memcpy(buffer, found.value, copied);
    *size = found.size;
    return kStatusOk;
  });
}

bool ConfigStore::GetValueInfo(const char* key, uint32_t* type, uint32_t* size,
                               const char* section) {
  return RunLocked([&] {
    SortedTable* keys = nullptr;
    Key found;
    const Status status = FindKey(key, section, &keys, &found);
    if (status != kStatusOk) return status;
    if (type != nullptr) *type = found.type;
    if (size != nullptr) *size = found.size;
    return kStatusOk;
  });
}

bool ConfigStore::SetValue(const char* key, uint32_t type, uint32_t size, const void* data,
                           const char* section) {
  return RunLocked([&] {
    SortedTable* keys = nullptr;
    Key found;
    if (Status status = FindKey(key, section, &keys, &found); status != kStatusOk) return status;
    if (size != 0 && data == nullptr) return kStatusBadArgument;
    if (size > found.size &&
        (size - found.size > UINT32_MAX - kScratchSlack ||
         serialized_size_ > UINT32_MAX - kScratchSlack - (size - found.size))) {
      return kStatusOutOfMemory;
    }
    void* value = nullptr;
    if (size != 0) {
      value = heap_.Allocate(size, true);
      if (value == nullptr) return kStatusOutOfMemory;
      std::memcpy(value, data, size);
    }
    Key updated = found;
    updated.size = size;
    updated.type = type;
    updated.value = value;
    // FindKey left the table's cursor on the key.
    if (!keys->Update(&updated, sizeof updated)) {
      if (value != nullptr) heap_.Free(value);
      return keys->GetStatus();
    }
    if (found.value != nullptr) heap_.Free(found.value);
    serialized_size_ = serialized_size_ - found.size + size;
    return kStatusOk;
  });
}

bool ConfigStore::DeleteValue(const char* key, const char* section) {
  return RunLocked([&] {
    SortedTable* keys = nullptr;
    Key found;
    if (Status status = FindKey(key, section, &keys, &found); status != kStatusOk) return status;
    if (!keys->Delete()) return keys->GetStatus();
    if (found.value != nullptr) heap_.Free(found.value);
    serialized_size_ -= kKeyBytes + found.size;
    return kStatusOk;
  });
}

Status ConfigStore::ClearLocked() {
  const uint32_t count = sections_.Count();
  if (count == 0) return kStatusStoreHasNoSections;
  for (uint32_t i = 0; i < count; ++i) {
    Section section;
    if (sections_.Get(&section, sizeof section, false, i)) delete section.keys;
  }
  sections_.Clear();
  heap_.FreeAll();
  serialized_size_ = 0;
  current_keys_ = nullptr;
  section_cursor_ = 0;
  key_cursor_ = 0;
  return kStatusOk;
}

bool ConfigStore::Clear() {
  return RunLocked([&] { return ClearLocked(); });
}

// Section enumeration: the cursor moves to `cursor` and the section's name is copied out; 85 past
// the last section.
Status ConfigStore::MoveSectionCursor(uint32_t cursor) {
  const uint32_t count = sections_.Count();
  if (count == 0) return kStatusStoreHasNoSections;
  if (cursor >= count) {
    section_cursor_ = count;
    return kStatusNoMoreSections;
  }
  section_cursor_ = cursor;
  sections_.GetKey(current_section_name_, kConfigNameLength, section_cursor_);
  return kStatusOk;
}

bool ConfigStore::FirstSection() {
  return RunLocked([&] { return MoveSectionCursor(0); });
}

bool ConfigStore::NextSection() {
  return RunLocked([&] { return MoveSectionCursor(section_cursor_ + 1); });
}

// Whether key operations have a current section to work on: 84 without one.
Status ConfigStore::CurrentKeysStatus() {
  if (sections_.Count() == 0 || current_keys_ == nullptr) return kStatusNoSectionsForKeys;
  return kStatusOk;
}

// Key enumeration over the current section, as for sections; 87 when it has no keys, 15 past the
// last one.
Status ConfigStore::MoveKeyCursor(uint32_t cursor) {
  if (Status status = CurrentKeysStatus(); status != kStatusOk) return status;
  const uint32_t count = current_keys_->Count();
  if (count == 0) return kStatusSectionHasNoKeys;
  if (cursor >= count) {
    key_cursor_ = count;
    return kStatusNoMoreKeys;
  }
  key_cursor_ = cursor;
  current_keys_->GetKey(current_key_name_, kConfigNameLength, key_cursor_);
  return kStatusOk;
}

bool ConfigStore::FirstKey() {
  return RunLocked([&] { return MoveKeyCursor(0); });
}

bool ConfigStore::NextKey() {
  return RunLocked([&] { return MoveKeyCursor(key_cursor_ + 1); });
}

int32_t ConfigStore::KeyCount() {
  int32_t count = -1;
  RunLocked([&] {
    if (sections_.Count() == 0 || current_keys_ == nullptr) return kStatusStoreHasNoSections;
    count = static_cast<int32_t>(current_keys_->Count());
    return kStatusOk;
  });
  return count;
}

uint32_t ConfigStore::SerializedSize() {
  return WithLock([&] { return serialized_size_; });
}

uint32_t ConfigStore::SectionCount() {
  return WithLock([&] { return sections_.Count(); });
}

bool ConfigStore::ReadChangeBlock(ConfigChangeBlock* block) {
  return change_ != nullptr && change_->Read(block, sizeof *block, true);
}

bool ConfigStore::IsModifiedElsewhere() {
  bool modified = false;
  RunLocked([&] {
    ConfigChangeBlock block{};
    modified = ReadChangeBlock(&block) &&
               block.writer_process_id != static_cast<uint32_t>(platform::CurrentProcessId()) &&
               block.save_counter > seen_counter_;
    return kStatusOk;
  });
  return modified;
}

}  // namespace kolvar

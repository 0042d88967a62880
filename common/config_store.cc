// ConfigStore: sections and keys in sorted tables, values in a tracked heap, and the whole store
// moved to and from its file through a scratch block.
#include "common/config_store.h"

#include <cstring>
#include <new>

#include "common/cipher_context.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_sync.h"
#include "platform/path.h"
#include "platform/process.h"

namespace kolvar {
namespace {

constexpr uint32_t kSectionBytes = sizeof(ConfigSectionHeader);
constexpr uint32_t kKeyBytes = sizeof(ConfigKeyHeader);
// Room for the cipher's padding beyond the plain body.
constexpr uint32_t kScratchSlack = 64;

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

// A name field read from a file: it must hold 1 to 31 characters and a NUL; what follows the NUL
// is dropped so that the field compares like one built by MakeName.
bool NameFromFile(const char* raw, char (&field)[kConfigNameLength]) {
  const size_t length = strnlen(raw, kConfigNameLength);
  if (length == 0 || length > kConfigMaxNameCharacters) return false;
  std::memset(field, 0, sizeof field);
  std::memcpy(field, raw, length);
  return true;
}

// The file lies beside its temporary twin: same folder, so the rename is atomic.
std::u16string TemporaryPath(std::u16string_view path) { return std::u16string(path) + u".new"; }

}  // namespace

struct ConfigStore::Section {
  char name[kConfigNameLength];
  SortedTable* keys;
};

struct ConfigStore::Key {
  char name[kConfigNameLength];
  uint32_t size;
  uint32_t type;
  void* value;
};

struct ConfigStore::Body {
  std::unique_ptr<SharedBlock> block;
  uint32_t length = 0;
  uint8_t* data() const { return static_cast<uint8_t*>(block->Data()); }
};

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
  Lock();
  Status status = sections_.GetStatus();
  if (status == kStatusOk && heap_.GetStatus() != kStatusOk) status = heap_.GetStatus();
  if (status == kStatusOk) {
    if (name.empty()) {
      status = kStatusBadArgument;
    } else {
      change_ =
          std::make_unique<SharedBlock>(u"SHD_" + std::u16string(name), sizeof(ConfigChangeBlock));
      change_->SetLocking(false);  // read and written under the store's lock only
      if (!change_->IsReady()) {
        status = change_->GetStatus();
        change_.reset();
      } else if (change_->IsNew()) {
        ConfigChangeBlock block{static_cast<uint32_t>(platform::CurrentProcessId()), 0};
        change_->Write(&block, sizeof block, true);
      } else {
        ConfigChangeBlock block{};
        if (change_->Read(&block, sizeof block, true)) seen_counter_ = block.save_counter;
      }
    }
  }
  SetStatus(status);
  Unlock();
}

ConfigStore::~ConfigStore() {
  Lock();
  ClearLocked();
  Unlock();
}

bool ConfigStore::AttachCipher(CipherContext* cipher) {
  Lock();
  cipher_ = cipher;
  uint32_t error = 0;
  Status status = kStatusOk;
  if (cipher != nullptr && cipher->DigestLength() == 0 && !cipher->DeriveKey()) {
    status = cipher->GetStatus(&error);
    platform::SetLastError(error);
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
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
  Lock();
  char field[kConfigNameLength];
  const Status status = MakeName(name, field) ? AddSectionLocked(field) : kStatusBadArgument;
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::SelectSection(const char* name) {
  Lock();
  char field[kConfigNameLength];
  Section section;
  Status status = MakeName(name, field) ? FindSection(field, &section) : kStatusBadArgument;
  if (status == kStatusOk) current_keys_ = section.keys;
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::HasSection(const char* name) {
  Lock();
  char field[kConfigNameLength];
  Section section;
  const Status status = MakeName(name, field) ? FindSection(field, &section) : kStatusBadArgument;
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
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
  Lock();
  char field[kConfigNameLength];
  Status status = kStatusOk;
  if (!MakeName(key, field)) {
    status = kStatusBadArgument;
  } else if (sections_.Count() == 0 || current_keys_ == nullptr) {
    status = kStatusNoSectionsForKeys;
  } else {
    status = AddValueLocked(current_keys_, field, type, size, data);
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::GetValue(const char* key, uint32_t* size, void* buffer, const char* section) {
  Lock();
  SortedTable* keys = nullptr;
  Key found;
  Status status = size == nullptr ? kStatusBadArgument : FindKey(key, section, &keys, &found);
  if (status == kStatusOk) {
    const uint32_t capacity = buffer == nullptr ? 0 : *size;
    const uint32_t copied = capacity < found.size ? capacity : found.size;
    if (copied != 0) std::memcpy(buffer, found.value, copied);
    *size = found.size;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::GetValueInfo(const char* key, uint32_t* type, uint32_t* size,
                               const char* section) {
  Lock();
  SortedTable* keys = nullptr;
  Key found;
  Status status = FindKey(key, section, &keys, &found);
  if (status == kStatusOk) {
    if (type != nullptr) *type = found.type;
    if (size != nullptr) *size = found.size;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::SetValue(const char* key, uint32_t type, uint32_t size, const void* data,
                           const char* section) {
  Lock();
  SortedTable* keys = nullptr;
  Key found;
  Status status = FindKey(key, section, &keys, &found);
  if (status == kStatusOk && size != 0 && data == nullptr) status = kStatusBadArgument;
  if (status == kStatusOk && size > found.size &&
      (size - found.size > UINT32_MAX - kScratchSlack ||
       serialized_size_ > UINT32_MAX - kScratchSlack - (size - found.size))) {
    status = kStatusOutOfMemory;
  }
  void* value = nullptr;
  if (status == kStatusOk && size != 0) {
    value = heap_.Allocate(size, true);
    if (value == nullptr) {
      status = kStatusOutOfMemory;
    } else {
      std::memcpy(value, data, size);
    }
  }
  if (status == kStatusOk) {
    Key updated = found;
    updated.size = size;
    updated.type = type;
    updated.value = value;
    // FindKey left the table's cursor on the key.
    if (!keys->Update(&updated, sizeof updated)) {
      status = keys->GetStatus();
      if (value != nullptr) heap_.Free(value);
    } else {
      if (found.value != nullptr) heap_.Free(found.value);
      serialized_size_ = serialized_size_ - found.size + size;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::DeleteValue(const char* key, const char* section) {
  Lock();
  SortedTable* keys = nullptr;
  Key found;
  Status status = FindKey(key, section, &keys, &found);
  if (status == kStatusOk) {
    if (!keys->Delete()) {
      status = keys->GetStatus();
    } else {
      if (found.value != nullptr) heap_.Free(found.value);
      serialized_size_ -= kKeyBytes + found.size;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
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
  Lock();
  const Status status = ClearLocked();
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::FirstSection() {
  Lock();
  Status status = kStatusStoreHasNoSections;
  if (sections_.Count() != 0) {
    section_cursor_ = 0;
    sections_.GetKey(current_section_name_, kConfigNameLength, section_cursor_);
    status = kStatusOk;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::NextSection() {
  Lock();
  const uint32_t count = sections_.Count();
  Status status = kStatusOk;
  if (count == 0) {
    status = kStatusStoreHasNoSections;
  } else if (section_cursor_ + 1 >= count) {
    section_cursor_ = count;
    status = kStatusNoMoreSections;
  } else {
    ++section_cursor_;
    sections_.GetKey(current_section_name_, kConfigNameLength, section_cursor_);
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::FirstKey() {
  Lock();
  Status status = kStatusOk;
  if (sections_.Count() == 0 || current_keys_ == nullptr) {
    status = kStatusNoSectionsForKeys;
  } else if (current_keys_->Count() == 0) {
    status = kStatusSectionHasNoKeys;
  } else {
    key_cursor_ = 0;
    current_keys_->GetKey(current_key_name_, kConfigNameLength, key_cursor_);
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool ConfigStore::NextKey() {
  Lock();
  Status status = kStatusOk;
  if (sections_.Count() == 0 || current_keys_ == nullptr) {
    status = kStatusNoSectionsForKeys;
  } else if (current_keys_->Count() == 0) {
    status = kStatusSectionHasNoKeys;
  } else if (key_cursor_ + 1 >= current_keys_->Count()) {
    key_cursor_ = current_keys_->Count();
    status = kStatusNoMoreKeys;
  } else {
    ++key_cursor_;
    current_keys_->GetKey(current_key_name_, kConfigNameLength, key_cursor_);
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

int32_t ConfigStore::KeyCount() {
  Lock();
  int32_t count = -1;
  Status status = kStatusStoreHasNoSections;
  if (sections_.Count() != 0 && current_keys_ != nullptr) {
    count = static_cast<int32_t>(current_keys_->Count());
    status = kStatusOk;
  }
  SetStatus(status);
  Unlock();
  return count;
}

uint32_t ConfigStore::SerializedSize() {
  Lock();
  const uint32_t size = serialized_size_;
  Unlock();
  return size;
}

uint32_t ConfigStore::SectionCount() {
  Lock();
  const uint32_t count = sections_.Count();
  Unlock();
  return count;
}

bool ConfigStore::ReadChangeBlock(ConfigChangeBlock* block) {
  return change_ != nullptr && change_->Read(block, sizeof *block, true);
}

bool ConfigStore::IsModifiedElsewhere() {
  Lock();
  ConfigChangeBlock block{};
  const bool modified =
      ReadChangeBlock(&block) &&
      block.writer_process_id != static_cast<uint32_t>(platform::CurrentProcessId()) &&
      block.save_counter > seen_counter_;
  SetStatus(kStatusOk);
  Unlock();
  return modified;
}

// The body in the file's layout: sections and keys in table order, which is name order.
void ConfigStore::Serialize(uint8_t* out) {
  const uint32_t section_count = sections_.Count();
  for (uint32_t i = 0; i < section_count; ++i) {
    Section section;
    sections_.Get(&section, sizeof section, false, i);
    ConfigSectionHeader section_header{};
    std::memcpy(section_header.name, section.name, kConfigNameLength);
    const uint32_t key_count = section.keys->Count();
    section_header.key_count = key_count;
    std::memcpy(out, &section_header, sizeof section_header);
    out += sizeof section_header;
    for (uint32_t k = 0; k < key_count; ++k) {
      Key key;
      section.keys->Get(&key, sizeof key, false, k);
      ConfigKeyHeader key_header{};
      std::memcpy(key_header.name, key.name, kConfigNameLength);
      key_header.type = key.type;
      key_header.size = key.size;
      std::memcpy(out, &key_header, sizeof key_header);
      out += sizeof key_header;
      if (key.size != 0) std::memcpy(out, key.value, key.size);
      out += key.size;
    }
  }
}

bool ConfigStore::Save(std::u16string_view path) {
  Lock();
  const Status status = SaveLocked(path);
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

Status ConfigStore::SaveLocked(std::u16string_view path) {
  if (sections_.Count() == 0) return kStatusNoSectionsForKeys;
  if (path.empty()) return kStatusBadArgument;

  Status status = kStatusOk;
  std::unique_ptr<SharedBlock> scratch =
      ObtainScratchBlock(serialized_size_ + kScratchSlack, &status);
  if (scratch == nullptr) return status;
  scratch->SetLocking(false);
  auto* body = static_cast<uint8_t*>(scratch->Data());
  Serialize(body);
  uint32_t body_length = serialized_size_;
  if (cipher_ != nullptr && !cipher_->Encrypt(body, &body_length, scratch->Size(), true)) {
    uint32_t error = 0;
    status = cipher_->GetStatus(&error);
    platform::SetLastError(error);
    return status;
  }
  status = WriteFile(path, body, body_length);
  if (status != kStatusOk) return status;

  ConfigChangeBlock block{};
  if (ReadChangeBlock(&block)) {
    block.writer_process_id = static_cast<uint32_t>(platform::CurrentProcessId());
    block.save_counter += 1;
    change_->Write(&block, sizeof block, true);
    seen_counter_ = block.save_counter;
  }
  return kStatusOk;
}

// Writes header and body to a new file beside `path`, flushes it to the disk and renames it over
// `path`; the old file stays whole until the rename. A failure removes the new file.
Status ConfigStore::WriteFile(std::u16string_view path, const uint8_t* body, uint32_t body_length) {
  const std::u16string temporary = TemporaryPath(path);
  if (temporary.size() >= platform::kMaxPath) {
    platform::SetLastError(platform::kErrorFilenameExcedRange);
    return kStatusBadArgument;
  }
  // A twin left by a program that ended in the middle of a save.
  platform::DeleteFile(temporary);

  ConfigFileHeader header{};
  header.magic1 = kConfigMagic1;
  header.magic2 = kConfigMagic2;
  header.encrypted = cipher_ != nullptr ? 1 : 0;
  header.section_count = sections_.Count();

  Status status = kStatusOk;
  uint32_t error = 0;
  uint32_t length = sizeof header;
  if (!file_.SetPath(temporary, true)) {
    status = file_.GetStatus(&error);
  } else if (!file_.Write(&header, &length, false)) {
    status = file_.GetStatus(&error);
  } else if (length != sizeof header) {
    status = kStatusWriteFailed;
    error = platform::kErrorDiskFull;
  } else if (length = body_length; !file_.Write(body, &length, false)) {
    status = file_.GetStatus(&error);
  } else if (length != body_length) {
    status = kStatusWriteFailed;
    error = platform::kErrorDiskFull;
  }
  // Close flushes data and metadata to the disk before the rename makes the file the real one.
  if (file_.IsOpen() && !file_.Close() && status == kStatusOk) status = file_.GetStatus(&error);
  if (status == kStatusOk && !platform::ReplaceFile(temporary, path)) {
    error = platform::GetLastError();
    status = kStatusWriteFailed;
  }
  // The rename is durable once the folder's entries are on the disk; until then a crash may bring
  // back the old file, which is whole, so a failure here is not reported as a failed save.
  if (status == kStatusOk) platform::FlushContainingFolder(path);
  if (status != kStatusOk) {
    platform::DeleteFile(temporary);
    platform::SetLastError(error);
  }
  return status;
}

bool ConfigStore::Load(std::u16string_view path, bool clear_first) {
  Lock();
  const Status status = LoadLocked(path, clear_first);
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

// Reads and checks the header and brings the (decrypted) body into a scratch block.
Status ConfigStore::ReadBody(std::u16string_view path, ConfigFileHeader* header,
                             std::unique_ptr<Body>* body) {
  uint32_t error = 0;
  if (!file_.SetPath(path, false) || !file_.Open(true)) return file_.GetStatus(&error);
  auto fail = [&](Status status) {
    file_.GetStatus(&error);
    file_.Close();
    platform::SetLastError(error);
    return status;
  };
  uint32_t length = sizeof *header;
  std::memset(header, 0, sizeof *header);
  if (!file_.Seek(0) || !file_.Read(header, &length) || length < sizeof *header) {
    return fail(kStatusFileTooShort);
  }
  if (header->magic1 != kConfigMagic1 || header->magic2 != kConfigMagic2) {
    return fail(kStatusBadMagic);
  }
  if (header->encrypted != 0 && cipher_ == nullptr) return fail(kStatusEncryptedWithoutCipher);
  uint64_t file_size = 0;
  if (!file_.Size(&file_size)) return fail(kStatusFileTooShort);
  if (file_size - sizeof *header > UINT32_MAX - kScratchSlack) return fail(kStatusOutOfMemory);

  auto result = std::make_unique<Body>();
  result->length = static_cast<uint32_t>(file_size - sizeof *header);
  if (result->length != 0) {
    Status status = kStatusOk;
    result->block = ObtainScratchBlock(result->length, &status);
    if (result->block == nullptr) return fail(status);
    result->block->SetLocking(false);
    uint32_t got = 0;
    while (got < result->length) {
      uint32_t part = result->length - got;
      if (!file_.Read(result->data() + got, &part)) return fail(kStatusFileTooShort);
      if (part == 0) break;
      got += part;
    }
    if (got < result->length) return fail(kStatusFileTooShort);
  }
  file_.Close();

  if (header->encrypted != 0) {
    uint8_t empty[8] = {};
    uint8_t* data = result->length != 0 ? result->data() : empty;
    if (!cipher_->Decrypt(data, &result->length, true)) {
      cipher_->GetStatus(&error);
      platform::SetLastError(error);
      return kStatusDecryptionFailed;
    }
  }
  *body = std::move(result);
  return kStatusOk;
}

Status ConfigStore::LoadLocked(std::u16string_view path, bool clear_first) {
  if (path.empty()) return kStatusBadArgument;
  ConfigFileHeader header;
  std::unique_ptr<Body> body;
  if (Status status = ReadBody(path, &header, &body); status != kStatusOk) return status;
  // Cleared only now, so that a file that cannot be read leaves the store as it was.
  if (clear_first) ClearLocked();
  const Status status = Merge(header, body->length != 0 ? body->data() : nullptr, body->length);
  if (status != kStatusOk) return status;
  ConfigChangeBlock block{};
  if (ReadChangeBlock(&block)) seen_counter_ = block.save_counter;
  return kStatusOk;
}

// Walks the body with every count and size checked against its end. A body that ends early is
// damaged: what was read in full stays, and the load fails with 88.
Status ConfigStore::Merge(const ConfigFileHeader& header, const uint8_t* body, uint32_t length) {
  uint32_t offset = 0;
  for (uint32_t s = 0; s < header.section_count; ++s) {
    ConfigSectionHeader section_header;
    if (length - offset < sizeof section_header) return kStatusFileTooShort;
    std::memcpy(&section_header, body + offset, sizeof section_header);
    offset += sizeof section_header;
    char section_name[kConfigNameLength];
    if (!NameFromFile(section_header.name, section_name)) return kStatusFileTooShort;

    // Keys of a section that the store holds already are read past: memory wins.
    SortedTable* keys = nullptr;
    Section existing;
    if (FindSection(section_name, &existing) != kStatusOk) {
      if (Status status = AddSectionLocked(section_name); status != kStatusOk) return status;
      keys = current_keys_;
    }
    for (uint32_t k = 0; k < section_header.key_count; ++k) {
      ConfigKeyHeader key_header;
      if (length - offset < sizeof key_header) return kStatusFileTooShort;
      std::memcpy(&key_header, body + offset, sizeof key_header);
      offset += sizeof key_header;
      if (length - offset < key_header.size) return kStatusFileTooShort;
      const uint8_t* value = body + offset;
      offset += key_header.size;
      char key_name[kConfigNameLength];
      if (!NameFromFile(key_header.name, key_name)) return kStatusFileTooShort;
      if (keys == nullptr) continue;
      const Status status = AddValueLocked(keys, key_name, key_header.type, key_header.size, value);
      if (status != kStatusOk && status != kStatusKeyExists) return status;
    }
  }
  return kStatusOk;
}

}  // namespace kolvar

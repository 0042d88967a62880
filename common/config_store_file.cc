// ConfigStore's file (kvmavcfg.dat, kvmupdi.dat): the 16-byte header, the body of sections and
// keys in name order, its encryption, and the merge of a file read into the table. Whole bodies
// move through a scratch block; a save replaces the file whole.
#include <cstring>

#include "common/cipher_context.h"
#include "common/config_store.h"
#include "common/file_replacement.h"
#include "platform/error.h"
#include "platform/process.h"

namespace kolvar {
namespace {

// A name field read from a file: it must hold 1 to 31 characters and a NUL; what follows the NUL
// is dropped so that the field compares like one built from a caller's name.
bool NameFromFile(const char* raw, char (&field)[kConfigNameLength]) {
  const size_t length = strnlen(raw, kConfigNameLength);
  if (length == 0 || length > kConfigMaxNameCharacters) return false;
  std::memset(field, 0, sizeof field);
  std::memcpy(field, raw, length);
  return true;
}

}  // namespace

struct ConfigStore::Body {
  std::unique_ptr<SharedBlock> block;
  uint32_t length = 0;
  uint8_t* data() const { return static_cast<uint8_t*>(block->Data()); }
};

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
  return RunLocked([&] { return SaveLocked(path); });
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

// Writes header and body through a replacement of the file: the old file stays whole until the
// new one has reached the disk.
Status ConfigStore::WriteFile(std::u16string_view path, const uint8_t* body, uint32_t body_length) {
  ConfigFileHeader header{};
  header.magic1 = kConfigMagic1;
  header.magic2 = kConfigMagic2;
  header.encrypted = cipher_ != nullptr ? 1 : 0;
  header.section_count = sections_.Count();

  FileReplacement replacement(path);
  if (!replacement.opened()) return kStatusFileOpenFailed;
  if (!replacement.WriteRecord(header) || !replacement.Write(body, body_length) ||
      !replacement.Commit()) {
    return kStatusWriteFailed;
  }
  return kStatusOk;
}

bool ConfigStore::Load(std::u16string_view path, bool clear_first) {
  return RunLocked([&] { return LoadLocked(path, clear_first); });
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
    uint32_t got = result->length;
    if (!file_.Read(result->data(), &got) || got < result->length) {
      return fail(kStatusFileTooShort);
    }
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

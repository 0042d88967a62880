// FileCryptor: the checks that decide whether a source may be transformed, and the chunked
// transform itself. The lock is held only to start and to finish an operation, so that
// configuration calls from other threads meet the busy flag instead of waiting for a whole file.
#include "common/file_cryptor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/cipher_context.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {
namespace {

// The extension of a path: the text from its last ".", unless a "\" comes first (then none).
std::u16string_view ExtensionOf(std::u16string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (path[i - 1] == u'\\') break;
    if (path[i - 1] == u'.') return path.substr(i - 1);
  }
  return {};
}

bool HasWildcard(std::u16string_view path) {
  return path.find_first_of(u"*?") != std::u16string_view::npos;
}

}  // namespace

FileCryptor::FileCryptor() : LockableObject(true, kLockCriticalSection) {
  // This object serialises every use of its files itself.
  source_file_.SetLocking(false);
  destination_file_.SetLocking(false);
}

FileCryptor::~FileCryptor() = default;

bool FileCryptor::SetSource(std::u16string_view path) {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    if (busy_) {
      status = kStatusBusy;
    } else if (path.empty()) {
      status = kStatusBadArgument;
    } else if (HasWildcard(path) || path.size() >= platform::kMaxPath) {
      status = kStatusBadPath;
    } else {
      platform::FileInfo info;
      if (!platform::GetFileInfo(path, &info)) {
        status = kStatusBadPath;
      } else {
        source_path_ = path;
        source_set_ = true;
      }
    }
    return status;
  });
}

bool FileCryptor::SetExtension(std::u16string_view text) {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    if (busy_) {
      status = kStatusBusy;
    } else if (text.empty() || text.size() > kMaxExtensionLength ||
               (text[0] != u'.' && text.size() + 1 > kMaxExtensionLength)) {
      status = kStatusBadArgument;
    } else {
      extension_ = text[0] == u'.' ? std::u16string(text) : u"." + std::u16string(text);
    }
    return status;
  });
}

bool FileCryptor::SetCipher(CipherContext* cipher) {
  return RunLocked([&]() -> Status {
    const Status status = busy_ ? kStatusBusy : kStatusOk;
    if (status == kStatusOk) cipher_ = cipher;
    return status;
  });
}

std::u16string FileCryptor::Extension() {
  return WithLock([&] { return extension_; });
}

std::u16string FileCryptor::LastDestination() {
  return WithLock([&] { return last_destination_; });
}

bool FileCryptor::IsBusy() {
  return WithLock([&] { return busy_; });
}

bool FileCryptor::Protect() { return Run(Direction::kProtect); }

bool FileCryptor::Unprotect() { return Run(Direction::kUnprotect); }

bool FileCryptor::Run(Direction direction) {
  const bool started = RunLocked([&] {
    if (busy_) return kStatusBusy;
    busy_ = true;
    last_destination_.clear();
    failure_error_ = 0;
    return kStatusOk;
  });
  if (!started) return false;

  std::u16string destination;
  Status status = Prepare(direction, &destination);
  if (status == kStatusOk) status = Transform(direction, destination);

  return RunLocked([&] {
    busy_ = false;
    last_destination_ = destination;
    if (status != kStatusOk) platform::SetLastError(failure_error_);
    return status;
  });
}

// Steps before any byte is written: the cipher, the extension rule, the destination name, and the
// refusals. A refused source is reported with its reason, because callers delete the source (or
// the protected copy) after a successful operation and a skipped file must not count as one.
Status FileCryptor::Prepare(Direction direction, std::u16string* destination) {
  if (!source_set_) return kStatusNoSource;
  if (extension_.empty()) return kStatusBadArgument;
  if (cipher_ == nullptr) return kStatusNoCipher;
  if (cipher_->DigestLength() == 0 && !cipher_->DeriveKey()) {
    cipher_->GetStatus(&failure_error_);
    return kStatusNoCipher;
  }

  const std::u16string_view source = source_path_;
  const bool has_extension = ExtensionOf(source) == extension_;
  if (direction == Direction::kProtect) {
    if (has_extension) return kStatusAlreadyProtected;
    if (source.size() + extension_.size() >= platform::kMaxPath) return kStatusBadPath;
    *destination = source_path_ + extension_;
  } else {
    if (!has_extension) return kStatusNotProtectedFile;
    // The extension that identified the file is the one at its end; cutting at an earlier
    // occurrence (a folder or name that happens to contain it) would restore to the wrong place.
    *destination = source.substr(0, source.size() - extension_.size());
    if (destination->empty() || destination->back() == u'\\') {
      destination->clear();
      return kStatusBadPath;
    }
  }

  platform::FileInfo info;
  if (platform::GetFileInfo(*destination, &info)) return kStatusDestinationExists;

  if (!source_file_.SetPath(source_path_, false)) return source_file_.GetStatus(&failure_error_);
  if (source_file_.IsReadOnly() || source_file_.IsHidden() || source_file_.IsSystem()) {
    return kStatusSourceAttributesRefused;
  }
  return kStatusOk;
}

Status FileCryptor::Transform(Direction direction, const std::u16string& destination) {
  // Created here with create-new so that a file appearing since the check is never overwritten.
  {
    platform::File created;
    if (!created.Open(destination, platform::FileAccess::kReadWrite,
                      platform::CreateDisposition::kCreateNew)) {
      failure_error_ = platform::GetLastError();
      return failure_error_ == platform::kErrorFileExists ||
                     failure_error_ == platform::kErrorAlreadyExists
                 ? kStatusDestinationExists
                 : kStatusFileOpenFailed;
    }
  }
  Status status = kStatusOk;
  if (!destination_file_.SetPath(destination, false) || !destination_file_.Open(true)) {
    status = destination_file_.GetStatus(&failure_error_);
  } else if (!source_file_.Open(true)) {
    status = source_file_.GetStatus(&failure_error_);
  } else {
    status = direction == Direction::kProtect ? ProtectData() : UnprotectData();
  }
  source_file_.Close();
  // Closing flushes: the protected copy is on the disk before a caller deletes the original.
  if (destination_file_.IsOpen() && !destination_file_.Close() && status == kStatusOk) {
    status = destination_file_.GetStatus(&failure_error_);
  }
  if (status != kStatusOk) {
    // A transform that stopped before its final call leaves the cipher's chain in the middle of
    // this file; the next file would start from there.
    cipher_->AbandonChain();
    if (!destination_file_.HasPath() || !destination_file_.Delete(true)) {
      platform::DeleteFile(destination);
    }
  }
  return status;
}

Status FileCryptor::ReadFull(uint8_t* buffer, uint32_t wanted, uint32_t* got) {
  *got = wanted;
  if (wanted == 0) return kStatusOk;
  if (!source_file_.Read(buffer, got)) return source_file_.GetStatus(&failure_error_);
  return kStatusOk;
}

Status FileCryptor::WriteAll(const uint8_t* buffer, uint32_t length) {
  if (length == 0) return kStatusOk;
  uint32_t written = length;
  if (!destination_file_.Write(buffer, &written, false)) {
    return destination_file_.GetStatus(&failure_error_);
  }
  if (written != length) {
    failure_error_ = platform::kErrorDiskFull;
    return kStatusWriteFailed;
  }
  return kStatusOk;
}

Status FileCryptor::ProtectData() {
  const uint32_t digest_length = cipher_->DigestLength();
  std::vector<uint8_t> header(sizeof(ProtectedFileHeader) + digest_length, 0);
  ProtectedFileHeader fields{};
  fields.magic = kProtectedFileMagic;
  fields.key_header_flag = key_header_flag_;
  fields.key_scheme = cipher_->key_scheme();
  fields.selector = cipher_->selector();
  fields.digest_length = digest_length;
  std::memcpy(header.data(), &fields, sizeof fields);
  if (!cipher_->GetDigest(header.data() + sizeof fields)) {
    cipher_->GetStatus(&failure_error_);
    return kStatusNoCipher;
  }
  if (key_header_flag_ == 0) header.resize(kProtectedFileShortHeaderLength);
  if (Status status = WriteAll(header.data(), static_cast<uint32_t>(header.size()));
      status != kStatusOk) {
    return status;
  }

  uint32_t chunk_output = chunk_size_;
  if (!cipher_->EncryptedSize(&chunk_output, false)) return cipher_->GetStatus(&failure_error_);
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(chunk_output);
  } catch (const std::bad_alloc&) {
    failure_error_ = platform::kErrorNotEnoughMemory;
    return kStatusOutOfMemory;
  }
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    uint32_t got = 0;
    if (Status status = ReadFull(buffer.data(), chunk_size_, &got); status != kStatusOk) {
      return status;
    }
    const bool final = got < chunk_size_;
    if (final) {
      uint32_t needed = got;
      if (!cipher_->EncryptedSize(&needed, true)) return cipher_->GetStatus(&failure_error_);
      if (needed > buffer.size()) buffer.resize(needed, 0);
    }
    uint32_t length = got;
    if (!cipher_->Encrypt(buffer.data(), &length, static_cast<uint32_t>(buffer.size()), final)) {
      return cipher_->GetStatus(&failure_error_);
    }
    if (Status status = WriteAll(buffer.data(), length); status != kStatusOk) return status;
    if (final) return kStatusOk;
  }
}

Status FileCryptor::UnprotectData() {
  uint64_t file_size = 0;
  if (!source_file_.Size(&file_size)) return source_file_.GetStatus(&failure_error_);

  ProtectedFileHeader fields{};
  uint32_t got = 0;
  auto* raw = reinterpret_cast<uint8_t*>(&fields);
  if (Status status = ReadFull(raw, kProtectedFileShortHeaderLength, &got); status != kStatusOk) {
    return status;
  }
  if (got < kProtectedFileShortHeaderLength || fields.magic != kProtectedFileMagic) {
    return kStatusNotProtectedFile;
  }
  uint64_t data_offset = kProtectedFileShortHeaderLength;
  if (fields.key_header_flag != 0) {
    const uint32_t rest = sizeof fields - kProtectedFileShortHeaderLength;
    if (Status status = ReadFull(raw + kProtectedFileShortHeaderLength, rest, &got);
        status != kStatusOk) {
      return status;
    }
    if (got < rest) return kStatusNotProtectedFile;
    if (fields.key_scheme != cipher_->key_scheme() || fields.selector != cipher_->selector()) {
      return kStatusOtherKeyScheme;
    }
    // A length other than our digest's cannot match; it is not read, whatever it claims.
    if (fields.digest_length != cipher_->DigestLength()) return kStatusOtherKeyMaterial;
    std::vector<uint8_t> digest(fields.digest_length);
    if (Status status = ReadFull(digest.data(), fields.digest_length, &got); status != kStatusOk) {
      return status;
    }
    if (got < fields.digest_length ||
        cipher_->CompareDigest(digest.data(), fields.digest_length) != 0) {
      return kStatusOtherKeyMaterial;
    }
    data_offset = sizeof fields + fields.digest_length;
  }

  // The chunk that reaches the end of the file is the final one, so data that ends exactly on a
  // chunk boundary is still unpadded.
  uint64_t remaining = file_size - std::min(file_size, data_offset);
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(chunk_size_);
  } catch (const std::bad_alloc&) {
    failure_error_ = platform::kErrorNotEnoughMemory;
    return kStatusOutOfMemory;
  }
  for (;;) {
    const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(remaining, chunk_size_));
    std::fill(buffer.begin(), buffer.end(), 0);
    if (Status status = ReadFull(buffer.data(), wanted, &got); status != kStatusOk) return status;
    if (got < wanted) {
      failure_error_ = platform::kErrorHandleEof;
      return kStatusReadFailed;
    }
    remaining -= got;
    const bool final = remaining == 0;
    uint32_t length = got;
    if (!cipher_->Decrypt(buffer.data(), &length, final)) {
      return cipher_->GetStatus(&failure_error_);
    }
    if (Status status = WriteAll(buffer.data(), length); status != kStatusOk) return status;
    if (final) return kStatusOk;
  }
}

}  // namespace kolvar

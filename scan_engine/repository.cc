// The quarantine repository's names, protected copies and index.
#include "scan_engine/repository.h"

#include <cstdio>
#include <cstring>

#include "common/cipher_context.h"
#include "common/file_cryptor.h"
#include "common/key_materials.h"
#include "common/object_names.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

constexpr char16_t kIndexLockName[] = u"KVREPOSITORY";
constexpr char16_t kBesideSuffix[] = u".new";
constexpr uint32_t kProtectedAttributes = platform::kAttributeReadOnly | platform::kAttributeSystem;

void Tell(const UserNotice& notice, std::u16string_view text, uint32_t style) {
  if (notice) notice(text, style);
}

void TellError(const UserNotice& notice, std::u16string_view format,
               std::initializer_list<std::u16string_view> arguments) {
  Tell(notice, FormatText(format, arguments), platform::kMbIconError);
}

// Something (file, folder or other entry) lies at the path.
bool EntryExists(std::u16string_view path) {
  platform::FileInfo info;
  return platform::GetFileInfo(path, &info);
}

// Clears the attributes and deletes; the last error tells why it failed.
bool ForceDelete(std::u16string_view path) {
  platform::SetFileAttributes(path, 0);
  return platform::DeleteFile(path);
}

// The error to show for a failed cryptor operation: the platform's when there is one, else the
// cryptor's own reason.
uint32_t CryptorError(FileCryptor& cryptor) {
  uint32_t system_error = 0;
  const Status status = cryptor.GetStatus(&system_error);
  return system_error != 0 ? system_error : status;
}

// Serialises the writers of the index across the programs. Without the lock (no namespace
// folder), writing goes on: the rename keeps the file whole in any case.
class IndexLock {
 public:
  IndexLock() {
    if (mutex_.Create(LockName(kIndexLockName))) {
      const platform::WaitResult result = mutex_.Wait();
      held_ =
          result == platform::WaitResult::kSignaled || result == platform::WaitResult::kAbandoned;
    }
  }
  ~IndexLock() {
    if (held_) mutex_.Release();
  }

 private:
  platform::Mutex mutex_;
  bool held_ = false;
};

bool WriteIndexFile(std::u16string_view index_path, const std::vector<RepositoryRecord>& records) {
  const std::u16string beside = std::u16string(index_path) + kBesideSuffix;
  platform::File file;
  if (!file.Open(beside, platform::FileAccess::kWrite,
                 platform::CreateDisposition::kCreateAlways)) {
    return false;
  }
  bool ok = true;
  for (const RepositoryRecord& record : records) {
    uint32_t written = 0;
    ok = file.Write(&record, sizeof(record), &written);
    if (ok && written != sizeof(record)) ok = platform::Fail(platform::kErrorDiskFull);
    if (!ok) break;
  }
  ok = ok && file.Flush();
  file.Close();
  if (ok && platform::ReplaceFile(beside, index_path)) return true;
  const uint32_t error = platform::GetLastError();
  platform::DeleteFile(beside);
  platform::SetLastError(error);
  return false;
}

bool SameEntry(const RepositoryRecord& a, const RepositoryRecord& b) {
  return WideField(a.folder) == WideField(b.folder) &&
         WideField(a.file_name) == WideField(b.file_name);
}

// Writes `records`, or deletes the index when none is left.
bool StoreIndex(std::u16string_view index_path, const std::vector<RepositoryRecord>& records,
                const UserNotice& notice) {
  if (records.empty()) {
    if (platform::DeleteFile(index_path) ||
        platform::GetLastError() == platform::kErrorFileNotFound) {
      return true;
    }
    TellError(notice, kDeleteFailedMessage, {index_path, DecimalText(platform::GetLastError())});
    return false;
  }
  if (WriteIndexFile(index_path, records)) return true;
  Tell(notice, kErrorCreatingFileMessage, platform::kMbOk);
  return false;
}

}  // namespace

std::u16string RepositoryName(std::u16string_view folder, std::u16string_view file_name) {
  std::u16string name = u"%";
  for (char16_t c : folder) name += c == u'\\' ? u'_' : c;
  name += u"%@%";
  name += file_name;
  return name;
}

std::u16string QuarantinedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                               std::u16string_view file_name) {
  return std::u16string(quarantine_folder) + u"\\" + RepositoryName(folder, file_name);
}

std::u16string ProtectedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                             std::u16string_view file_name) {
  return QuarantinedPath(quarantine_folder, folder, file_name) + u"." + kProtectedExtension;
}

std::u16string QuarantineFolderOf(std::u16string_view install_folder) {
  return platform::JoinPath(install_folder, kQuarantineFolderName);
}

bool CreateQuarantineFolder(std::u16string_view quarantine_folder) {
  if (platform::CreateDirectory(quarantine_folder)) return true;
  const uint32_t error = platform::GetLastError();
  if (error == platform::kErrorAlreadyExists && platform::DirectoryExists(quarantine_folder)) {
    return true;
  }
  platform::SetLastError(error);
  return false;
}

std::u16string RepositoryDate(const platform::SystemTime& time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02u/%02u/%04u", static_cast<unsigned>(time.day),
                static_cast<unsigned>(time.month), static_cast<unsigned>(time.year));
  return std::u16string(text, text + std::strlen(text));
}

bool MakeRepositoryRecord(uint32_t virus_id, std::u16string_view folder,
                          std::u16string_view file_name, std::u16string_view date,
                          RepositoryRecord* record) {
  *record = ZeroRecord<RepositoryRecord>();
  record->virus_id = virus_id;
  const bool fits = SetWideField(record->folder, folder) &
                    SetWideField(record->file_name, file_name) & SetWideField(record->date, date);
  return fits;
}

QuarantineCipher::QuarantineCipher()
    : cipher_(std::make_unique<CipherContext>(kEnhancedProvider, kProviderTypeRsaFull)),
      cryptor_(std::make_unique<FileCryptor>()) {
  const KeyMaterial key = GetKeyMaterial(KeyMaterialUse::kQuarantine);
  ok_ = cipher_->SetCipher(kSelectorTripleDes168) &&
        cipher_->SetKeyMaterial(key.data(), static_cast<uint32_t>(key.size())) &&
        cipher_->DeriveKey() && cryptor_->SetCipher(cipher_.get()) &&
        cryptor_->SetExtension(kProtectedExtension);
}

QuarantineCipher::~QuarantineCipher() = default;

QuarantineOutcome QuarantineFile(QuarantineCipher& cipher, std::u16string_view quarantine_folder,
                                 std::u16string_view folder, std::u16string_view file_name,
                                 bool already_moved, const UserNotice& notice) {
  const std::u16string original = platform::JoinPath(folder, file_name);
  const std::u16string plain = QuarantinedPath(quarantine_folder, folder, file_name);
  const std::u16string protected_copy = ProtectedPath(quarantine_folder, folder, file_name);
  // An older protected copy of the same path waits here until the new one is complete.
  const std::u16string older = std::u16string(quarantine_folder) + u"\\~" +
                               RepositoryName(folder, file_name) + u"." + kProtectedExtension;

  if (!already_moved) {
    if (older.size() >= platform::kMaxPath) {
      TellError(notice, kMoveFailedMessage,
                {original, DecimalText(platform::kErrorFilenameExcedRange)});
      return QuarantineOutcome::kNotMoved;
    }
    if (platform::FileExists(plain)) ForceDelete(plain);
    if (!platform::MoveFile(original, plain)) {
      TellError(notice, kMoveFailedMessage, {original, DecimalText(platform::GetLastError())});
      return QuarantineOutcome::kNotMoved;
    }
  }
  // The cryptor refuses read-only and system sources; a refused file must not count as protected.
  platform::SetFileAttributes(plain, 0);

  bool older_kept = false;
  if (platform::FileExists(protected_copy)) {
    if (platform::FileExists(older)) ForceDelete(older);
    platform::SetFileAttributes(protected_copy, 0);
    older_kept = platform::MoveFile(protected_copy, older);
  }

  FileCryptor& cryptor = cipher.cryptor();
  const bool protected_ok =
      cryptor.SetSource(plain) && cryptor.Protect() && platform::FileExists(protected_copy);
  if (!protected_ok) {
    const uint32_t error = CryptorError(cryptor);
    if (older_kept && !EntryExists(protected_copy)) platform::MoveFile(older, protected_copy);
    if (platform::FileExists(protected_copy)) {
      platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    }
    TellError(notice, kProtectFailedMessage, {original, DecimalText(error), plain});
    return QuarantineOutcome::kUnprotected;
  }
  ForceDelete(plain);
  if (older_kept) ForceDelete(older);
  platform::SetFileAttributes(protected_copy, kProtectedAttributes);
  return QuarantineOutcome::kProtected;
}

bool DeleteInfectedFile(std::u16string_view full_path, const UserNotice& notice) {
  if (platform::DeleteFile(full_path)) return true;
  TellError(notice, kDeleteFailedMessage, {full_path, DecimalText(platform::GetLastError())});
  return false;
}

bool ReadRepositoryIndex(std::u16string_view index_path, std::vector<RepositoryRecord>* records) {
  records->clear();
  platform::File file;
  if (!file.Open(index_path, platform::FileAccess::kRead,
                 platform::CreateDisposition::kOpenExisting)) {
    return platform::GetLastError() == platform::kErrorFileNotFound;
  }
  for (;;) {
    RepositoryRecord record;
    uint32_t total = 0;
    while (total < sizeof(record)) {
      uint32_t got = 0;
      if (!file.Read(reinterpret_cast<char*>(&record) + total, sizeof(record) - total, &got)) {
        return false;
      }
      if (got == 0) return true;  // the end, or a short last record that is dropped
      total += got;
    }
    // A damaged field still ends within its record.
    record.folder[259] = u'\0';
    record.file_name[259] = u'\0';
    record.date[kRepositoryDateChars - 1] = u'\0';
    records->push_back(record);
  }
}

bool AppendRepositoryRecords(std::u16string_view index_path,
                             const std::vector<RepositoryRecord>& records,
                             const UserNotice& notice) {
  if (records.empty()) return true;
  IndexLock lock;
  std::vector<RepositoryRecord> index;
  if (!ReadRepositoryIndex(index_path, &index)) {
    Tell(notice, kErrorCreatingFileMessage, platform::kMbOk);
    return false;
  }
  const size_t listed = index.size();
  for (const RepositoryRecord& record : records) {
    bool present = false;
    for (const RepositoryRecord& existing : index) present = present || SameEntry(existing, record);
    if (!present) index.push_back(record);
  }
  if (index.size() == listed) return true;
  if (WriteIndexFile(index_path, index)) return true;
  Tell(notice, kErrorCreatingFileMessage, platform::kMbOk);
  return false;
}

bool RewriteRepositoryIndex(std::u16string_view index_path,
                            const std::vector<RepositoryRecord>& records,
                            const UserNotice& notice) {
  IndexLock lock;
  return StoreIndex(index_path, records, notice);
}

bool RemoveRepositoryRecord(std::u16string_view index_path, const RepositoryRecord& record,
                            const UserNotice& notice) {
  IndexLock lock;
  std::vector<RepositoryRecord> index;
  if (!ReadRepositoryIndex(index_path, &index)) {
    Tell(notice, kErrorCreatingFileMessage, platform::kMbOk);
    return false;
  }
  std::vector<RepositoryRecord> kept;
  for (const RepositoryRecord& existing : index) {
    if (!SameEntry(existing, record)) kept.push_back(existing);
  }
  if (kept.size() == index.size()) return true;
  return StoreIndex(index_path, kept, notice);
}

bool DeleteRepositoryEntry(std::u16string_view quarantine_folder, const RepositoryRecord& record,
                           const UserNotice& notice) {
  const std::u16string protected_copy =
      ProtectedPath(quarantine_folder, WideField(record.folder), WideField(record.file_name));
  if (ForceDelete(protected_copy) || platform::GetLastError() == platform::kErrorFileNotFound) {
    return true;
  }
  const uint32_t error = platform::GetLastError();
  platform::SetFileAttributes(protected_copy, kProtectedAttributes);
  TellError(notice, kDeleteFailedMessage, {protected_copy, DecimalText(error)});
  return false;
}

RestoreOutcome RestoreRepositoryEntry(QuarantineCipher& cipher,
                                      std::u16string_view quarantine_folder,
                                      const RepositoryRecord& record, const UserNotice& notice) {
  const std::u16string_view folder = WideField(record.folder);
  const std::u16string_view file_name = WideField(record.file_name);
  const std::u16string home = platform::JoinPath(folder, file_name);
  const std::u16string plain = QuarantinedPath(quarantine_folder, folder, file_name);
  const std::u16string protected_copy = ProtectedPath(quarantine_folder, folder, file_name);

  if (!platform::FileExists(protected_copy)) {
    TellError(notice, kRestoreFailedMessage, {home, DecimalText(platform::kErrorFileNotFound)});
    return RestoreOutcome::kMissing;
  }
  if (EntryExists(home)) {
    TellError(notice, kRestoreOccupiedMessage, {home});
    return RestoreOutcome::kKept;
  }
  // A plain copy already there (a quarantine whose protection failed) is another file's only
  // copy, or this one's: it is never overwritten nor taken for the decrypted one.
  if (EntryExists(plain)) {
    TellError(notice, kRestoreBlockedMessage, {home, plain});
    return RestoreOutcome::kKept;
  }

  platform::SetFileAttributes(protected_copy, 0);
  FileCryptor& cryptor = cipher.cryptor();
  if (!cryptor.SetSource(protected_copy) || !cryptor.Unprotect() || !platform::FileExists(plain)) {
    const uint32_t error = CryptorError(cryptor);
    platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    TellError(notice, kRestoreFailedMessage, {home, DecimalText(error)});
    return RestoreOutcome::kKept;
  }
  if (!platform::MoveFile(plain, home)) {
    const uint32_t error = platform::GetLastError();
    // The protected copy is still whole; the decrypted one goes.
    ForceDelete(plain);
    platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    if (error == platform::kErrorAlreadyExists || error == platform::kErrorFileExists) {
      TellError(notice, kRestoreOccupiedMessage, {home});
    } else {
      TellError(notice, kRestoreFailedMessage, {home, DecimalText(error)});
    }
    return RestoreOutcome::kKept;
  }
  if (!platform::DeleteFile(protected_copy)) {
    const uint32_t error = platform::GetLastError();
    platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    TellError(notice, kDeleteFailedMessage, {protected_copy, DecimalText(error)});
  }
  return RestoreOutcome::kRestored;
}

}  // namespace kolvar

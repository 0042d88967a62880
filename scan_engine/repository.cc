// The quarantine repository's names, protected copies and notes, and the operations that keep
// them and the index consistent (the index itself is in repository_index.cc).
#include "scan_engine/repository.h"

#include <cstdio>
#include <cstring>

#include "common/cipher_context.h"
#include "common/file_cryptor.h"
#include "common/key_materials.h"
#include "common/message_text.h"
#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/path.h"
#include "platform/process.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

// Names of work in progress in the quarantine folder start with it; listed copies never do.
constexpr char16_t kWorkPrefix = u'~';
// Ends the plain work copy, so that a file whose own name ends in ".avq" can be protected too.
constexpr char16_t kWorkSuffix[] = u".part";
constexpr char kNoteName[] = "quarantine";
constexpr uint32_t kProtectedAttributes = platform::kAttributeReadOnly | platform::kAttributeSystem;
constexpr uint32_t kDigestChunk = 65536;

// What a protected copy records of its file, kept as its note (see repository.h).
// Layout: docs/formats.md#protected-copy-note
struct ProtectedCopyNote {
  char magic[4];  // "KVQN"
  uint32_t version;
  uint64_t size;
  uint8_t sha256[platform::kSha256Length];
  uint32_t host_mode;
  uint32_t attributes;  // read-only and system of the file at home
  uint64_t last_write;
  RepositoryRecord record;
  uint32_t reserved;
};
static_assert(sizeof(ProtectedCopyNote) == 1144);
static_assert(offsetof(ProtectedCopyNote, version) == 4);
static_assert(offsetof(ProtectedCopyNote, size) == 8);
static_assert(offsetof(ProtectedCopyNote, sha256) == 16);
static_assert(offsetof(ProtectedCopyNote, host_mode) == 48);
static_assert(offsetof(ProtectedCopyNote, attributes) == 52);
static_assert(offsetof(ProtectedCopyNote, last_write) == 56);
static_assert(offsetof(ProtectedCopyNote, record) == 64);
static_assert(offsetof(ProtectedCopyNote, reserved) == 1140);
constexpr char kNoteMagic[4] = {'K', 'V', 'Q', 'N'};
constexpr uint32_t kNoteVersion = 1;

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

// Deletes what a step of work in progress made, keeping the last error of the step.
void DiscardWork(std::initializer_list<std::u16string_view> paths) {
  const uint32_t error = platform::GetLastError();
  for (std::u16string_view path : paths) {
    if (platform::FileExists(path)) ForceDelete(path);
  }
  platform::SetLastError(error);
}

// The cause of a failed cryptor operation: the platform's error when there is one, else the
// cryptor's own status (the two are told apart: their numbers overlap).
struct CryptorFailure {
  uint32_t error;
  Status status;
};
CryptorFailure CryptorCause(FileCryptor& cryptor) {
  uint32_t system_error = 0;
  const Status status = cryptor.GetStatus(&system_error);
  return {system_error, system_error != 0 ? kStatusOk : status};
}

// Reads a whole file in chunks, giving each to `chunk`; false (last error set) on a failure.
template <typename Chunk>
bool ReadInChunks(std::u16string_view path, const Chunk& chunk) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  std::vector<uint8_t> buffer(kDigestChunk);
  for (;;) {
    uint32_t got = 0;
    if (!file.Read(buffer.data(), kDigestChunk, &got)) return false;
    if (got == 0) return true;
    if (!chunk(buffer.data(), got)) return false;
  }
}

// The size and SHA-256 of a file's contents.
bool DigestOfFile(std::u16string_view path, uint64_t* size, uint8_t* digest) {
  platform::Sha256 hash;
  *size = 0;
  return ReadInChunks(path,
                      [&](const uint8_t* data, uint32_t length) {
                        *size += length;
                        return hash.Update(data, length);
                      }) &&
         hash.Finish(digest);
}

// Copies `from` to the new file `to` (a work copy: plain attributes, not flushed), and gives the
// size and SHA-256 of what it copied.
bool CopyToWork(std::u16string_view from, std::u16string_view to, uint64_t* size, uint8_t* digest) {
  platform::File out;
  if (!out.Open(to, platform::FileAccess::kWrite, platform::CreateDisposition::kCreateNew)) {
    return false;
  }
  platform::Sha256 hash;
  *size = 0;
  return ReadInChunks(from,
                      [&](const uint8_t* data, uint32_t length) {
                        uint32_t written = 0;
                        if (!out.Write(data, length, &written)) return false;
                        if (written != length) return platform::Fail(platform::kErrorDiskFull);
                        *size += length;
                        return hash.Update(data, length);
                      }) &&
         hash.Finish(digest);
}

// The work names of an operation on `name` (a repository name, or a copy's name): "~" + the
// writer's process id + "~" + name + ".part" for the plain work copy and the same + ".avq" for its
// protected form, so that a sweep can tell work whose writer has ended from work in progress. A
// name too long for the id falls back to "~" + name + ".part" (and ".avq"), the legacy form, which
// only the next operation on the same name and "adopt" clear.
struct WorkNames {
  std::u16string plain;
  std::u16string protected_form;
  std::u16string legacy_plain;
  std::u16string legacy_protected;
};

WorkNames WorkNamesOf(std::u16string_view quarantine_folder, std::u16string_view name) {
  const std::u16string folder = std::u16string(quarantine_folder) + u"\\" + kWorkPrefix;
  const std::u16string extension = std::u16string(u".") + kProtectedExtension;
  WorkNames names;
  names.legacy_plain = folder + std::u16string(name) + kWorkSuffix;
  names.legacy_protected = names.legacy_plain + extension;
  names.plain = folder + DecimalText(platform::CurrentProcessId()) + kWorkPrefix +
                std::u16string(name) + kWorkSuffix;
  names.protected_form = names.plain + extension;
  if (names.protected_form.size() >= platform::kMaxPath) {
    names.plain = names.legacy_plain;
    names.protected_form = names.legacy_protected;
  }
  return names;
}

// The process id in a work name ("~" digits "~" ...), or 0 when the name carries none.
pid_t WorkWriter(std::u16string_view name) {
  constexpr size_t kMostDigits = 10;
  uint64_t pid = 0;
  size_t i = 1;
  while (i < name.size() && i <= kMostDigits && name[i] >= u'0' && name[i] <= u'9') {
    pid = pid * 10 + static_cast<uint64_t>(name[i] - u'0');
    ++i;
  }
  if (name.empty() || name[0] != kWorkPrefix || i == 1 || i >= name.size() ||
      name[i] != kWorkPrefix || pid == 0 || pid > INT32_MAX) {
    return 0;
  }
  return static_cast<pid_t>(pid);
}

// Whether the process has ended. Unknown counts as running: work is only swept when its writer is
// surely gone. A process of another pid namespace sharing the device is out of sight here; at
// worst its work is swept and that operation fails, since work is never the only copy of a file.
bool ProcessEnded(pid_t pid) {
  platform::Process process;
  if (!platform::Process::OpenById(pid, &process)) {
    return platform::GetLastError() == platform::kErrorInvalidParameter;
  }
  return !process.IsAlive();
}

// The name a record's copy has in the quarantine folder, without ".avq".
std::u16string CopyName(const RepositoryRecord& record) {
  std::u16string name = RepositoryName(WideField(record.folder), WideField(record.file_name));
  if (record.copy() != 0) name += u"~" + DecimalText(record.copy());
  return name;
}

void SetCopy(RepositoryRecord* record, uint16_t copy) { record->date[kRepositoryCopyIndex] = copy; }

enum class NoteState { kNone, kOwn, kOther };

// The note of a protected copy: none (or none that can be read), or one that belongs to `record`
// (to any record when it is null) or to another record.
NoteState ReadNote(std::u16string_view path, const RepositoryRecord* record,
                   ProtectedCopyNote* note) {
  std::string bytes;
  if (!platform::ReadFileNote(path, kNoteName, &bytes) || bytes.size() != sizeof(*note)) {
    return NoteState::kNone;
  }
  std::memcpy(note, bytes.data(), sizeof(*note));
  if (std::memcmp(note->magic, kNoteMagic, sizeof(kNoteMagic)) != 0 ||
      note->version != kNoteVersion || !WideFieldTerminated(note->record.folder) ||
      !WideFieldTerminated(note->record.file_name) || !WideFieldTerminated(note->record.date)) {
    return NoteState::kNone;
  }
  return record == nullptr || SameRepositoryEntry(note->record, *record) ? NoteState::kOwn
                                                                         : NoteState::kOther;
}

// The folder that the encoded folder of a repository name stands for ("_" is both "\" and itself
// there): the reading whose folders exist on the device, else every "_" read as "\".
bool FindEncodedFolder(const std::u16string& prefix, std::u16string_view rest,
                       std::u16string* found) {
  for (size_t cut = rest.find(u'_');; cut = rest.find(u'_', cut + 1)) {
    const std::u16string candidate = platform::JoinPath(prefix, rest.substr(0, cut));
    if (platform::DirectoryExists(candidate)) {
      if (cut == std::u16string_view::npos) {
        *found = candidate;
        return true;
      }
      if (FindEncodedFolder(candidate, rest.substr(cut + 1), found)) return true;
    }
    if (cut == std::u16string_view::npos) return false;
  }
}

std::u16string DecodeFolder(std::u16string_view encoded) {
  std::u16string plain(encoded);
  for (char16_t& c : plain) c = c == u'_' ? u'\\' : c;
  if (plain == u"\\" || encoded.empty() || encoded[0] != u'_') return plain;
  std::u16string found;
  if (FindEncodedFolder(u"\\", encoded.substr(1), &found)) return found;
  return plain;
}

// The record that the name of an unlisted copy (without its note) stands for: "%", the encoded
// folder, "%@%", the file name, ".avq". The virus is unknown; the date is that of the copy.
bool RecordFromName(std::u16string_view path, RepositoryRecord* record) {
  std::u16string_view name = path.substr(path.rfind(u'\\') + 1);
  const std::u16string extension = std::u16string(u".") + kProtectedExtension;
  if (name.size() <= extension.size() || name.substr(name.size() - extension.size()) != extension ||
      name[0] != u'%') {
    return false;
  }
  name.remove_suffix(extension.size());
  const size_t mark = name.find(u"%@%", 1);
  if (mark == std::u16string_view::npos || mark + 3 >= name.size()) return false;
  platform::FileInfo info;
  platform::SystemTime date = platform::CurrentUtcTime();
  if (platform::GetFileInfo(path, &info)) platform::FileTimeToUtc(info.last_write, &date);
  return MakeRepositoryRecord(0, DecodeFolder(name.substr(1, mark - 1)), name.substr(mark + 3),
                              RepositoryDate(date), record);
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

std::u16string ProtectedPathOf(std::u16string_view quarantine_folder,
                               const RepositoryRecord& record) {
  return std::u16string(quarantine_folder) + u"\\" + CopyName(record) + u"." + kProtectedExtension;
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

bool QuarantineCipher::WroteHeaderOf(std::u16string_view path) {
  if (!ok_) return false;
  const uint32_t digest_length = cipher_->DigestLength();
  std::vector<uint8_t> header(sizeof(ProtectedFileHeader) + digest_length);
  platform::File file;
  uint32_t got = 0;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting) ||
      !file.Read(header.data(), static_cast<uint32_t>(header.size()), &got) ||
      got != header.size()) {
    return false;
  }
  ProtectedFileHeader fields;
  std::memcpy(&fields, header.data(), sizeof(fields));
  return fields.magic == kProtectedFileMagic && fields.key_header_flag == 1 &&
         fields.key_scheme == cipher_->key_scheme() && fields.selector == cipher_->selector() &&
         fields.digest_length == digest_length &&
         cipher_->CompareDigest(header.data() + sizeof(fields), digest_length) == 0;
}

bool DeleteInfectedFile(std::u16string_view full_path, const RepositoryNotice& notice) {
  if (platform::DeleteFile(full_path)) return true;
  ReportRepositoryProblem(notice, RepositoryProblem::kDeleteFailed, full_path,
                          platform::GetLastError());
  return false;
}

Repository::Repository(std::u16string_view quarantine_folder, std::u16string_view index_path)
    : quarantine_folder_(quarantine_folder), index_path_(index_path) {}

Repository::~Repository() = default;

QuarantineCipher& Repository::cipher() {
  if (!cipher_) cipher_ = std::make_unique<QuarantineCipher>();
  return *cipher_;
}

bool Repository::ReadIndex(std::vector<RepositoryRecord>* records) const {
  return ReadRepositoryIndex(index_path_, records);
}

std::u16string Repository::ProtectedPathOf(const RepositoryRecord& record) const {
  return kolvar::ProtectedPathOf(quarantine_folder_, record);
}

bool Repository::FindNewestEntry(std::u16string_view folder, std::u16string_view file_name,
                                 RepositoryRecord* record) const {
  std::vector<RepositoryRecord> index;
  if (!ReadIndex(&index)) return false;
  for (auto it = index.rbegin(); it != index.rend(); ++it) {
    if (WideField(it->folder) == folder && WideField(it->file_name) == file_name) {
      *record = *it;
      return true;
    }
  }
  return false;
}

// Makes the protected copy of `home` under a name of its own: a copy of the file is protected
// under a work name, noted, and renamed to the first copy name that neither a file nor an entry
// holds. The record's copy number and *protected_copy tell which name it took.
bool Repository::ProtectCopy(std::u16string_view home, RepositoryRecord* record,
                             std::u16string* protected_copy, const RepositoryNotice& notice) {
  const WorkNames work = WorkNamesOf(
      quarantine_folder_, RepositoryName(WideField(record->folder), WideField(record->file_name)));
  const std::u16string& plain_work = work.plain;
  const std::u16string& protected_work = work.protected_form;
  auto fail = [&](uint32_t error, Status status = kStatusOk) {
    DiscardWork({plain_work, protected_work});
    ReportRepositoryProblem(notice, RepositoryProblem::kMoveFailed, home, error, {}, status);
    return false;
  };
  if (protected_work.size() >= platform::kMaxPath) {
    return fail(platform::kErrorFilenameExcedRange);
  }
  ProtectedCopyNote note = ZeroRecord<ProtectedCopyNote>();
  std::memcpy(note.magic, kNoteMagic, sizeof(kNoteMagic));
  note.version = kNoteVersion;
  platform::HostFileState state;
  uint32_t attributes = 0;
  if (!platform::GetHostFileState(home, &state) ||
      !platform::GetFileAttributes(home, &attributes)) {
    return fail(platform::GetLastError());
  }
  note.host_mode = state.mode;
  note.last_write = state.last_write.value;
  note.attributes = attributes & kProtectedAttributes;

  // A work name that is already taken was left by an interrupted operation: a second copy only.
  DiscardWork({plain_work, protected_work, work.legacy_plain, work.legacy_protected});
  if (!CopyToWork(home, plain_work, &note.size, note.sha256)) {
    return fail(platform::GetLastError());
  }
  FileCryptor& cryptor = cipher().cryptor();
  if (!cryptor.SetSource(plain_work) || !cryptor.Protect() ||
      !platform::FileExists(protected_work)) {
    const CryptorFailure cause = CryptorCause(cryptor);
    return fail(cause.error, cause.status);
  }
  ForceDelete(plain_work);

  std::vector<RepositoryRecord> index;
  if (!ReadIndex(&index)) return fail(platform::GetLastError());
  note.record = *record;
  for (uint32_t copy = 0; copy <= UINT16_MAX; ++copy) {
    SetCopy(&note.record, static_cast<uint16_t>(copy));
    bool listed = false;
    for (const RepositoryRecord& existing : index) {
      listed = listed || SameRepositoryEntry(existing, note.record);
    }
    const std::u16string name = ProtectedPathOf(note.record);
    if (name.size() >= platform::kMaxPath) return fail(platform::kErrorFilenameExcedRange);
    if (listed || EntryExists(name)) continue;
    // A file system without user attributes keeps no note: the copy is still whole, and a
    // restore then keeps it until the user deletes it.
    platform::WriteFileNote(protected_work, kNoteName,
                            std::string_view(reinterpret_cast<const char*>(&note), sizeof(note)));
    if (platform::MoveFile(protected_work, name)) {
      platform::SetFileAttributes(name, kProtectedAttributes);
      *record = note.record;
      *protected_copy = name;
      return true;
    }
    // Another program took the name meanwhile: the next one.
    if (platform::GetLastError() != platform::kErrorAlreadyExists) {
      return fail(platform::GetLastError());
    }
  }
  return fail(platform::kErrorAlreadyExists);
}

bool Repository::Quarantine(std::u16string_view folder, std::u16string_view file_name,
                            uint32_t virus_id, const RepositoryNotice& notice,
                            RepositoryRecord* record_out) {
  const std::u16string home = platform::JoinPath(folder, file_name);
  auto refuse = [&](uint32_t error) {
    ReportRepositoryProblem(notice, RepositoryProblem::kMoveFailed, home, error);
    return false;
  };
  RepositoryRecord record;
  if (!MakeRepositoryRecord(virus_id, folder, file_name, RepositoryDate(platform::CurrentUtcTime()),
                            &record)) {
    return refuse(platform::kErrorFilenameExcedRange);
  }
  platform::FileInfo before;
  if (!platform::GetFileInfo(home, &before)) return refuse(platform::GetLastError());
  if (before.kind != platform::EntryKind::kRegular) return refuse(platform::kErrorAccessDenied);
  platform::HostFileState state;
  if (!platform::GetHostFileState(home, &state)) return refuse(platform::GetLastError());

  if (!swept_) {
    // Once for each repository object, and only when nobody holds the lock: a quarantine never
    // waits for the sweep.
    RepositoryIndexLock lock(0);
    if (lock.taken()) {
      SweepWork(false);
      swept_ = true;
    }
  }
  std::u16string protected_copy;
  if (!ProtectCopy(home, &record, &protected_copy, notice)) return false;

  // Listed first, deleted at home last: a kill in between leaves the file in both places.
  auto undo = [&](uint32_t error) {
    platform::SetLastError(error);
    DiscardWork({protected_copy});
    return refuse(error);
  };
  if (!AppendRepositoryRecords(index_path_, {record}, nullptr)) {
    return undo(platform::GetLastError());
  }
  // A file that changed while it was copied is not the file that was protected.
  platform::FileInfo now;
  uint32_t error = platform::kErrorSuccess;
  if (!platform::GetFileInfo(home, &now)) {
    error = platform::GetLastError();
  } else if (now.size != before.size || now.last_write.value != before.last_write.value) {
    error = platform::kErrorSharingViolation;
  } else if (!ForceDelete(home)) {
    error = platform::GetLastError();
    platform::SetFileAttributes(home, before.attributes & kProtectedAttributes);
    platform::SetHostFileState(home, state);
  }
  if (error != platform::kErrorSuccess) {
    // The entry could not be taken back: the copy stays with it, the file at home too.
    if (!RemoveRepositoryRecord(index_path_, record, nullptr)) return refuse(error);
    return undo(error);
  }
  if (record_out != nullptr) *record_out = record;
  return true;
}

RestoreOutcome Repository::Restore(const RepositoryRecord& record, const RepositoryNotice& notice) {
  const std::u16string home =
      platform::JoinPath(WideField(record.folder), WideField(record.file_name));
  const std::u16string protected_copy = ProtectedPathOf(record);
  if (!platform::FileExists(protected_copy)) {
    ReportRepositoryProblem(notice, RepositoryProblem::kRestoreMissing, home, 0, protected_copy);
    return RestoreOutcome::kMissing;
  }
  if (EntryExists(home)) {
    ReportRepositoryProblem(notice, RepositoryProblem::kRestoreOccupied, home);
    return RestoreOutcome::kKept;
  }
  const WorkNames work = WorkNamesOf(quarantine_folder_, CopyName(record));
  const std::u16string& plain_work = work.plain;
  const std::u16string& protected_work = work.protected_form;
  auto fail = [&](uint32_t error, Status status = kStatusOk) {
    DiscardWork({plain_work, protected_work});
    ReportRepositoryProblem(notice, RepositoryProblem::kRestoreFailed, home, error, {}, status);
    return RestoreOutcome::kKept;
  };
  if (protected_work.size() >= platform::kMaxPath) {
    return fail(platform::kErrorFilenameExcedRange);
  }
  ProtectedCopyNote note;
  const NoteState note_state = ReadNote(protected_copy, &record, &note);
  if (note_state == NoteState::kOther) {
    // The copy under this name is another file than the entry's.
    ReportRepositoryProblem(notice, RepositoryProblem::kRestoreDamaged, home, 0, protected_copy);
    return RestoreOutcome::kKept;
  }
  const bool noted = note_state == NoteState::kOwn;

  // The protected copy is decrypted from a copy of itself, so that it stays whole and in place
  // until the file is home.
  DiscardWork({plain_work, protected_work, work.legacy_plain, work.legacy_protected});
  uint64_t size = 0;
  uint8_t digest[platform::kSha256Length];
  if (!CopyToWork(protected_copy, protected_work, &size, digest)) {
    return fail(platform::GetLastError());
  }
  FileCryptor& cryptor = cipher().cryptor();
  if (!cryptor.SetSource(protected_work) || !cryptor.Unprotect() ||
      !platform::FileExists(plain_work)) {
    const CryptorFailure cause = CryptorCause(cryptor);
    return fail(cause.error, cause.status);
  }
  ForceDelete(protected_work);
  if (noted) {
    if (!DigestOfFile(plain_work, &size, digest)) return fail(platform::GetLastError());
    if (size != note.size || std::memcmp(digest, note.sha256, sizeof(digest)) != 0) {
      DiscardWork({plain_work});
      ReportRepositoryProblem(notice, RepositoryProblem::kRestoreDamaged, home, 0, protected_copy);
      return RestoreOutcome::kKept;
    }
    platform::HostFileState state;
    state.mode = note.host_mode;
    state.last_write.value = note.last_write;
    if (!platform::SetFileAttributes(plain_work, note.attributes & platform::kAttributeSystem) ||
        !platform::SetHostFileState(plain_work, state)) {
      return fail(platform::GetLastError());
    }
  }
  // The file goes home and its entry leaves the index under one hold of the lock: a program that
  // cannot take it restores nothing.
  RepositoryIndexLock lock;
  if (!lock.taken()) {
    DiscardWork({plain_work});
    ReportIndexBusy(index_path_, notice);
    return RestoreOutcome::kKept;
  }
  SweepWork(false);
  if (!platform::MoveFile(plain_work, home)) {
    const uint32_t error = platform::GetLastError();
    DiscardWork({plain_work});
    if (error == platform::kErrorAlreadyExists || error == platform::kErrorFileExists) {
      ReportRepositoryProblem(notice, RepositoryProblem::kRestoreOccupied, home);
    } else {
      ReportRepositoryProblem(notice, RepositoryProblem::kRestoreFailed, home, error);
    }
    return RestoreOutcome::kKept;
  }
  if (!noted) {
    ReportRepositoryProblem(notice, RepositoryProblem::kRestoreUnchecked, home, 0, protected_copy);
    return RestoreOutcome::kRestoredUnchecked;
  }
  // The entry goes before its copy: a kill in between leaves an unlisted copy, which Adopt
  // lists again, rather than an entry without its copy.
  if (!RemoveRepositoryRecord(index_path_, record, notice)) return RestoreOutcome::kRestored;
  if (!ForceDelete(protected_copy)) {
    const uint32_t error = platform::GetLastError();
    platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    ReportRepositoryProblem(notice, RepositoryProblem::kDeleteFailed, protected_copy, error);
  }
  return RestoreOutcome::kRestored;
}

bool Repository::Delete(const RepositoryRecord& record, const RepositoryNotice& notice) {
  // Taken before the copy goes: a program that cannot take it leaves copy and entry as they are,
  // rather than an entry without its copy.
  RepositoryIndexLock lock;
  if (!lock.taken()) return ReportIndexBusy(index_path_, notice);
  SweepWork(false);
  const std::u16string protected_copy = ProtectedPathOf(record);
  if (!ForceDelete(protected_copy) && platform::GetLastError() != platform::kErrorFileNotFound) {
    const uint32_t error = platform::GetLastError();
    platform::SetFileAttributes(protected_copy, kProtectedAttributes);
    ReportRepositoryProblem(notice, RepositoryProblem::kDeleteFailed, protected_copy, error);
    return false;
  }
  return RemoveRepositoryRecord(index_path_, record, notice);
}

bool Repository::FindUnlisted(std::vector<UnlistedCopy>* copies) {
  copies->clear();
  std::vector<RepositoryRecord> index;
  if (!ReadIndex(&index)) return false;
  std::vector<std::u16string> listed;
  for (const RepositoryRecord& record : index) listed.push_back(ProtectedPathOf(record));
  const std::u16string extension = std::u16string(u".") + kProtectedExtension;
  platform::DirectoryListing listing;
  platform::FindData entry;
  if (!listing.First(platform::JoinPath(quarantine_folder_, u"*" + extension), &entry)) {
    const uint32_t error = platform::GetLastError();
    return error == platform::kErrorFileNotFound || error == platform::kErrorNoMoreFiles;
  }
  do {
    if (entry.kind != platform::EntryKind::kRegular || entry.name[0] == kWorkPrefix ||
        entry.name.size() <= extension.size() ||
        entry.name.substr(entry.name.size() - extension.size()) != extension) {
      continue;
    }
    const std::u16string path = platform::JoinPath(quarantine_folder_, entry.name);
    bool is_listed = false;
    for (const std::u16string& name : listed) is_listed = is_listed || name == path;
    if (is_listed || !cipher().WroteHeaderOf(path)) continue;
    UnlistedCopy copy;
    copy.path = path;
    ProtectedCopyNote note;
    if (ReadNote(path, nullptr, &note) == NoteState::kOwn && ProtectedPathOf(note.record) == path) {
      copy.record = note.record;
      copy.noted = true;
    } else if (!RecordFromName(path, &copy.record)) {
      continue;
    }
    copies->push_back(std::move(copy));
  } while (listing.Next(&entry));
  return true;
}

int Repository::Adopt(const RepositoryNotice& notice) {
  RepositoryIndexLock lock;
  if (!lock.taken()) return ReportIndexBusy(index_path_, notice), -1;
  std::vector<UnlistedCopy> copies;
  if (!FindUnlisted(&copies)) return -1;
  // Work left by interrupted operations: second copies of files that are home or listed.
  SweepWork(true);
  std::vector<RepositoryRecord> records;
  for (const UnlistedCopy& copy : copies) records.push_back(copy.record);
  if (!AppendRepositoryRecords(index_path_, records, notice)) return -1;
  return static_cast<int>(records.size());
}

void Repository::SweepWork(bool legacy_too) {
  std::vector<std::u16string> leftovers;
  platform::DirectoryListing listing;
  platform::FindData entry;
  if (listing.First(platform::JoinPath(quarantine_folder_, std::u16string(1, kWorkPrefix) + u"*"),
                    &entry)) {
    do {
      if (entry.kind != platform::EntryKind::kRegular || entry.name[0] != kWorkPrefix) continue;
      const pid_t writer = WorkWriter(entry.name);
      const bool ended = writer == 0 ? legacy_too
                                     : writer != platform::CurrentProcessId() && ProcessEnded(writer);
      if (ended) leftovers.push_back(platform::JoinPath(quarantine_folder_, entry.name));
    } while (listing.Next(&entry));
  }
  listing.Close();
  for (const std::u16string& path : leftovers) ForceDelete(path);
}

}  // namespace kolvar

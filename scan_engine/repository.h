// The quarantine repository: the quarantine folder, the name an infected file takes there, the
// quarantine cipher, the protected copies (".avq"), the index KVRepository.dat, and the file
// operations that the scanner and the main program carry out on it (quarantine, delete, restore).
//
// Nothing is ever lost: at every moment of a quarantine or a restore the file exists whole as the
// original, as the plain copy in the quarantine folder, or as the protected copy. A step that
// fails leaves the file where the last successful step put it, and the user is told.
#ifndef KOLVAR_SCAN_ENGINE_REPOSITORY_H_
#define KOLVAR_SCAN_ENGINE_REPOSITORY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "common/message_text.h"

namespace kolvar {

class CipherContext;
class FileCryptor;

inline constexpr char16_t kQuarantineFolderName[] = u"Quarantine";
inline constexpr char16_t kRepositoryIndexName[] = u"KVRepository.dat";
inline constexpr char16_t kProtectedExtension[] = u"avq";

// Messages of the repository's file operations, shown with the error icon unless said otherwise.
inline constexpr char16_t kDeleteFailedMessage[] = u"The file '%s' could not be deleted.(%d)";
inline constexpr char16_t kMoveFailedMessage[] =
    u"The file '%s' cannot be moved to the repository (%d).";
inline constexpr char16_t kProtectFailedMessage[] =
    u"The file '%s' was moved to the repository but could not be protected (%d).\n"
    u"It is kept unprotected as '%s'.";
inline constexpr char16_t kRestoreFailedMessage[] = u"The file '%s' could not be restored.(%d)";
inline constexpr char16_t kRestoreOccupiedMessage[] =
    u"The file '%s' could not be restored: a file of that name exists there.\n"
    u"The file stays in the repository.";
inline constexpr char16_t kRestoreBlockedMessage[] =
    u"The file '%s' could not be restored: the unprotected copy '%s' is in the way.\n"
    u"The file stays in the repository.";
inline constexpr char16_t kErrorCreatingFileMessage[] = u"Error creating file.";  // no icon
inline constexpr char16_t kQuarantineFolderFailedMessage[] =
    u"\nCould not create quarantine directory. Please contact support.";

// Characters of the date field, the terminator included (32 bytes).
inline constexpr size_t kRepositoryDateChars = 16;

struct RepositoryRecord {
  uint32_t virus_id;
  char16_t folder[260];                 // former folder, at most 259 characters
  char16_t file_name[260];              // at most 259 characters
  char16_t date[kRepositoryDateChars];  // "dd/mm/yyyy" of the UTC date of quarantine
};
static_assert(sizeof(RepositoryRecord) == 1076);
static_assert(offsetof(RepositoryRecord, virus_id) == 0);
static_assert(offsetof(RepositoryRecord, folder) == 4);
static_assert(offsetof(RepositoryRecord, file_name) == 524);
static_assert(offsetof(RepositoryRecord, date) == 1044);

// "%" + folder with every "\" turned into "_" + "%@%" + file name.
std::u16string RepositoryName(std::u16string_view folder, std::u16string_view file_name);
// The plain quarantined path: quarantine folder, "\", repository name.
std::u16string QuarantinedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                               std::u16string_view file_name);
// The protected copy: the quarantined path followed by ".avq".
std::u16string ProtectedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                             std::u16string_view file_name);
// The quarantine folder of an installation folder, without a trailing "\".
std::u16string QuarantineFolderOf(std::u16string_view install_folder);
// Creates the folder; true when it was created or exists already.
bool CreateQuarantineFolder(std::u16string_view quarantine_folder);

// "%02d/%02d/%04d" of day, month and year.
std::u16string RepositoryDate(const platform::SystemTime& time);
// A zero-filled record; false when the folder or the name does not fit its field.
bool MakeRepositoryRecord(uint32_t virus_id, std::u16string_view folder,
                          std::u16string_view file_name, std::u16string_view date,
                          RepositoryRecord* record);

// The quarantine cipher (enhanced provider, triple DES 168, the quarantine key, key derived) and
// a FileCryptor for ".avq" attached to it. One set serves any number of files on one thread.
class QuarantineCipher {
 public:
  QuarantineCipher();
  ~QuarantineCipher();
  QuarantineCipher(const QuarantineCipher&) = delete;
  QuarantineCipher& operator=(const QuarantineCipher&) = delete;

  // False when the provider or the key could not be set up; the cryptor then refuses every file.
  bool ok() const { return ok_; }
  FileCryptor& cryptor() { return *cryptor_; }

 private:
  std::unique_ptr<CipherContext> cipher_;
  std::unique_ptr<FileCryptor> cryptor_;
  bool ok_ = false;
};

enum class QuarantineOutcome {
  kProtected,    // only the protected copy remains, read-only and system
  kNotMoved,     // the file stays where it was
  kUnprotected,  // the file lies as the plain copy in the quarantine folder; protect it later
};

// Moves the file folder\file_name into the quarantine folder and protects it there. With
// `already_moved` the plain copy from an earlier attempt is protected without moving anything.
// Failures are told through `notice`.
QuarantineOutcome QuarantineFile(QuarantineCipher& cipher, std::u16string_view quarantine_folder,
                                 std::u16string_view folder, std::u16string_view file_name,
                                 bool already_moved, const UserNotice& notice);

// Deletes an infected file; a failure is told through `notice`.
bool DeleteInfectedFile(std::u16string_view full_path, const UserNotice& notice);

// Reads the index: whole records from the start until a short read. A missing index is empty.
// False with the last error set when it exists but cannot be read.
bool ReadRepositoryIndex(std::u16string_view index_path, std::vector<RepositoryRecord>* records);

// Adds the records whose folder and file name are not listed yet, in order. The index is
// rewritten beside and renamed over under the suite-wide repository lock, so that neither a kill
// nor the other program writing at the same moment loses a record. "Error creating file." when
// it cannot be written.
bool AppendRepositoryRecords(std::u16string_view index_path,
                             const std::vector<RepositoryRecord>& records,
                             const UserNotice& notice);

// Replaces the index with `records` (beside and renamed over); no record left deletes it.
bool RewriteRepositoryIndex(std::u16string_view index_path,
                            const std::vector<RepositoryRecord>& records, const UserNotice& notice);
// Removes the record of one folder and file name from the index as it stands now, keeping what
// others appended since it was read.
bool RemoveRepositoryRecord(std::u16string_view index_path, const RepositoryRecord& record,
                            const UserNotice& notice);

// Deletes the protected copy of an entry. True when it is gone (also when it was gone already).
bool DeleteRepositoryEntry(std::u16string_view quarantine_folder, const RepositoryRecord& record,
                           const UserNotice& notice);

enum class RestoreOutcome {
  kRestored,  // back at its former path; the protected copy is gone
  kKept,      // not restored; the protected copy and its entry stay (the user was told)
  kMissing,   // there is no protected copy for the entry (the user was told)
};

// Restores an entry to its former path: the protected copy is decrypted beside itself, the plain
// copy is moved to the former path, and only then is the protected copy deleted. A file at the
// former path is never replaced.
RestoreOutcome RestoreRepositoryEntry(QuarantineCipher& cipher,
                                      std::u16string_view quarantine_folder,
                                      const RepositoryRecord& record, const UserNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_REPOSITORY_H_

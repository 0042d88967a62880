// The quarantine repository: the quarantine folder, the name an infected file takes there, the
// quarantine cipher, the protected copies (".avq"), the index KVRepository.dat, and the operations
// that the scanner and the main program carry out on it (quarantine, restore, delete, adopt).
//
// Nothing is ever lost, whenever a program is killed: a file leaves its place only once its
// protected copy is whole and listed in the index, and a protected copy goes only once the file
// is back at its place and its entry has left the index. Work in progress lies under names that
// begin with "~" and carry the writer's process id, which no listed copy has; what a killed
// operation leaves there is only ever a second copy, and is cleared by the next operation on the
// same file or by the next quarantine, restore, delete or adopt once its writer has ended.
//
// Each protected copy carries a note beside its bytes (a user extended attribute, which readers of
// the file's bytes never see): its index record, the size and SHA-256 of the file's contents, and
// the file's permission bits, system bit and last-write time. A restore checks the decrypted bytes
// against the note before the protected copy goes, and gives the file back its mode and time.
#ifndef KOLVAR_SCAN_ENGINE_REPOSITORY_H_
#define KOLVAR_SCAN_ENGINE_REPOSITORY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "scan_engine/repository_index.h"
#include "scan_engine/repository_report.h"

namespace kolvar {

class CipherContext;
class FileCryptor;

inline constexpr char16_t kQuarantineFolderName[] = u"Quarantine";
inline constexpr char16_t kProtectedExtension[] = u"avq";

// "%" + folder with every "\" turned into "_" + "%@%" + file name.
std::u16string RepositoryName(std::u16string_view folder, std::u16string_view file_name);
// The plain quarantined path: quarantine folder, "\", repository name.
std::u16string QuarantinedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                               std::u16string_view file_name);
// The protected copy of the first copy of a path: the quarantined path followed by ".avq".
std::u16string ProtectedPath(std::u16string_view quarantine_folder, std::u16string_view folder,
                             std::u16string_view file_name);
// The protected copy that a record names: copy n > 0 has "~n" after the repository name.
std::u16string ProtectedPathOf(std::u16string_view quarantine_folder,
                               const RepositoryRecord& record);
// The quarantine folder of an installation folder, without a trailing "\".
std::u16string QuarantineFolderOf(std::u16string_view install_folder);
// Creates the folder; true when it was created or exists already.
bool CreateQuarantineFolder(std::u16string_view quarantine_folder);

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
  // Whether the file starts with the header this cipher writes (magic, key scheme, cipher and the
  // digest of the quarantine key).
  bool WroteHeaderOf(std::u16string_view path);

 private:
  std::unique_ptr<CipherContext> cipher_;
  std::unique_ptr<FileCryptor> cryptor_;
  bool ok_ = false;
};

// Deletes an infected file; a failure is reported as kDeleteFailed.
bool DeleteInfectedFile(std::u16string_view full_path, const RepositoryNotice& notice);

enum class RestoreOutcome {
  kRestored,           // back at its former path (mode and time too); copy and entry are gone
  kRestoredUnchecked,  // back, but without a note to check it by: copy and entry stay
  kKept,               // not restored; the protected copy and its entry stay (the user was told)
  kMissing,            // there is no protected copy for the entry; the entry stays (told)
};

// A protected copy that no index record names, and the record that Adopt would list it under.
struct UnlistedCopy {
  std::u16string path;
  RepositoryRecord record;
  bool noted = false;  // the record comes from the copy's note (else from its name)
};

// The repository of one installation: its quarantine folder and its index, and every operation
// that must keep the two consistent.
class Repository {
 public:
  Repository(std::u16string_view quarantine_folder, std::u16string_view index_path);
  ~Repository();
  Repository(const Repository&) = delete;
  Repository& operator=(const Repository&) = delete;

  const std::u16string& quarantine_folder() const { return quarantine_folder_; }
  const std::u16string& index_path() const { return index_path_; }

  // Moves folder\file_name into the repository: the protected copy is made from a copy of the
  // file, given a name of its own (a name already taken gets "~2", "~3", ...), listed in the
  // index, and only then is the file deleted at home. Any failure leaves the file where it was
  // and nothing of it in the repository, and is told as "cannot be moved to the repository".
  // *record (may be null) receives the index record.
  bool Quarantine(std::u16string_view folder, std::u16string_view file_name, uint32_t virus_id,
                  const RepositoryNotice& notice, RepositoryRecord* record = nullptr);
  // Restores an entry: the protected copy is decrypted beside itself, checked against its note,
  // given its mode and time and moved home (never over a file that is there); then the entry
  // leaves the index and the protected copy goes.
  RestoreOutcome Restore(const RepositoryRecord& record, const RepositoryNotice& notice);
  // Deletes an entry's protected copy, then its entry. False (told) when the copy stays.
  bool Delete(const RepositoryRecord& record, const RepositoryNotice& notice);

  bool ReadIndex(std::vector<RepositoryRecord>* records) const;
  std::u16string ProtectedPathOf(const RepositoryRecord& record) const;
  // The newest entry of a home path, if any.
  bool FindNewestEntry(std::u16string_view folder, std::u16string_view file_name,
                       RepositoryRecord* record) const;
  // Protected copies of this repository that no entry names (a damaged or lost index). False
  // (last error set) when the index or the folder cannot be read.
  bool FindUnlisted(std::vector<UnlistedCopy>* copies);
  // Lists every unlisted copy again and clears what interrupted operations left behind. Returns
  // the number of entries added; -1 when the index cannot be read (last error set) or written
  // (told).
  int Adopt(const RepositoryNotice& notice);

 private:
  QuarantineCipher& cipher();
  // Deletes the work of interrupted operations: what writers that have ended left, and with
  // `legacy_too` the work names without a writer. Called with the index lock held, so that two
  // sweeps never meet; work of a running operation is never touched.
  void SweepWork(bool legacy_too);
  bool ProtectCopy(std::u16string_view home, RepositoryRecord* record,
                   std::u16string* protected_copy, const RepositoryNotice& notice);

  const std::u16string quarantine_folder_;
  const std::u16string index_path_;
  std::unique_ptr<QuarantineCipher> cipher_;  // made when first needed
  bool swept_ = false;                        // a quarantine swept the folder's leftover work
};

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_REPOSITORY_H_

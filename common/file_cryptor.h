// Turns a whole file into a protected (encrypted) copy beside it, named with an extension appended
// (".avq" for the quarantine), and back. The copy starts with a header that records the key scheme,
// the cipher and the digest of the key material, so that a file protected with another cipher or
// other material is recognised before anything is decrypted; the data follows in 32768-byte chunks
// with the cipher's chain running on from one chunk to the next.
#ifndef KOLVAR_COMMON_FILE_CRYPTOR_H_
#define KOLVAR_COMMON_FILE_CRYPTOR_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/data_file.h"
#include "common/lockable_object.h"

namespace kolvar {

class CipherContext;

// The file formats are little-endian and written from these structs as they lie in memory.
static_assert(std::endian::native == std::endian::little);

inline constexpr uint32_t kProtectedFileMagic = 0xFF454641;  // bytes 41 46 45 FF

// The header of a protected file with the key fields present (key-header flag 1); the digest of
// digest_length bytes follows it. Without the key fields the data starts at offset 8.
// Layout: docs/formats.md#protected-file
struct ProtectedFileHeader {
  uint32_t magic;
  uint32_t key_header_flag;
  uint32_t key_scheme;
  uint32_t selector;
  uint32_t digest_length;
};
static_assert(sizeof(ProtectedFileHeader) == 20);
static_assert(offsetof(ProtectedFileHeader, magic) == 0);
static_assert(offsetof(ProtectedFileHeader, key_header_flag) == 4);
static_assert(offsetof(ProtectedFileHeader, key_scheme) == 8);
static_assert(offsetof(ProtectedFileHeader, selector) == 12);
static_assert(offsetof(ProtectedFileHeader, digest_length) == 16);
inline constexpr uint32_t kProtectedFileShortHeaderLength = 8;

class FileCryptor : public LockableObject {
 public:
  static constexpr uint32_t kChunkSize = 32768;
  // Longest extension in characters, its "." included.
  static constexpr size_t kMaxExtensionLength = 31;

  FileCryptor();
  ~FileCryptor() override;

  // The file (or folder) to work on. 54 when nothing exists there or the path holds "*" or "?";
  // 1 for an empty path; 3 while an operation runs.
  bool SetSource(std::u16string_view path);
  // 1 to 31 characters; "." is put in front unless the text begins with one ("avq" and ".avq" give
  // ".avq"). 1 for an empty or too long text, 3 while an operation runs.
  bool SetExtension(std::u16string_view text);
  // The cipher to use; not owned. 3 while an operation runs.
  bool SetCipher(CipherContext* cipher);

  // Encrypts the source into source + extension. Encrypts nothing and fails with the reason when
  // the source is refused: 75 (it already carries the extension), 54 (the destination name would be
  // too long), 74 (the destination exists), 67 (the source is read-only, hidden or system).
  // Other failures: 3 busy, 66 no source, 73 no usable cipher, the file wrapper's codes, 2 when
  // the cipher fails. A failed transform deletes what it wrote, leaves the source as it was, and
  // abandons the cipher's chain, so that the next file starts a chain of its own.
  bool Protect();
  // Decrypts the source, which must end in the extension, into the source path without it.
  // Refusals: 76 (it does not end in the extension), 54 (no name is left without it), 74, 67.
  // Failures as Protect, and 76 (not a protected file), 77 (other key scheme or cipher), 78
  // (other key material), 2 (damaged data or padding).
  bool Unprotect();

  // The extension in use (".avq" once set; empty before).
  std::u16string Extension();
  // The destination that the last Protect or Unprotect formed (empty when none could be formed).
  std::u16string LastDestination();
  bool IsBusy();

 private:
  enum class Direction { kProtect, kUnprotect };

  bool Run(Direction direction);
  Status Prepare(Direction direction, std::u16string* destination);
  Status Transform(Direction direction, const std::u16string& destination);
  Status ProtectData();
  Status UnprotectData();
  Status ReadFull(uint8_t* buffer, uint32_t wanted, uint32_t* got);
  Status WriteAll(const uint8_t* buffer, uint32_t length);

  DataFile source_file_;
  DataFile destination_file_;
  CipherContext* cipher_ = nullptr;
  uint32_t chunk_size_ = kChunkSize;
  std::u16string source_path_;
  bool source_set_ = false;
  std::u16string extension_;
  bool busy_ = false;
  uint32_t key_header_flag_ = 1;
  std::u16string last_destination_;
  uint32_t failure_error_ = 0;  // the platform error at the moment of a transform failure
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_FILE_CRYPTOR_H_

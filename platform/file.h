// Files and folders by device path: open/read/write/seek, attributes, move, copy, delete, folders
// and find-first/next listings. Failures return false and set the device's last error. Files and
// folders that the suite creates are private to the user (0600 and 0700).
#ifndef KOLVAR_PLATFORM_FILE_H_
#define KOLVAR_PLATFORM_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kolvar::platform {

// Device file attribute bits.
inline constexpr uint32_t kAttributeReadOnly = 0x01;  // the owner's write bit is clear
inline constexpr uint32_t kAttributeHidden = 0x02;    // the name begins with "."
inline constexpr uint32_t kAttributeSystem = 0x04;    // kept in the extended attribute below
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeInRom = 0x40;  // never set on Linux
// Reported alone for a file with none of the bits above, as the device does. Archive is never
// reported; setting it (or normal) is accepted and changes nothing.
inline constexpr uint32_t kAttributeNormal = 0x80;
// Name of the extended attribute that holds the system bit ("1" when set).
inline constexpr char kSystemAttributeXattr[] = "user.kolvar.system";

// 100-nanosecond intervals since 1 January 1601 UTC, as the device counts file times.
struct FileTime {
  uint64_t value = 0;
};
// Times before 1601 give 0.
FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// Broken-down time as the device's SYSTEMTIME gives it.
struct SystemTime {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
SystemTime CurrentLocalTime();
SystemTime CurrentUtcTime();
// False with 87 for a time the host calendar cannot show.
bool FileTimeToLocal(FileTime utc, SystemTime* local);
bool FileTimeToUtc(FileTime utc, SystemTime* time);

// What a directory entry is. Only regular files are ever opened; kOther covers FIFOs, sockets,
// devices and symbolic links, which listings report so that callers can tell the user.
enum class EntryKind { kRegular, kDirectory, kOther };

struct FileInfo {
  uint32_t attributes = 0;
  FileTime creation, last_access, last_write;
  uint64_t size = 0;
  uint64_t object_id = 0;  // device and inode folded together
  EntryKind kind = EntryKind::kRegular;
};

enum class FileAccess { kQuery, kRead, kWrite, kReadWrite };
enum class CreateDisposition {
  kCreateNew,         // fails with 80 when it exists
  kCreateAlways,      // truncates an existing file
  kOpenExisting,      // fails with 2 (or 3 for a missing folder) when it does not exist
  kOpenAlways,        // creates when missing
  kTruncateExisting,  // must exist; truncated
};
enum class SeekOrigin { kBegin, kCurrent, kEnd };

// An open regular file. Never follows a symbolic link in the last component and never opens a
// FIFO, socket, device or folder (fails with 5 instead of blocking). As on the device, a read-only
// file is not opened for writing (5), kCreateNew meets an existing file with 80, and kCreateAlways
// and kOpenAlways succeed on an existing file with the last error set to 183 (else 0). Reading a
// handle opened without read access, or writing one without write access, fails with 5. kQuery
// opens even a file that the user may not read. Closed by the destructor.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(std::u16string_view device_path, FileAccess access, CreateDisposition disposition);
  bool IsOpen() const { return fd_ >= 0; }
  // Reads until `length` bytes have come or the file ends, so *read is below `length` only at the
  // end of the file (0 there). This is the suite's one "read exactly n bytes or tell how many".
  bool Read(void* buffer, uint32_t length, uint32_t* read);
  bool Write(const void* buffer, uint32_t length, uint32_t* written);
  bool Seek(int64_t offset, SeekOrigin origin, uint64_t* new_position = nullptr);
  bool Flush();  // data and metadata reach the disk
  // Writes all of `length` bytes at `offset` with one positioned write, without moving the file
  // position, so that a writer killed at any moment leaves either none or all of a small record
  // (the host writes a regular file's page-sized pieces whole). A short write fails with 112.
  bool WriteAt(uint64_t offset, const void* buffer, uint32_t length);
  bool FlushData();  // the data reach the disk (fdatasync)
  bool GetSize(uint64_t* size);
  bool GetInfo(FileInfo* info);
  bool SetEndOfFile();  // cuts the file at the current position
  void Close();
  int native_handle() const { return fd_; }

 private:
  int fd_ = -1;
  FileAccess access_ = FileAccess::kQuery;
  std::string name_;  // host name of the file, for the hidden bit
};

bool GetFileInfo(std::u16string_view device_path, FileInfo* info);  // does not follow a link
bool GetFileAttributes(std::u16string_view device_path, uint32_t* attributes);
// Applies read-only and system to a file or folder (5 for anything else); other bits are ignored
// (hidden is a property of the name). Setting read-only clears every write bit, clearing it gives
// back the owner's. Where the file system keeps no extended attributes the system bit cannot be
// kept: the call still succeeds and the bit reads as clear.
bool SetFileAttributes(std::u16string_view device_path, uint32_t attributes);
// What the host keeps of a file beyond the device's attributes: all its permission bits and its
// last-write time, so that a file can leave its place and come back as it was.
struct HostFileState {
  uint32_t mode = 0;  // permission bits (07777)
  FileTime last_write;
};
bool GetHostFileState(std::u16string_view device_path, HostFileState* state);
// Sets the last-write time, then the permission bits (so a read-only result is fine).
bool SetHostFileState(std::u16string_view device_path, const HostFileState& state);

// Notes kept with a file beside its bytes, in the user extended attribute "user.kolvar." + name:
// programs that read only the file's bytes never see them, and a copy by a tool that drops
// extended attributes loses them. Reading fails with 50 where the file system keeps no user
// attributes and with 1168 when the file has no such note; writing fails with 50 there too.
bool WriteFileNote(std::u16string_view device_path, std::string_view name, std::string_view bytes);
bool ReadFileNote(std::u16string_view device_path, std::string_view name, std::string* bytes);

// Fails with 183 when `to` exists (never replaces), 3 when its folder is missing. Across file
// systems a file is copied beside `to` under a hidden temporary name, put in place without
// replacing and then deleted at `from`; a folder fails with 17 there.
bool MoveFile(std::u16string_view from, std::u16string_view to);
// Renames `from` over `to` atomically (same folder or file system); for write-beside-and-replace.
bool ReplaceFile(std::u16string_view from, std::u16string_view to);
// Copies data, permission bits (so the read-only bit), the system bit and the times into a hidden
// temporary file beside `to` that is then renamed into place, so `to` is never seen half written.
// With fail_if_exists an existing `to` fails with 80; a read-only `to` is not replaced (5).
bool CopyFile(std::u16string_view from, std::u16string_view to, bool fail_if_exists);
// 5 for a read-only file or a folder, as the device; a symbolic link is removed itself.
bool DeleteFile(std::u16string_view device_path);
bool CreateDirectory(std::u16string_view device_path);  // 183 when it exists, 3 without parent
// 145 when not empty, 267 for a file, 5 for a read-only folder.
bool RemoveDirectory(std::u16string_view device_path);
bool FileExists(std::u16string_view device_path);  // a regular file (a link is not followed)
// A folder; a link to a folder counts, since the folders of the host profile may be links.
bool DirectoryExists(std::u16string_view device_path);
// True for folders on proc, sysfs, devtmpfs, cgroup, debugfs and similar pseudo file systems,
// which the file walker never enters.
bool IsPseudoFileSystem(std::u16string_view device_path);

struct FindData {
  std::u16string name;  // the entry's name only
  uint32_t attributes = 0;
  FileTime creation, last_access, last_write;
  uint64_t size = 0;
  EntryKind kind = EntryKind::kRegular;
};

// find-first/next over one folder. The pattern is a device path whose last component may hold
// "*" and "?" ("\Docs\*.*", "\Docs\*", "\Docs\a?.txt"); "*.*" matches every name, as on the device,
// and so does "name.*" match "name". Wildcard patterns compare names without regard to case (the
// device's way); a last component without wildcards names one entry exactly, case and all.
// "." and "..", and host names that cannot be device names, are never returned. Entries are never
// followed: a symbolic link, FIFO, socket or device is reported as EntryKind::kOther with the
// link's own information. Entries come in the host's directory order.
class DirectoryListing {
 public:
  DirectoryListing();
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // False with 2 (nothing matches), 3 (no such folder) or another error.
  bool First(std::u16string_view pattern, FindData* data);
  // False with 18 at the end.
  bool Next(FindData* data);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_FILE_H_

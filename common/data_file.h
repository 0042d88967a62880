// The library's file wrapper: one file by device path, looked up when the path is set (attributes,
// times, size and object identifier as they were then), opened without sharing, read and written
// at a tracked position, and deleted on request. Failures record the wrapper's status codes (52-63)
// and the platform error.
#ifndef KOLVAR_COMMON_DATA_FILE_H_
#define KOLVAR_COMMON_DATA_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/lockable_object.h"
#include "platform/file.h"

namespace kolvar {

class DataFile : public LockableObject {
 public:
  DataFile();
  ~DataFile() override;  // closes an open file

  // 54 when the path contains "*" or "?" or names a folder; 1 for an empty path. A missing file
  // fails with 53, or is created (open-always, read and write, no sharing) when `create` is set and
  // then stays open. A file opened under a previous path is closed first.
  bool SetPath(std::u16string_view path, bool create = false);
  // Opens the existing file for reading and writing, or for queries only. 52 without a path, 53
  // when opening fails; an open file counts as success.
  bool Open(bool read_write);
  // Flushes and closes when open.
  bool Close();
  bool IsOpen() const { return open_; }

  // *length in: bytes wanted; out: bytes read, fewer only at the end of the file (platform::File
  // reads until all have come). 52 without a path, 55 when not open, 1 for a missing buffer,
  // missing length or zero length, 60 when the read fails. Sets the end-reached flag when fewer
  // bytes came than asked.
  bool Read(void* buffer, uint32_t* length);
  // *length in: bytes to write; out: bytes written. 52, 55, 1 as Read; 61 when the write fails.
  bool Write(const void* buffer, uint32_t* length, bool flush = false);
  // Moves to `offset` from the start. 55 when not open, 59 on failure.
  bool Seek(uint64_t offset);
  uint64_t Position() const { return position_; }
  // The open file's current size, else the size recorded by SetPath. 52 without a path.
  bool Size(uint32_t* low, uint32_t* high = nullptr);
  bool Size(uint64_t* size);
  bool EndReached() const { return end_reached_; }

  // Attribute bits 1, 2 and 4 as recorded.
  bool IsReadOnly() const;
  bool IsHidden() const;
  bool IsSystem() const;
  uint32_t Attributes() const { return attributes_; }
  // Set or clear bit 1 or 4 on the file (58 on failure, 52 without a path).
  bool SetReadOnly(bool on);
  bool SetSystem(bool on);
  bool ClearAttributes();

  // An open file fails with 63 unless `force`, which flushes and closes it first. 62 when deleting
  // fails; on success the path is forgotten.
  bool Delete(bool force = false);

  bool HasPath() const { return !no_path_; }
  const std::u16string& Path() const { return path_; }
  // The text after the last "." of the file name ("" when the name has none; a "\" met before a
  // "." ends the search), with or without the ".".
  std::u16string Extension(bool with_dot = false) const;

  // Times in local time and the identifier, as found when the path was set.
  const platform::SystemTime& CreationTime() const { return creation_; }
  const platform::SystemTime& LastAccessTime() const { return last_access_; }
  const platform::SystemTime& LastWriteTime() const { return last_write_; }
  uint64_t ObjectId() const { return object_id_; }

 private:
  void RecordInfo(const platform::FileInfo& info);
  Status ChangeAttributes(uint32_t clear, uint32_t set);
  void CloseLocked();
  Status TransferStatus(const void* buffer, uint32_t* length) const;

  std::u16string path_;
  uint32_t attributes_ = 0;
  platform::SystemTime creation_{};
  platform::SystemTime last_access_{};
  platform::SystemTime last_write_{};
  uint32_t size_low_ = 0;
  uint32_t size_high_ = 0;
  uint64_t object_id_ = 0;
  platform::File file_;
  bool no_path_ = true;
  bool open_ = false;
  // Written (or created) since the last flush, so Close and Delete flush. A file only read, even
  // one opened for writing, is not flushed: a flush costs a disk round trip at every program's
  // start, where the configuration is opened read-write to be loaded.
  bool unflushed_ = false;
  uint64_t position_ = 0;
  bool end_reached_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_DATA_FILE_H_

// The file wrapper over the platform's files.
#include "common/data_file.h"

#include <limits>

#include "platform/error.h"
#include "platform/path.h"

namespace kolvar {
namespace {

bool HasWildcard(std::u16string_view path) {
  return path.find_first_of(u"*?") != std::u16string_view::npos;
}

platform::SystemTime LocalTime(platform::FileTime time) {
  platform::SystemTime local{};
  if (!platform::FileTimeToLocal(time, &local)) local = platform::SystemTime{};
  return local;
}

}  // namespace

DataFile::DataFile() : LockableObject(true, kLockCriticalSection) {}

DataFile::~DataFile() { CloseLocked(); }

void DataFile::RecordInfo(const platform::FileInfo& info) {
  attributes_ = info.attributes;
  creation_ = LocalTime(info.creation);
  last_access_ = LocalTime(info.last_access);
  last_write_ = LocalTime(info.last_write);
  size_low_ = static_cast<uint32_t>(info.size);
  size_high_ = static_cast<uint32_t>(info.size >> 32);
  object_id_ = info.object_id;
}

void DataFile::CloseLocked() {
  if (open_) {
    file_.Close();
    open_ = false;
  }
  unflushed_ = false;
}

bool DataFile::SetPath(std::u16string_view path, bool create) {
  return RunLocked([&] {
    if (path.empty()) return kStatusBadArgument;
    if (HasWildcard(path) || path.size() >= platform::kMaxPath) return kStatusBadPath;
    if (open_) {
      if (unflushed_) file_.Flush();
      CloseLocked();
    }
    path_.assign(path);
    no_path_ = true;
    position_ = 0;
    end_reached_ = false;
    platform::FileInfo info;
    if (platform::GetFileInfo(path_, &info)) {
      // Only regular files are ever opened: folders, links, devices and pipes are not data files.
      if (info.kind != platform::EntryKind::kRegular) return kStatusBadPath;
    } else if (!create) {
      return kStatusFileOpenFailed;
    } else if (!file_.Open(path_, platform::FileAccess::kReadWrite,
                           platform::CreateDisposition::kOpenAlways) ||
               !file_.GetInfo(&info)) {
      file_.Close();
      return kStatusFileOpenFailed;
    } else {
      open_ = true;
      unflushed_ = true;
    }
    RecordInfo(info);
    no_path_ = false;
    return kStatusOk;
  });
}

bool DataFile::Open(bool read_write) {
  return RunLocked([&] {
    if (no_path_) return kStatusNoPath;
    if (open_) return kStatusOk;
    if (!file_.Open(path_,
                    read_write ? platform::FileAccess::kReadWrite : platform::FileAccess::kQuery,
                    platform::CreateDisposition::kOpenExisting)) {
      return kStatusFileOpenFailed;
    }
    open_ = true;
    unflushed_ = false;
    position_ = 0;
    end_reached_ = false;
    return kStatusOk;
  });
}

bool DataFile::Close() {
  return RunLocked([&] {
    if (!open_) return kStatusOk;
    // A flush that fails means written data may not have reached the disk: say so.
    const bool flushed = !unflushed_ || file_.Flush();
    CloseLocked();
    return flushed ? kStatusOk : kStatusWriteFailed;
  });
}

// The checks that Read and Write share: 52 without a path, 55 when not open, 1 for a missing
// buffer or length or a zero length. *length becomes 0 on the first two.
Status DataFile::TransferStatus(const void* buffer, uint32_t* length) const {
  const Status status = no_path_ ? kStatusNoPath : !open_ ? kStatusFileNotOpen : kStatusOk;
  if (status != kStatusOk) {
    if (length != nullptr) *length = 0;
    return status;
  }
  if (buffer == nullptr || length == nullptr || *length == 0) return kStatusBadArgument;
  return kStatusOk;
}

bool DataFile::Read(void* buffer, uint32_t* length) {
  return RunLocked([&] {
    if (Status status = TransferStatus(buffer, length); status != kStatusOk) return status;
    const uint32_t wanted = *length;
    if (!file_.Read(buffer, wanted, length)) {
      *length = 0;
      return kStatusReadFailed;
    }
    position_ += *length;
    end_reached_ = *length < wanted;
    return kStatusOk;
  });
}

bool DataFile::Write(const void* buffer, uint32_t* length, bool flush) {
  return RunLocked([&] {
    if (Status status = TransferStatus(buffer, length); status != kStatusOk) return status;
    const uint32_t wanted = *length;
    const bool written = file_.Write(buffer, wanted, length);
    position_ += *length;
    unflushed_ = true;
    // A short write (a full disk) is a failure, not a smaller success.
    if (!written || *length < wanted) return kStatusWriteFailed;
    if (flush) {
      if (!file_.Flush()) return kStatusWriteFailed;
      unflushed_ = false;
    }
    return kStatusOk;
  });
}

bool DataFile::Seek(uint64_t offset) {
  return RunLocked([&] {
    if (!open_) return kStatusFileNotOpen;
    uint64_t new_position = 0;
    if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
        !file_.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::kBegin, &new_position)) {
      return kStatusSeekFailed;
    }
    position_ = offset;
    return kStatusOk;
  });
}

bool DataFile::Size(uint64_t* size) {
  return RunLocked([&] {
    if (no_path_) return kStatusNoPath;
    if (size == nullptr) return kStatusBadArgument;
    uint64_t current = (static_cast<uint64_t>(size_high_) << 32) | size_low_;
    const bool known = !open_ || file_.GetSize(&current);
    *size = current;
    return known ? kStatusOk : kStatusReadFailed;
  });
}

bool DataFile::Size(uint32_t* low, uint32_t* high) {
  uint64_t size = 0;
  const bool ok = Size(&size);
  if (low != nullptr) *low = static_cast<uint32_t>(size);
  if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
  return ok;
}

bool DataFile::IsReadOnly() const { return (attributes_ & platform::kAttributeReadOnly) != 0; }
bool DataFile::IsHidden() const { return (attributes_ & platform::kAttributeHidden) != 0; }
bool DataFile::IsSystem() const { return (attributes_ & platform::kAttributeSystem) != 0; }

Status DataFile::ChangeAttributes(uint32_t clear, uint32_t set) {
  if (no_path_) return kStatusNoPath;
  uint32_t attributes = 0;
  if (!platform::GetFileAttributes(path_, &attributes)) return kStatusAttributeChangeFailed;
  attributes = (attributes & ~clear) | set;
  if (!platform::SetFileAttributes(path_, attributes)) return kStatusAttributeChangeFailed;
  attributes_ = (attributes_ & ~clear) | set;
  return kStatusOk;
}

bool DataFile::SetReadOnly(bool on) {
  return RunLocked([&] {
    return on ? ChangeAttributes(0, platform::kAttributeReadOnly)
              : ChangeAttributes(platform::kAttributeReadOnly, 0);
  });
}

bool DataFile::SetSystem(bool on) {
  return RunLocked([&] {
    return on ? ChangeAttributes(0, platform::kAttributeSystem)
              : ChangeAttributes(platform::kAttributeSystem, 0);
  });
}

bool DataFile::ClearAttributes() {
  return RunLocked([&] {
    return ChangeAttributes(platform::kAttributeReadOnly | platform::kAttributeSystem, 0);
  });
}

bool DataFile::Delete(bool force) {
  return RunLocked([&] {
    if (no_path_) return kStatusNoPath;
    if (open_) {
      if (!force) return kStatusFileIsOpen;
      if (unflushed_) file_.Flush();
      CloseLocked();
    }
    if (!platform::DeleteFile(path_)) return kStatusDeleteFailed;
    path_.clear();
    no_path_ = true;
    position_ = 0;
    end_reached_ = false;
    return kStatusOk;
  });
}

std::u16string DataFile::Extension(bool with_dot) const {
  for (size_t i = path_.size(); i > 0; --i) {
    const char16_t c = path_[i - 1];
    if (c == u'\\') break;
    if (c == u'.') return path_.substr(with_dot ? i - 1 : i);
  }
  return std::u16string();
}

}  // namespace kolvar

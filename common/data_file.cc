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
  writable_ = false;
}

bool DataFile::SetPath(std::u16string_view path, bool create) {
  Lock();
  Status status = kStatusOk;
  if (path.empty()) {
    status = kStatusBadArgument;
  } else if (HasWildcard(path) || path.size() >= platform::kMaxPath) {
    status = kStatusBadPath;
  }
  if (status == kStatusOk) {
    if (open_) {
      if (writable_) file_.Flush();
      CloseLocked();
    }
    path_.assign(path);
    no_path_ = true;
    position_ = 0;
    end_reached_ = false;
    platform::FileInfo info;
    if (platform::GetFileInfo(path_, &info)) {
      // Only regular files are ever opened: folders, links, devices and pipes are not data files.
      if (info.kind != platform::EntryKind::kRegular) status = kStatusBadPath;
    } else if (!create) {
      status = kStatusFileOpenFailed;
    } else if (!file_.Open(path_, platform::FileAccess::kReadWrite,
                           platform::CreateDisposition::kOpenAlways) ||
               !file_.GetInfo(&info)) {
      file_.Close();
      status = kStatusFileOpenFailed;
    } else {
      open_ = true;
      writable_ = true;
    }
    if (status == kStatusOk) {
      RecordInfo(info);
      no_path_ = false;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Open(bool read_write) {
  Lock();
  Status status = kStatusOk;
  if (no_path_) {
    status = kStatusNoPath;
  } else if (!open_) {
    if (file_.Open(path_,
                   read_write ? platform::FileAccess::kReadWrite : platform::FileAccess::kQuery,
                   platform::CreateDisposition::kOpenExisting)) {
      open_ = true;
      writable_ = read_write;
      position_ = 0;
      end_reached_ = false;
    } else {
      status = kStatusFileOpenFailed;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Close() {
  Lock();
  Status status = kStatusOk;
  if (open_) {
    // A flush that fails means written data may not have reached the disk: say so.
    if (writable_ && !file_.Flush()) status = kStatusWriteFailed;
    CloseLocked();
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Read(void* buffer, uint32_t* length) {
  Lock();
  Status status = no_path_ ? kStatusNoPath : !open_ ? kStatusFileNotOpen : kStatusOk;
  if (status == kStatusOk && (buffer == nullptr || length == nullptr || *length == 0)) {
    status = kStatusBadArgument;
  }
  if (status == kStatusOk) {
    const uint32_t wanted = *length;
    uint32_t got = 0;
    if (!file_.Read(buffer, wanted, &got)) {
      status = kStatusReadFailed;
      got = 0;
    } else {
      position_ += got;
      end_reached_ = got < wanted;
    }
    *length = got;
  } else if (length != nullptr && status != kStatusBadArgument) {
    *length = 0;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Write(const void* buffer, uint32_t* length, bool flush) {
  Lock();
  Status status = no_path_ ? kStatusNoPath : !open_ ? kStatusFileNotOpen : kStatusOk;
  if (status == kStatusOk && (buffer == nullptr || length == nullptr || *length == 0)) {
    status = kStatusBadArgument;
  }
  if (status == kStatusOk) {
    const uint32_t wanted = *length;
    uint32_t written = 0;
    if (!file_.Write(buffer, wanted, &written)) status = kStatusWriteFailed;
    position_ += written;
    // A short write (a full disk) is a failure, not a smaller success.
    if (status == kStatusOk && written < wanted) status = kStatusWriteFailed;
    if (status == kStatusOk && flush && !file_.Flush()) status = kStatusWriteFailed;
    *length = written;
  } else if (length != nullptr && status != kStatusBadArgument) {
    *length = 0;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Seek(uint64_t offset) {
  Lock();
  Status status = open_ ? kStatusOk : kStatusFileNotOpen;
  if (status == kStatusOk) {
    uint64_t new_position = 0;
    if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
        !file_.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::kBegin, &new_position)) {
      status = kStatusSeekFailed;
    } else {
      position_ = offset;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Size(uint64_t* size) {
  Lock();
  Status status = no_path_ ? kStatusNoPath : size == nullptr ? kStatusBadArgument : kStatusOk;
  if (status == kStatusOk) {
    uint64_t current = (static_cast<uint64_t>(size_high_) << 32) | size_low_;
    if (open_ && !file_.GetSize(&current)) status = kStatusReadFailed;
    *size = current;
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
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
  Lock();
  const Status status = on ? ChangeAttributes(0, platform::kAttributeReadOnly)
                           : ChangeAttributes(platform::kAttributeReadOnly, 0);
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::SetSystem(bool on) {
  Lock();
  const Status status = on ? ChangeAttributes(0, platform::kAttributeSystem)
                           : ChangeAttributes(platform::kAttributeSystem, 0);
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::ClearAttributes() {
  Lock();
  const Status status =
      ChangeAttributes(platform::kAttributeReadOnly | platform::kAttributeSystem, 0);
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool DataFile::Delete(bool force) {
  Lock();
  Status status = no_path_ ? kStatusNoPath : kStatusOk;
  if (status == kStatusOk && open_) {
    if (!force) {
      status = kStatusFileIsOpen;
    } else {
      if (writable_) file_.Flush();
      CloseLocked();
    }
  }
  if (status == kStatusOk) {
    if (!platform::DeleteFile(path_)) {
      status = kStatusDeleteFailed;
    } else {
      path_.clear();
      no_path_ = true;
      position_ = 0;
      end_reached_ = false;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
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

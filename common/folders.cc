// Folder queries over the platform's special folders and the running program's path.
#include "common/folders.h"

#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {
namespace {

// A path must fit the device's buffers of kMaxPath characters with its terminating NUL.
bool FitsPathBuffer(const std::u16string& path) {
  return !path.empty() && path.size() < platform::kMaxPath;
}

}  // namespace

FolderQuery::FolderQuery() : LockableObject(true, kLockCriticalSection) {}

bool FolderQuery::Special(platform::SpecialFolder which, bool trailing_separator,
                          std::u16string* folder) {
  Lock();
  Status status = folder == nullptr ? kStatusBadArgument : kStatusOk;
  if (status == kStatusOk) {
    std::u16string path;
    if (!platform::GetSpecialFolder(which, &path)) path.clear();
    if (trailing_separator && !path.empty() && path.back() != u'\\') path.push_back(u'\\');
    if (FitsPathBuffer(path)) {
      *folder = std::move(path);
    } else {
      folder->clear();
      status = kStatusFolderQueryFailed;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool FolderQuery::DocumentsFolder(std::u16string* folder) {
  return Special(platform::SpecialFolder::kDocuments, false, folder);
}

bool FolderQuery::StartupFolder(std::u16string* folder) {
  return Special(platform::SpecialFolder::kStartup, false, folder);
}

bool FolderQuery::WindowsFolder(std::u16string* folder) {
  return Special(platform::SpecialFolder::kWindows, false, folder);
}

bool FolderQuery::ProgramFilesFolder(std::u16string* folder) {
  return Special(platform::SpecialFolder::kProgramFiles, false, folder);
}

bool FolderQuery::TempFolder(std::u16string* folder) {
  return Special(platform::SpecialFolder::kTemp, true, folder);
}

bool FolderQuery::RunningProgramFolder(std::u16string* folder) {
  Lock();
  Status status = folder == nullptr ? kStatusBadArgument : kStatusOk;
  if (status == kStatusOk) {
    std::u16string path;
    if (!platform::RunningProgramPath(&path)) path.clear();
    const size_t cut = path.rfind(u'\\');
    path = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
    if (FitsPathBuffer(path)) {
      *folder = std::move(path);
    } else {
      folder->clear();
      status = kStatusFolderQueryFailed;
    }
  }
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool FolderQuery::FileExists(std::u16string_view path) {
  Lock();
  const Status status =
      !path.empty() && platform::FileExists(path) ? kStatusOk : kStatusFolderQueryFailed;
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

bool FolderQuery::FolderExists(std::u16string_view path) {
  Lock();
  const Status status =
      !path.empty() && platform::DirectoryExists(path) ? kStatusOk : kStatusFolderQueryFailed;
  SetStatus(status);
  Unlock();
  return status == kStatusOk;
}

}  // namespace kolvar

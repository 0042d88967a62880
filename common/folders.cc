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
  return RunLocked([&] {
    if (folder == nullptr) return kStatusBadArgument;
    std::u16string path;
    if (!platform::GetSpecialFolder(which, &path)) path.clear();
    if (trailing_separator && !path.empty() && path.back() != u'\\') path.push_back(u'\\');
    return Deliver(std::move(path), folder);
  });
}

// Hands a found folder to the caller: 17 (and an empty folder) when the platform gave none or one
// too long for the device's path buffers.
Status FolderQuery::Deliver(std::u16string path, std::u16string* folder) {
  if (!FitsPathBuffer(path)) {
    folder->clear();
    return kStatusFolderQueryFailed;
  }
  *folder = std::move(path);
  return kStatusOk;
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
  return RunLocked([&] {
    if (folder == nullptr) return kStatusBadArgument;
    std::u16string path;
    if (!platform::RunningProgramPath(&path)) path.clear();
    const size_t cut = path.rfind(u'\\');
    path = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
    return Deliver(std::move(path), folder);
  });
}

bool FolderQuery::FileExists(std::u16string_view path) {
  return RunLocked([&] {
    return !path.empty() && platform::FileExists(path) ? kStatusOk : kStatusFolderQueryFailed;
  });
}

bool FolderQuery::FolderExists(std::u16string_view path) {
  return RunLocked([&] {
    return !path.empty() && platform::DirectoryExists(path) ? kStatusOk : kStatusFolderQueryFailed;
  });
}

}  // namespace kolvar

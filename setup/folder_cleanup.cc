// Guarded emptying of the installation's folders; see folder_cleanup.h.
#include "setup/folder_cleanup.h"

#include <vector>

#include "ipc/ipc_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/scan_engine.h"
#include "setup/program_stopper.h"

namespace kolvar::setup {
namespace {

// `inner` is `outer` or lies below it.
bool IsWithin(std::u16string_view inner, std::u16string_view outer) {
  if (outer == u"\\") return true;
  if (inner.size() < outer.size()) return false;
  if (!platform::EqualsNoCase(inner.substr(0, outer.size()), outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == u'\\';
}

std::vector<platform::FindData> Entries(std::u16string_view folder) {
  std::vector<platform::FindData> entries;
  platform::DirectoryListing listing;
  platform::FindData entry;
  for (bool more = listing.First(platform::JoinPath(folder, u"*.*"), &entry); more;
       more = listing.Next(&entry)) {
    entries.push_back(entry);
  }
  return entries;
}

void DeleteContents(const std::u16string& folder) {
  for (const platform::FindData& entry : Entries(folder)) {
    const std::u16string path = platform::JoinPath(folder, entry.name);
    if (entry.kind == platform::EntryKind::kDirectory) {
      DeleteContents(path);
      platform::RemoveDirectory(path);
    } else {
      if (entry.kind == platform::EntryKind::kRegular) {
        platform::SetFileAttributes(path, platform::kAttributeNormal);
      }
      platform::DeleteFile(path);
    }
  }
}

}  // namespace

bool IsProtectedFolder(std::u16string_view folder) {
  const std::u16string normal = NormalFolder(folder);
  if (normal.empty() || normal == u"\\") return true;
  for (platform::SpecialFolder which :
       {platform::SpecialFolder::kWindows, platform::SpecialFolder::kDocuments,
        platform::SpecialFolder::kStartup, platform::SpecialFolder::kProgramFiles,
        platform::SpecialFolder::kTemp}) {
    std::u16string special;
    if (!platform::GetSpecialFolder(which, &special)) continue;
    special = NormalFolder(special);
    if (special.empty()) continue;
    if (IsWithin(special, normal)) return true;
    if (which == platform::SpecialFolder::kWindows && IsWithin(normal, special)) return true;
  }
  return false;
}

bool HoldsSuitePrograms(std::u16string_view folder) {
  return platform::FileExists(platform::JoinPath(folder, kIpcServiceProgram)) &&
         platform::FileExists(platform::JoinPath(folder, kScannerProgram));
}

void EmptyFolder(std::u16string_view folder) {
  if (IsProtectedFolder(folder)) return;
  DeleteContents(NormalFolder(folder));
}

uint32_t CountFiles(std::u16string_view folder) {
  uint32_t count = 0;
  for (const platform::FindData& entry : Entries(folder)) {
    if (entry.kind == platform::EntryKind::kDirectory) {
      count += CountFiles(platform::JoinPath(folder, entry.name));
    } else if (entry.kind == platform::EntryKind::kRegular) {
      ++count;
    }
  }
  return count;
}

}  // namespace kolvar::setup

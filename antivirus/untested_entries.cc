// The walk for the entries that a scan leaves alone; see untested_entries.h.
#include "antivirus/untested_entries.h"

#include "common/message_text.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/special_entry.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/scan_engine.h"

namespace kolvar {
namespace {

class Walk {
 public:
  Walk(std::u16string_view quarantine_folder, std::u16string_view database_path,
       const std::atomic<bool>& stop)
      : quarantine_folder_(Trimmed(quarantine_folder)),
        database_path_(database_path),
        stop_(stop) {}

  void Folder(const std::u16string& folder) {
    if (stop_) return;
    if (folder.size() > kMaxWalkedFolderChars) {
      Add(folder, u"folder path too long to enter");
      return;
    }
    if (InQuarantine(folder) || platform::IsPseudoFileSystem(folder)) return;
    platform::DirectoryListing listing;
    platform::FindData entry;
    if (!listing.First(platform::JoinPath(folder, u"*.*"), &entry)) {
      const uint32_t error = platform::GetLastError();
      if (error != platform::kErrorFileNotFound && error != platform::kErrorNoMoreFiles) {
        Add(folder, u"folder cannot be read (" + SystemErrorText(error) + u")");
      }
      return;
    }
    std::vector<std::u16string> subfolders;
    do {
      if (stop_) return;
      const std::u16string path = platform::JoinPath(folder, entry.name);
      if (entry.kind == platform::EntryKind::kDirectory) {
        subfolders.push_back(path);
      } else if (entry.kind == platform::EntryKind::kOther) {
        Add(path,
            std::u16string(platform::SpecialEntryKindName(platform::GetSpecialEntryKind(path))));
      } else {
        File(path, entry);
      }
    } while (listing.Next(&entry));
    listing.Close();
    for (const std::u16string& subfolder : subfolders) Folder(subfolder);
  }

  UntestedEntries& result() { return result_; }

 private:
  static std::u16string Trimmed(std::u16string_view folder) {
    while (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
    return std::u16string(folder);
  }

  bool InQuarantine(std::u16string_view folder) const {
    if (quarantine_folder_.empty()) return false;
    const std::u16string trimmed = Trimmed(folder);
    return trimmed == quarantine_folder_ ||
           (trimmed.size() > quarantine_folder_.size() &&
            trimmed.compare(0, quarantine_folder_.size(), quarantine_folder_) == 0 &&
            trimmed[quarantine_folder_.size()] == u'\\');
  }

  void File(const std::u16string& path, const platform::FindData& entry) {
    if (path.size() > kMaxTestedFileChars) {
      Add(path, u"path too long to test");
      return;
    }
    if (path == database_path_) return;  // the signature database itself
    std::string extension;
    if (!FileExtension(entry.name, &extension)) {
      Add(path, u"extension longer than " + DecimalText(kMaxExtensionLength) +
                    u" characters, never tested");
      return;
    }
    if (entry.size == 0) return;  // nothing to read
    platform::File file;
    if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
      Add(path, u"cannot be read (" + SystemErrorText(platform::GetLastError()) + u")");
    }
  }

  void Add(const std::u16string& path, std::u16string reason) {
    ++result_.total;
    if (result_.entries.size() < kUntestedEntryLimit) {
      result_.entries.push_back({path, std::move(reason)});
    }
  }

  const std::u16string quarantine_folder_;
  const std::u16string database_path_;
  const std::atomic<bool>& stop_;
  UntestedEntries result_;
};

}  // namespace

UntestedEntries FindUntestedEntries(std::u16string_view root, std::u16string_view quarantine_folder,
                                    std::u16string_view database_path,
                                    const std::atomic<bool>& stop) {
  Walk walk(quarantine_folder, database_path, stop);
  walk.Folder(std::u16string(root));
  return std::move(walk.result());
}

}  // namespace kolvar

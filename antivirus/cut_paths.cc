// The search for the whole paths of cut scan results; see cut_paths.h.
#include "antivirus/cut_paths.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_engine.h"

namespace kolvar {
namespace {

// What a record kept of one field, and whether it was cut.
struct FieldPattern {
  std::u16string_view kept;
  bool cut;

  bool Fits(std::u16string_view text) const {
    if (!cut) return text == kept;
    return text.size() > kept.size() && text.substr(0, kept.size()) == kept;
  }
};

// Whether a folder below `folder` (or `folder` itself) can fit the pattern: one of the two texts
// begins with the other.
bool MayLeadTo(std::u16string_view folder, const FieldPattern& pattern) {
  if (folder.size() <= pattern.kept.size()) {
    return pattern.kept.substr(0, folder.size()) == folder;
  }
  return pattern.cut && folder.substr(0, pattern.kept.size()) == pattern.kept;
}

std::u16string Trimmed(std::u16string_view folder) {
  while (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
  return std::u16string(folder);
}

// The walk for one entry, with the scanner's rules: folders as it names them (the scan folder as
// sent, then "\" and each name), none longer than it enters, never the quarantine folder or a
// pseudo file system, links never followed; files it would test (regular, not empty, a path it
// can hold, an extension its file-type rule takes, not the signature database).
class CutPathSearch {
 public:
  CutPathSearch(const ReportEntry& entry, const InstallPaths& paths)
      : folder_{entry.folder, (entry.cut & kCutFolder) != 0},
        name_{entry.file_name, (entry.cut & kCutFileName) != 0},
        quarantine_(Trimmed(paths.quarantine_folder)),
        database_(paths.signature_database) {}

  void Folder(const std::u16string& folder) {
    if (matches_.size() >= kCutPathMatchLimit || !MayLeadTo(folder, folder_)) return;
    if (folder.size() > kMaxWalkedFolderChars || InQuarantine(folder) ||
        platform::IsPseudoFileSystem(folder)) {
      return;
    }
    platform::DirectoryListing listing;
    platform::FindData entry;
    if (!listing.First(platform::JoinPath(folder, u"*.*"), &entry)) return;
    std::vector<std::u16string> subfolders;
    const bool files_fit = folder_.Fits(folder);
    do {
      if (entry.kind == platform::EntryKind::kDirectory) {
        subfolders.push_back(Below(folder, entry.name));
      } else if (files_fit && entry.kind == platform::EntryKind::kRegular &&
                 name_.Fits(entry.name)) {
        File(folder, entry);
      }
    } while (listing.Next(&entry));
    listing.Close();
    for (const std::u16string& subfolder : subfolders) Folder(subfolder);
  }

  // Folder and name of every file that fits, as the walker names them.
  const std::vector<std::pair<std::u16string, std::u16string>>& matches() const { return matches_; }

 private:
  // The walker's join: "\" between, unless the folder already ends in one (the root).
  static std::u16string Below(std::u16string_view folder, std::u16string_view name) {
    return platform::JoinPath(folder, name);
  }

  bool InQuarantine(std::u16string_view folder) const {
    if (quarantine_.empty()) return false;
    const std::u16string trimmed = Trimmed(folder);
    return trimmed == quarantine_ || (trimmed.size() > quarantine_.size() &&
                                      trimmed.compare(0, quarantine_.size(), quarantine_) == 0 &&
                                      trimmed[quarantine_.size()] == u'\\');
  }

  void File(const std::u16string& folder, const platform::FindData& entry) {
    const std::u16string path = Below(folder, entry.name);
    std::string extension;
    if (path.size() > kMaxTestedFileChars || path == database_ || entry.size == 0 ||
        (entry.attributes & platform::kAttributeInRom) != 0 ||
        !FileExtension(entry.name, &extension)) {
      return;
    }
    matches_.emplace_back(folder, entry.name);
  }

  const FieldPattern folder_;
  const FieldPattern name_;
  const std::u16string quarantine_;
  const std::u16string database_;
  std::vector<std::pair<std::u16string, std::u16string>> matches_;
};

}  // namespace

void ResolveCutPaths(std::vector<ReportEntry>& entries, std::u16string_view scan_folder,
                     const InstallPaths& paths) {
  for (ReportEntry& entry : entries) {
    if (entry.source != ReportSource::kScanResult || entry.whole_path || entry.cut == 0) continue;
    CutPathSearch search(entry, paths);
    search.Folder(std::u16string(scan_folder));
    entry.cut_matches = static_cast<uint32_t>(search.matches().size());
    if (search.matches().size() != 1) continue;
    entry.folder = search.matches().front().first;
    entry.file_name = search.matches().front().second;
    entry.whole_path = true;
    entry.path_resolved = true;
  }
}

std::string CutPathNote(const ReportEntry& entry) {
  if (entry.whole_path) return "";
  std::string fit = "no file fits it";
  if (entry.cut_matches >= kCutPathMatchLimit) {
    fit = std::to_string(kCutPathMatchLimit) + " or more files fit it";
  } else if (entry.cut_matches > 0) {
    fit = std::to_string(entry.cut_matches) +
          (entry.cut_matches == 1 ? " file fits" : " files fit") + " it";
  }
  return "path cut short in the scan results (… marks where); " + fit +
         ", so the file cannot be named and is not acted on";
}

}  // namespace kolvar

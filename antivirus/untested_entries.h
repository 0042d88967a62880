// The entries of a scanned tree that the scanner leaves alone, found by a walk of the same tree
// with the walker's rules (files of a folder before its subfolders, links never followed, pseudo
// file systems and the quarantine folder never entered), so that the report can say what was not
// tested and why: symbolic links, FIFOs, sockets and devices, files that cannot be read, names
// whose extension is too long for the file-type rule, and paths too long for the device.
//
// The scan protocol carries none of this, and the scanner counts an unreadable file as tested, as
// the device does; the walk reads no file content, it only opens each file to learn whether it
// can be read.
#ifndef KOLVAR_ANTIVIRUS_UNTESTED_ENTRIES_H_
#define KOLVAR_ANTIVIRUS_UNTESTED_ENTRIES_H_

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar {

struct UntestedEntry {
  std::u16string path;    // device path
  std::u16string reason;  // "symbolic link", "cannot be read (error 5)", ...
};

struct UntestedEntries {
  std::vector<UntestedEntry> entries;  // in walk order, at most the limit
  size_t total = 0;                    // all found, also those beyond the limit
};

// Entries kept at most; the rest are only counted.
inline constexpr size_t kUntestedEntryLimit = 100000;

// Walks `root` (a device folder) as the scanner does. `quarantine_folder` and `database_path` are
// left out as the scanner leaves them out. The walk ends early when `stop` becomes true.
UntestedEntries FindUntestedEntries(std::u16string_view root, std::u16string_view quarantine_folder,
                                    std::u16string_view database_path,
                                    const std::atomic<bool>& stop);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_UNTESTED_ENTRIES_H_

// The whole paths of scan results whose record was cut. A result record holds a folder and a name
// of at most 127 characters each, so the scanner cuts longer ones and marks the record; the path
// it then holds names no file, or the wrong one. The front end walks the scanned tree by the
// scanner's own rules (files the scanner would test, folders it would enter) for the files whose
// folder and name begin with what the record kept. When exactly one file fits, that is the file
// the scanner found, and the entry takes its whole path (and may be acted on); otherwise the entry
// keeps the cut path, marked, and counts the files that fit, and nothing is done to it.
#ifndef KOLVAR_ANTIVIRUS_CUT_PATHS_H_
#define KOLVAR_ANTIVIRUS_CUT_PATHS_H_

#include <string>
#include <string_view>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/scan_report.h"

namespace kolvar {

// Files of a walk that fit one cut entry beyond which the count stops (the entry is ambiguous
// anyway).
inline constexpr uint32_t kCutPathMatchLimit = 100;

// Resolves the cut scan-result entries of `entries` within `scan_folder` (the folder the scan was
// asked for, as it was sent to the scanner).
void ResolveCutPaths(std::vector<ReportEntry>& entries, std::u16string_view scan_folder,
                     const InstallPaths& paths);

// Why a cut path names no file, for the report: empty for a whole path.
std::string CutPathNote(const ReportEntry& entry);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_CUT_PATHS_H_

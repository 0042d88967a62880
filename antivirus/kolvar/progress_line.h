// The one live line that `kolvar scan` keeps on a terminal while a scan runs: elapsed time, files
// and kilobytes tested, infected files, and the item being tested, cut from the left to the
// terminal's width so that the line never wraps (a wrapped line could not be redrawn in place).
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_PROGRESS_LINE_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_PROGRESS_LINE_H_

#include <cstdint>
#include <string>

#include "scan_engine/scan_client.h"

namespace kolvar {

// "hh:mm:ss" of a duration, as the scan dialog's clock shows it (hours go past 99 if need be).
std::string ClockText(uint64_t elapsed_ms);
// The line's text (UTF-8, no control characters), at most `columns` characters when columns > 0.
std::string FormatProgressLine(const ScanProgress& progress, uint64_t elapsed_ms, int columns);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_PROGRESS_LINE_H_

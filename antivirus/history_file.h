// The update history KVHistory.upd, which the update applier writes and the main program only
// reads: text, one entry per line, lines ended by a line feed (a carriage return before it is
// dropped). The history dialog and "kolvar history" show its lines through ReadHistoryLines.
#ifndef KOLVAR_ANTIVIRUS_HISTORY_FILE_H_
#define KOLVAR_ANTIVIRUS_HISTORY_FILE_H_

#include <string>
#include <string_view>
#include <vector>

namespace kolvar {

// The history's lines in file order, from the device's multi-byte text (UTF-8 here; bytes that are
// no text show as U+FFFD). A last line without its line feed is shown too: the applier may have
// been stopped before it ended the line, and the entry is still the user's history. Read in
// blocks, so a line may run across two. False (last error set) when the file cannot be read; a
// missing file has no lines.
bool ReadHistoryLines(std::u16string_view path, std::vector<std::u16string>* lines);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_HISTORY_FILE_H_

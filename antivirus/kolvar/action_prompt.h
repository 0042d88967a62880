// The "ask" policy on a terminal: the report dialog's per-file choices (and its "All" forms) and
// the virus-detected dialog's choices as prompts, with the virus's description and the
// recommendation on request. Leaving a prompt (end of input, an interrupt) is the dialogs' Back
// key: no file of the report is acted on, and a detection is answered with no action.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_ACTION_PROMPT_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_ACTION_PROMPT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "antivirus/scan_report.h"
#include "platform/terminal.h"

namespace kolvar {

struct PromptIo {
  std::function<void(const std::string& text)> write;  // UTF-8, to the terminal
  std::function<platform::ReadLineResult(std::string* line)> read_line;
};

// Asks for the action of every scan-result entry, in order; "all" answers set this entry and every
// later one. False when the user left: the actions chosen so far are then cleared.
bool AskReportActions(std::vector<ReportEntry>& entries, const PromptIo& io);
// Asks what to do with a file that background scanning found: delete, move to the repository or
// ignore the threat (remembered for the virus by the scanner). kActionNone when the user left.
uint8_t AskDetectionAction(const ReportEntry& entry, const PromptIo& io);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_ACTION_PROMPT_H_

// The front end's command line: the command (scan, quarantine list / restore / delete / adopt,
// ps, sysinfo, config, history, viruses, update, help, version), its operands and options.
// Parsing only; nothing is checked against the device here.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_COMMAND_LINE_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_COMMAND_LINE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kolvar {

enum class FrontEndCommand {
  kHelp,
  kVersion,
  kScan,
  kQuarantineList,
  kQuarantineRestore,
  kQuarantineDelete,
  kQuarantineAdopt,
  kProcesses,
  kSystemInformation,
  kConfig,
  kHistory,
  kViruses,
  kUpdate,
};

// What to do with each infected file. kAsk prompts per file.
enum class ActionPolicy { kAsk, kDelete, kQuarantine, kIgnore };

struct CommandLine {
  FrontEndCommand command = FrontEndCommand::kHelp;
  std::optional<std::string> folder;   // scan: as given (device or host path)
  std::optional<ActionPolicy> action;  // scan: absent means the terminal decides
  bool quiet = false;                  // scan
  bool json = false;                   // scan, quarantine list
  size_t entry = 0;                    // quarantine restore / delete: from 1
  std::string page = "general";        // sysinfo: general, memory, screen, fonts or battery
  std::optional<std::string> key;      // config: the setting
  std::optional<std::string> value;    // config: its new value
  bool check = false;                  // update: only ask whether an update is offered
};

// Parses argv[1..]. False with *problem set (one line, no program name) on a usage error.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* parsed,
                      std::string* problem);

// The policy when none was given: ask on a terminal, ignore otherwise.
ActionPolicy DefaultActionPolicy(bool on_terminal);
const char* ActionPolicyName(ActionPolicy policy);

// The usage text of `kolvar --help`.
extern const char kUsageText[];

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_COMMAND_LINE_H_

// Command-line parsing of the front end; see command_line.h.
#include "antivirus/kolvar/command_line.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

namespace kolvar {

const char kUsageText[] =
    "usage: kolvar scan [FOLDER] [--action=ask|delete|quarantine|ignore] [--quiet] [--json]\n"
    "       kolvar quarantine list [--json]\n"
    "       kolvar quarantine restore N\n"
    "       kolvar quarantine delete N\n"
    "       kolvar quarantine adopt\n"
    "       kolvar ps [--json]\n"
    "       kolvar sysinfo [general|memory|screen|fonts|battery] [--json]\n"
    "       kolvar config [KEY [VALUE]]\n"
    "       kolvar history\n"
    "       kolvar viruses [--json]\n"
    "       kolvar update [--check]\n"
    "       kolvar --help | --version\n"
    "\n"
    "scan        scans FOLDER (a device path such as '\\My Documents', or a host path below the\n"
    "            device root; default: the whole device '\\') through the background scanner,\n"
    "            prints the report and carries out the action for every infected file.\n"
    "  --action  ask: a prompt per file (the default on a terminal); delete; quarantine: move\n"
    "            into the encrypted repository; ignore (the default without a terminal).\n"
    "  --quiet   prints only the infected files.\n"
    "  --json    prints one JSON document at the end instead of the report.\n"
    "quarantine  list, restore or delete the files held in the repository; N is the number\n"
    "            that 'list' shows. adopt lists again the protected files that the index\n"
    "            lost (list shows them).\n"
    "config      prints the four settings of the configuration dialog (SplashScreen,\n"
    "            AutoStartup, EnableBckScan, EnableFolderSelection), or one; with a VALUE\n"
    "            (1 or 0, on or off) sets it as the dialog's Confirm does (AutoStartup also\n"
    "            makes or removes the start-up entry; EnableBckScan on clears\n"
    "            EnableFolderSelection).\n"
    "history     prints the update history (KVHistory.upd).\n"
    "viruses     prints every virus of the virus detail database: id, name, description and\n"
    "            recommendation.\n"
    "update      downloads the newest update package from the update server (UPDATES/UpdateUrl),\n"
    "            checks the publisher's signatures (kvupdate.pub), installs it with the\n"
    "            updater and prints what was installed.\n"
    "  --check   only tells whether an update is offered (exit status 0 yes, 1 no).\n"
    "\n"
    "Exit status: 0 nothing found, 1 infected files found, 2 an error (update: 0 done or\n"
    "nothing to do, 2 an error or a refused update).\n"
    "Environment: KOLVAR_DEVICE_ROOT is the host folder of the device ('/' when unset).\n";

namespace {

bool ParseActionValue(std::string_view value, ActionPolicy* policy) {
  static const struct {
    std::string_view name;
    ActionPolicy policy;
  } kNames[] = {{"ask", ActionPolicy::kAsk},
                {"delete", ActionPolicy::kDelete},
                {"quarantine", ActionPolicy::kQuarantine},
                {"ignore", ActionPolicy::kIgnore}};
  for (const auto& entry : kNames) {
    if (value == entry.name) {
      *policy = entry.policy;
      return true;
    }
  }
  return false;
}

bool ParseEntryNumber(std::string_view text, size_t* number) {
  if (text.empty() || text.size() > 9) return false;
  size_t value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  if (value == 0) return false;
  *number = value;
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* parsed,
                      std::string* problem) {
  *parsed = CommandLine();
  std::vector<std::string> operands;
  bool options_ended = false;
  bool help = false;
  bool version = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      operands.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--quiet" || arg == "-q") {
      parsed->quiet = true;
    } else if (arg == "--check") {
      parsed->check = true;
    } else if (arg == "--json") {
      parsed->json = true;
    } else if (arg == "--action" || arg.starts_with("--action=")) {
      std::string_view value;
      if (arg == "--action") {
        if (i + 1 >= arguments.size()) {
          *problem = "--action needs ask, delete, quarantine or ignore";
          return false;
        }
        value = arguments[++i];
      } else {
        value = arg.substr(9);
      }
      ActionPolicy policy;
      if (!ParseActionValue(value, &policy)) {
        *problem =
            "--action needs ask, delete, quarantine or ignore, not '" + std::string(value) + "'";
        return false;
      }
      parsed->action = policy;
    } else {
      *problem = "unknown option '" + std::string(arg) + "'";
      return false;
    }
  }
  if (help || (operands.empty() && !version) || (!operands.empty() && operands[0] == "help")) {
    parsed->command = FrontEndCommand::kHelp;
    return true;
  }
  if (version && operands.empty()) {
    parsed->command = FrontEndCommand::kVersion;
    return true;
  }

  const std::string& command = operands[0];
  const bool scan_options = parsed->action.has_value() || parsed->quiet;
  if (command == "update") {
    if (scan_options || parsed->json) {
      *problem = "update takes only --check";
      return false;
    }
    if (operands.size() != 1) {
      *problem = "update takes no operand";
      return false;
    }
    parsed->command = FrontEndCommand::kUpdate;
    return true;
  }
  if (parsed->check) {
    *problem = "--check belongs to update";
    return false;
  }
  if (command == "scan") {
    if (operands.size() > 2) {
      *problem = "scan takes one folder at most";
      return false;
    }
    if (parsed->quiet && parsed->json) {
      *problem = "--quiet and --json exclude each other";
      return false;
    }
    parsed->command = FrontEndCommand::kScan;
    if (operands.size() == 2) parsed->folder = operands[1];
    return true;
  }
  if (command == "quarantine") {
    if (scan_options) {
      *problem = "--action and --quiet belong to scan";
      return false;
    }
    if (operands.size() < 2) {
      *problem = "quarantine needs list, restore N, delete N or adopt";
      return false;
    }
    const std::string& what = operands[1];
    if (what == "list" || what == "adopt") {
      if (operands.size() != 2) {
        *problem = "quarantine " + what + " takes no operand";
        return false;
      }
      if (what == "adopt" && parsed->json) {
        *problem = "--json belongs to scan and quarantine list";
        return false;
      }
      parsed->command =
          what == "list" ? FrontEndCommand::kQuarantineList : FrontEndCommand::kQuarantineAdopt;
      return true;
    }
    if (what == "restore" || what == "delete") {
      if (parsed->json) {
        *problem = "--json belongs to scan and quarantine list";
        return false;
      }
      if (operands.size() != 3 || !ParseEntryNumber(operands[2], &parsed->entry)) {
        *problem = "quarantine " + what + " needs the entry's number (from 1), as list shows it";
        return false;
      }
      parsed->command = what == "restore" ? FrontEndCommand::kQuarantineRestore
                                          : FrontEndCommand::kQuarantineDelete;
      return true;
    }
    *problem = "quarantine needs list, restore N, delete N or adopt, not '" + what + "'";
    return false;
  }
  if (command == "ps" || command == "sysinfo") {
    if (scan_options) {
      *problem = "--action and --quiet belong to scan";
      return false;
    }
    if (command == "ps") {
      if (operands.size() != 1) {
        *problem = "ps takes no operand";
        return false;
      }
      parsed->command = FrontEndCommand::kProcesses;
      return true;
    }
    static const char* const kPages[] = {"general", "memory", "screen", "fonts", "battery"};
    if (operands.size() > 2 ||
        (operands.size() == 2 && std::find(std::begin(kPages), std::end(kPages),
                                           std::string_view(operands[1])) == std::end(kPages))) {
      *problem = "sysinfo takes one page: general, memory, screen, fonts or battery";
      return false;
    }
    parsed->command = FrontEndCommand::kSystemInformation;
    if (operands.size() == 2) parsed->page = operands[1];
    return true;
  }
  if (command == "config" || command == "history" || command == "viruses") {
    if (scan_options) {
      *problem = "--action and --quiet belong to scan";
      return false;
    }
    if (parsed->json && command != "viruses") {
      *problem = "--json does not go with " + command;
      return false;
    }
    if (command == "config") {
      if (operands.size() > 3) {
        *problem = "config takes a setting and a value at most";
        return false;
      }
      if (operands.size() >= 2) parsed->key = operands[1];
      if (operands.size() == 3) parsed->value = operands[2];
      parsed->command = FrontEndCommand::kConfig;
      return true;
    }
    if (operands.size() != 1) {
      *problem = command + " takes no operand";
      return false;
    }
    parsed->command = command == "history" ? FrontEndCommand::kHistory : FrontEndCommand::kViruses;
    return true;
  }
  *problem = "unknown command '" + command + "'";
  return false;
}

ActionPolicy DefaultActionPolicy(bool on_terminal) {
  return on_terminal ? ActionPolicy::kAsk : ActionPolicy::kIgnore;
}

const char* ActionPolicyName(ActionPolicy policy) {
  switch (policy) {
    case ActionPolicy::kAsk:
      return "ask";
    case ActionPolicy::kDelete:
      return "delete";
    case ActionPolicy::kQuarantine:
      return "quarantine";
    case ActionPolicy::kIgnore:
      return "ignore";
  }
  return "ignore";
}

}  // namespace kolvar

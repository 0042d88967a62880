// `kolvar scan`: the main program's interactive scan without windows. It takes the main
// program's place (single instance, presence event, channel "ANTIVIRUS", the scanner started when
// absent), drives the scan through the ScanClient, keeps a live progress line on a terminal,
// answers the detections of background scanning by the chosen policy, carries out the actions of
// the report as the report dialog does, prints the report, and detaches as the main program does
// when it ends.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SCAN_COMMAND_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SCAN_COMMAND_H_

#include "antivirus/kolvar/command_line.h"
#include "antivirus/kolvar/console.h"
#include "antivirus/install_paths.h"

namespace kolvar {

// Runs the scan command; returns the exit status (0 clean, 1 infected, 2 error). `on_terminal`
// tells whether prompts can be answered (standard input and error are terminals).
int RunScanCommand(const CommandLine& command, const InstallPaths& paths, Console& console,
                   bool on_terminal);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SCAN_COMMAND_H_

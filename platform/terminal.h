// What the suite's terminal programs need of the terminal: whether a standard stream is a
// terminal, how wide it is, and a graceful way to be interrupted (Ctrl-C, a hang-up, a polite
// kill) so that a program can take its leave of the other programs before it ends.
#ifndef KOLVAR_PLATFORM_TERMINAL_H_
#define KOLVAR_PLATFORM_TERMINAL_H_

#include <string>

namespace kolvar::platform {

enum class StandardStream { kInput, kOutput, kError };

// True when the stream is connected to a terminal.
bool IsTerminal(StandardStream stream);
// Columns of the terminal on the stream; 0 when it is no terminal or does not say.
int TerminalColumns(StandardStream stream);

// From now on SIGINT, SIGTERM and SIGHUP no longer end the process: each only records that it
// arrived, for InterruptRequested. Calls after the first change nothing.
void CatchInterrupts();
// The first of those signals that arrived since CatchInterrupts, or 0.
int InterruptSignal();
inline bool InterruptRequested() { return InterruptSignal() != 0; }

enum class ReadLineResult { kLine, kEnd, kInterrupted, kFailed };
// Reads one line of standard input (without its line break; a last line without one counts).
// Unlike the buffered streams it returns kInterrupted as soon as a caught interrupt arrives
// while it waits, and it never reads past the line, so that a child may read the rest.
ReadLineResult ReadInputLine(std::string* line);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_TERMINAL_H_

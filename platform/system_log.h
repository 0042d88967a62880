// One line to the host's system log, for events that a windowless program records without asking
// the user (a file the scanner had to pass over, for instance).
#ifndef KOLVAR_PLATFORM_SYSTEM_LOG_H_
#define KOLVAR_PLATFORM_SYSTEM_LOG_H_

#include <string_view>

namespace kolvar::platform {

// Logs "program: text" as a warning of the user facility. Never fails visibly.
void WriteSystemLog(std::u16string_view program, std::u16string_view text);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_SYSTEM_LOG_H_

// Ending a program of the suite before its files are replaced or removed. A program is the suite's
// only when its file lies in the installation folder being worked on: the same user may run the
// programs of another installation or of another device image, and those are left alone. A
// program with a stop event is asked to end through it and waited for a bounded time; one that
// ignores it (or has no event to be asked through) is terminated, and the caller is told so.
#ifndef KOLVAR_SETUP_PROGRAM_STOPPER_H_
#define KOLVAR_SETUP_PROGRAM_STOPPER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace kolvar::setup {

// Outcomes of a stop, as the installer's hooks test them.
inline constexpr Status kStatusStopEventMissing = 1;
inline constexpr Status kStatusProgramNotRunning = 97;
inline constexpr Status kStatusProgramNotOpened = 102;
inline constexpr Status kStatusProcessListFailed = 103;

// How long a program asked through its stop event may take to end before it is terminated.
inline constexpr uint32_t kStopWaitMs = 20000;

struct StopOutcome {
  bool found = false;  // a process of the program ran from the folder
  Status status = kStatusProgramNotRunning;
  // One text per process that had to be terminated (kProgramTerminated or
  // kProgramWithoutStopEvent filled in), for the user.
  std::vector<std::u16string> notices;
};

// Ends every process whose program file is `folder`\`file_name` (the name compared without regard
// to case, as the device does). With a stop event: sets it and waits up to `wait_ms` for each,
// terminating what is still running then; without one, terminates at once. The status is 0 when
// every process ended, 97 when none ran, 103 when the running processes cannot be listed, 1 when
// a process had no stop event to set (it was terminated), 102 when a process could not be opened.
StopOutcome StopProgram(std::u16string_view folder, std::u16string_view file_name,
                        std::u16string_view stop_event, uint32_t wait_ms);

// The ids of the running processes whose program file is `folder`\`file_name`. False when the
// running processes cannot be listed.
bool FindProgramInFolder(std::u16string_view folder, std::u16string_view file_name,
                         std::vector<uint32_t>* pids);

// The one spelling of a device folder: from the device root, links of the root resolved, no
// trailing "\" (the root itself is "\"). Empty when the folder lies outside the device.
std::u16string NormalFolder(std::u16string_view folder);

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_PROGRAM_STOPPER_H_

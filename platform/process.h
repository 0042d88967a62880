// Processes: start a program with the device's single command-line string, wait, exit code,
// terminate, liveness through pidfd (immune to pid reuse), and finding a running program by its
// file name through /proc.
#ifndef KOLVAR_PLATFORM_PROCESS_H_
#define KOLVAR_PLATFORM_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel_objects.h"

namespace kolvar::platform {

struct StartOptions {
  // Detached from the starter's session and not a child the starter must reap (for daemons).
  bool detached = false;
};

// A handle to a process. Movable; closing it never affects the process.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the program at a device path. The command line is passed as one argument, absent when
  // empty. Fails with 2 when the program file does not exist, 5 when it cannot be run.
  static bool Start(std::u16string_view program, std::u16string_view command_line,
                    const StartOptions& options, Process* out);
  // Opens a running process by id; false with 87 when there is none.
  static bool OpenById(pid_t pid, Process* out);

  bool IsValid() const { return pidfd_ >= 0; }
  pid_t Pid() const { return pid_; }
  bool IsAlive() const;
  // kSignaled once the process has ended.
  WaitResult Wait(uint32_t timeout_ms = kInfinite);
  // kStillActive (259) while running; the exit code, or 128 + signal, once ended.
  bool GetExitCode(uint32_t* exit_code);
  // Ends the process at once (SIGKILL), as the device's terminate does.
  bool Terminate();
  void Close();

 private:
  int pidfd_ = -1;
  pid_t pid_ = 0;
  bool is_child_ = false;
  bool reaped_ = false;
  int exit_status_ = 0;
};

pid_t CurrentProcessId();
// Host path of the running executable (/proc/self/exe).
std::string CurrentExecutableHostPath();
// Ids of running processes (of this user) whose program file name (last component, compared
// without regard to case) is `file_name`.
std::vector<pid_t> FindProcessesByFileName(std::u16string_view file_name);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_PROCESS_H_

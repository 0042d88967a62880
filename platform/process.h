// Processes: start a program with the device's single command-line string, wait, exit code,
// terminate, liveness through pidfd (immune to pid reuse), and finding a running program by its
// file name through /proc.
//
// Reaping: no started program is ever left as a zombie of its starter, whether the handle is kept
// or not. A handle reaps its child as soon as it learns that the child ended (Wait, IsAlive,
// GetExitCode, Close); a handle closed while the child still runs hands the child's pidfd to one
// background thread of the starter, which waits on all such pidfds with epoll and reaps each when
// it ends. This is chosen over a double spawn through an intermediate program because the starter
// keeps a pidfd from the start (a grandchild's pid would have to be opened later, when it may
// already be reused), exec errors come back from posix_spawn itself, and the device image needs no
// extra program. A starter that ends first leaves its children to the system's reaper.
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
  // For daemons: a new session (setsid), so the starter's terminal and its signals never reach
  // the program, and standard input from /dev/null. Reaping needs no care either way (above).
  bool detached = false;
  // Device path of a file that receives the program's standard output and standard error
  // (emptied when the program starts, created 0600 when missing). Empty: a detached program gets
  // /dev/null for both, any other inherits them. A daemon must never hold its starter's terminal
  // or pipes open: whoever reads the starter's output (a shell pipeline, a test) would otherwise
  // wait for the daemon to end, not for the starter.
  std::u16string output_file = {};
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
  // empty (argv[0] is the program's host path). Fails with 2 when the program file does not exist
  // (3 when its folder does not), 5 when it is no executable regular file, 193 when the host cannot
  // run its format, 87 for a command line holding a NUL. The program inherits the environment
  // and only standard input, output and error; every signal starts with its default action.
  static bool Start(std::u16string_view program, std::u16string_view command_line,
                    const StartOptions& options, Process* out);
  // Opens a running process by id; false with 87 when there is none.
  static bool OpenById(pid_t pid, Process* out);

  bool IsValid() const { return pidfd_ >= 0; }
  pid_t Pid() const { return pid_; }
  bool IsAlive() const;
  // kSignaled once the process has ended.
  WaitResult Wait(uint32_t timeout_ms = kInfinite);
  // kStillActive (259) while running; the exit code, or 128 + signal, once ended. The host keeps
  // exit codes only for the parent: for an ended process that is no child of this one (or a child
  // whose starting handle has collected it already) the call fails with 50. A handle from
  // OpenById reads a child's exit code without collecting it.
  bool GetExitCode(uint32_t* exit_code);
  // Ends the process at once (SIGKILL), as the device's terminate does. A process that has ended
  // already counts as terminated; 5 when it belongs to another user.
  bool Terminate();
  void Close();

 private:
  bool TryReap();

  int pidfd_ = -1;
  pid_t pid_ = 0;
  bool is_child_ = false;  // this handle started the process and collects its exit status
  bool reaped_ = false;    // the exit status is known
  int exit_status_ = 0;
};

pid_t CurrentProcessId();
// Host path of the running executable (/proc/self/exe; a program file replaced while it runs
// gives its former path).
std::string CurrentExecutableHostPath();
// Ids of running processes (of this user, this one included), in ascending order, whose program
// file name (last component, compared without regard to case) is `file_name`.
std::vector<pid_t> FindProcessesByFileName(std::u16string_view file_name);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_PROCESS_H_

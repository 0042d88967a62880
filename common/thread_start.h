// Starting a thread: the one place where a thread that cannot start is caught. The standard library
// reports it by throwing, and nothing may throw across the suite's interfaces, so every thread the
// suite starts goes through StartThread and its caller handles a false result like any other
// failed call.
#ifndef KOLVAR_COMMON_THREAD_START_H_
#define KOLVAR_COMMON_THREAD_START_H_

#include <functional>
#include <thread>

namespace kolvar {

// Starts `body` on a new thread held by *thread (which must not hold a running thread). False,
// with the last error set from the system's reason and *thread left empty, when it cannot start.
bool StartThread(std::thread* thread, std::function<void()> body);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_THREAD_START_H_

// The suite's one catch of a thread that cannot start; see thread_start.h.
#include "common/thread_start.h"

#include <system_error>
#include <utility>

#include "platform/error.h"

namespace kolvar {

bool StartThread(std::thread* thread, std::function<void()> body) {
  try {
    *thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error& e) {
    platform::SetLastError(platform::ErrorFromErrno(e.code().value()));
    return false;
  }
}

}  // namespace kolvar

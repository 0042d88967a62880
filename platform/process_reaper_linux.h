// Internal to platform/: the one background thread that reaps children whose handles were closed
// while they still ran, so that no started program stays a zombie of its starter.
#ifndef KOLVAR_PLATFORM_PROCESS_REAPER_LINUX_H_
#define KOLVAR_PLATFORM_PROCESS_REAPER_LINUX_H_

namespace kolvar::platform::internal {

// Takes ownership of the pidfd of an unreaped child; the child is reaped and the descriptor
// closed when the child ends. Falls back to a blocking reap on a thread of its own when the
// shared thread cannot be set up.
void ReapWhenEnded(int pidfd);

}  // namespace kolvar::platform::internal

#endif  // KOLVAR_PLATFORM_PROCESS_REAPER_LINUX_H_

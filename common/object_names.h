// How the suite names its kernel objects: locks are "_@" + name + "@_", presence events
// "@_" + name + "_@", and scratch blocks "_@KVCC_<pid>_<counter>@_". The names are the contract
// between the programs, so they are built in one place.
#ifndef KOLVAR_COMMON_OBJECT_NAMES_H_
#define KOLVAR_COMMON_OBJECT_NAMES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar {

// "_@" + name + "@_".
std::u16string LockName(std::u16string_view name);
// "@_" + name + "_@".
std::u16string PresenceEventName(std::u16string_view name);
// "_@KVCC_%u_%d@_" with the process id (unsigned decimal) and the counter (signed decimal).
std::u16string ScratchBlockName(uint32_t process_id, int32_t counter);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_OBJECT_NAMES_H_

// The size of a memory page, which the library's containers use as their growth unit.
#ifndef KOLVAR_PLATFORM_MEMORY_PAGE_H_
#define KOLVAR_PLATFORM_MEMORY_PAGE_H_

#include <cstdint>

namespace kolvar::platform {

// The system's memory page size in bytes (4096 when the system cannot tell).
uint32_t MemoryPageSize();

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_MEMORY_PAGE_H_

// Memory page size from sysconf.
#include <unistd.h>

#include "platform/memory_page.h"

namespace kolvar::platform {

uint32_t MemoryPageSize() {
  static const uint32_t page_size = [] {
    long value = sysconf(_SC_PAGESIZE);
    return value > 0 && value <= (1L << 30) ? static_cast<uint32_t>(value) : 4096u;
  }();
  return page_size;
}

}  // namespace kolvar::platform

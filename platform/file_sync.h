// Making a rename durable: after a file written beside another has been flushed and renamed over
// it, the folder that holds both must reach the disk too, or a crash can bring back the old name.
#ifndef KOLVAR_PLATFORM_FILE_SYNC_H_
#define KOLVAR_PLATFORM_FILE_SYNC_H_

#include <string_view>

namespace kolvar::platform {

// Flushes the folder that contains `device_path` (its entries, not the files in it). False with
// the last error set when the folder cannot be opened or flushed.
bool FlushContainingFolder(std::u16string_view device_path);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_FILE_SYNC_H_

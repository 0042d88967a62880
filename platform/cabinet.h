// Microsoft cabinet files, the container of the suite's update packages, read and written whole in
// memory (packages are a few megabytes at most). The names inside a cabinet are the cabinet's own
// text; what they may name on the device is decided by the installer, not here.
#ifndef KOLVAR_PLATFORM_CABINET_H_
#define KOLVAR_PLATFORM_CABINET_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kolvar::platform {

struct CabinetFile {
  std::string name;  // as stored in the cabinet
  std::vector<uint8_t> bytes;
};

// The largest cabinet these calls read or write.
inline constexpr size_t kMaxCabinetSize = 256u << 20;

// The files of the cabinet in `cabinet`, in the cabinet's order. False with a reason in *error when
// the bytes are no cabinet that can be read whole (damaged, cut short, an unknown compression);
// *files is then empty.
bool ReadCabinet(std::span<const uint8_t> cabinet, std::vector<CabinetFile>* files,
                 std::string* error);

// A cabinet of one compressed (MSZIP) folder holding `files` in their order.
bool WriteCabinet(const std::vector<CabinetFile>& files, std::vector<uint8_t>* cabinet,
                  std::string* error);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_CABINET_H_

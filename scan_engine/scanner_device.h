// Which device the background scanner of a namespace serves. Programs meet through the named
// objects of their namespace folder, and one scanner serves a namespace; a front end of another
// device that shared the folder would otherwise be served by it and get the other device's tree
// scanned. So the scanner states its device root in a named block before it registers its
// channel, and keeps it as long as it runs; a front end reads it before it attaches.
//
// The block's file in the namespace folder holds exactly the record below, so a person can also
// read it there.
#ifndef KOLVAR_SCAN_ENGINE_SCANNER_DEVICE_H_
#define KOLVAR_SCAN_ENGINE_SCANNER_DEVICE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kernel_objects.h"

namespace kolvar {

inline constexpr char16_t kScannerDeviceBlockName[] = u"KVMSCANDEVICE";
inline constexpr uint32_t kScannerDeviceMagic = 0x5644534B;  // "KSDV" read as little-endian bytes

// The longest root the record holds, in bytes (a host path of PATH_MAX with its NUL).
inline constexpr size_t kScannerDeviceRootBytes = 4096;

struct ScannerDeviceRecord {
  uint32_t magic;                      // written last: a record without it is not complete
  uint32_t length;                     // bytes of the root
  char root[kScannerDeviceRootBytes];  // the canonical device root, UTF-8, NUL-terminated
};
static_assert(sizeof(ScannerDeviceRecord) == 4104);
static_assert(offsetof(ScannerDeviceRecord, magic) == 0);
static_assert(offsetof(ScannerDeviceRecord, length) == 4);
static_assert(offsetof(ScannerDeviceRecord, root) == 8);

// The scanner's side: holds the block for as long as the object lives.
class ScannerDeviceNotice {
 public:
  // Creates the block and writes `canonical_root` into it. False with the last error set when the
  // block cannot be created or the root does not fit.
  bool Publish(const std::string& canonical_root);
  void Withdraw() { block_.Close(); }

 private:
  platform::SharedMemory block_;
};

enum class ScannerDeviceLookup {
  kKnown,       // the scanner of this namespace serves *root
  kAbsent,      // no scanner states its device (none runs, or one is still starting)
  kUnreadable,  // the block exists but holds no complete record
};

// The front end's side: which device root the scanner of the namespace states.
ScannerDeviceLookup ReadScannerDevice(std::string* root);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SCANNER_DEVICE_H_

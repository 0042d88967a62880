// The scanner's statement of its device root; see scanner_device.h.
#include "scan_engine/scanner_device.h"

#include <atomic>
#include <cstring>

#include "platform/error.h"

namespace kolvar {
namespace {

// The magic word is the record's commit mark: stored after the root with release order, read
// first with acquire order, so a reader that sees it sees the whole root.
void StoreMagic(ScannerDeviceRecord* record, uint32_t value) {
  std::atomic_ref<uint32_t>(record->magic).store(value, std::memory_order_release);
}

uint32_t LoadMagic(ScannerDeviceRecord* record) {
  return std::atomic_ref<uint32_t>(record->magic).load(std::memory_order_acquire);
}

}  // namespace

bool ScannerDeviceNotice::Publish(const std::string& canonical_root) {
  if (canonical_root.empty() || canonical_root.size() >= kScannerDeviceRootBytes ||
      canonical_root.find('\0') != std::string::npos) {
    return platform::Fail(platform::kErrorFilenameExcedRange);
  }
  if (!block_.Create(kScannerDeviceBlockName, sizeof(ScannerDeviceRecord))) return false;
  auto* record = static_cast<ScannerDeviceRecord*>(block_.data());
  StoreMagic(record, 0);
  std::memset(record->root, 0, sizeof(record->root));
  std::memcpy(record->root, canonical_root.data(), canonical_root.size());
  record->length = static_cast<uint32_t>(canonical_root.size());
  StoreMagic(record, kScannerDeviceMagic);
  return true;
}

ScannerDeviceLookup ReadScannerDevice(std::string* root) {
  platform::SharedMemory block;
  if (!block.Open(kScannerDeviceBlockName, sizeof(ScannerDeviceRecord))) {
    return platform::GetLastError() == platform::kErrorFileNotFound
               ? ScannerDeviceLookup::kAbsent
               : ScannerDeviceLookup::kUnreadable;
  }
  auto* record = static_cast<ScannerDeviceRecord*>(block.data());
  if (LoadMagic(record) != kScannerDeviceMagic) return ScannerDeviceLookup::kAbsent;
  const uint32_t length = record->length;
  if (length == 0 || length >= kScannerDeviceRootBytes ||
      std::memchr(record->root, '\0', length) != nullptr) {
    return ScannerDeviceLookup::kUnreadable;
  }
  root->assign(record->root, length);
  return ScannerDeviceLookup::kKnown;
}

}  // namespace kolvar

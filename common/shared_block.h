// A named block of shared memory that programs use to share a few bytes (a configuration store's
// change counter) or as a large scratch buffer. Copies in and out are guarded by the block's own
// named mutex "_@" + block name + "@_" unless the caller holds a lock of its own over every access.
#ifndef KOLVAR_COMMON_SHARED_BLOCK_H_
#define KOLVAR_COMMON_SHARED_BLOCK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/lockable_object.h"

namespace kolvar {

namespace platform {
class SharedMemory;
}  // namespace platform

class SharedBlock : public LockableObject {
 public:
  // Longest block name in characters (the device keeps 31 characters and a NUL).
  static constexpr size_t kMaxNameLength = 31;

  // Creates the block or opens the existing one of that name. Status 1 for an empty name, a name
  // longer than kMaxNameLength or size 0; 79 when the block cannot be created or mapped. A block
  // that is new starts zero-filled.
  SharedBlock(std::u16string_view name, uint32_t size);
  ~SharedBlock() override;

  bool IsReady() const { return ready_; }
  // True when this object created the block (no program had it open before).
  bool IsNew() const { return created_new_; }
  // The start of the block; null when it is not ready.
  void* Data() const { return data_; }
  uint32_t Size() const { return size_; }
  const std::u16string& Name() const { return name_; }

  // Copy `length` bytes into or out of the block at its access offset (0). Status 3 when the block
  // is not ready, 80 when offset + length exceeds the size, 1 for a missing buffer. Unless
  // already_locked, the copy runs under the block's mutex.
  bool Write(const void* data, uint32_t length, bool already_locked = false);
  bool Read(void* buffer, uint32_t length, bool already_locked = false);

 private:
  Status CheckAccess(const void* buffer, uint32_t length) const;

  std::u16string name_;
  uint32_t size_;
  std::unique_ptr<platform::SharedMemory> mapping_;
  bool created_new_ = false;
  uint32_t offset_ = 0;
  bool ready_ = false;
  void* data_ = nullptr;
};

// A new, private scratch block of `size` bytes named ScratchBlockName(process id, counter) for the
// first counter whose block did not exist yet. Null when a block cannot be created; *status (when
// given) then tells why. The caller owns (and thereby releases) the block.
std::unique_ptr<SharedBlock> ObtainScratchBlock(uint32_t size, Status* status = nullptr);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_SHARED_BLOCK_H_

// KVCIPCDB: one process's view of the IPC database, the shared memory "KVCIPCSHMEM", together with
// the objects that guard its request area ("KVCIPCCPLEV", "KVCIPCSYNC", "KVCIPCREQEV"). The service
// and every client open it the same way, by name; each writes its own identifiers of the three
// objects into the header for information, and nobody relies on them.
#ifndef KOLVAR_IPC_IPC_DATABASE_H_
#define KOLVAR_IPC_IPC_DATABASE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "ipc/ipc_layout.h"
#include "platform/kernel_objects.h"

namespace kolvar {

class KVCIPCDB {
 public:
  KVCIPCDB() = default;
  ~KVCIPCDB() { Close(); }
  KVCIPCDB(const KVCIPCDB&) = delete;
  KVCIPCDB& operator=(const KVCIPCDB&) = delete;

  // Creates or opens the database (a new one is all zeros) and the three request objects, and
  // writes their identifiers into the header. On failure everything is closed again and
  // last_error() holds the system error of the failing call.
  bool OpenIPCDatabase();
  void Close();
  bool IsOpen() const { return layout_ != nullptr; }
  uint32_t last_error() const { return last_error_; }

  IpcDatabaseLayout* layout() const { return layout_; }
  IpcRequestArea& header() const { return layout_->header; }
  IpcChannelSlot& slot(uint32_t index) const { return layout_->slots[index]; }
  platform::Mutex& request_mutex() { return request_mutex_; }
  platform::Event& request_posted() { return request_posted_; }
  platform::Event& request_answered() { return request_answered_; }

  // Index of the slot in use under that name (compared up to the NUL), -1 when there is none.
  int FindChannel(std::u16string_view name) const;

 private:
  platform::SharedMemory memory_;
  platform::Mutex request_mutex_;
  platform::Event request_posted_;
  platform::Event request_answered_;
  IpcDatabaseLayout* layout_ = nullptr;
  uint32_t last_error_ = 0;
};

// Channel names in the 32-character fields of the database and of message records.
// The name held in a field, up to its NUL (or all 32 characters when a writer left none).
std::u16string NameFromField(const char16_t (&field)[kIpcNameFieldChars]);
// Zero-fills the field and copies at most 31 characters of the name.
void NameToField(std::u16string_view name, char16_t (&field)[kIpcNameFieldChars]);
bool FieldHoldsName(const char16_t (&field)[kIpcNameFieldChars], std::u16string_view name);

}  // namespace kolvar

#endif  // KOLVAR_IPC_IPC_DATABASE_H_

// Opening the IPC database and its request objects by name; see ipc_database.h.
#include "ipc/ipc_database.h"

#include <algorithm>

#include "ipc/ipc_names.h"
#include "platform/error.h"
#include "platform/text.h"

namespace kolvar {

bool KVCIPCDB::OpenIPCDatabase() {
  Close();
  last_error_ = 0;
  bool ok = memory_.Create(kIpcDatabaseName, kIpcDatabaseSize) &&
            request_posted_.Create(kIpcRequestPostedEventName, /*manual_reset=*/true,
                                   /*initial_state=*/false) &&
            request_answered_.Create(kIpcRequestAnsweredEventName, /*manual_reset=*/true,
                                     /*initial_state=*/false) &&
            request_mutex_.Create(kIpcRequestMutexName);
  if (!ok) {
    last_error_ = platform::GetLastError();
    Close();
    platform::SetLastError(last_error_);
    return false;
  }
  layout_ = static_cast<IpcDatabaseLayout*>(memory_.data());
  StoreShared(layout_->header.request_mutex_handle, request_mutex_.Id());
  StoreShared(layout_->header.posted_event_handle, request_posted_.Id());
  StoreShared(layout_->header.answered_event_handle, request_answered_.Id());
  return true;
}

void KVCIPCDB::Close() {
  layout_ = nullptr;
  request_mutex_.Close();
  request_answered_.Close();
  request_posted_.Close();
  memory_.Close();
}

int KVCIPCDB::FindChannel(std::u16string_view name) const {
  if (layout_ == nullptr || name.empty()) return -1;
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    const IpcChannelSlot& s = layout_->slots[i];
    if (LoadShared(s.in_use) == 1 && FieldHoldsName(s.name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::u16string NameFromField(const char16_t (&field)[kIpcNameFieldChars]) {
  return std::u16string(field, platform::BoundedLength(field, kIpcNameFieldChars));
}

void NameToField(std::u16string_view name, char16_t (&field)[kIpcNameFieldChars]) {
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy_n(name.begin(), std::min<size_t>(name.size(), kIpcMaxNameChars), field);
}

bool FieldHoldsName(const char16_t (&field)[kIpcNameFieldChars], std::u16string_view name) {
  if (name.size() > kIpcNameFieldChars) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (field[i] != name[i]) return false;
  }
  return name.size() == kIpcNameFieldChars || field[name.size()] == u'\0';
}

}  // namespace kolvar

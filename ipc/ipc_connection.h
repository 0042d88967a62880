// IpcConnection: a program's connection to the IPC service. It finds the service (starting it from
// the folder that the service recorded in the registry when asked), maps the IPC database, and
// registers or removes the program's one channel through the request area. The exchange with the
// service waits only while the service lives: a service that ends meanwhile makes the call fail
// with 33 instead of hanging the program.
#ifndef KOLVAR_IPC_IPC_CONNECTION_H_
#define KOLVAR_IPC_IPC_CONNECTION_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/lockable_object.h"
#include "ipc/channel_mailboxes.h"
#include "ipc/ipc_database.h"

namespace kolvar {

// How long a client that started the service waits for its presence.
inline constexpr uint32_t kIpcServiceStartWaitMs = 2000;

class IpcConnection : public LockableObject {
 public:
  // Connects to the running service; when it does not run, starts it first if start_service is
  // set. The status tells the outcome: 0; 33 the service does not run; 32, 12 or 2 from
  // StartService; 36 the database could not be opened.
  explicit IpcConnection(bool start_service);
  ~IpcConnection() override;

  // Whether the service's presence event exists. Tests without creating it, so that the test
  // itself never makes a starting service believe that another instance runs.
  static bool IsServiceRunning();
  // Starts the service program from the "InstallDir" that the service recorded in the registry.
  // 32 when its key cannot be opened, the registry's code when the value cannot be read, 2 when
  // the program cannot be started. Does not wait for it.
  bool StartService();

  // Registers the own channel. 1 for an empty name, one containing a NUL or one of 32 characters
  // or more; 33 when the service does not run (or ends before it answers); 37 when this program
  // already has a channel or the name is taken; 40 when all 24 channels are in use.
  bool Register(std::u16string_view name);
  // Removes the own channel. 35 when this object has none or the service refuses; 33 when the
  // service does not run (the channel then stays registered).
  bool Unregister();
  // Sleeps 5 ms, then tells whether a channel of that name is registered now.
  bool IsRegistered(std::u16string_view name);
  // The process id of the program that holds the channel of that name now; 0 when none does (or
  // the service does not run).
  uint32_t ChannelOwner(std::u16string_view name);
  // The registration number of the channel of that name now (the service gives each registration
  // its own, also to one process registering again under the same name); 0 when none holds the
  // name, or the service does not tell. Compared with what Receive reports of a message's sender.
  uint32_t ChannelRegistration(std::u16string_view name);

  bool IsConnected() const { return connected_; }
  int32_t channel_index() const { return channel_index_.load(); }
  // The own channel's registration number; 0 while not registered.
  uint32_t registration() const { return registration_.load(); }
  std::u16string channel_name() const;

 protected:
  KVCIPCDB& database() { return database_; }
  ChannelMailboxes& mailboxes() { return mailboxes_; }
  // The next sequence number of a posted message (the count of messages posted since
  // registration).
  uint32_t NextSequence() { return ++send_counter_; }
  // Called by Unregister before the own mailboxes are closed; the channel stops its worker here.
  virtual void BeforeUnregister() {}

 private:
  Status Connect(bool start_service);
  Status StartServiceLocked();
  // Posts a request and collects the service's result (a status: 0, 33, 35, 37, 40).
  Status Exchange(uint32_t code, const char16_t (&name)[kIpcNameFieldChars],
                  uint32_t* assigned_index);
  Status PostRequest(uint32_t code, const char16_t (&name)[kIpcNameFieldChars]);
  Status CollectAnswer(uint32_t* assigned_index);

  KVCIPCDB database_;
  std::atomic<uint32_t> send_counter_{0};
  std::atomic<int32_t> channel_index_{-1};
  std::atomic<uint32_t> registration_{0};
  char16_t channel_name_[kIpcNameFieldChars] = {};
  ChannelMailboxes mailboxes_;
  bool connected_ = false;
};

// Status of a request result of the service: 1 -> 37, 2 -> 40, anything else -> 35.
Status StatusOfRequestResult(uint32_t result);

}  // namespace kolvar

#endif  // KOLVAR_IPC_IPC_CONNECTION_H_

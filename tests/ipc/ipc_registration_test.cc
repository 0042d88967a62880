// Registration across real processes: one channel per program, unique names, 24 channels, slots
// of killed owners freed and reused from the lowest, and many programs registering at once.
#include <signal.h>

#include <future>
#include <set>
#include <string>
#include <vector>

#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "tests/ipc/ipc_test_support.h"

namespace kolvar {
namespace {

using RegistrationTest = IpcTest;

TEST_F(RegistrationTest, SecondRegistrationOfOneProcessIsRefusedUnderAnyName) {
  platform::Process service = StartService();
  IpcChannel channel(false, false);
  ASSERT_EQ(channel.GetStatus(), kStatusOk);
  ASSERT_TRUE(channel.Register(u"FIRST"));
  EXPECT_FALSE(channel.Register(u"SECOND"));
  EXPECT_EQ(channel.GetStatus(), kStatusRegistrationRefused);
  EXPECT_FALSE(channel.Register(u"FIRST"));
  EXPECT_EQ(channel.GetStatus(), kStatusRegistrationRefused);

  // A second object of the same program is refused by the service itself.
  IpcChannel other(false, false);
  EXPECT_FALSE(other.Register(u"THIRD"));
  EXPECT_EQ(other.GetStatus(), kStatusRegistrationRefused);
  EXPECT_EQ(other.channel_index(), -1);
  EXPECT_EQ(SlotOf(u"THIRD"), -1);
  EXPECT_EQ(LoadShared(Database().header().channel_count), 1u);
}

TEST_F(RegistrationTest, NameOfAnotherProcessIsRefused) {
  platform::Process service = StartService();
  platform::Process client = StartRegisteredClient("TAKEN");
  IpcChannel channel(false, false);
  EXPECT_FALSE(channel.Register(u"TAKEN"));
  EXPECT_EQ(channel.GetStatus(), kStatusRegistrationRefused);
  EXPECT_TRUE(channel.Register(u"FREE"));
  // Each name's holder, as the scanner tells one front end from the next.
  EXPECT_EQ(channel.ChannelOwner(u"TAKEN"), static_cast<uint32_t>(client.Pid()));
  EXPECT_EQ(channel.ChannelOwner(u"FREE"), static_cast<uint32_t>(platform::CurrentProcessId()));
  EXPECT_EQ(channel.ChannelOwner(u"NOBODY"), 0u);
}

// Every registration has its own number, also the same program's under the same name again, so
// that a peer tells the channel registered anew from the one before it.
TEST_F(RegistrationTest, EveryRegistrationHasItsOwnNumber) {
  platform::Process service = StartService();
  platform::Process client = StartRegisteredClient("OTHER");
  IpcChannel channel(false, false);
  EXPECT_EQ(channel.registration(), 0u);
  EXPECT_EQ(channel.ChannelRegistration(u"NOBODY"), 0u);
  const uint32_t other = channel.ChannelRegistration(u"OTHER");
  EXPECT_NE(other, 0u);
  std::set<uint32_t> numbers = {other};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(channel.Register(u"SAME"));
    const uint32_t own = channel.registration();
    EXPECT_EQ(channel.ChannelRegistration(u"SAME"), own);
    EXPECT_EQ(LoadShared(Database().slot(channel.channel_index()).registration), own);
    EXPECT_TRUE(numbers.insert(own).second) << "number " << own << " given twice";
    ASSERT_TRUE(channel.Unregister());
    EXPECT_EQ(channel.registration(), 0u);
    EXPECT_EQ(channel.ChannelRegistration(u"SAME"), 0u);
  }
  EXPECT_EQ(numbers.count(0u), 0u);
  EXPECT_EQ(channel.ChannelRegistration(u"OTHER"), other);
}

TEST_F(RegistrationTest, NamesThatDoNotFitTheirFieldAreRejected) {
  platform::Process service = StartService();
  IpcChannel channel(false, false);
  for (std::u16string name : {std::u16string(), std::u16string(32, u'N'), std::u16string(40, u'N'),
                              std::u16string(u"A\0B", 3)}) {
    EXPECT_FALSE(channel.Register(name)) << name.size();
    EXPECT_EQ(channel.GetStatus(), kStatusBadArgument);
  }
  EXPECT_EQ(LoadShared(Database().header().channel_count), 0u);
  std::u16string longest(31, u'L');
  ASSERT_TRUE(channel.Register(longest));
  EXPECT_TRUE(channel.IsRegistered(longest));
  EXPECT_EQ(NameFromField(Database().slot(channel.channel_index()).name), longest);
}

TEST_F(RegistrationTest, UnregisterFreesTheSlotOnce) {
  platform::Process service = StartService();
  IpcChannel channel(false, false);
  ASSERT_TRUE(channel.Register(u"ONCE"));
  int index = channel.channel_index();
  ASSERT_TRUE(channel.Unregister());
  EXPECT_EQ(channel.channel_index(), -1);
  EXPECT_FALSE(channel.IsRegistered(u"ONCE"));
  EXPECT_EQ(LoadShared(Database().header().channel_count), 0u);
  EXPECT_FALSE(channel.Unregister());
  EXPECT_EQ(channel.GetStatus(), kStatusChannelRemovalRefused);
  ASSERT_TRUE(channel.Register(u"AGAIN"));
  EXPECT_EQ(channel.channel_index(), index);
}

TEST_F(RegistrationTest, TwentyFifthIsRefusedAndKilledOwnersSlotsAreReusedFromTheLowest) {
  platform::Process service = StartService();
  std::vector<platform::Process> clients;
  for (int i = 0; i < 24; ++i) clients.push_back(StartClient("name=C" + std::to_string(i)));
  ASSERT_TRUE(WaitUntil([&] { return LoadShared(Database().header().channel_count) == 24; }));

  IpcChannel channel(false, false);
  EXPECT_FALSE(channel.Register(u"LATE"));
  EXPECT_EQ(channel.GetStatus(), kStatusAllChannelsInUse);
  EXPECT_EQ(channel.channel_index(), -1);

  for (uint32_t index : {3u, 0u}) {
    platform::Process owner;
    ASSERT_TRUE(platform::Process::OpenById(static_cast<pid_t>(OwnerOf(index)), &owner));
    ASSERT_EQ(kill(owner.Pid(), SIGKILL), 0);
  }
  ASSERT_TRUE(WaitUntil([&] { return OwnerOf(0) == 0 && OwnerOf(3) == 0; }));
  EXPECT_EQ(LoadShared(Database().header().channel_count), 22u);

  ASSERT_TRUE(channel.Register(u"LATE"));
  EXPECT_EQ(channel.channel_index(), 0);
  EXPECT_EQ(NameFromField(Database().slot(0).name), u"LATE");
  for (MailboxObject object : {MailboxObject::kIncomingEvent, MailboxObject::kIncomingMutex,
                               MailboxObject::kOutgoingEvent, MailboxObject::kOutgoingMutex}) {
    std::u16string name = MailboxObjectName(object, 0);
    EXPECT_EQ(name.substr(name.size() - 2), u"00");
    EXPECT_TRUE(platform::ObjectExists(name));
  }
  platform::Process later = StartRegisteredClient("LATER");
  EXPECT_EQ(SlotOf(u"LATER"), 3);
}

TEST_F(RegistrationTest, ProgramsRegisteringAtOnceAllGetTheirOwnAnswer) {
  platform::Process service = StartService();
  constexpr int kClients = 12;
  std::vector<platform::Process> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(StartClient("name=R" + std::to_string(i)));
  // Every one registers: none reads another's answer or overwrites another's request.
  ASSERT_TRUE(WaitUntil([&] { return LoadShared(Database().header().channel_count) == kClients; }));
  std::set<int> slots;
  for (int i = 0; i < kClients; ++i) {
    int slot = SlotOf(platform::Utf8ToUtf16Lossy("R" + std::to_string(i)));
    EXPECT_GE(slot, 0) << i;
    EXPECT_EQ(OwnerOf(static_cast<uint32_t>(slot)), static_cast<uint32_t>(clients[i].Pid()));
    slots.insert(slot);
    EXPECT_TRUE(clients[i].IsAlive()) << "client " << i << " stopped with an error";
  }
  EXPECT_EQ(slots.size(), static_cast<size_t>(kClients));
}

TEST_F(RegistrationTest, RegisterFailsWith33WithoutService) {
  IpcChannel channel(false, false);
  EXPECT_EQ(channel.GetStatus(), kStatusServiceNotRunning);
  EXPECT_FALSE(channel.Register(u"NONE"));
  EXPECT_EQ(channel.GetStatus(), kStatusServiceNotRunning);
}

}  // namespace
}  // namespace kolvar

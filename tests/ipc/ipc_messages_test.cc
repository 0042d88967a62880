// Messages across real processes: whole 2048-byte messages with the sender's name, the length
// and addressee checks, the 50-record outgoing queue, the newest-only messages that replace the
// one still waiting, overtaking past a full mailbox without loss
// or reordering, messages to a channel that leaves, IsSending, and a slow reader that loses
// nothing and gets everything in the order sent.
#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "tests/ipc/ipc_test_support.h"

namespace kolvar {
namespace {

using MessageTest = IpcTest;

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + 7) % 256);
  return data;
}

// The tag of a test client's message ("<tag>#<i>;..."), or of a report of one.
std::string TagOf(const std::string& data) {
  size_t semicolon = data.find(';');
  size_t start = data.rfind('|', semicolon);
  start = start == std::string::npos ? 0 : start + 1;
  return data.substr(start, semicolon - start);
}

// Where two lists of tags part: the first differing position and the tags around it on both
// sides, so that a failure tells a lost, a repeated and an overtaken message apart (the full lists
// are longer than what the test framework prints of them).
std::string FirstDifference(const std::vector<std::string>& got,
                            const std::vector<std::string>& expected) {
  size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  if (at == got.size() && at == expected.size()) return "all alike";
  auto around = [at](const std::vector<std::string>& tags) {
    std::string text;
    for (size_t i = at >= 3 ? at - 3 : 0; i < tags.size() && i < at + 6; ++i) {
      text += (i == at ? " [" : " ") + tags[i] + (i == at ? "]" : "");
    }
    return text;
  };
  return "first difference at position " + std::to_string(at) + ": got" + around(got) +
         "; expected" + around(expected);
}

// A gated client: registered, but its worker starts (or it unregisters) only once the test sets
// the event, so that its incoming mailbox stays full meanwhile.
class Gate {
 public:
  explicit Gate(std::u16string name) : name_(std::move(name)) {
    EXPECT_TRUE(event_.Create(name_, true, false));
  }
  void Open() { EXPECT_TRUE(event_.Set()); }
  std::string Word() const { return "gate=" + platform::Utf16ToUtf8(name_); }

 private:
  std::u16string name_;
  platform::Event event_;
};

class MessageFlowTest : public MessageTest {
 protected:
  MessageFlowTest() : service_(StartService()), ctl_(false, false) {
    EXPECT_TRUE(ctl_.Register(u"T"));
    EXPECT_TRUE(ctl_.StartWorker());
  }

  void Command(std::u16string_view to, std::string_view text) {
    ASSERT_TRUE(SendText(ctl_, to, text));
  }
  bool IncomingFull(std::u16string_view name) {
    platform::Event event;
    int slot = SlotOf(name);
    return slot >= 0 &&
           event.Open(
               MailboxObjectName(MailboxObject::kIncomingEvent, static_cast<uint32_t>(slot))) &&
           IsSet(event);
  }
  int32_t Held(std::u16string_view name) {
    int slot = SlotOf(name);
    return slot < 0 ? -1 : LoadShared(Database().slot(static_cast<uint32_t>(slot)).held_messages);
  }

  platform::Process service_;
  IpcChannel ctl_;
};

TEST_F(MessageFlowTest, LargestMessageArrivesWholeWithItsSendersName) {
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  std::string data = Pattern(kIpcMaxMessageLength);
  ASSERT_TRUE(ctl_.Send(u"ECHO", data.data(), static_cast<uint32_t>(data.size())));
  auto reply = ReceiveWithin(ctl_);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->sender, u"ECHO");
  EXPECT_EQ(reply->data.size(), kIpcMaxMessageLength);
  EXPECT_TRUE(reply->data == data);

  platform::Process sender = StartRegisteredClient("SENDER", "ctl=T");
  Command(u"SENDER", "send T 1 2048 whole");
  auto direct = ReceiveWithin(ctl_);
  ASSERT_TRUE(direct.has_value());
  EXPECT_EQ(direct->sender, u"SENDER");
  EXPECT_EQ(direct->data.size(), 2048u);
  EXPECT_EQ(TagOf(direct->data), "whole#0");
}

TEST_F(MessageFlowTest, BadLengthsAndUnknownAddresseesQueueNothing) {
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  std::string data = Pattern(kIpcMaxMessageLength + 1);
  struct Case {
    std::u16string to;
    uint32_t length;
    Status status;
  };
  for (const Case& c : {Case{u"ECHO", 0, kStatusBadMessageLength},
                        Case{u"ECHO", kIpcMaxMessageLength + 1, kStatusBadMessageLength},
                        Case{u"IPC_SCAN", 16, kStatusAddresseeNotRegistered},
                        Case{std::u16string(32, u'E'), 16, kStatusAddresseeNotRegistered}}) {
    EXPECT_FALSE(ctl_.Send(c.to, data.data(), c.length)) << c.length;
    EXPECT_EQ(ctl_.GetStatus(), c.status) << c.length;
  }
  EXPECT_FALSE(ctl_.IsSending());
  // Nothing went out: the next message is the first that the echo sends back.
  ASSERT_TRUE(SendText(ctl_, u"ECHO", "after"));
  auto reply = ReceiveWithin(ctl_);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->data, "after");
  EXPECT_FALSE(ReceiveWithin(ctl_, 0.5).has_value());
}

TEST_F(MessageTest, FiftyFirstQueuedSendReturnsFalseWithStatusZero) {
  platform::Process service = StartService();
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  IpcChannel channel(false, false);
  ASSERT_TRUE(channel.Register(u"T"));
  // Without the worker nothing leaves the outgoing queue.
  for (int i = 0; i < 50; ++i) {
    std::string text = "m" + std::to_string(i);
    ASSERT_TRUE(channel.Send(u"ECHO", text.data(), static_cast<uint32_t>(text.size()))) << i;
  }
  EXPECT_FALSE(channel.Send(u"ECHO", "m50", 3));
  EXPECT_EQ(channel.GetStatus(), kStatusOk);
  EXPECT_TRUE(channel.IsSending());

  ASSERT_TRUE(channel.StartWorker());
  std::set<std::string> echoed;
  while (auto reply = ReceiveWithin(channel, 30)) {
    echoed.insert(reply->data);
    if (echoed.size() == 50) break;
  }
  EXPECT_EQ(echoed.size(), 50u);
  EXPECT_EQ(echoed.count("m50"), 0u);
}

TEST_F(MessageTest, LatestMessageReplacesOnlyTheLastOneWaitingAndNeverTheFirst) {
  platform::Process service = StartService();
  platform::Process echo = StartRegisteredClient("ECHO", "echo");
  IpcChannel channel(false, false);
  ASSERT_TRUE(channel.Register(u"T"));
  const auto send = [&](std::string_view text) {
    return channel.Send(u"ECHO", text.data(), static_cast<uint32_t>(text.size()));
  };
  const auto latest = [&](std::string_view text) {
    return channel.SendLatest(u"ECHO", text.data(), static_cast<uint32_t>(text.size()));
  };
  // Without the worker nothing leaves the queue. The first record is the one the worker passes
  // on, so it is never replaced; nor is one with a message sent after it.
  ASSERT_TRUE(latest("q0"));
  ASSERT_TRUE(latest("q1"));
  ASSERT_TRUE(send("a"));
  ASSERT_TRUE(latest("q2"));
  ASSERT_TRUE(latest("q3"));  // takes q2's place, behind a
  std::vector<std::string> expected = {"q0", "q1", "a", "q3"};
  for (int i = 0; i < 45; ++i) {
    expected.push_back("m" + std::to_string(i));
    ASSERT_TRUE(send(expected.back())) << i;
  }
  ASSERT_TRUE(latest("q4"));  // the fiftieth
  EXPECT_FALSE(send("m45"));
  EXPECT_TRUE(latest("q5"));  // takes q4's place, so the queue holds 50 still
  EXPECT_EQ(channel.GetStatus(), kStatusOk);
  EXPECT_FALSE(send("m46"));
  expected.push_back("q5");

  ASSERT_TRUE(channel.StartWorker());
  std::vector<std::string> echoed;
  while (echoed.size() < expected.size()) {
    auto reply = ReceiveWithin(channel, 30);
    ASSERT_TRUE(reply.has_value()) << echoed.size() << " of " << expected.size() << " arrived";
    echoed.push_back(reply->data);
  }
  EXPECT_EQ(echoed, expected);
  EXPECT_FALSE(ReceiveWithin(channel, 0.3).has_value());
}

TEST_F(MessageFlowTest, LaterMessageToAnotherChannelOvertakesAFullMailboxAndNothingIsReordered) {
  Gate gate(u"GATE_SLOW");
  platform::Process slow = StartRegisteredClient("SLOW", "ctl=T report=T " + gate.Word());
  platform::Process sender = StartRegisteredClient("SENDER", "ctl=T");
  // The first fills SLOW's mailbox; the next three wait in the service's queue.
  Command(u"SENDER", "send SLOW 4 32 slow");
  ASSERT_TRUE(WaitUntil([&] { return IncomingFull(u"SLOW") && Held(u"SENDER") == 3; }));
  Command(u"SENDER", "send T 1 32 fast");
  auto fast = ReceiveWithin(ctl_);
  ASSERT_TRUE(fast.has_value());
  EXPECT_EQ(fast->sender, u"SENDER");
  EXPECT_EQ(TagOf(fast->data), "fast#0");
  EXPECT_EQ(Held(u"SENDER"), 3);

  gate.Open();
  std::vector<std::string> reported;
  while (reported.size() < 4) {
    auto report = ReceiveWithin(ctl_);
    ASSERT_TRUE(report.has_value()) << reported.size() << " of 4 arrived";
    EXPECT_EQ(report->sender, u"SLOW");
    EXPECT_EQ(report->data.rfind("SENDER|32|", 0), 0u) << report->data;
    reported.push_back(TagOf(report->data));
  }
  EXPECT_EQ(reported, (std::vector<std::string>{"slow#0", "slow#1", "slow#2", "slow#3"}));
  EXPECT_TRUE(WaitUntil([&] { return Held(u"SENDER") == 0; }));
}

TEST_F(MessageFlowTest, MessageForAChannelThatLeavesBeforeDeliveryVanishes) {
  Gate gate(u"GATE_LEAVING");
  platform::Process leaving =
      StartRegisteredClient("LEAVING", "ctl=T then=unregister " + gate.Word());
  platform::Process sender = StartRegisteredClient("SENDER", "ctl=T");
  Command(u"SENDER", "send LEAVING 2 32 lost");
  ASSERT_TRUE(WaitUntil([&] { return IncomingFull(u"LEAVING") && Held(u"SENDER") == 1; }));
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return SlotOf(u"LEAVING") < 0; }));
  EXPECT_TRUE(leaving.IsAlive());

  // A newcomer in the freed slot never receives what was meant for the one that left.
  platform::Process newcomer = StartRegisteredClient("NEWCOMER", "ctl=T report=T");
  Command(u"SENDER", "send NEWCOMER 1 32 marker");
  auto report = ReceiveWithin(ctl_);
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(TagOf(report->data), "marker#0");
  EXPECT_TRUE(WaitUntil([&] { return Held(u"SENDER") == 0; }));
  EXPECT_FALSE(ReceiveWithin(ctl_, 0.5).has_value());
  EXPECT_TRUE(sender.IsAlive());
}

// A message tells which registration sent it, also when its sender has unregistered and
// registered again, under the same name from the same process, before the message was taken: a
// program tells the answers of one registration of a peer from those of the next by this.
TEST_F(MessageFlowTest, EachMessageCarriesTheRegistrationThatSentIt) {
  Gate gate(u"GATE_REGISTRATION");
  platform::Process reporter =
      StartRegisteredClient("REPORTER", "report=T registration " + gate.Word());
  const uint32_t first = ctl_.registration();
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(SendText(ctl_, u"REPORTER", "first;"));
  ASSERT_TRUE(WaitUntil([&] { return IncomingFull(u"REPORTER"); }));
  ASSERT_TRUE(ctl_.StopWorker());
  ASSERT_TRUE(ctl_.Unregister());
  ASSERT_TRUE(ctl_.Register(u"T"));
  ASSERT_TRUE(ctl_.StartWorker());
  const uint32_t second = ctl_.registration();
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first);
  ASSERT_TRUE(SendText(ctl_, u"REPORTER", "second;"));
  gate.Open();
  std::vector<std::string> reported;
  for (int i = 0; i < 2; ++i) {
    auto report = ReceiveWithin(ctl_);
    ASSERT_TRUE(report.has_value()) << i << " of 2 arrived";
    EXPECT_EQ(report->sender, u"REPORTER");
    reported.push_back(report->data.substr(0, report->data.find(';') + 1));
  }
  EXPECT_EQ(reported, (std::vector<std::string>{"T#" + std::to_string(first) + "|6|first;",
                                                "T#" + std::to_string(second) + "|7|second;"}));
}

TEST_F(MessageFlowTest, IsSendingStaysTrueUntilTheLastMessageIsDelivered) {
  Gate gate(u"GATE_LATE");
  platform::Process slow = StartRegisteredClient("SLOW", "report=T " + gate.Word());
  ASSERT_TRUE(SendText(ctl_, u"SLOW", "one;"));
  ASSERT_TRUE(SendText(ctl_, u"SLOW", "two;"));
  EXPECT_TRUE(ctl_.IsSending());
  // The first message fills SLOW's mailbox, the second stays with the service.
  ASSERT_TRUE(WaitUntil([&] { return IncomingFull(u"SLOW") && Held(u"T") == 1; }));
  EXPECT_TRUE(ctl_.IsSending());
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return !ctl_.IsSending(); }));
  EXPECT_EQ(Held(u"T"), 0);
  std::set<std::string> reported;
  for (int i = 0; i < 2; ++i) {
    auto report = ReceiveWithin(ctl_);
    ASSERT_TRUE(report.has_value());
    reported.insert(TagOf(report->data));
  }
  EXPECT_EQ(reported, (std::set<std::string>{"one", "two"}));
}

TEST_F(MessageFlowTest, ReaderThatFallsBehindLosesNothingAndGetsItAllInOrder) {
  platform::Process sender = StartRegisteredClient("SENDER", "ctl=T");
  Command(u"SENDER", "send T 70 64 many");
  // The test reads nothing until its incoming queue is full and the rest waits upstream, where
  // the service finds the mailbox full pass after pass.
  ASSERT_TRUE(WaitUntil([&] { return Held(u"SENDER") >= 2 && IncomingFull(u"T"); }, 60));
  std::vector<std::string> tags;
  std::vector<std::string> expected;
  while (tags.size() < 70) {
    auto message = ReceiveWithin(ctl_, 30);
    ASSERT_TRUE(message.has_value())
        << tags.size() << " of 70 arrived: " << FirstDifference(tags, expected);
    EXPECT_EQ(message->sender, u"SENDER") << "message " << tags.size();
    expected.push_back("many#" + std::to_string(tags.size()));
    tags.push_back(TagOf(message->data));
  }
  EXPECT_EQ(tags, expected) << FirstDifference(tags, expected);
  // Nothing beyond the 70: a repeated message would leave one here.
  EXPECT_FALSE(ReceiveWithin(ctl_, 0.5).has_value());
}

TEST_F(MessageFlowTest, ReaderPollingWithoutPauseGetsOnlyWhatWasSent) {
  platform::Process sender = StartRegisteredClient("SENDER", "ctl=T");
  Command(u"SENDER", "send T 100 64 poll");
  // Most reads find the queue empty while the channel's worker is adding to it: such a read must
  // say that nothing came, never hand over a message that was not sent.
  std::vector<std::string> tags;
  std::vector<std::string> expected;
  char buffer[kIpcMaxMessageLength];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (tags.size() < 100 && std::chrono::steady_clock::now() < deadline) {
    uint32_t length = 0;
    std::u16string from;
    if (!ctl_.Receive(buffer, &length, &from)) continue;
    EXPECT_EQ(from, u"SENDER") << "message " << tags.size();
    expected.push_back("poll#" + std::to_string(tags.size()));
    tags.push_back(TagOf(std::string(buffer, length)));
  }
  EXPECT_EQ(tags.size(), 100u) << FirstDifference(tags, expected);
  EXPECT_EQ(tags, expected) << FirstDifference(tags, expected);
}

TEST_F(MessageTest, PutBackGoesBeyondTheQueueLimitInOrder) {
  IpcChannel channel(false, false);  // no service needed: the queues are the program's own
  for (int i = 0; i < 60; ++i) {
    std::string text = "p" + std::to_string(i);
    ASSERT_TRUE(channel.PutBack(text.data(), static_cast<uint32_t>(text.size()), u"IPC_SCAN"));
  }
  EXPECT_FALSE(channel.PutBack("x", 0, u"IPC_SCAN"));
  EXPECT_EQ(channel.GetStatus(), kStatusBadMessageLength);
  EXPECT_TRUE(channel.HasMessages());
  for (int i = 0; i < 60; ++i) {
    auto message = ReceiveWithin(channel, 0);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->data, "p" + std::to_string(i));
    EXPECT_EQ(message->sender, u"IPC_SCAN");
  }
  EXPECT_FALSE(channel.HasMessages());
}

}  // namespace
}  // namespace kolvar

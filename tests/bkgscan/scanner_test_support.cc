// The background scanner tests' fixture and helpers; see scanner_test_support.h.
#include "tests/bkgscan/scanner_test_support.h"

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/config_keys.h"
#include "common/configuration.h"
#include "ipc/ipc_names.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/signature_database.h"

namespace kolvar {
namespace {

const char* SignatureOf(uint32_t virus) {
  return virus == kVirusA ? "KOLVAR-TEST-SIGNATURE-ALPHA" : "KOLVAR-TEST-SIGNATURE-BRAVO";
}

std::string StoredRecord(uint32_t virus) {
  SignatureRecord record;
  std::memset(&record, 0, sizeof(record));
  record.virus_id = virus;
  const char* pattern = SignatureOf(virus);
  std::memcpy(record.pattern, pattern, std::strlen(pattern));
  record.length = static_cast<int32_t>(std::strlen(pattern));
  record.type_mask = kAnyFileClass;
  uint8_t stored[kSignatureRecordSize];
  EncodeSignatureRecord(record, stored);
  return std::string(reinterpret_cast<const char*>(stored), sizeof(stored));
}

std::string JsonText(std::u16string_view text) {
  std::string out;
  for (const char c : platform::Utf16ToUtf8(text)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

template <typename Record>
Record RecordOf(const std::string& data) {
  Record record = ZeroRecord<Record>();
  std::memcpy(&record, data.data(), std::min(data.size(), sizeof(record)));
  return record;
}

}  // namespace

std::string CleanBytes(size_t size) { return std::string(size, 'c'); }

std::string InfectedBytes(size_t size, uint32_t virus) {
  std::string bytes = CleanBytes(size);
  const char* signature = SignatureOf(virus);
  bytes.replace(size / 3, std::strlen(signature), signature);
  return bytes;
}

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

ScanStatus Message::status() const { return RecordOf<ScanStatus>(data); }
ScanCommand Message::command() const { return RecordOf<ScanCommand>(data); }
DetectionRecord Message::detection() const { return RecordOf<DetectionRecord>(data); }

ScannerTest::ScannerTest() {
  folder_ = device_.InstallPrograms({"kvipcsrv", "KVBkgScan"});
  device_.WriteFile(std::u16string(kInstallFolder) + u"\\KVVirusDB.dat",
                    StoredRecord(kVirusA) + StoredRecord(kVirusB));
  box_log_ = device_.root() + "/boxes.log";
  setenv("KOLVAR_MSGBOX_LOG", box_log_.c_str(), 1);
}

ScannerTest::~ScannerTest() {
  if (channel_ != nullptr && channel_->channel_index() >= 0) {
    channel_->StopWorker();
    channel_->Unregister();
  }
  channel_.reset();
  user_interface_.Close();
  unsetenv("KOLVAR_MSGBOX_LOG");
}

void ScannerTest::WriteConfiguration(std::optional<uint32_t> background,
                                     std::optional<uint32_t> pacing) {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/false, &configuration);
  ConfigStore& store = configuration->store();
  auto set = [&](const char* key, std::optional<uint32_t> value) {
    if (!value) {
      store.DeleteValue(key, config_keys::kConfig);
      return;
    }
    const uint32_t number = *value;
    if (!store.SetValue(key, kConfigTypeInteger, sizeof(number), &number, config_keys::kConfig)) {
      ASSERT_TRUE(store.SelectSection(config_keys::kConfig));
      ASSERT_TRUE(store.AddValue(key, kConfigTypeInteger, sizeof(number), &number));
    }
  };
  set(config_keys::kEnableBckScan, background);
  set("ScanPacing", pacing);
  ASSERT_TRUE(configuration->Save());
}

void ScannerTest::StartService() {
  ASSERT_TRUE(platform::Process::Start(platform::JoinPath(folder_, kIpcServiceProgram), u"", {},
                                       &service_));
  ASSERT_TRUE(WaitUntil([] { return IpcConnection::IsServiceRunning(); }));
}

void ScannerTest::ConnectAs(std::u16string_view name, bool user_interface) {
  if (channel_ == nullptr) {
    channel_ = std::make_unique<IpcChannel>(/*start_service=*/false, /*private_heaps=*/false);
  }
  ASSERT_EQ(channel_->GetStatus(), kStatusOk);
  ASSERT_TRUE(channel_->Register(name));
  ASSERT_TRUE(channel_->StartWorker());
  if (user_interface && !user_interface_.IsValid()) {
    ASSERT_TRUE(user_interface_.Create(kUserInterfaceEventName, false, false));
  }
}

void ScannerTest::Disconnect() {
  ASSERT_TRUE(channel_->StopWorker());
  ASSERT_TRUE(channel_->Unregister());
}

platform::Process ScannerTest::StartScanner() {
  platform::Process process;
  EXPECT_TRUE(
      platform::Process::Start(platform::JoinPath(folder_, u"KVBkgScan"), u"", {}, &process));
  return process;
}

platform::Process ScannerTest::StartConnectedScanner() {
  platform::Process process = StartScanner();
  EXPECT_TRUE(WaitUntil([&] {
    return channel_->IsRegistered(kScannerChannel) || !process.IsAlive();
  })) << "the scanner did not register its channel";
  EXPECT_TRUE(process.IsAlive());
  return process;
}

void ScannerTest::Send(const ScanCommand& command) {
  ASSERT_TRUE(SendScanMessage(*channel_, kScannerChannel, &command, sizeof(command),
                              SendPolicy::kMustArrive, nullptr));
}

std::optional<Message> ScannerTest::Next(double seconds) {
  char buffer[kIpcMaxMessageLength];
  uint32_t length = 0;
  Message message;
  if (!WaitUntil([&] { return channel_->Receive(buffer, &length, &message.sender); }, seconds)) {
    return std::nullopt;
  }
  message.data.assign(buffer, length);
  return message;
}

std::optional<ScanStatus> ScannerTest::NextStatusOfType(uint32_t type,
                                                        std::vector<ScanStatus>* before,
                                                        double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::optional<Message> message = Next(1);
    if (!message || !message->IsStatus()) continue;
    const ScanStatus status = message->status();
    if (status.type == type) return status;
    if (before != nullptr) before->push_back(status);
  }
  return std::nullopt;
}

std::optional<ScanCommand> ScannerTest::Attach(std::u16string_view folder) {
  Send(MakeAttachCommand(folder));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::optional<Message> message = Next(1);
    if (message && message->IsCommand() && message->command().type == kCommandAttachReply) {
      return message->command();
    }
  }
  return std::nullopt;
}

bool ScannerTest::QuietFor(double seconds) { return !Next(seconds).has_value(); }

std::vector<std::string> ScannerTest::Boxes() const {
  std::vector<std::string> lines;
  std::ifstream in(box_log_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ScannerTest::ScannerBox(std::u16string_view text, uint32_t style) {
  return "{\"program\":\"KVBkgScan\",\"caption\":\"Kolvar Scanner Engine\",\"text\":\"" +
         JsonText(text) + "\",\"style\":" + std::to_string(style) + "}";
}

bool ScannerTest::WaitForBox(const std::string& line, double seconds) const {
  return WaitUntil(
      [&] {
        for (const std::string& box : Boxes()) {
          if (box == line) return true;
        }
        return false;
      },
      seconds);
}

uint32_t ScannerTest::ExitCodeWithin(platform::Process& process, double seconds) {
  if (process.Wait(static_cast<uint32_t>(seconds * 1000)) != platform::WaitResult::kSignaled) {
    return 259;
  }
  uint32_t code = 259;
  process.GetExitCode(&code);
  return code;
}

std::vector<InfectionRecord> ScannerTest::ResultRecords(uint32_t* declared) const {
  InfectionFile contents;
  EXPECT_TRUE(ReadInfectionFile(kResultFile, &contents));
  EXPECT_FALSE(contents.damaged);
  if (declared != nullptr) *declared = contents.declared_count;
  return contents.records;
}

}  // namespace kolvar

// make_fuzz_seeds OUTDIR: writes the seed corpus of every fuzz target (OUTDIR/NAME/...) with the
// suite's own writers, so that each seed is a file as the programs and tools make it: signature
// databases and detail files as kvsigtool builds them from a source, configuration files with the
// programs' defaults, protected copies as the quarantine makes them, a repository index, a result
// file, registry values as the programs write them, kvreg value texts and signature sources, task
// lists as kvtasks and the editor write them, and an update package as kvupdpack builds it (its
// information file, its cabinet and its manifest).
// scripts/fuzz --make-seeds runs it into fuzz/corpus.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/cabinet.h"
#include "platform/crypto.h"
#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/virus_details.h"
#include "scheduling/default_tasks.h"
#include "scheduling/schedule_parameters.h"
#include "scheduling/task_record.h"
#include "tools/kvsigtool/signature_source.h"
#include "tools/kvupdpack/package_builder.h"
#include "updater/update_package.h"

namespace {

using namespace kolvar;
namespace fs = std::filesystem;

fs::path g_out;

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Seed(const std::string& target, const std::string& name, std::string_view bytes) {
  fs::create_directories(g_out / target);
  std::ofstream out(g_out / target / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A device file the suite wrote, as a seed.
void SeedFromDevice(const std::string& target, const std::string& name,
                    std::u16string_view device_path) {
  Seed(target, name, ReadHostFile(platform::HostPath(device_path)));
}

const char kSmallSource[] =
    "# two viruses, one with two signatures\n"
    "signature 7 | Kolvar.Seed.One | exe,dll | 4B 56 53 45 45 44 31\n"
    "signature 7 | Kolvar.Seed.One | txt | 6F 6E 65\n"
    "signature 8 | Kolvar.Seed.Two | any | 00 01 02 03 FF FE\n"
    "describe 7 | A seed virus for the fuzzers.\n"
    "recommend 7 | Delete it.\n"
    "describe 8 | Another one | with a bar in its text.\n"
    "recommend 8 | Move it to the repository.\n";

void SignatureSeeds(const std::string& sample_source) {
  for (const auto& [name, text] :
       {std::pair<std::string, std::string>{"small", kSmallSource}, {"sample", sample_source}}) {
    Seed("signature_source_fuzzer", name + ".txt", text);
    kvsigtool::CompiledSource compiled;
    std::vector<std::string> errors;
    if (!kvsigtool::CompileSignatureSource(text, &compiled, &errors)) {
      fuzz::Fail("a seed source does not compile");
    }
    std::string database;
    for (const SignatureRecord& record : compiled.signatures) {
      uint8_t stored[kSignatureRecordSize];
      EncodeSignatureRecord(record, stored);
      database.append(reinterpret_cast<const char*>(stored), sizeof(stored));
    }
    Seed("signature_database_fuzzer", name + ".dat", database);
    const std::u16string details = u"\\Temp\\KVVirusDBDet.dat";
    if (!WriteVirusDetails(details, compiled.details)) fuzz::Fail("cannot write details");
    SeedFromDevice("virus_details_fuzzer", name + ".dat", details);
  }
}

void ConfigurationSeeds() {
  ConfigStore plain(u"_@KVSEEDPLAIN@_");
  CreateDefaultConfiguration(&plain, u"\\Program Files\\Kolvar\\");
  const uint32_t on = 1;
  plain.SelectSection(config_keys::kConfig);
  plain.AddValue("ScanPacing", kConfigTypeInteger, sizeof(on), &on);
  plain.Save(u"\\Temp\\kvmavcfg.dat");
  SeedFromDevice("config_store_fuzzer", "defaults.dat", u"\\Temp\\kvmavcfg.dat");

  ConfigStore update(u"_@KVSEEDUPDI@_");
  update.AddSection("UPDATE_INFORMATION");
  const std::u16string id = u"KVUPD-V30-0001";
  update.AddValue("UpdateID", kConfigTypeText, static_cast<uint32_t>((id.size() + 1) * 2),
                  id.c_str());
  update.AddValue("UpdateFileSize", kConfigTypeInteger, sizeof(on), &on);
  update.AddValue("Empty", kConfigTypeText, 0, nullptr);
  update.Save(u"\\Temp\\kvmupdi.dat");
  SeedFromDevice("config_store_fuzzer", "update-information.dat", u"\\Temp\\kvmupdi.dat");
}

void QuarantineSeeds() {
  const std::u16string install = u"\\Program Files\\Kolvar";
  Repository repository(QuarantineFolderOf(install),
                        platform::JoinPath(install, kRepositoryIndexName));
  const std::pair<const char16_t*, size_t> files[] = {
      {u"empty.txt", 0}, {u"note.txt", 5}, {u"chunk.exe", 32768}, {u"over.dll", 33000}};
  uint32_t virus_id = 0x41;
  for (const auto& [name, size] : files) {
    const std::u16string folder = u"\\My Documents";
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    fuzz::WriteDeviceFile(platform::JoinPath(folder, name),
                          {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    RepositoryRecord record;
    if (!repository.Quarantine(folder, name, virus_id++, nullptr, &record)) {
      fuzz::Fail("a seed file could not be quarantined");
    }
    SeedFromDevice("protected_file_fuzzer", platform::Utf16ToUtf8(name) + ".avq",
                   repository.ProtectedPathOf(record));
  }
  SeedFromDevice("repository_index_fuzzer", "four.dat", repository.index_path());
}

void ResultFileSeeds() {
  InfectionList list;
  list.Append(u"\\My Documents", u"eicar.com", 0, 1, kActionNone);
  list.Append(u"\\Program Files\\Backup Tool", u"backup.exe", 0, 1001, kActionMoveAll);
  list.Append(std::u16string(140, u'f'), u"long.txt", 0, 1003, kActionDelete);  // cut and marked
  const std::u16string path = u"\\Temp\\inffile.lst";
  WriteInfectionRecords(list, path);
  SeedFromDevice("result_file_fuzzer", "three.lst", path);
}

// The registry target's input: type, name length, name, data.
void RegistrySeed(const std::string& name, uint32_t type, std::u16string_view value_name,
                  std::string_view data) {
  std::string input(reinterpret_cast<const char*>(&type), sizeof(type));
  input += static_cast<char>(value_name.size());
  input.append(reinterpret_cast<const char*>(value_name.data()), value_name.size() * 2);
  input += data;
  Seed("registry_value_fuzzer", name, input);
}

void RegistrySeeds() {
  const std::u16string folder = u"\\Program Files\\Kolvar\\";
  RegistrySeed("install-dir", platform::kRegSz, u"IDir",
               {reinterpret_cast<const char*>(folder.c_str()), (folder.size() + 1) * 2});
  const uint32_t number = 42;
  RegistrySeed("number", platform::kRegDword, u"N",
               {reinterpret_cast<const char*>(&number), sizeof(number)});
  const char16_t multi[] = u"a\0bc\0";
  RegistrySeed("multi", platform::kRegMultiSz, u"M",
               {reinterpret_cast<const char*>(multi), sizeof(multi)});
  RegistrySeed("binary", platform::kRegBinary, u"", "\x01\x02\xFF");
  Seed("kvreg_value_text_fuzzer", "sz", "sz\nC:\\Program Files\\Kolvar");
  Seed("kvreg_value_text_fuzzer", "dword", "dword\n0x2a");
  Seed("kvreg_value_text_fuzzer", "multi", "REG_MULTI_SZ\nfirst\nsecond");
  Seed("kvreg_value_text_fuzzer", "binary", "binary\n01 02 ff");
  Seed("kvreg_value_text_fuzzer", "numbered", "0x1234\nAB CD");
}

template <typename Record>
std::string BytesOf(const Record& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
}

// The scan message target's input: the sender (0 the scanner, 1 the main program), the message.
void ScanMessageSeeds() {
  const std::string from_main(1, '\1'), from_scanner(1, '\0');
  Seed("scan_message_fuzzer", "attach", from_main + BytesOf(MakeAttachCommand(u"\\My Documents")));
  Seed("scan_message_fuzzer", "action",
       from_main + BytesOf(MakeActionCommand(1001, kActionMoveAll)));
  Seed("scan_message_fuzzer", "start", from_main + BytesOf(MakeScanCommand(kCommandStart)));
  ScanStatus status = ZeroRecord<ScanStatus>();
  status.files_tested = 12;
  SetWideField(status.current_folder, u"\\My Documents\\Letters");
  SetWideField(status.current_item, u"invoice-2007-03.txt");
  status.state = 1;
  status.type = kMessageProgress;
  Seed("scan_message_fuzzer", "progress", from_scanner + BytesOf(status));
  DetectionRecord record = ZeroRecord<DetectionRecord>();
  SetWideField(record.path, u"\\My Documents\\Downloads\\eicar.com");
  record.virus_id = 1;
  Seed("scan_message_fuzzer", "detection", from_scanner + BytesOf(record));
}

// The IPC service target's steps (see ipc_service_fuzzer.cc): two registrations, a message from
// one to the other, passes, the message taken, an unregistration.
void IpcServiceSeeds() {
  auto request = [](uint8_t code, uint8_t pid_choice, std::u16string_view name) {
    std::string step = {'\0', static_cast<char>(code), static_cast<char>(pid_choice),
                        static_cast<char>(name.size() * 2)};
    step.append(reinterpret_cast<const char*>(name.data()), name.size() * 2);
    return step;
  };
  const std::string pass(1, '\3');
  std::string message = {'\1', '\0'};  // slot 0's outgoing mailbox
  const uint32_t sequence = 1;
  message += std::string(reinterpret_cast<const char*>(&sequence), 4);
  message += std::string{'\0', '\1'};  // sender 0, addressee 1
  const uint16_t length = 5;
  message += std::string(reinterpret_cast<const char*>(&length), 2) + "hello";
  const std::string take = {'\2', '\1'};
  Seed("ipc_service_fuzzer", "exchange",
       request(1, 0, u"ANTIVIRUS") + pass + request(1, 1, u"IPC_SCAN") + pass + message + pass +
           pass + take + pass + request(2, 0, u"") + pass);
}

// The installed task list, a list with a task of every schedule type as the editor saves them,
// and the installed list with a torn record after it.
void TaskListSeeds() {
  const std::string installed = DefaultTaskFileBytes();
  Seed("task_list_fuzzer", "installed.dat", installed);
  Seed("task_list_fuzzer", "torn-tail.dat", installed + installed.substr(0, 700));
  ScheduleParameters p = ZeroScheduleParameters();
  p.daily = {10, 0, 2};
  p.weekly = {12, 30, 1, {1, 0, 1, 0, 1, 0, 0}};
  p.monthly = {23, 59, 0, 31, 1, kOrdinalLast, 5, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  p.once = {8, 15, 29, 2, 2028};
  p.once_a_day = 1;
  p.idle_minutes = 15;
  std::string every;
  for (uint32_t type = kScheduleDaily; type <= kScheduleWhenIdle; ++type) {
    TaskRecord record = DefaultTaskRecords()[type % 2];
    record.id = 10 + type;
    record.enabled = 1;
    record.schedule_type = type;
    SerialiseScheduleParameters(p, &record);
    SetFieldText(record.status, kTaskStatusChars, type % 2 ? kTaskStatusPostponed : u"");
    record.last_run = {2026, 12, 10, 10, 0};
    record.next_run = {2026, 12, 31, 23, 50};
    every.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  Seed("task_list_fuzzer", "every-type.dat", every);
}

// The information file's values again in a store without a cipher: the fuzz target encrypts the
// body itself, so that its mutations reach the reader behind the decryption.
std::string PlainCopy(ConfigStore& from) {
  ConfigStore plain(u"_@KVSEEDPLAINUPDI@_");
  if (from.FirstSection()) {
    do {
      const std::string section = from.CurrentSectionName();
      plain.AddSection(section.c_str());
      from.SelectSection(section.c_str());
      if (!from.FirstKey()) continue;
      do {
        const std::string key = from.CurrentKeyName();
        uint32_t type = 0, size = 0;
        from.GetValueInfo(key.c_str(), &type, &size);
        std::string value(size, '\0');
        from.GetValue(key.c_str(), &size, value.data());
        plain.AddValue(key.c_str(), type, size, value.data());
      } while (from.NextKey());
    } while (from.NextSection());
  }
  const std::u16string path = u"\\Temp\\kvmupdi-plain.dat";
  if (!plain.Save(path)) fuzz::Fail("cannot save a plain information file");
  return ReadHostFile(platform::HostPath(path));
}

// A package built by kvupdpack from two files and a setting: its information file for the update
// client's target; its cabinet as it stands and its manifest (with one more of other folders) for
// the installer's target.
void UpdatePackageSeeds() {
  std::string private_key, public_key, error;
  if (!platform::GenerateSigningKey(&private_key, &public_key, &error)) fuzz::Fail("no key");
  const fs::path out = platform::HostPath(u"\\Temp\\package");
  fs::create_directories(out);
  fuzz::WriteDeviceFile(u"\\Temp\\KVVirusDB.dat", {reinterpret_cast<const uint8_t*>("KVDB"), 4});
  fuzz::WriteDeviceFile(u"\\Temp\\readme.txt", {reinterpret_cast<const uint8_t*>("new"), 3});
  kvupdpack::PackageSpec spec;
  spec.private_key_pem = private_key;
  spec.update_id = u"KVUPD-V30-0042";
  spec.release_date = u"2026-12-11";
  spec.out_dir = out.string();
  spec.files = {{platform::HostPath(u"\\Temp\\KVVirusDB.dat"), u"#program#"},
                {platform::HostPath(u"\\Temp\\readme.txt"), u"#personal#\\Kolvar\\Notes"}};
  spec.settings = {{"CONFIG.ScanPacing", true, "", 0}};
  spec.history = {"2026-12-11: signatures of December"};
  std::vector<std::string> written;
  if (!kvupdpack::BuildPackage(spec, &written, &error)) fuzz::Fail(error.c_str());

  std::unique_ptr<ConfigurationFile> information;
  if (!OpenUpdateInformation(u"\\Temp\\package\\kvmupdi.dat", &information)) {
    fuzz::Fail("the built information file cannot be read");
  }
  Seed("update_information_fuzzer", "kvupdpack.dat", PlainCopy(information->store()));
  ConfigStore none(u"_@KVSEEDNONE@_");
  none.AddSection(config_keys::kUpdateInformation);
  const std::u16string nothing = u"NONE";
  none.AddValue(config_keys::kUpdateId, kConfigTypeText,
                static_cast<uint32_t>((nothing.size() + 1) * 2), nothing.c_str());
  none.Save(u"\\Temp\\kvmupdi-none.dat");
  SeedFromDevice("update_information_fuzzer", "nothing-offered.dat", u"\\Temp\\kvmupdi-none.dat");

  const std::string cabinet = ReadHostFile(out / kvupdpack::kCabinetName);
  Seed("update_package_fuzzer", "kvupdpack.cab", "\x01" + cabinet);
  std::vector<platform::CabinetFile> files;
  if (!platform::ReadCabinet({reinterpret_cast<const uint8_t*>(cabinet.data()), cabinet.size()},
                             &files, &error)) {
    fuzz::Fail("the built cabinet cannot be read");
  }
  for (const platform::CabinetFile& file : files) {
    if (file.name == updater::kManifestName) {
      Seed("update_package_fuzzer", "kvupdpack-manifest",
           std::string(1, '\0') + std::string(file.bytes.begin(), file.bytes.end()));
    }
  }
  const std::vector<updater::ManifestEntry> spread = {{"a.dat", u"#program#"},
                                                      {"b.txt", u"#temp#\\KVUpdate"},
                                                      {"c.ini", u"#windows#\\Kolvar"},
                                                      {"d.doc", u"#personal#"}};
  Seed("update_package_fuzzer", "four-folders",
       std::string(1, '\0') + updater::ManifestText(spread) + std::string(1, '\0') +
           "a.dat\nb.txt\nc.ini\nd.doc");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR SAMPLE_SIGNATURE_SOURCE\n");
    return 2;
  }
  g_out = argv[1];
  const std::string sample_source = ReadHostFile(argv[2]);
  fuzz::SetUpDevice();
  SignatureSeeds(sample_source);
  ConfigurationSeeds();
  QuarantineSeeds();
  ResultFileSeeds();
  RegistrySeeds();
  ScanMessageSeeds();
  IpcServiceSeeds();
  TaskListSeeds();
  UpdatePackageSeeds();
  return 0;
}

// chaos_probe: what scripts/chaos asks of the device after each round, through the suite's own
// code, so that the checks read the files and named objects exactly as the programs do.
//
//   chaos_probe held NAME...       for each named object: "NAME held" or "NAME free"
//   chaos_probe lock NAME...       takes each named mutex (5 s at most): "NAME ok" or "NAME stuck"
//   chaos_probe stop NAME...       sets each named event that exists (as setup ends the programs)
//   chaos_probe config             loads kvmavcfg.dat of the Windows folder: "config ok" or the
//                                  store's status
//   chaos_probe index FOLDER       reads the index of the installation folder FOLDER: one line per
//                                  entry (virus id, folder, file name, protected copy,
//                                  tab-separated) after "index N"
//   chaos_probe unlisted FOLDER    the protected copies there that no entry names, one a line
//   chaos_probe decrypt AVQ HOST   decrypts the protected copy AVQ (a device path) into the host
//                                  file HOST, leaving AVQ as it is
// Exit status 0 when every answer is the sound one (free, ok, loaded, decrypted), 1 otherwise,
// 2 for a wrong command line.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/file_cryptor.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/kernel_objects.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const char* text) { return platform::Utf8ToUtf16Lossy(text); }
std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

int Held(int argc, char** argv) {
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    const bool held = platform::ObjectExists(Wide(argv[i]));
    std::printf("%s %s\n", argv[i], held ? "held" : "free");
    if (held) status = 1;
  }
  return status;
}

int Lock(int argc, char** argv) {
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    platform::Mutex mutex;
    const bool created = mutex.Create(Wide(argv[i]));
    const platform::WaitResult result = created ? mutex.Wait(5000) : platform::WaitResult::kFailed;
    const bool ok =
        result == platform::WaitResult::kSignaled || result == platform::WaitResult::kAbandoned;
    if (ok) mutex.Release();
    std::printf("%s %s\n", argv[i], ok ? "ok" : "stuck");
    if (!ok) status = 1;
  }
  return status;
}

int Stop(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    platform::Event event;
    if (event.Open(Wide(argv[i]))) event.Set();
  }
  return 0;
}

int Config() {
  std::u16string windows;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) return 1;
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  if (!file.store().Load(platform::JoinPath(windows, config_keys::kConfigurationFileName),
                         /*clear_first=*/true)) {
    std::printf("config status %u\n", static_cast<unsigned>(file.store().GetStatus()));
    return 1;
  }
  std::printf("config ok\n");
  return 0;
}

// The repository of the installation folder FOLDER (a device path).
Repository RepositoryOf(const char* folder) {
  const std::u16string install = Wide(folder);
  return Repository(QuarantineFolderOf(install), platform::JoinPath(install, kRepositoryIndexName));
}

int Index(const char* folder) {
  Repository repository = RepositoryOf(folder);
  std::vector<RepositoryRecord> records;
  if (!repository.ReadIndex(&records)) {
    std::printf("index unreadable %u\n", platform::GetLastError());
    return 1;
  }
  std::printf("index %zu\n", records.size());
  for (const RepositoryRecord& record : records) {
    std::printf("%u\t%s\t%s\t%s\n", record.virus_id, Narrow(WideField(record.folder)).c_str(),
                Narrow(WideField(record.file_name)).c_str(),
                Narrow(repository.ProtectedPathOf(record)).c_str());
  }
  return 0;
}

int Unlisted(const char* folder) {
  Repository repository = RepositoryOf(folder);
  std::vector<UnlistedCopy> copies;
  if (!repository.FindUnlisted(&copies)) {
    std::printf("unlisted unreadable %u\n", platform::GetLastError());
    return 1;
  }
  for (const UnlistedCopy& copy : copies) std::printf("%s\n", Narrow(copy.path).c_str());
  return copies.empty() ? 0 : 1;
}

int Decrypt(const char* avq, const char* host_out) {
  // A copy in the temporary folder is decrypted, so that the quarantine stays untouched.
  std::u16string temp;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kTemp, &temp)) return 1;
  const std::u16string copy = platform::JoinPath(temp, u"chaos-probe.avq");
  const std::u16string plain = platform::JoinPath(temp, u"chaos-probe");
  platform::DeleteFile(plain);
  platform::SetFileAttributes(copy, 0);
  platform::DeleteFile(copy);
  if (!platform::CopyFile(Wide(avq), copy, /*fail_if_exists=*/false)) {
    std::printf("decrypt cannot copy %u\n", platform::GetLastError());
    return 1;
  }
  platform::SetFileAttributes(copy, 0);
  QuarantineCipher cipher;
  const bool ok = cipher.ok() && cipher.cryptor().SetSource(copy) && cipher.cryptor().Unprotect();
  platform::DeleteFile(copy);
  if (!ok) {
    std::printf("decrypt failed %u\n", static_cast<unsigned>(cipher.cryptor().GetStatus()));
    return 1;
  }
  std::error_code ec;
  fs::rename(platform::HostPath(plain), host_out, ec);
  if (ec) fs::copy_file(platform::HostPath(plain), host_out, ec);
  platform::DeleteFile(plain);
  std::printf("decrypt %s\n", ec ? "cannot write" : "ok");
  return ec ? 1 : 0;
}

}  // namespace
}  // namespace kolvar

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "held") return kolvar::Held(argc, argv);
  if (command == "lock") return kolvar::Lock(argc, argv);
  if (command == "stop") return kolvar::Stop(argc, argv);
  if (command == "config" && argc == 2) return kolvar::Config();
  if (command == "index" && argc == 3) return kolvar::Index(argv[2]);
  if (command == "unlisted" && argc == 3) return kolvar::Unlisted(argv[2]);
  if (command == "decrypt" && argc == 4) return kolvar::Decrypt(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: chaos_probe held|lock|stop NAME... | config | index|unlisted FOLDER | "
               "decrypt AVQ HOST\n");
  return 2;
}

// kvmupdi.dat from the update server, and what the update client decides from it. The input is an
// information file with a plain body; it is opened as the client opens the download, as it stands
// and with its body encrypted under the update information key (as the publisher's tool writes
// it), so that the reader behind the decryption is reached too. For every kind of device the offer
// is read, the decision taken against a few installed states, and a cabinet name that the client
// would download is created in the download folder as the client creates it: it must land there
// and nowhere else. The first eight bytes also stand for a content length and a block time, whose
// progress figures must stay in range.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "antivirus/update/update_downloader.h"
#include "antivirus/update/update_rules.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "fuzz/config_file_support.h"
#include "fuzz/fuzz_support.h"
#include "platform/file.h"
#include "platform/path.h"

namespace {

using namespace kolvar;
namespace fs = std::filesystem;

constexpr char16_t kInstallFolder[] = u"\\Program Files\\Kolvar\\";

std::u16string g_download_folder;
std::u16string g_information;
ConfigurationFile* g_cipher_holder;

bool EndsInNul(const std::u16string& text) { return !text.empty() && text.back() == u'\0'; }

void CheckDecision(const UpdateOffer& offer) {
  const std::u16string_view versions[] = {config_keys::kDefaultUpdateVersion, u"KVUPD"};
  const std::u16string_view installed[] = {kNoneText, u"", offer.release_date, u"2026-12-11"};
  for (std::u16string_view version : versions) {
    for (std::u16string_view last : installed) {
      const UpdateDecision decision = DecideUpdate(offer.id, offer.release_date, version, last);
      const std::u16string_view effective = last.empty() ? kNoneText : last;
      const bool offered =
          offer.id.find(version) != std::u16string::npos && offer.id != kNoUpdateOffered;
      fuzz::Check(offered == (decision != UpdateDecision::kNoUpdate),
                  "an update taken or refused against its identifier");
      if (offered) {
        fuzz::Check((decision == UpdateDecision::kAlreadyUpdated) ==
                        (offer.release_date == effective),
                    "an installed release downloaded again, or a new one taken as installed");
      }
    }
  }
}

// The download's file, created as the client creates it: a name the client accepts names a file
// directly inside the download folder.
void CheckCabinetName(const std::u16string& cabinet) {
  if (!IsCabinetFileName(cabinet)) return;
  const std::u16string path = platform::JoinPath(g_download_folder, cabinet);
  platform::DeleteFile(path);
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kWrite, platform::CreateDisposition::kCreateAlways)) {
    return;  // a name the file system refuses fails the download with its error
  }
  file.Close();
  const fs::path folder = platform::HostPath(g_download_folder);
  size_t entries = 0;
  bool inside = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    ++entries;
    inside = inside || entry.is_regular_file();
  }
  fuzz::Check(entries == 1 && inside, "a cabinet name creates a file outside the download folder");
  platform::DeleteFile(path);
  fs::remove_all(folder);
  fs::create_directories(folder);
}

void CheckProgress(uint32_t total, uint32_t ticks) {
  const uint32_t expected = ExpectedBlocks(total);
  fuzz::Check(uint64_t{expected} * kDownloadBlockSize <= total, "more blocks than bytes");
  const int64_t block_time = int64_t{ticks} * 50;
  for (uint32_t blocks : {0u, 1u, expected / 2, expected, expected + 1}) {
    const int64_t left = TimeLeftMs(block_time, expected, blocks);
    fuzz::Check(left >= 0, "a negative time left");
    const std::u16string text = TimeLeftText(left);
    fuzz::Check(text.size() >= 11 && text.back() == u's', "a time left text out of form");
  }
  for (uint64_t received : {uint64_t{0}, uint64_t{total} / 3, uint64_t{total}}) {
    const uint32_t percent = PercentDone(received, total);
    fuzz::Check(percent <= 100, "more than 100 percent");
    DownloadingText(percent);
  }
  KilobytesText(total);
}

void OpenAndCheck(std::span<const uint8_t> bytes) {
  fuzz::WriteDeviceFile(g_information, bytes);
  std::unique_ptr<ConfigurationFile> file;
  if (!OpenUpdateInformation(g_information, &file)) return;
  for (const auto& [kind, new_shell] : {std::pair{1u, true}, {2u, true}, {2u, false}}) {
    const UpdateOffer offer = ReadUpdateOffer(file->store(), kind, new_shell);
    fuzz::Check(!EndsInNul(offer.id) && !EndsInNul(offer.release_date) && !EndsInNul(offer.cabinet),
                "a text read with its terminator");
    CheckDecision(offer);
    CheckCabinetName(offer.cabinet);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_download_folder = DownloadFolderOf(kInstallFolder);
  fs::create_directories(platform::HostPath(g_download_folder));
  g_information = platform::JoinPath(g_download_folder + u"-information",
                                     config_keys::kUpdateInformationFileName);
  fs::create_directories(platform::HostPath(g_download_folder + u"-information"));
  g_cipher_holder =
      new ConfigurationFile(ConfigStore::kUpdateInformationName, KeyMaterialUse::kUpdateInformation);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint32_t total = input.Take<uint32_t>();
  const uint32_t ticks = input.Take<uint32_t>();
  CheckProgress(total, ticks);
  const std::span<const uint8_t> file(data, size);
  OpenAndCheck(file);
  const std::vector<uint8_t> encrypted = fuzz::EncryptedConfigFile(g_cipher_holder->cipher(), file);
  if (!encrypted.empty()) OpenAndCheck(encrypted);
  return 0;
}

// The update client's decisions and texts as pure functions, so that their known answers can be
// tested without a server: which cabinet a device takes, whether an offered update is taken, the
// time left and percent of a download, and how sizes and the download time are written.
#ifndef KOLVAR_ANTIVIRUS_UPDATE_UPDATE_RULES_H_
#define KOLVAR_ANTIVIRUS_UPDATE_UPDATE_RULES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/config_keys.h"
#include "platform/file.h"

namespace kolvar {

class ConfigStore;

// Keys of section UPDATE_INFORMATION of the update information file.
inline constexpr const auto& kSignedSmartphoneCabinetKey = config_keys::kSignedSmartphoneCabinet;
inline constexpr const auto& kSignedPocketPcCabinetKey = config_keys::kSignedPocketPcCabinet;
inline constexpr const auto& kPocketPcCabinetKey = config_keys::kPocketPcCabinet;
// UpdateID of an information file that offers nothing.
inline constexpr char16_t kNoUpdateOffered[] = u"NONE";
// How an unset last-update value is shown and compared.
inline constexpr char16_t kNoneText[] = u"(none)";

// The cabinet key: a Smartphone (platform kind 1) always takes Signed_SP_CAB; a Pocket PC
// Signed_PPC_CAB with the new shell, else PPC_CAB.
const char* CabinetKey(uint32_t platform_kind, bool new_shell);

// What an update information file offers a device: UpdateID, ReleaseDate and the cabinet under
// the device's key (CabinetKey), each empty when it is absent or cannot be read as a text.
struct UpdateOffer {
  std::u16string id;
  std::u16string release_date;
  std::u16string cabinet;
};
UpdateOffer ReadUpdateOffer(ConfigStore& information, uint32_t platform_kind, bool new_shell);

// Whether a cabinet name from the server names a file of the download folder and nothing else:
// not empty, shorter than a device path, not "." or "..", no "\", "/", ":" or NUL.
bool IsCabinetFileName(std::u16string_view name);

enum class UpdateDecision { kDownload, kNoUpdate, kAlreadyUpdated };

// The checks in their order: an identifier without the product line tag, or "NONE", offers
// nothing; a release date equal to the last installed one ("(none)" when unset) is installed.
UpdateDecision DecideUpdate(std::u16string_view server_id, std::u16string_view server_date,
                            std::u16string_view update_version,
                            std::u16string_view last_release_date);

// Expected block count of a download: whole blocks of 2048 bytes in the total size.
uint32_t ExpectedBlocks(uint32_t total_size);
// Time left after `blocks_read` blocks, from the first block's time (its ticks times 50); never
// negative.
int64_t TimeLeftMs(int64_t block_time_ms, uint32_t expected_blocks, uint32_t blocks_read);
// Whole percent of the total received; 0 for an empty total.
uint32_t PercentDone(uint64_t received, uint64_t total);

// "%02ldh:%02ldm:%02lds" of a time left in milliseconds; all zero up to 1000 ms.
std::u16string TimeLeftText(int64_t milliseconds);
// "%.2f KB" of a byte count.
std::u16string KilobytesText(uint64_t bytes);
// The status line of a block received: "Downloading updates ... 49%".
std::u16string DownloadingText(uint32_t percent);
// The download time as recorded in UpdateTime: "Nov 11, 2004 00h:44m".
std::u16string UpdateTimeText(const platform::SystemTime& time);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_UPDATE_UPDATE_RULES_H_

// The update client's decisions and texts; see update_rules.h.
#include "antivirus/update/update_rules.h"

#include <cstdio>

#include "antivirus/update/update_texts.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/path.h"
#include "platform/text.h"

namespace kolvar {
namespace {

constexpr uint32_t kBlockSize = 2048;
constexpr int64_t kFirstBlockFactor = 50;

std::u16string Ascii(const char* text) { return platform::Utf8ToUtf16Lossy(text); }

}  // namespace

const char* CabinetKey(uint32_t platform_kind, bool new_shell) {
  if (platform_kind != 2) return kSignedSmartphoneCabinetKey;
  return new_shell ? kSignedPocketPcCabinetKey : kPocketPcCabinetKey;
}

UpdateOffer ReadUpdateOffer(ConfigStore& information, uint32_t platform_kind, bool new_shell) {
  UpdateOffer offer;
  ReadTextValue(information, config_keys::kUpdateInformation, config_keys::kUpdateId, &offer.id);
  ReadTextValue(information, config_keys::kUpdateInformation, config_keys::kReleaseDate,
                &offer.release_date);
  ReadTextValue(information, config_keys::kUpdateInformation,
                CabinetKey(platform_kind, new_shell), &offer.cabinet);
  return offer;
}

bool IsCabinetFileName(std::u16string_view name) {
  return !name.empty() && name.size() < platform::kMaxPath && name != u"." && name != u".." &&
         name.find_first_of(u"\\/:") == std::u16string_view::npos &&
         name.find(u'\0') == std::u16string_view::npos;
}

UpdateDecision DecideUpdate(std::u16string_view server_id, std::u16string_view server_date,
                            std::u16string_view update_version,
                            std::u16string_view last_release_date) {
  if (server_id.find(update_version) == std::u16string_view::npos) {
    return UpdateDecision::kNoUpdate;
  }
  if (server_id == kNoUpdateOffered) return UpdateDecision::kNoUpdate;
  const std::u16string_view last = last_release_date.empty() ? kNoneText : last_release_date;
  if (server_date == last) return UpdateDecision::kAlreadyUpdated;
  return UpdateDecision::kDownload;
}

uint32_t ExpectedBlocks(uint32_t total_size) { return total_size / kBlockSize; }

int64_t TimeLeftMs(int64_t block_time_ms, uint32_t expected_blocks, uint32_t blocks_read) {
  const int64_t left = block_time_ms * (static_cast<int64_t>(expected_blocks) - blocks_read);
  return left < 0 ? 0 : left;
}

uint32_t PercentDone(uint64_t received, uint64_t total) {
  if (total == 0) return 0;
  return static_cast<uint32_t>(received * 100 / total);
}

std::u16string TimeLeftText(int64_t milliseconds) {
  long hours = 0, minutes = 0, seconds = 0;
  if (milliseconds > 1000) {
    const int64_t s = milliseconds / 1000;
    seconds = static_cast<long>(s % 60);
    minutes = static_cast<long>((s / 60) % 60);
    hours = static_cast<long>(s / 3600);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02ldh:%02ldm:%02lds", hours, minutes, seconds);
  return Ascii(text);
}

std::u16string KilobytesText(uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(bytes) / 1024.0);
  return Ascii(text);
}

std::u16string DownloadingText(uint32_t percent) {
  std::u16string text(update_texts::kDownloading);
  const std::u16string number = Ascii(std::to_string(percent).c_str());
  if (const size_t at = text.find(u"%ld"); at != std::u16string::npos) {
    text.replace(at, 3, number);
  }
  if (const size_t at = text.find(u"%%"); at != std::u16string::npos) text.replace(at, 2, u"%");
  return text;
}

std::u16string UpdateTimeText(const platform::SystemTime& time) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* month = time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : "???";
  char text[64];
  std::snprintf(text, sizeof text, "%s %d, %d %02dh:%02dm", month, time.day, time.year, time.hour,
                time.minute);
  return Ascii(text);
}

}  // namespace kolvar

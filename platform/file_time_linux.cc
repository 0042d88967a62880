// The device's file times (100-nanosecond units since 1601 UTC) and broken-down system times.
#include <time.h>

#include <cstdint>

#include "platform/error.h"
#include "platform/file.h"

namespace kolvar::platform {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

SystemTime FromTm(const struct tm& tm, int64_t nanoseconds) {
  SystemTime out{};
  out.year = static_cast<uint16_t>(tm.tm_year + 1900);
  out.month = static_cast<uint16_t>(tm.tm_mon + 1);
  out.day_of_week = static_cast<uint16_t>(tm.tm_wday);
  out.day = static_cast<uint16_t>(tm.tm_mday);
  out.hour = static_cast<uint16_t>(tm.tm_hour);
  out.minute = static_cast<uint16_t>(tm.tm_min);
  out.second = static_cast<uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);  // no leap second field
  out.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return out;
}

SystemTime Now(bool local) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm tm {};
  if (local) {
    localtime_r(&now.tv_sec, &tm);
  } else {
    gmtime_r(&now.tv_sec, &tm);
  }
  return FromTm(tm, now.tv_nsec);
}

}  // namespace

FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  seconds += nanoseconds / 1000000000;
  nanoseconds %= 1000000000;
  if (nanoseconds < 0) {
    nanoseconds += 1000000000;
    --seconds;
  }
  if (seconds < -kSecondsFrom1601To1970) return FileTime{0};
  const uint64_t since_1601 = static_cast<uint64_t>(seconds) + kSecondsFrom1601To1970;
  if (since_1601 >= UINT64_MAX / kTicksPerSecond) return FileTime{UINT64_MAX};
  return FileTime{since_1601 * kTicksPerSecond + static_cast<uint64_t>(nanoseconds / 100)};
}

SystemTime CurrentLocalTime() { return Now(/*local=*/true); }
SystemTime CurrentUtcTime() { return Now(/*local=*/false); }

namespace {

bool FileTimeToSystemTime(FileTime utc, bool local, SystemTime* out) {
  const int64_t seconds =
      static_cast<int64_t>(utc.value / kTicksPerSecond) - kSecondsFrom1601To1970;
  const int64_t nanoseconds = static_cast<int64_t>(utc.value % kTicksPerSecond) * 100;
  const time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  const bool converted = local ? localtime_r(&t, &tm) != nullptr : gmtime_r(&t, &tm) != nullptr;
  if (!converted || tm.tm_year + 1900 > 30827) return Fail(kErrorInvalidParameter);
  *out = FromTm(tm, nanoseconds);
  return true;
}

}  // namespace

bool FileTimeToLocal(FileTime utc, SystemTime* local) {
  return FileTimeToSystemTime(utc, /*local=*/true, local);
}

bool FileTimeToUtc(FileTime utc, SystemTime* time) {
  return FileTimeToSystemTime(utc, /*local=*/false, time);
}

}  // namespace kolvar::platform

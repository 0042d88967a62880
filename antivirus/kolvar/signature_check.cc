// The signature database check of kolvar scan; see signature_check.h.
#include "antivirus/kolvar/signature_check.h"

#include "antivirus/kolvar/shown_path.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/text.h"
#include "scan_engine/signature_database.h"

namespace kolvar {

DatabaseCheck CheckSignatureDatabase(std::u16string_view database_path) {
  const std::string shown = ShownPath(database_path);
  SignatureDatabase database;
  if (!database.Load(database_path)) {
    return {DatabaseVerdict::kUnusable,
            "the signature database " + shown + " cannot be read (" +
                platform::Utf16ToUtf8(SystemErrorText(platform::GetLastError())) +
                "): no virus could be detected, so nothing was scanned",
            SignatureLoadReport{}};
  }
  const SignatureLoadReport& report = database.report();
  if (report.sound()) return {DatabaseVerdict::kSound, "", report};
  const std::string reasons = DescribeSignatureLoad(report);
  if (!report.usable()) {
    return {DatabaseVerdict::kUnusable,
            "the signature database " + shown + " is damaged or empty (" + reasons +
                "): no virus could be detected, so nothing was scanned. Reinstall Kolvar AV or "
                "update its signature database.",
            report};
  }
  return {DatabaseVerdict::kDamaged,
          "warning: the signature database " + shown + " is damaged: " + reasons +
              ". The scan goes on with the " + std::to_string(report.loaded) +
              (report.loaded == 1 ? " signature" : " signatures") +
              " that loaded; the viruses of the skipped records are not detected.",
          report};
}

}  // namespace kolvar

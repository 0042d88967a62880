// The user's language; see locale.h.
#include <stdlib.h>

#include "platform/locale.h"

namespace kolvar::platform {

std::string LanguageNameOfLocale(std::string_view locale) {
  static const struct {
    std::string_view code;
    const char* name;
  } kLanguages[] = {{"en", "English"}, {"de", "German"},     {"fr", "French"},   {"es", "Spanish"},
                    {"it", "Italian"}, {"pt", "Portuguese"}, {"nl", "Dutch"},    {"sv", "Swedish"},
                    {"pl", "Polish"},  {"ru", "Russian"},    {"ja", "Japanese"}, {"zh", "Chinese"}};
  const std::string_view code = locale.substr(0, locale.find_first_of("_.@"));
  if (code.empty() || code == "C" || code == "POSIX") return "English";
  for (const auto& language : kLanguages) {
    if (language.code == code) return language.name;
  }
  return std::string(code);
}

std::string DefaultLanguageName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return LanguageNameOfLocale(value);
  }
  return LanguageNameOfLocale("");
}

}  // namespace kolvar::platform

// The user's language, as the device's default locale names it: from LC_ALL, LC_MESSAGES or LANG
// (the first one set), its language code turned into the language's English name.
#ifndef KOLVAR_PLATFORM_LOCALE_H_
#define KOLVAR_PLATFORM_LOCALE_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

// "English" for "en_GB.UTF-8", "C", "POSIX" or nothing set; the code itself for a language this
// table does not name.
std::string LanguageNameOfLocale(std::string_view locale);
std::string DefaultLanguageName();

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_LOCALE_H_

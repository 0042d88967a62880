// The case-insensitive identity of registry key and value names. The device compares names by
// upper-casing each UTF-16 code unit with a fixed table; so do we, with a table built into the
// program rather than taken from a locale, because the folded form is stored in the registry
// database and must come out the same in every program, every locale and every later version.
#ifndef KOLVAR_PLATFORM_REGISTRY_FOLD_H_
#define KOLVAR_PLATFORM_REGISTRY_FOLD_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

// Simple upper-case mapping of one UTF-16 code unit (Unicode 14, Basic Multilingual Plane; code
// units without a single-unit upper case, surrogates included, map to themselves).
char16_t UpcaseRegistryUnit(char16_t unit);

// Upper-cases every code unit of a name. Two names are the same registry name exactly when their
// folded forms are equal.
std::u16string FoldRegistryName(std::u16string_view name);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_REGISTRY_FOLD_H_

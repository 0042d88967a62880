// Builders of the suite's kernel object names.
#include "common/object_names.h"

#include <string>

namespace kolvar {
namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::u16string LockName(std::u16string_view name) {
  std::u16string result = u"_@";
  result.append(name);
  result.append(u"@_");
  return result;
}

std::u16string PresenceEventName(std::u16string_view name) {
  std::u16string result = u"@_";
  result.append(name);
  result.append(u"_@");
  return result;
}

std::u16string ScratchBlockName(uint32_t process_id, int32_t counter) {
  return u"_@KVCC_" + Ascii(std::to_string(process_id)) + u"_" + Ascii(std::to_string(counter)) +
         u"@_";
}

}  // namespace kolvar

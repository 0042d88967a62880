// How the front end shows a path to people: the device path in a device image, where the device's
// own names are the ones that mean something ("\My Documents\a.txt"), and the host path in the
// host profile, where the device path is only the host path spelt with "\".
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SHOWN_PATH_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SHOWN_PATH_H_

#include <string>
#include <string_view>

namespace kolvar {

// UTF-8 text of a device path as shown.
std::string ShownPath(std::u16string_view device_path);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SHOWN_PATH_H_

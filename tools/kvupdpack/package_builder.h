// Builds an update package in a folder, ready for any static web server: the cabinet with its
// manifest, the encrypted update information file that describes it, and the detached signature
// of each (NAME.sig).
#ifndef KOLVAR_TOOLS_KVUPDPACK_PACKAGE_BUILDER_H_
#define KOLVAR_TOOLS_KVUPDPACK_PACKAGE_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kolvar::kvupdpack {

struct PackageFile {
  std::string host_path;       // the file to ship
  std::u16string destination;  // its device folder, with a path macro in front
};

struct Setting {  // a configuration value the rules library sets: SECTION.Key
  std::string name;
  bool number = false;
  std::string text;
  uint32_t value = 0;
};

struct PackageSpec {
  std::string private_key_pem;
  std::u16string update_id;
  std::u16string release_date;
  std::string out_dir;        // host folder
  std::string rules_library;  // host path of the rules library, or empty
  std::vector<PackageFile> files;
  std::vector<Setting> settings;
  std::vector<std::string> history;  // lines of the update history (a line end is added)
};

// The cabinet's name in the output folder, and the folder the package unpacks into on the device.
inline constexpr char kCabinetName[] = "kvupdate.cab";
inline constexpr char16_t kExtractedFolder[] = u"#temp#\\KVUpdate";

bool BuildPackage(const PackageSpec& spec, std::vector<std::string>* written, std::string* error);

}  // namespace kolvar::kvupdpack

#endif  // KOLVAR_TOOLS_KVUPDPACK_PACKAGE_BUILDER_H_

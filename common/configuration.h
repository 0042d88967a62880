// What every program does with the configuration at start-up: open kvmavcfg.dat in the Windows
// folder (creating it with its defaults on the first start, and following the program when it
// has been moved), open an update information file, and expand the path macros of update rules.
#ifndef KOLVAR_COMMON_CONFIGURATION_H_
#define KOLVAR_COMMON_CONFIGURATION_H_

#include <memory>
#include <string>
#include <string_view>

#include "common/cipher_context.h"
#include "common/config_store.h"
#include "common/key_materials.h"

namespace kolvar {

// A store of one of the suite's files together with its cipher and the path it was opened from.
// The cipher is declared first so that it outlives the store that points at it.
class ConfigurationFile {
 public:
  ConfigurationFile(std::u16string_view store_name, KeyMaterialUse key);
  ConfigurationFile(const ConfigurationFile&) = delete;
  ConfigurationFile& operator=(const ConfigurationFile&) = delete;

  CipherContext& cipher() { return cipher_; }
  ConfigStore& store() { return store_; }
  const std::u16string& path() const { return path_; }
  void set_path(std::u16string_view path) { path_ = path; }
  // Saves the store to the path it came from.
  bool Save() { return store_.Save(path_); }

 private:
  CipherContext cipher_;
  ConfigStore store_;
  std::u16string path_;
};

// Opens the configuration ("_@KVMAVGENCFG@_", configuration key, Windows folder\kvmavcfg.dat).
// An existing file is loaded; unless keep_as_is, BASIC/InstallDir is then set to the running
// program's folder when it differs, and saved. A missing file is created with the defaults unless
// keep_as_is. *configuration is always set; false only when the file is missing and keep_as_is is
// set. A file that cannot be read is not fatal: the program goes on with what was read, and the
// file is not written over.
bool OpenConfiguration(bool keep_as_is, std::unique_ptr<ConfigurationFile>* configuration);

// Opens an update information file ("_@KVMAVGENUPDI@_", update-information key) and loads it
// without clearing. *information is always set; the result is the load's.
bool OpenUpdateInformation(std::u16string_view path,
                           std::unique_ptr<ConfigurationFile>* information);

// Replaces a leading "#personal#", "#program#", "#windows#" or "#temp#" by the documents folder,
// BASIC/InstallDir of `configuration`, the Windows folder or the temporary folder (without its
// trailing "\"), followed by the rest of the path. False, with the path unchanged, for any other
// path, when the base cannot be found, or when the result would not fit in a device path.
bool ExpandPathMacro(ConfigStore* configuration, std::u16string* path);

// The defaults of a new configuration file, in their order of creation.
bool CreateDefaultConfiguration(ConfigStore* store, std::u16string_view install_dir);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_CONFIGURATION_H_

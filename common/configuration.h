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

// Told by a program that found its configuration file damaged (sizes, magic numbers or encryption
// that do not fit): the file, why, and where the damaged file was kept (error icon).
inline constexpr char16_t kDamagedConfigurationMessage[] =
    u"The configuration file '%s' is damaged (%s).\n"
    u"It was kept as '%s' and replaced by the default settings.";
// The same when it could not be put aside; the program goes on with the default settings.
inline constexpr char16_t kDamagedConfigurationKeptMessage[] =
    u"The configuration file '%s' is damaged (%s) and cannot be replaced (%s).\n"
    u"The default settings are used.";
// The name a damaged configuration file is kept under, beside the new one.
inline constexpr char16_t kDamagedFileSuffix[] = u".damaged";

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
  // Reloads the store from its path, emptying it first, when another program has saved the file
  // since this one last loaded or saved it. A reload that fails keeps what was read before.
  void ReloadWhenSavedElsewhere();

  // Set when OpenConfiguration found the file damaged: the message that tells the user what became
  // of it (kDamagedConfigurationMessage filled in); empty otherwise. The program that opened the
  // file shows it once, in its own box.
  const std::u16string& damage_notice() const { return damage_notice_; }
  void set_damage_notice(std::u16string notice) { damage_notice_ = std::move(notice); }

 private:
  CipherContext cipher_;
  ConfigStore store_;
  std::u16string path_;
  std::u16string damage_notice_;
};

// Opens the configuration ("_@KVMAVGENCFG@_", configuration key, Windows folder\kvmavcfg.dat).
// An existing file is loaded; unless keep_as_is, BASIC/InstallDir is then set to the running
// program's folder when it differs, and saved. A missing file is created with the defaults unless
// keep_as_is. *configuration is always set; false only when the file is missing and keep_as_is is
// set. A damaged file (status 88 to 91) is, unless keep_as_is, renamed to kvmavcfg.dat.damaged and
// replaced by the defaults, under the store's lock so that one program does it once, and the
// configuration's damage_notice() says so. A file that cannot be opened is not fatal: the program
// goes on with what was read, and the file is not written over.
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

// Typed readers of the values the programs follow; false when the key cannot be read. A text drops
// the NULs at its end (stored or not); an integer must be stored in 4 bytes.
bool ReadTextValue(ConfigStore& store, const char* section, const char* key, std::u16string* text);
bool ReadIntegerValue(ConfigStore& store, const char* section, const char* key, uint32_t* value);
// BASIC/InstallDir, the installation folder; empty when it cannot be read.
std::u16string InstallDirValue(ConfigStore& store);
// CONFIG/EnableBckScan as the file holds it now (reloaded when another program saved). False with
// *readable false when it cannot be read; it then counts as off.
bool CurrentBackgroundScanning(ConfigurationFile& configuration, bool* readable);

// The defaults of a new configuration file, in their order of creation.
bool CreateDefaultConfiguration(ConfigStore* store, std::u16string_view install_dir);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_CONFIGURATION_H_

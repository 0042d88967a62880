// kvreg: lets a person see and change what the programs keep in the device registry. It lists
// keys with their values (one key or a whole tree), reads one value, writes a value (creating its
// key) and deletes a value or a key with everything below it, always in the registry of the device
// root that KOLVAR_DEVICE_ROOT names, as the programs themselves do. Exit code 0 on success, 1
// with a message on standard error otherwise.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "tools/kvreg/registry_text.h"

namespace kolvar::kvreg {
namespace {

using platform::RegistryHandle;
using platform::RegistryRoot;

constexpr char kUsage[] =
    "usage: kvreg list [-r] [KEY]              subkeys and values of KEY (-r: the whole tree;\n"
    "                                          without KEY: the four roots)\n"
    "       kvreg get KEY NAME                 the data of one value\n"
    "       kvreg set KEY NAME TYPE [VALUE...] writes a value, creating the key\n"
    "       kvreg del KEY [NAME]               deletes a value, or the key and all below it\n"
    "       kvreg path                         the registry database file\n"
    "KEY   ROOT or ROOT\\path, ROOT one of HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU),\n"
    "      HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS (HKU); quote it for the shell\n"
    "NAME  a value name; \"\" is the key's default value\n"
    "TYPE  sz, expand_sz: one text; multi_sz: one VALUE per string; dword, dword_be: a number,\n"
    "      decimal or 0x-hex; binary, none, or a type number: hexadecimal bytes (\"00ff10\")\n"
    "The registry is the one of the device below KOLVAR_DEVICE_ROOT (the host's own when unset).\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "kvreg: %s\n%s", problem, kUsage);
  return 1;
}

int Failure(const std::string& what, uint32_t error) {
  const std::string meaning(platform::ErrorMeaning(error));
  std::fprintf(stderr, "kvreg: %s: %s\n", what.c_str(), meaning.c_str());
  return 1;
}

// A name as text, with control characters shown as "?".
std::string Printable(std::u16string name) {
  for (char16_t& unit : name) {
    if (unit < 0x20 || unit == 0x7F) unit = u'?';
  }
  return platform::Utf16ToUtf8(name);
}

bool ParseKey(const char* text, KeyPath* key) {
  std::string error;
  if (ParseKeyPath(text, key, &error)) return true;
  std::fprintf(stderr, "kvreg: %s\n", error.c_str());
  return false;
}

bool ParseName(const char* text, std::u16string* name) {
  if (platform::Utf8ToUtf16(text, name)) return true;
  std::fprintf(stderr, "kvreg: value name is not valid UTF-8: %s\n", text);
  return false;
}

// Prints one key block (its path, then its values) and, with `recursive`, the blocks of every key
// below it; otherwise the full paths of its subkeys. False with the last error set.
bool ListKey(const KeyPath& path, const RegistryHandle& key, bool recursive) {
  std::printf("%s\n", KeyPathText(path).c_str());
  platform::RegistryValue value;
  uint32_t index = 0;
  for (; platform::EnumRegistryValue(key, index, &value); ++index) {
    const std::string name = value.name.empty() ? "(Default)" : Printable(value.name);
    std::printf("    %s    %s    %s\n", name.c_str(), TypeName(value.type).c_str(),
                FormatData(value.type, value.data).c_str());
  }
  if (platform::GetLastError() != platform::kErrorNoMoreItems) return false;
  std::vector<std::u16string> subkeys;
  std::u16string name;
  for (index = 0; platform::EnumRegistryKey(key, index, &name); ++index) subkeys.push_back(name);
  if (platform::GetLastError() != platform::kErrorNoMoreItems) return false;
  std::printf("\n");
  for (const std::u16string& subkey : subkeys) {
    KeyPath child = path;
    if (!child.path.empty()) child.path += u'\\';
    child.path += subkey;
    if (!recursive) {
      std::printf("%s\n", KeyPathText(child).c_str());
      continue;
    }
    RegistryHandle child_key;
    // A key deleted by another program since it was enumerated is simply gone.
    if (!platform::OpenRegistryKey(key, subkey, &child_key)) {
      if (platform::GetLastError() == platform::kErrorFileNotFound) continue;
      return false;
    }
    if (!ListKey(child, child_key, true)) return false;
  }
  return true;
}

int List(const std::vector<const char*>& args) {
  bool recursive = false;
  std::vector<const char*> rest;
  for (const char* arg : args) {
    if (std::string_view(arg) == "-r") {
      recursive = true;
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.size() > 1) return Usage("list takes at most one KEY");
  std::vector<KeyPath> keys;
  if (rest.empty()) {
    if (!recursive) {
      for (RegistryRoot root : {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser,
                                RegistryRoot::kLocalMachine, RegistryRoot::kUsers}) {
        std::printf("%s\n", RootName(root));
      }
      return 0;
    }
    for (RegistryRoot root : {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser,
                              RegistryRoot::kLocalMachine, RegistryRoot::kUsers}) {
      keys.push_back(KeyPath{root, u""});
    }
  } else {
    KeyPath key;
    if (!ParseKey(rest[0], &key)) return 1;
    keys.push_back(key);
  }
  for (const KeyPath& path : keys) {
    RegistryHandle key;
    if (!platform::OpenRegistryKey(path.root, path.path, &key) || !ListKey(path, key, recursive)) {
      return Failure(KeyPathText(path), platform::GetLastError());
    }
  }
  return 0;
}

int Get(const std::vector<const char*>& args) {
  if (args.size() != 2) return Usage("get takes KEY and NAME");
  KeyPath path;
  std::u16string name;
  if (!ParseKey(args[0], &path) || !ParseName(args[1], &name)) return 1;
  RegistryHandle key;
  if (!platform::OpenRegistryKey(path.root, path.path, &key)) {
    return Failure(KeyPathText(path), platform::GetLastError());
  }
  platform::RegistryValue value;
  if (!platform::ReadRegistryValue(key, name, &value)) {
    return Failure(KeyPathText(path) + " value \"" + args[1] + "\"", platform::GetLastError());
  }
  std::printf("%s\n", FormatData(value.type, value.data).c_str());
  return 0;
}

int Set(const std::vector<const char*>& args) {
  if (args.size() < 3) return Usage("set takes KEY, NAME, TYPE and the VALUE");
  KeyPath path;
  std::u16string name;
  if (!ParseKey(args[0], &path) || !ParseName(args[1], &name)) return 1;
  const std::vector<std::string> words(args.begin() + 3, args.end());
  uint32_t type = 0;
  std::vector<uint8_t> data;
  std::string error;
  if (!ParseValue(args[2], words, &type, &data, &error)) {
    std::fprintf(stderr, "kvreg: %s\n", error.c_str());
    return 1;
  }
  RegistryHandle key;
  if (!platform::CreateRegistryKey(path.root, path.path, &key)) {
    return Failure(KeyPathText(path), platform::GetLastError());
  }
  if (!platform::SetRegistryValue(key, name, type, data.data(),
                                  static_cast<uint32_t>(data.size()))) {
    return Failure(KeyPathText(path) + " value \"" + args[1] + "\"", platform::GetLastError());
  }
  return 0;
}

int Delete(const std::vector<const char*>& args) {
  if (args.empty() || args.size() > 2) return Usage("del takes KEY and perhaps NAME");
  KeyPath path;
  if (!ParseKey(args[0], &path)) return 1;
  if (args.size() == 1) {
    if (path.path.empty()) {
      std::fprintf(stderr, "kvreg: %s: a root key cannot be deleted\n", KeyPathText(path).c_str());
      return 1;
    }
    if (!platform::DeleteRegistryKey(path.root, path.path)) {
      return Failure(KeyPathText(path), platform::GetLastError());
    }
    return 0;
  }
  std::u16string name;
  if (!ParseName(args[1], &name)) return 1;
  RegistryHandle key;
  if (!platform::OpenRegistryKey(path.root, path.path, &key)) {
    return Failure(KeyPathText(path), platform::GetLastError());
  }
  if (!platform::DeleteRegistryValue(key, name)) {
    return Failure(KeyPathText(path) + " value \"" + args[1] + "\"", platform::GetLastError());
  }
  return 0;
}

int Path(const std::vector<const char*>& args) {
  if (!args.empty()) return Usage("path takes no arguments");
  std::string path;
  if (!platform::RegistryDatabasePath(&path)) {
    return Failure("the Windows folder", platform::GetLastError());
  }
  std::printf("%s\n", path.c_str());
  return 0;
}

}  // namespace
}  // namespace kolvar::kvreg

int main(int argc, char** argv) {
  using namespace kolvar::kvreg;
  if (argc < 2) return Usage("no command");
  const std::string_view command = argv[1];
  const std::vector<const char*> args(argv + 2, argv + argc);
  int result;
  if (command == "list") {
    result = List(args);
  } else if (command == "get") {
    result = Get(args);
  } else if (command == "set") {
    result = Set(args);
  } else if (command == "del") {
    result = Delete(args);
  } else if (command == "path") {
    result = Path(args);
  } else if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  } else {
    return Usage(("unknown command '" + std::string(command) + "'").c_str());
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "kvreg: cannot write the output\n");
    return 1;
  }
  return result;
}

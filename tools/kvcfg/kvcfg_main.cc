// kvcfg: reads and changes kvmavcfg.dat and kvmupdi.dat without a program of the suite, for
// people, scripts and tests. It opens the file through the same store (and so under the same named
// lock) as the programs, with the built-in key that the file's name implies or that --key names.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/config_store.h"
#include "common/configuration.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "tools/kvcfg/config_text.h"

namespace kolvar::kvcfg {
namespace {

constexpr char kUsage[] =
    "usage: kvcfg [--key config|updi] dump FILE\n"
    "       kvcfg [--key config|updi] set [--plain] FILE SECTION KEY TYPE VALUE\n"
    "       kvcfg [--key config|updi] del [--plain] FILE SECTION KEY\n"
    "FILE is a host path. The key is the update-information key for a file named kvmupdi.dat\n"
    "and the configuration key otherwise, unless --key names one. dump prints one line per key:\n"
    "section, key, type, size and value, tab-separated. set adds or replaces a value (type 1:\n"
    "text, stored with its NUL; type 2: a number; other types: hex bytes) and creates the file\n"
    "when it is missing; set and del save the file encrypted, or plain with --plain.\n";

struct Options {
  std::string command;
  std::string key;  // "config", "updi" or empty
  bool plain = false;
  std::vector<std::string> arguments;  // FILE and what follows
};

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "kvcfg: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 1;
}

int StoreFailure(const std::string& file, ConfigStore& store) {
  uint32_t system_error = 0;
  const Status status = store.GetStatus(&system_error);
  const std::string meaning(StatusText(status));
  if (system_error != 0) {
    const std::string cause(platform::ErrorMeaning(system_error));
    std::fprintf(stderr, "kvcfg: %s: status %u: %s (system error %u: %s)\n", file.c_str(), status,
                 meaning.c_str(), system_error, cause.c_str());
  } else {
    std::fprintf(stderr, "kvcfg: %s: status %u: %s\n", file.c_str(), status, meaning.c_str());
  }
  return 1;
}

bool ParseOptions(int argc, char** argv, Options* options, const char** problem) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--plain") {
      options->plain = true;
    } else if (arg == "--key" || arg.starts_with("--key=")) {
      std::string value;
      if (arg == "--key") {
        if (i + 1 >= argc) {
          *problem = "--key needs config or updi";
          return false;
        }
        value = argv[++i];
      } else {
        value = std::string(arg.substr(6));
      }
      if (value != "config" && value != "updi") {
        *problem = "--key needs config or updi";
        return false;
      }
      options->key = value;
    } else if (arg == "--help" || arg == "-h") {
      *problem = nullptr;
      return false;
    } else if (arg.starts_with("--")) {
      *problem = "unknown option";
      return false;
    } else if (options->command.empty()) {
      options->command = std::string(arg);
    } else {
      options->arguments.emplace_back(arg);
    }
  }
  if (options->command.empty()) {
    *problem = "no command";
    return false;
  }
  return true;
}

bool IsUpdateInformation(const Options& options, const std::string& host_file) {
  if (!options.key.empty()) return options.key == "updi";
  const size_t slash = host_file.find_last_of('/');
  std::string name = slash == std::string::npos ? host_file : host_file.substr(slash + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "kvmupdi.dat";
}

int Dump(ConfigStore& store, const std::string& file) {
  if (store.SectionCount() == 0) return 0;
  store.FirstSection();
  do {
    const std::string section = store.CurrentSectionName();
    store.SelectSection(section.c_str());
    if (!store.FirstKey()) continue;
    do {
      const std::string key = store.CurrentKeyName();
      uint32_t type = 0, size = 0;
      if (!store.GetValueInfo(key.c_str(), &type, &size)) return StoreFailure(file, store);
      std::string value(size, '\0');
      if (!store.GetValue(key.c_str(), &size, value.data())) return StoreFailure(file, store);
      std::printf("%s\t%s\t%u\t%u\t%s\n", section.c_str(), key.c_str(), type, size,
                  FormatValue(type, value).c_str());
    } while (store.NextKey());
  } while (store.NextSection());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Set(ConfigurationFile& file, const Options& options) {
  ConfigStore& store = file.store();
  const std::string& host = options.arguments[0];
  const std::string& section = options.arguments[1];
  const std::string& key = options.arguments[2];
  char* end = nullptr;
  const unsigned long type = std::strtoul(options.arguments[3].c_str(), &end, 10);
  if (options.arguments[3].empty() || *end != '\0' || type > 0xFFFFFFFFul) {
    return Usage("TYPE must be a number");
  }
  std::string bytes, error;
  if (!ParseValue(static_cast<uint32_t>(type), options.arguments[4], &bytes, &error)) {
    std::fprintf(stderr, "kvcfg: %s\n", error.c_str());
    return 1;
  }
  if (!store.HasSection(section.c_str()) && !store.AddSection(section.c_str())) {
    return StoreFailure(host, store);
  }
  if (!store.SelectSection(section.c_str())) return StoreFailure(host, store);
  const auto size = static_cast<uint32_t>(bytes.size());
  uint32_t old_type = 0;
  const bool exists = store.GetValueInfo(key.c_str(), &old_type, nullptr);
  const bool ok =
      exists ? store.SetValue(key.c_str(), static_cast<uint32_t>(type), size, bytes.data())
             : store.AddValue(key.c_str(), static_cast<uint32_t>(type), size, bytes.data());
  return ok ? 0 : StoreFailure(host, store);
}

int Run(int argc, char** argv) {
  Options options;
  const char* problem = nullptr;
  if (!ParseOptions(argc, argv, &options, &problem)) return Usage(problem);
  size_t wanted = 0;
  if (options.command == "dump") {
    wanted = 1;
  } else if (options.command == "set") {
    wanted = 5;
  } else if (options.command == "del") {
    wanted = 3;
  } else {
    return Usage("unknown command");
  }
  if (options.arguments.size() != wanted) return Usage("wrong number of arguments");
  if (options.plain && options.command == "dump") return Usage("--plain is for set and del");

  const std::string& host = options.arguments[0];
  std::u16string path;
  if (!platform::DevicePathFromHost(host, &path)) {
    std::fprintf(stderr, "kvcfg: %s: not a path below the device root\n", host.c_str());
    return 1;
  }
  const bool updi = IsUpdateInformation(options, host);
  ConfigurationFile file(
      updi ? ConfigStore::kUpdateInformationName : ConfigStore::kConfigurationName,
      updi ? KeyMaterialUse::kUpdateInformation : KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  file.set_path(path);

  // dump and del need the file; set starts empty when there is none. A file that exists but
  // cannot be read is never written over.
  if (options.command != "set" || platform::FileExists(path)) {
    if (!store.Load(path, false)) return StoreFailure(host, store);
  }
  if (options.command == "dump") return Dump(store, host);

  int result = 0;
  if (options.command == "set") {
    result = Set(file, options);
  } else if (!store.DeleteValue(options.arguments[2].c_str(), options.arguments[1].c_str())) {
    result = StoreFailure(host, store);
  }
  if (result != 0) return result;
  if (options.plain) store.AttachCipher(nullptr);
  return file.Save() ? 0 : StoreFailure(host, store);
}

}  // namespace
}  // namespace kolvar::kvcfg

int main(int argc, char** argv) { return kolvar::kvcfg::Run(argc, argv); }

// kvupdpack: the publisher's tool. "keygen" makes the Ed25519 key that signs packages (the public
// half goes into kvupdate.pub in the install folder of every device that should trust it);
// "build" makes a signed package folder for any static web server.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "common/file_replacement.h"
#include "platform/crypto.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tools/kvupdpack/package_builder.h"
#include "updater/package_installer.h"

namespace kolvar::kvupdpack {
namespace {

constexpr char kUsage[] =
    "usage: kvupdpack keygen KEYFILE\n"
    "       kvupdpack build --key KEYFILE --id ID --date DATE --out DIR [--rules LIB]\n"
    "                       [--set SECTION.Key=TEXT] [--set-number SECTION.Key=N]\n"
    "                       [--history LINE]... FILE=DEST...\n"
    "keygen writes a new Ed25519 private key to KEYFILE (PEM, mode 0600, never over an existing\n"
    "file) and its public key to KEYFILE.pub (install it as kvupdate.pub).\n"
    "build writes into DIR (made when missing) kvupdate.cab, kvmupdi.dat and their .sig\n"
    "signatures. Each FILE (a host path) is installed into DEST, a device folder beginning with\n"
    "#program#, #windows#, #temp# or #personal#. LIB is a rules library (such as\n"
    "kvmupdrules.so); --set and --set-number give the configuration values that it sets\n"
    "(RULES_SET_CONFIG).\n";

// Host paths may be given relative to the working folder.
std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "kvupdpack: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

int Keygen(int argc, char** argv) {
  if (argc != 3) return Usage("keygen takes one KEYFILE");
  const std::string path = Absolute(argv[2]);
  std::string public_pem;
  std::string error;
  if (!platform::WriteNewSigningKey(path, &public_pem, &error)) {
    std::fprintf(stderr, "kvupdpack: %s\n", error.c_str());
    return 1;
  }
  std::u16string device;
  if (!platform::DevicePathFromHost(path + ".pub", &device) ||
      !ReplaceFileContents(device, public_pem.data(), public_pem.size())) {
    std::fprintf(stderr, "kvupdpack: %s.pub cannot be written\n", path.c_str());
    return 1;
  }
  std::fputs(public_pem.c_str(), stdout);
  return 0;
}

bool ReadKey(const std::string& path, std::string* pem, std::string* error) {
  std::u16string device;
  std::vector<uint8_t> bytes;
  if (!platform::DevicePathFromHost(path, &device)) {
    *error = path + ": not a reachable path";
    return false;
  }
  if (!updater::ReadWholeFile(device, 1u << 20, &bytes, error)) return false;
  pem->assign(bytes.begin(), bytes.end());
  return true;
}

int Build(int argc, char** argv) {
  PackageSpec spec;
  std::string key_file;
  bool have_id = false;
  bool have_date = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--key") {
      if (!value(&key_file)) return Usage("--key needs KEYFILE");
    } else if (arg == "--id") {
      if (!value(&text)) return Usage("--id needs ID");
      spec.update_id = platform::Utf8ToUtf16Lossy(text);
      have_id = true;
    } else if (arg == "--date") {
      if (!value(&text)) return Usage("--date needs DATE");
      spec.release_date = platform::Utf8ToUtf16Lossy(text);
      have_date = true;
    } else if (arg == "--out") {
      if (!value(&spec.out_dir)) return Usage("--out needs DIR");
    } else if (arg == "--rules") {
      if (!value(&spec.rules_library)) return Usage("--rules needs LIB");
    } else if (arg == "--history") {
      if (!value(&text)) return Usage("--history needs LINE");
      spec.history.push_back(text);
    } else if (arg == "--set" || arg == "--set-number") {
      if (!value(&text)) return Usage(std::string(arg) + " needs SECTION.Key=VALUE");
      const size_t eq = text.find('=');
      if (eq == std::string::npos) return Usage(std::string(arg) + " needs SECTION.Key=VALUE");
      Setting setting{text.substr(0, eq), arg == "--set-number", text.substr(eq + 1), 0};
      if (setting.number) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(setting.text.c_str(), &end, 0);
        if (setting.text.empty() || *end != '\0' || number > 0xFFFFFFFFul) {
          return Usage("--set-number needs a 32-bit number");
        }
        setting.value = static_cast<uint32_t>(number);
      }
      spec.settings.push_back(setting);
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + std::string(arg));
    } else {
      const size_t eq = arg.rfind('=');
      if (eq == std::string_view::npos) return Usage("files are given as FILE=DEST");
      spec.files.push_back(
          {std::string(arg.substr(0, eq)), platform::Utf8ToUtf16Lossy(arg.substr(eq + 1))});
    }
  }
  if (key_file.empty() || !have_id || !have_date || spec.out_dir.empty()) {
    return Usage("build needs --key, --id, --date and --out");
  }
  if (spec.files.empty()) return Usage("build needs at least one FILE=DEST");
  if (spec.history.empty()) {
    spec.history.push_back(platform::Utf16ToUtf8(spec.release_date) + " " +
                           platform::Utf16ToUtf8(spec.update_id));
  }
  key_file = Absolute(key_file);
  spec.out_dir = Absolute(spec.out_dir);
  if (!spec.rules_library.empty()) spec.rules_library = Absolute(spec.rules_library);
  for (PackageFile& file : spec.files) file.host_path = Absolute(file.host_path);
  std::string error;
  std::vector<std::string> written;
  if (!ReadKey(key_file, &spec.private_key_pem, &error) || !BuildPackage(spec, &written, &error)) {
    std::fprintf(stderr, "kvupdpack: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& path : written) std::printf("%s\n", path.c_str());
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage("");
  const std::string_view command = argv[1];
  if (command == "keygen") return Keygen(argc, argv);
  if (command == "build") return Build(argc, argv);
  return Usage("unknown command " + std::string(command));
}

}  // namespace
}  // namespace kolvar::kvupdpack

int main(int argc, char** argv) { return kolvar::kvupdpack::Run(argc, argv); }

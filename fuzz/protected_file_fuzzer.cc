// Protected files (".avq") from outside. The input itself is decrypted as a quarantined copy: a
// refusal or failure leaves no decrypted file behind, a success leaves exactly one. A plain file
// made from the input (its bytes repeated to a length that the first two bytes choose, so that
// the 32768-byte chunk borders are crossed) is protected and decrypted again: the round trip
// gives the same bytes.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/file_cryptor.h"
#include "fuzz/fuzz_support.h"
#include "platform/file.h"
#include "platform/path.h"
#include "scan_engine/repository.h"

namespace {

using namespace kolvar;

constexpr char16_t kProtected[] = u"\\Program Files\\Kolvar\\Quarantine\\%_Fuzz%@%input.avq";
constexpr char16_t kDecrypted[] = u"\\Program Files\\Kolvar\\Quarantine\\%_Fuzz%@%input";
constexpr char16_t kPlain[] = u"\\Temp\\plain";
constexpr char16_t kPlainProtected[] = u"\\Temp\\plain.avq";

std::string ReadHost(std::u16string_view device_path) {
  std::ifstream in(platform::HostPath(device_path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Remove(std::u16string_view device_path) {
  platform::SetFileAttributes(device_path, 0);
  platform::DeleteFile(device_path);
}

QuarantineCipher* g_cipher;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_cipher = new QuarantineCipher();
  if (!g_cipher->ok()) fuzz::Fail("the quarantine cipher cannot be set up");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FileCryptor& cryptor = g_cipher->cryptor();

  Remove(kDecrypted);
  fuzz::WriteDeviceFile(kProtected, {data, size});
  const bool decrypted = cryptor.SetSource(kProtected) && cryptor.Unprotect();
  fuzz::Check(decrypted == platform::FileExists(kDecrypted),
              "the decrypted copy does not exist exactly when the decryption succeeded");
  fuzz::Check(platform::FileExists(kProtected), "decrypting touched the protected file");

  fuzz::Input input(data, size);
  const size_t length = static_cast<size_t>(input.Take<uint16_t>()) * 2;
  const std::span<const uint8_t> unit = input.Rest();
  std::vector<uint8_t> plain;
  if (!unit.empty()) {
    while (plain.size() < length) {
      plain.insert(
          plain.end(), unit.begin(),
          unit.begin() + static_cast<std::ptrdiff_t>(std::min(unit.size(), length - plain.size())));
    }
  }
  Remove(kPlainProtected);
  fuzz::WriteDeviceFile(kPlain, plain);
  fuzz::Check(cryptor.SetSource(kPlain) && cryptor.Protect(), "a plain file cannot be protected");
  Remove(kPlain);
  fuzz::Check(cryptor.SetSource(kPlainProtected) && cryptor.Unprotect(),
              "a file just protected cannot be decrypted");
  fuzz::Check(ReadHost(kPlain) == std::string(plain.begin(), plain.end()),
              "protecting and decrypting changed the bytes");
  return 0;
}

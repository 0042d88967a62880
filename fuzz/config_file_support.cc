// Configuration-store files for the fuzz targets; see config_file_support.h.
#include "fuzz/config_file_support.h"

#include <cstddef>
#include <cstring>

#include "common/cipher_context.h"
#include "common/config_store.h"
#include "fuzz/fuzz_support.h"

namespace kolvar::fuzz {

std::vector<uint8_t> EncryptedConfigFile(CipherContext& cipher, std::span<const uint8_t> plain) {
  if (plain.size() < sizeof(ConfigFileHeader)) return {};
  std::vector<uint8_t> file(plain.begin(), plain.end());
  const uint32_t one = 1;
  std::memcpy(file.data() + offsetof(ConfigFileHeader, encrypted), &one, sizeof(one));
  uint32_t length = static_cast<uint32_t>(plain.size() - sizeof(ConfigFileHeader));
  if (length == 0) return file;
  // Room for the padding block of the final call.
  file.resize(file.size() + 64);
  if (!cipher.Encrypt(file.data() + sizeof(ConfigFileHeader), &length,
                      static_cast<uint32_t>(file.size() - sizeof(ConfigFileHeader)), true)) {
    Fail("the cipher refused to encrypt a body");
  }
  file.resize(sizeof(ConfigFileHeader) + length);
  return file;
}

}  // namespace kolvar::fuzz

// What the fuzz targets of configuration-store files share: their input turned into the file a
// publisher's tool writes, body encrypted, so that the reader behind the decryption is reached.
// Kept apart from fuzz_support so that targets which never touch the common library (kvreg's
// value text) need not link it.
#ifndef KOLVAR_FUZZ_CONFIG_FILE_SUPPORT_H_
#define KOLVAR_FUZZ_CONFIG_FILE_SUPPORT_H_

#include <cstdint>
#include <span>
#include <vector>

namespace kolvar {
class CipherContext;
}  // namespace kolvar

namespace kolvar::fuzz {

// `plain` (a store file with a plain body) with its body encrypted by `cipher` and the encrypted
// flag set; empty when `plain` is shorter than the file header.
std::vector<uint8_t> EncryptedConfigFile(CipherContext& cipher, std::span<const uint8_t> plain);

}  // namespace kolvar::fuzz

#endif  // KOLVAR_FUZZ_CONFIG_FILE_SUPPORT_H_

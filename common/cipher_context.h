// A session key made from a few bytes of key material, for encrypting buffers in place: the MD5
// digest of the material is kept (protected files carry it so that the wrong material is caught
// before decrypting), and the key is derived from it for the chosen cipher the way the device's
// enhanced provider derives it. Block ciphers run CBC from a zero IV with PKCS #5 padding on the
// final block, and a chain runs on from one call to the next until a call marked final (or until
// it is abandoned).
#ifndef KOLVAR_COMMON_CIPHER_CONTEXT_H_
#define KOLVAR_COMMON_CIPHER_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/lockable_object.h"

namespace kolvar {

namespace platform {
class SessionKey;
}  // namespace platform

// Provider choices and the provider type that the programs pass.
inline constexpr int kBaseProvider = 1;
inline constexpr int kEnhancedProvider = 2;
inline constexpr uint32_t kProviderTypeRsaFull = 1;

// Cipher selectors (any selector outside these picks RC4).
inline constexpr uint32_t kSelectorRc2 = 1;
inline constexpr uint32_t kSelectorTripleDes168 = 3;
inline constexpr uint32_t kSelectorTripleDes112 = 4;  // the default
inline constexpr uint32_t kSelectorRc4 = 5;

// Algorithm identifiers, as the device numbers them.
inline constexpr uint32_t kAlgorithmMd5 = 0x8003;
inline constexpr uint32_t kAlgorithmRc2 = 0x6602;
inline constexpr uint32_t kAlgorithmTripleDes168 = 0x6603;
inline constexpr uint32_t kAlgorithmTripleDes112 = 0x6609;
inline constexpr uint32_t kAlgorithmRc4 = 0x6801;

// The key scheme: how a key is made from material. Protected files record it.
inline constexpr uint32_t kKeyScheme = 2;

class CipherContext : public LockableObject {
 public:
  // Status 68 for a provider choice other than 1 or 2 (the name stays empty and no provider is
  // acquired), 69 when the provider cannot be acquired.
  CipherContext(int provider_choice, uint32_t provider_type);
  ~CipherContext() override;

  // Picks the cipher; a different selector drops a derived key, which then needs DeriveKey again.
  bool SetCipher(uint32_t selector);
  // Copies the material. 1 for missing bytes or length 0, 47 without memory. Drops a derived key.
  bool SetKeyMaterial(const void* bytes, uint32_t length);
  // Hashes the material with MD5, derives the session key and keeps the digest. 70 without
  // material, 71 when hashing or derivation fails (the object then has no key and no digest).
  bool DeriveKey();

  // 0 until DeriveKey has succeeded: other objects read it to tell whether a key exists.
  uint32_t DigestLength();
  // Copies DigestLength() bytes. 72 when there is no digest, 1 for a missing buffer.
  bool GetDigest(void* buffer);
  // 0 when `length` equals the digest length and the bytes are equal; non-zero otherwise.
  int CompareDigest(const void* bytes, uint32_t length);

  // Output length of encrypting *length bytes. 1 for length 0 unless final (a final empty call
  // gives one block of padding); 2 when the provider refuses (no key, a non-final length that is
  // not whole blocks).
  bool EncryptedSize(uint32_t* length, bool final);
  // Encrypts in place; *length becomes the output length. 1 for a missing buffer, zero capacity,
  // or zero length on a non-final call; 2 when the provider call fails (no key, ragged non-final
  // length, output beyond capacity).
  bool Encrypt(void* buffer, uint32_t* length, uint32_t capacity, bool final);
  // Decrypts in place; *length becomes the plain length. A non-final call returns every block.
  // 1 for a missing buffer or zero length on a non-final call; 2 when the provider call fails
  // (no key, ragged length, bad padding).
  bool Decrypt(void* buffer, uint32_t* length, bool final);
  // Drops the running chain of a transform that will not reach its final call, so that the next
  // Encrypt or Decrypt starts from the zero IV. Cannot fail, and leaves the status of the last
  // operation as it was, so that a caller cleaning up after a failure can still read why.
  void AbandonChain();

  const std::u16string& provider_name() const { return provider_name_; }
  uint32_t provider_type() const { return provider_type_; }
  uint32_t key_scheme() const { return key_scheme_; }
  uint32_t selector();
  uint32_t hash_algorithm() const { return kAlgorithmMd5; }
  uint32_t cipher_algorithm();

 private:
  std::u16string provider_name_;
  uint32_t provider_type_;
  uint32_t key_scheme_ = kKeyScheme;
  uint32_t selector_ = kSelectorTripleDes112;
  uint32_t cipher_algorithm_ = kAlgorithmTripleDes112;
  std::vector<uint8_t> material_;
  std::vector<uint8_t> digest_;
  bool provider_acquired_ = false;
  std::unique_ptr<platform::SessionKey> key_;
};

}  // namespace kolvar

#endif  // KOLVAR_COMMON_CIPHER_CONTEXT_H_

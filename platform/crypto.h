// The crypto provider that the suite's cipher objects stand on: MD5, the key derivation of the
// device's enhanced provider (a session key taken from a hash value, widened with the 0x36/0x5C
// expansion when the cipher needs more key than the hash holds), and RC2, triple DES (two- and
// three-key) and RC4 with the provider's defaults: CBC with an all-zero IV, PKCS #5 padding of the
// final block, chaining that runs on from one call to the next until a call marked final (or until
// the chain is abandoned).
// Failures return false and set the device's last error.
#ifndef KOLVAR_PLATFORM_CRYPTO_H_
#define KOLVAR_PLATFORM_CRYPTO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace kolvar::platform {

// The provider's error values, as the device reports them (kErrorMoreData, a buffer too small, is
// in error.h).
inline constexpr uint32_t kNteBadLength = 0x80090004;       // NTE_BAD_LEN
inline constexpr uint32_t kNteBadData = 0x80090005;         // NTE_BAD_DATA (also bad padding)
inline constexpr uint32_t kNteBadAlgorithm = 0x80090008;    // NTE_BAD_ALGID
inline constexpr uint32_t kNteProviderFailed = 0x8009001D;  // NTE_PROVIDER_DLL_FAIL

inline constexpr size_t kMd5Length = 16;

enum class CipherAlgorithm {
  kRc2,           // 128-bit key, 128 effective bits, 8-byte blocks
  kTripleDes112,  // two keys (K3 = K1), 8-byte blocks
  kTripleDes168,  // three keys, 8-byte blocks
  kRc4,           // 128-bit key, a stream cipher
};

// Bytes of key that the enhanced provider derives for an algorithm (16, 16, 24, 16).
size_t KeyLength(CipherAlgorithm algorithm);
// Block length in bytes: 8 for the block ciphers, 1 for RC4.
size_t BlockLength(CipherAlgorithm algorithm);

// True when the crypto library and its providers (including the one that holds RC2 and RC4) can be
// loaded in this process; false with kNteProviderFailed otherwise. Cheap after the first call.
bool AcquireProvider();

// MD5 of `length` bytes into `digest` (kMd5Length bytes).
bool Md5(const void* data, size_t length, uint8_t* digest);

inline constexpr size_t kSha256Length = 32;

// SHA-256 over bytes given in pieces: the check that the suite keeps of a file's contents. Not
// one of the device provider's algorithms; nothing that the device reads depends on it.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Update(const void* data, size_t length);
  // The digest of everything given (kSha256Length bytes); the object then starts over.
  bool Finish(uint8_t* digest);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The provider's key bytes for `algorithm` from a hash value: its first bytes when the hash is long
// enough, else the first bytes of H(0x36-pad) || H(0x5C-pad), each pad being the hash XORed into 64
// bytes of 0x36 (0x5C). No salt, and DES parity bits are left as they are. `hash_length` must be
// the MD5 length, which is the only hash the suite uses.
bool DeriveKeyBytes(CipherAlgorithm algorithm, const uint8_t* hash, size_t hash_length,
                    std::vector<uint8_t>* key);

// A session key with its running chain state. Not thread-safe; its owner serialises the calls.
class SessionKey {
 public:
  SessionKey();
  ~SessionKey();
  SessionKey(const SessionKey&) = delete;
  SessionKey& operator=(const SessionKey&) = delete;

  // Derives the key for `algorithm` from a hash value (see DeriveKeyBytes).
  bool Derive(CipherAlgorithm algorithm, const uint8_t* hash, size_t hash_length);
  bool IsValid() const;
  void Destroy();
  CipherAlgorithm algorithm() const { return algorithm_; }
  const std::vector<uint8_t>& key_bytes() const { return key_; }

  // Output length of encrypting `length` bytes: the same length for a non-final call (which must
  // be a whole number of blocks), the length rounded up to the next whole block for a final one.
  bool EncryptedSize(uint32_t length, bool final, uint32_t* out_length) const;
  // Encrypts in place. A non-final call takes whole blocks; a final one pads and ends the chain.
  // When the output would exceed `capacity`, fails with kErrorMoreData and reports the needed
  // length through *length.
  bool Encrypt(uint8_t* buffer, uint32_t* length, uint32_t capacity, bool final);
  // Decrypts in place. Every call takes whole blocks and a non-final call returns all of them; a
  // final one checks and strips the padding (kNteBadData when it is wrong) and ends the chain.
  bool Decrypt(uint8_t* buffer, uint32_t* length, bool final);
  // Drops a chain that will not reach its final call, in either direction: the next call starts
  // from the zero IV (RC4: from the start of its key stream). Without a chain it does nothing.
  void AbandonChain();

 private:
  enum class Direction { kNone, kEncrypt, kDecrypt };
  bool Begin(Direction direction);
  void End();

  struct State;
  std::unique_ptr<State> state_;
  CipherAlgorithm algorithm_ = CipherAlgorithm::kTripleDes112;
  std::vector<uint8_t> key_;
  Direction direction_ = Direction::kNone;
};

// Detached Ed25519 signatures: how a publisher vouches for the files of an update package. A
// signature is the 64 raw bytes that Ed25519 gives over a file's exact bytes; keys travel as PEM
// (a public key as "PUBLIC KEY", a private one as PKCS #8 "PRIVATE KEY"). These calls report
// their failures as text in *error (for the user's message), not through the device's last error.
inline constexpr size_t kSignatureLength = 64;

// True when some public key in `pem_public_keys` (one or more PEM blocks, other text between them
// ignored) verifies `signature` over `data`. False with a reason when the signature is not 64
// bytes, no key can be read from the text, or no key verifies it.
bool VerifyDetachedSignature(std::span<const std::uint8_t> data,
                             std::span<const std::uint8_t> signature,
                             std::string_view pem_public_keys, std::string* error);

// Signs `data` with the Ed25519 private key in `pem_private_key`; *signature gets 64 bytes.
bool SignDetached(std::span<const std::uint8_t> data, std::string_view pem_private_key,
                  std::vector<std::uint8_t>* signature, std::string* error);

// A new Ed25519 key pair as PEM texts.
bool GenerateSigningKey(std::string* pem_private_key, std::string* pem_public_key,
                        std::string* error);

// The public key (PEM) that belongs to a PEM private key.
bool SigningPublicKey(std::string_view pem_private_key, std::string* pem_public_key,
                      std::string* error);

// Writes a new Ed25519 private key (PEM) to the host file `path`, created with mode 0600 and never
// over an existing file, and gives its public key. Nothing is left behind on failure.
bool WriteNewSigningKey(const std::string& path, std::string* pem_public_key, std::string* error);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_CRYPTO_H_

// The crypto provider on OpenSSL 3. Everything is fetched from a library context of our own that
// loads the "default" provider and the "legacy" one (RC2 and RC4 live there), so that the
// process-wide OpenSSL configuration can neither hide nor replace the algorithms. Padding is done
// here rather than by OpenSSL, because the device's provider returns every block of a non-final
// decryption while OpenSSL would hold the last one back.
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/posix_fd.h"

namespace kolvar::platform {
namespace {

constexpr size_t kPadLength = 64;  // the hash's input block, as the provider's expansion uses it
constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

// The loaded providers and the algorithms fetched once from them. Deliberately never freed: it
// lives for the whole process, and freeing it from a static destructor could race OpenSSL's own
// clean-up at exit.
struct Library {
  OSSL_LIB_CTX* context = nullptr;
  EVP_MD* md5 = nullptr;
  EVP_MD* sha256 = nullptr;
  std::array<EVP_CIPHER*, 4> ciphers{};
  bool ready = false;
};

const char* CipherName(CipherAlgorithm algorithm) {
  switch (algorithm) {
    case CipherAlgorithm::kRc2:
      return "RC2-CBC";
    case CipherAlgorithm::kTripleDes112:
      return "DES-EDE-CBC";  // K1, K2, K1
    case CipherAlgorithm::kTripleDes168:
      return "DES-EDE3-CBC";
    case CipherAlgorithm::kRc4:
      return "RC4";
  }
  return "";
}

Library* LoadProviders() {
  auto* lib = new Library;
  lib->context = OSSL_LIB_CTX_new();
  if (lib->context == nullptr) return lib;
  if (OSSL_PROVIDER_load(lib->context, "default") == nullptr) return lib;
  if (OSSL_PROVIDER_load(lib->context, "legacy") == nullptr) return lib;
  lib->md5 = EVP_MD_fetch(lib->context, "MD5", nullptr);
  lib->sha256 = EVP_MD_fetch(lib->context, "SHA256", nullptr);
  if (lib->md5 == nullptr || lib->sha256 == nullptr) return lib;
  for (CipherAlgorithm algorithm : {CipherAlgorithm::kRc2, CipherAlgorithm::kTripleDes112,
                                    CipherAlgorithm::kTripleDes168, CipherAlgorithm::kRc4}) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(lib->context, CipherName(algorithm), nullptr);
    if (cipher == nullptr) return lib;
    lib->ciphers[static_cast<size_t>(algorithm)] = cipher;
  }
  lib->ready = true;
  return lib;
}

const Library* GetLibrary() {
  static Library* const lib = LoadProviders();
  if (!lib->ready) {
    SetLastError(kNteProviderFailed);
    return nullptr;
  }
  return lib;
}

}  // namespace

size_t KeyLength(CipherAlgorithm algorithm) {
  return algorithm == CipherAlgorithm::kTripleDes168 ? 24 : 16;
}

size_t BlockLength(CipherAlgorithm algorithm) { return algorithm == CipherAlgorithm::kRc4 ? 1 : 8; }

bool AcquireProvider() { return GetLibrary() != nullptr; }

bool Md5(const void* data, size_t length, uint8_t* digest) {
  const Library* lib = GetLibrary();
  if (lib == nullptr) return false;
  unsigned int digest_length = 0;
  if (EVP_Digest(data, length, digest, &digest_length, lib->md5, nullptr) != 1 ||
      digest_length != kMd5Length) {
    return Fail(kNteProviderFailed);
  }
  return true;
}

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  bool started = false;
  bool failed = false;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

bool Sha256::Update(const void* data, size_t length) {
  if (!state_->started) {
    const Library* lib = GetLibrary();
    if (lib == nullptr) return false;
    if (state_->context == nullptr) state_->context = EVP_MD_CTX_new();
    state_->failed =
        state_->context == nullptr || EVP_DigestInit_ex(state_->context, lib->sha256, nullptr) != 1;
    state_->started = true;
  }
  if (!state_->failed && length > 0) {
    state_->failed = EVP_DigestUpdate(state_->context, data, length) != 1;
  }
  return !state_->failed || Fail(kNteProviderFailed);
}

bool Sha256::Finish(uint8_t* digest) {
  if (!Update(nullptr, 0)) {
    state_->started = false;
    return false;
  }
  unsigned int length = 0;
  const bool ok =
      EVP_DigestFinal_ex(state_->context, digest, &length) == 1 && length == kSha256Length;
  state_->started = false;
  return ok || Fail(kNteProviderFailed);
}

bool DeriveKeyBytes(CipherAlgorithm algorithm, const uint8_t* hash, size_t hash_length,
                    std::vector<uint8_t>* key) {
  if (hash == nullptr || hash_length != kMd5Length) return Fail(kNteBadLength);
  const size_t key_length = KeyLength(algorithm);
  if (hash_length >= key_length) {
    key->assign(hash, hash + key_length);
    return true;
  }
  std::array<uint8_t, kPadLength> inner, outer;
  inner.fill(kInnerPad);
  outer.fill(kOuterPad);
  for (size_t i = 0; i < hash_length; ++i) {
    inner[i] ^= hash[i];
    outer[i] ^= hash[i];
  }
  std::array<uint8_t, 2 * kMd5Length> expanded;
  if (!Md5(inner.data(), inner.size(), expanded.data()) ||
      !Md5(outer.data(), outer.size(), expanded.data() + kMd5Length)) {
    return false;
  }
  key->assign(expanded.begin(), expanded.begin() + key_length);
  return true;
}

struct SessionKey::State {
  EVP_CIPHER_CTX* context = nullptr;
  ~State() { EVP_CIPHER_CTX_free(context); }
};

SessionKey::SessionKey() = default;

SessionKey::~SessionKey() { Destroy(); }

bool SessionKey::Derive(CipherAlgorithm algorithm, const uint8_t* hash, size_t hash_length) {
  Destroy();
  if (GetLibrary() == nullptr) return false;
  std::vector<uint8_t> key;
  if (!DeriveKeyBytes(algorithm, hash, hash_length, &key)) return false;
  auto state = std::make_unique<State>();
  state->context = EVP_CIPHER_CTX_new();
  if (state->context == nullptr) return Fail(kErrorNotEnoughMemory);
  algorithm_ = algorithm;
  key_ = std::move(key);
  state_ = std::move(state);
  direction_ = Direction::kNone;
  return true;
}

bool SessionKey::IsValid() const { return state_ != nullptr; }

void SessionKey::Destroy() {
  if (!key_.empty()) OPENSSL_cleanse(key_.data(), key_.size());
  key_.clear();
  state_.reset();
  direction_ = Direction::kNone;
}

// Starts a chain from the zero IV unless one in the same direction is running. A call in the other
// direction abandons the running chain: one key holds one chain, as on the device.
bool SessionKey::Begin(Direction direction) {
  if (direction_ == direction) return true;
  const Library* lib = GetLibrary();
  if (lib == nullptr) return false;
  static constexpr uint8_t kZeroIv[8] = {};
  EVP_CIPHER* cipher = lib->ciphers[static_cast<size_t>(algorithm_)];
  const uint8_t* iv = algorithm_ == CipherAlgorithm::kRc4 ? nullptr : kZeroIv;
  if (EVP_CipherInit_ex2(state_->context, cipher, key_.data(), iv,
                         direction == Direction::kEncrypt ? 1 : 0, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(state_->context, 0) != 1) {
    direction_ = Direction::kNone;
    return Fail(kNteProviderFailed);
  }
  direction_ = direction;
  return true;
}

void SessionKey::End() { direction_ = Direction::kNone; }

void SessionKey::AbandonChain() { End(); }

bool SessionKey::EncryptedSize(uint32_t length, bool final, uint32_t* out_length) const {
  if (!IsValid()) return Fail(kErrorInvalidHandle);
  const uint32_t block = static_cast<uint32_t>(BlockLength(algorithm_));
  if (block == 1) {
    *out_length = length;
    return true;
  }
  if (!final) {
    if (length % block != 0) return Fail(kNteBadData);
    *out_length = length;
    return true;
  }
  const uint64_t padded = (static_cast<uint64_t>(length) / block + 1) * block;
  if (padded > UINT32_MAX) return Fail(kNteBadLength);
  *out_length = static_cast<uint32_t>(padded);
  return true;
}

bool SessionKey::Encrypt(uint8_t* buffer, uint32_t* length, uint32_t capacity, bool final) {
  if (!IsValid()) return Fail(kErrorInvalidHandle);
  uint32_t out_length = 0;
  if (!EncryptedSize(*length, final, &out_length)) return false;
  if (out_length > capacity) {
    *length = out_length;
    return Fail(kErrorMoreData);
  }
  if (buffer == nullptr && out_length != 0) return Fail(kErrorInvalidParameter);
  if (!Begin(Direction::kEncrypt)) return false;
  const uint32_t pad = out_length - *length;
  if (pad != 0) std::memset(buffer + *length, static_cast<int>(pad), pad);
  int written = 0;
  if (out_length != 0 && (EVP_CipherUpdate(state_->context, buffer, &written, buffer,
                                           static_cast<int>(out_length)) != 1 ||
                          static_cast<uint32_t>(written) != out_length)) {
    End();
    return Fail(kNteProviderFailed);
  }
  if (final) End();
  *length = out_length;
  return true;
}

bool SessionKey::Decrypt(uint8_t* buffer, uint32_t* length, bool final) {
  if (!IsValid()) return Fail(kErrorInvalidHandle);
  const uint32_t block = static_cast<uint32_t>(BlockLength(algorithm_));
  const uint32_t in_length = *length;
  // A block cipher's final block carries at least one byte of padding, so an empty final call
  // is as damaged as a ragged one.
  if (in_length % block != 0 || (block > 1 && final && in_length == 0)) {
    if (final) End();
    return Fail(kNteBadData);
  }
  if (buffer == nullptr && in_length != 0) return Fail(kErrorInvalidParameter);
  if (!Begin(Direction::kDecrypt)) return false;
  int written = 0;
  if (in_length != 0 && (EVP_CipherUpdate(state_->context, buffer, &written, buffer,
                                          static_cast<int>(in_length)) != 1 ||
                         static_cast<uint32_t>(written) != in_length)) {
    End();
    return Fail(kNteProviderFailed);
  }
  if (!final) {
    *length = in_length;
    return true;
  }
  End();
  if (block == 1) {
    *length = in_length;
    return true;
  }
  const uint8_t pad = buffer[in_length - 1];
  bool padding_ok = pad >= 1 && pad <= block;
  for (uint32_t i = 0; padding_ok && i < pad; ++i) {
    padding_ok = buffer[in_length - 1 - i] == pad;
  }
  if (!padding_ok) return Fail(kNteBadData);
  *length = in_length - pad;
  return true;
}

// Detached signatures. -------------------------------------------------------------------------

namespace {

constexpr std::string_view kPemBegin = "-----BEGIN ";

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct KeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;

void SetError(std::string* error, std::string text) {
  ERR_clear_error();  // the queue would otherwise grow with every refused key
  if (error != nullptr) *error = std::move(text);
}

// The library context, or none when the providers failed to load (the process-wide one is then no
// better, so the callers give up).
OSSL_LIB_CTX* SigningContext(std::string* error) {
  const Library* lib = GetLibrary();
  if (lib == nullptr) SetError(error, "the crypto library cannot be loaded");
  return lib == nullptr ? nullptr : lib->context;
}

Bio MemoryBio(std::string_view text) {
  return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

bool IsEd25519(const EVP_PKEY* key) { return EVP_PKEY_is_a(key, "ED25519") == 1; }

bool PemOf(EVP_PKEY* key, bool private_key, std::string* pem) {
  Bio out(BIO_new(BIO_s_mem()));
  if (out == nullptr) return false;
  int written =
      private_key ? PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                  : PEM_write_bio_PUBKEY(out.get(), key);
  if (written != 1) return false;
  char* bytes = nullptr;
  long length = BIO_get_mem_data(out.get(), &bytes);
  pem->assign(bytes, static_cast<size_t>(length));
  return true;
}

Key ReadPrivateKey(OSSL_LIB_CTX* context, std::string_view pem, std::string* error) {
  Bio in = MemoryBio(pem);
  Key key(in == nullptr
              ? nullptr
              : PEM_read_bio_PrivateKey_ex(in.get(), nullptr, nullptr, nullptr, context, nullptr));
  if (key == nullptr) {
    SetError(error, "no private key can be read from the key text");
  } else if (!IsEd25519(key.get())) {
    SetError(error, "the private key is not an Ed25519 key");
    key.reset();
  }
  return key;
}

bool VerifyWith(OSSL_LIB_CTX* context, EVP_PKEY* key, std::span<const std::uint8_t> data,
                std::span<const std::uint8_t> signature) {
  MdContext md(EVP_MD_CTX_new());
  if (md == nullptr) return false;
  // Ed25519 hashes internally: no digest is named.
  if (EVP_DigestVerifyInit_ex(md.get(), nullptr, nullptr, context, nullptr, key, nullptr) != 1) {
    return false;
  }
  return EVP_DigestVerify(md.get(), signature.data(), signature.size(), data.data(), data.size()) ==
         1;
}

}  // namespace

bool VerifyDetachedSignature(std::span<const std::uint8_t> data,
                             std::span<const std::uint8_t> signature,
                             std::string_view pem_public_keys, std::string* error) {
  if (signature.size() != kSignatureLength) {
    SetError(error, "the signature is " + std::to_string(signature.size()) + " bytes long, not " +
                        std::to_string(kSignatureLength));
    return false;
  }
  OSSL_LIB_CTX* context = SigningContext(error);
  if (context == nullptr) return false;
  // Each PEM block is read on its own, so that one damaged or foreign block among the keys does
  // not hide the ones after it.
  size_t keys = 0;
  for (size_t at = pem_public_keys.find(kPemBegin); at != std::string_view::npos;
       at = pem_public_keys.find(kPemBegin, at + 1)) {
    Bio in = MemoryBio(pem_public_keys.substr(at));
    if (in == nullptr) break;
    Key key(PEM_read_bio_PUBKEY_ex(in.get(), nullptr, nullptr, nullptr, context, nullptr));
    ERR_clear_error();
    if (key == nullptr || !IsEd25519(key.get())) continue;
    ++keys;
    if (VerifyWith(context, key.get(), data, signature)) {
      ERR_clear_error();
      return true;
    }
  }
  SetError(error, keys == 0 ? "no Ed25519 public key can be read from the publisher keys"
                            : "the signature does not match any of the publisher keys");
  return false;
}

bool SignDetached(std::span<const std::uint8_t> data, std::string_view pem_private_key,
                  std::vector<std::uint8_t>* signature, std::string* error) {
  OSSL_LIB_CTX* context = SigningContext(error);
  if (context == nullptr) return false;
  Key key = ReadPrivateKey(context, pem_private_key, error);
  if (key == nullptr) return false;
  MdContext md(EVP_MD_CTX_new());
  size_t length = kSignatureLength;
  std::vector<std::uint8_t> out(kSignatureLength);
  if (md == nullptr ||
      EVP_DigestSignInit_ex(md.get(), nullptr, nullptr, context, nullptr, key.get(), nullptr) !=
          1 ||
      EVP_DigestSign(md.get(), out.data(), &length, data.data(), data.size()) != 1 ||
      length != kSignatureLength) {
    SetError(error, "signing failed");
    return false;
  }
  *signature = std::move(out);
  return true;
}

bool GenerateSigningKey(std::string* pem_private_key, std::string* pem_public_key,
                        std::string* error) {
  OSSL_LIB_CTX* context = SigningContext(error);
  if (context == nullptr) return false;
  KeyContext generator(EVP_PKEY_CTX_new_from_name(context, "ED25519", nullptr));
  EVP_PKEY* raw = nullptr;
  if (generator == nullptr || EVP_PKEY_keygen_init(generator.get()) != 1 ||
      EVP_PKEY_generate(generator.get(), &raw) != 1) {
    SetError(error, "no Ed25519 key could be generated");
    return false;
  }
  Key key(raw);
  if (!PemOf(key.get(), true, pem_private_key) || !PemOf(key.get(), false, pem_public_key)) {
    SetError(error, "the new key could not be written as PEM");
    return false;
  }
  return true;
}

bool SigningPublicKey(std::string_view pem_private_key, std::string* pem_public_key,
                      std::string* error) {
  OSSL_LIB_CTX* context = SigningContext(error);
  if (context == nullptr) return false;
  Key key = ReadPrivateKey(context, pem_private_key, error);
  if (key == nullptr) return false;
  if (!PemOf(key.get(), false, pem_public_key)) {
    SetError(error, "the public key could not be written as PEM");
    return false;
  }
  return true;
}

bool WriteNewSigningKey(const std::string& path, std::string* pem_public_key, std::string* error) {
  std::string pem_private;
  std::string pem_public;
  if (!GenerateSigningKey(&pem_private, &pem_public, error)) return false;
  // Created 0600 from the start (never widened and then narrowed), and never over an existing key:
  // losing a publisher key by a typo would orphan every device that trusts it.
  internal::UniqueFd fd(internal::RetryOnEintr([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  }));
  if (!fd.valid()) {
    SetError(error, path + ": " + std::strerror(errno));
    return false;
  }
  size_t done = 0;
  bool written = ::fchmod(fd.get(), 0600) == 0;  // against a umask that took bits away
  while (written && done < pem_private.size()) {
    ssize_t n = internal::RetryOnEintr(
        [&] { return ::write(fd.get(), pem_private.data() + done, pem_private.size() - done); });
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!written || ::fsync(fd.get()) != 0) {
    int saved = errno;
    fd.reset();
    ::unlink(path.c_str());
    SetError(error, path + ": " + std::strerror(saved));
    return false;
  }
  *pem_public_key = std::move(pem_public);
  return true;
}

}  // namespace kolvar::platform

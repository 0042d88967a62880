// The crypto provider on OpenSSL 3. Everything is fetched from a library context of our own that
// loads the "default" provider and the "legacy" one (RC2 and RC4 live there), so that the
// process-wide OpenSSL configuration can neither hide nor replace the algorithms. Padding is done
// here rather than by OpenSSL, because the device's provider returns every block of a non-final
// decryption while OpenSSL would hold the last one back.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <array>
#include <cstring>

#include "platform/crypto.h"
#include "platform/error.h"

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
    state_->failed = state_->context == nullptr ||
                     EVP_DigestInit_ex(state_->context, lib->sha256, nullptr) != 1;
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
  const bool ok = EVP_DigestFinal_ex(state_->context, digest, &length) == 1 &&
                  length == kSha256Length;
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

}  // namespace kolvar::platform

// CipherContext over the platform's crypto provider: the object keeps the material, its digest and
// the session key, and maps the provider's failures to the library's status codes.
#include "common/cipher_context.h"

#include <cstring>
#include <new>

#include "platform/crypto.h"
#include "platform/error.h"

namespace kolvar {
namespace {

// The device's provider names, kept for what the object reports about itself.
constexpr char16_t kBaseProviderName[] = u"Microsoft Base Cryptographic Provider v1.0";
constexpr char16_t kEnhancedProviderName[] = u"Microsoft Enhanced Cryptographic Provider v1.0";

uint32_t AlgorithmOfSelector(uint32_t selector) {
  switch (selector) {
    case kSelectorRc2:
      return kAlgorithmRc2;
    case kSelectorTripleDes168:
      return kAlgorithmTripleDes168;
    case kSelectorTripleDes112:
      return kAlgorithmTripleDes112;
    default:
      return kAlgorithmRc4;
  }
}

platform::CipherAlgorithm PlatformAlgorithm(uint32_t algorithm) {
  switch (algorithm) {
    case kAlgorithmRc2:
      return platform::CipherAlgorithm::kRc2;
    case kAlgorithmTripleDes168:
      return platform::CipherAlgorithm::kTripleDes168;
    case kAlgorithmTripleDes112:
      return platform::CipherAlgorithm::kTripleDes112;
    default:
      return platform::CipherAlgorithm::kRc4;
  }
}

// A call that needs the session key before one was derived.
Status NoKey() {
  platform::SetLastError(platform::kErrorInvalidHandle);
  return kStatusCipherCallFailed;
}

}  // namespace

CipherContext::CipherContext(int provider_choice, uint32_t provider_type)
    : LockableObject(true, kLockCriticalSection), provider_type_(provider_type) {
  RunLocked([&]() -> Status {
    if (provider_choice == kBaseProvider) {
      provider_name_ = kBaseProviderName;
    } else if (provider_choice == kEnhancedProvider) {
      provider_name_ = kEnhancedProviderName;
    } else {
      return kStatusBadProviderChoice;
    }
    if (provider_type != kProviderTypeRsaFull || !platform::AcquireProvider()) {
      return kStatusProviderAcquireFailed;
    }
    provider_acquired_ = true;
    return kStatusOk;
  });
}

CipherContext::~CipherContext() {
  if (!material_.empty()) std::memset(material_.data(), 0, material_.size());
}

bool CipherContext::SetCipher(uint32_t selector) {
  return RunLocked([&]() -> Status {
    const uint32_t algorithm = AlgorithmOfSelector(selector);
    if (algorithm != cipher_algorithm_) {
      // A key derived for the old cipher must not be used for the new one.
      key_.reset();
      digest_.clear();
    }
    selector_ = selector;
    cipher_algorithm_ = algorithm;
    return kStatusOk;
  });
}

bool CipherContext::SetKeyMaterial(const void* bytes, uint32_t length) {
  return RunLocked([&]() -> Status {
    if (bytes == nullptr || length == 0) return kStatusBadArgument;
    std::vector<uint8_t> copy;
    try {
      copy.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
    } catch (const std::bad_alloc&) {
      return kStatusOutOfMemory;
    }
    if (!material_.empty()) std::memset(material_.data(), 0, material_.size());
    material_ = std::move(copy);
    key_.reset();
    digest_.clear();
    return kStatusOk;
  });
}

bool CipherContext::DeriveKey() {
  return RunLocked([&]() -> Status {
    if (material_.empty()) return kStatusNoKeyMaterial;
    key_.reset();
    digest_.clear();
    if (!provider_acquired_) return kStatusKeyDerivationFailed;
    uint8_t digest[platform::kMd5Length];
    if (!platform::Md5(material_.data(), material_.size(), digest)) {
      return kStatusKeyDerivationFailed;
    }
    auto key = std::make_unique<platform::SessionKey>();
    if (!key->Derive(PlatformAlgorithm(cipher_algorithm_), digest, sizeof digest)) {
      return kStatusKeyDerivationFailed;
    }
    key_ = std::move(key);
    digest_.assign(digest, digest + sizeof digest);
    return kStatusOk;
  });
}

uint32_t CipherContext::DigestLength() {
  uint32_t length = 0;
  RunLocked([&]() -> Status {
    length = static_cast<uint32_t>(digest_.size());
    return kStatusOk;
  });
  return length;
}

bool CipherContext::GetDigest(void* buffer) {
  return RunLocked([&]() -> Status {
    if (digest_.empty()) return kStatusNoDigest;
    if (buffer == nullptr) return kStatusBadArgument;
    std::memcpy(buffer, digest_.data(), digest_.size());
    return kStatusOk;
  });
}

int CipherContext::CompareDigest(const void* bytes, uint32_t length) {
  int result = 1;
  RunLocked([&]() -> Status {
    if (digest_.empty()) return kStatusNoDigest;
    if (bytes != nullptr && length == digest_.size()) {
      result = std::memcmp(bytes, digest_.data(), length) == 0 ? 0 : 1;
    }
    return kStatusOk;
  });
  return result;
}

bool CipherContext::EncryptedSize(uint32_t* length, bool final) {
  return RunLocked([&]() -> Status {
    if (length == nullptr || (*length == 0 && !final)) return kStatusBadArgument;
    if (key_ == nullptr) return NoKey();
    uint32_t out = 0;
    if (!key_->EncryptedSize(*length, final, &out)) return kStatusCipherCallFailed;
    *length = out;
    return kStatusOk;
  });
}

bool CipherContext::Encrypt(void* buffer, uint32_t* length, uint32_t capacity, bool final) {
  return RunLocked([&]() -> Status {
    if (buffer == nullptr || length == nullptr || capacity == 0 || (*length == 0 && !final)) {
      return kStatusBadArgument;
    }
    if (*length > capacity) return kStatusBadArgument;
    if (key_ == nullptr) return NoKey();
    if (!key_->Encrypt(static_cast<uint8_t*>(buffer), length, capacity, final)) {
      return kStatusCipherCallFailed;
    }
    return kStatusOk;
  });
}

bool CipherContext::Decrypt(void* buffer, uint32_t* length, bool final) {
  return RunLocked([&]() -> Status {
    if (buffer == nullptr || length == nullptr || (*length == 0 && !final)) {
      return kStatusBadArgument;
    }
    if (key_ == nullptr) return NoKey();
    if (!key_->Decrypt(static_cast<uint8_t*>(buffer), length, final)) {
      return kStatusCipherCallFailed;
    }
    return kStatusOk;
  });
}

void CipherContext::AbandonChain() {
  WithLock([&] {
    if (key_ != nullptr) key_->AbandonChain();
  });
}

uint32_t CipherContext::selector() {
  return WithLock([&] { return selector_; });
}

uint32_t CipherContext::cipher_algorithm() {
  return WithLock([&] { return cipher_algorithm_; });
}

}  // namespace kolvar

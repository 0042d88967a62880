// Detached Ed25519 signatures: the published RFC 8032 vector through our PEM handling, the ways a
// signature is refused, several publisher keys in one text, and the private key file's creation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/crypto.h"

namespace kolvar::platform {
namespace {

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = bytes[i] << 16;
    if (i + 1 < bytes.size()) group |= bytes[i + 1] << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// PEM built by hand from the raw key bytes (the fixed DER prefixes of an Ed25519 SubjectPublicKey
// and PKCS #8 key), so that the vector does not pass through the code under test to get there.
std::string Pem(std::string_view label, std::string_view der_prefix, std::string_view key_hex) {
  std::vector<uint8_t> der = FromHex(der_prefix);
  std::vector<uint8_t> key = FromHex(key_hex);
  der.insert(der.end(), key.begin(), key.end());
  return "-----BEGIN " + std::string(label) + "-----\n" + Base64(der) + "\n-----END " +
         std::string(label) + "-----\n";
}

// RFC 8032, section 7.1, TEST 1 (the empty message) and TEST 2 (one byte, 0x72).
constexpr std::string_view kSecret1 =
    "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
constexpr std::string_view kPublic1 =
    "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr std::string_view kSignature1 =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b"
    "46bd25bf5f0595bbe24655141438e7a100b";
constexpr std::string_view kPublic2 =
    "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
constexpr std::string_view kSignature2 =
    "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d"
    "8c387b2eaeb4302aeeb00d291612bb0c00";

std::string PublicPem(std::string_view hex) {
  return Pem("PUBLIC KEY", "302a300506032b6570032100", hex);
}
std::string PrivatePem(std::string_view hex) {
  return Pem("PRIVATE KEY", "302e020100300506032b657004220420", hex);
}

TEST(DetachedSignatureTest, SignsAndVerifiesThePublishedVector) {
  std::vector<uint8_t> signature;
  std::string error;
  ASSERT_TRUE(SignDetached({}, PrivatePem(kSecret1), &signature, &error)) << error;
  EXPECT_EQ(signature, FromHex(kSignature1));
  EXPECT_TRUE(VerifyDetachedSignature({}, FromHex(kSignature1), PublicPem(kPublic1), &error))
      << error;
  const std::vector<uint8_t> message{0x72};
  EXPECT_TRUE(VerifyDetachedSignature(message, FromHex(kSignature2), PublicPem(kPublic2), &error))
      << error;

  std::string derived;
  ASSERT_TRUE(SigningPublicKey(PrivatePem(kSecret1), &derived, &error)) << error;
  EXPECT_EQ(derived, PublicPem(kPublic1));
}

TEST(DetachedSignatureTest, RefusesEverySignatureThatDoesNotBelong) {
  const std::vector<uint8_t> message{0x72};
  const std::vector<uint8_t> good = FromHex(kSignature2);
  std::vector<uint8_t> flipped_signature = good;
  flipped_signature[10] ^= 0x01;
  std::vector<uint8_t> flipped_message = message;
  flipped_message[0] ^= 0x80;
  std::vector<uint8_t> short_signature(good.begin(), good.end() - 1);
  std::vector<uint8_t> long_signature = good;
  long_signature.push_back(0);
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> signature;
    std::string keys;
    std::string reason;
  } cases[] = {
      {"flipped signature bit", message, flipped_signature, PublicPem(kPublic2), "does not match"},
      {"changed data", flipped_message, good, PublicPem(kPublic2), "does not match"},
      {"unknown key", message, good, PublicPem(kPublic1), "does not match"},
      {"63-byte signature", message, short_signature, PublicPem(kPublic2), "63 bytes"},
      {"65-byte signature", message, long_signature, PublicPem(kPublic2), "65 bytes"},
      {"no key text", message, good, "", "no Ed25519 public key"},
      {"damaged key", message, good, "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n",
       "no Ed25519 public key"},
      {"private key where a public one belongs", message, good, PrivatePem(kSecret1),
       "no Ed25519 public key"},
      {"zero signature", message, std::vector<uint8_t>(64), PublicPem(kPublic2), "does not match"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(VerifyDetachedSignature(c.data, c.signature, c.keys, &error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
}

TEST(DetachedSignatureTest, AnyKeyOfSeveralVerifiesAndDamagedBlocksAreSkipped) {
  const std::vector<uint8_t> message{0x72};
  const std::string keys = "publisher keys, newest last\n" + PublicPem(kPublic1) +
                           "-----BEGIN PUBLIC KEY-----\n!!!!\n-----END PUBLIC KEY-----\n" +
                           PrivatePem(kSecret1) + PublicPem(kPublic2);
  std::string error;
  EXPECT_TRUE(VerifyDetachedSignature(message, FromHex(kSignature2), keys, &error)) << error;
  EXPECT_TRUE(VerifyDetachedSignature({}, FromHex(kSignature1), keys, &error)) << error;
}

TEST(DetachedSignatureTest, NewKeyFileIsPrivateSignsAndIsNeverOverwritten) {
  std::string folder = ::testing::TempDir() + "kvsigkeyXXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string path = folder + "/publisher.key";
  std::string public_pem;
  std::string error;
  ASSERT_TRUE(WriteNewSigningKey(path, &public_pem, &error)) << error;

  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string private_pem = text.str();

  const std::vector<uint8_t> data{'k', 'v', 'd', 'b'};
  std::vector<uint8_t> signature;
  ASSERT_TRUE(SignDetached(data, private_pem, &signature, &error)) << error;
  EXPECT_EQ(signature.size(), kSignatureLength);
  EXPECT_TRUE(VerifyDetachedSignature(data, signature, public_pem, &error)) << error;

  std::string again;
  EXPECT_FALSE(WriteNewSigningKey(path, &again, &error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  std::stringstream after;
  after << std::ifstream(path).rdbuf();
  EXPECT_EQ(after.str(), private_pem);

  // Two new keys are different keys.
  std::string private_b;
  std::string public_b;
  ASSERT_TRUE(GenerateSigningKey(&private_b, &public_b, &error)) << error;
  EXPECT_NE(public_b, public_pem);
  EXPECT_FALSE(VerifyDetachedSignature(data, signature, public_b, &error));

  unlink(path.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace kolvar::platform

// A publisher's server folder for tests; see update_publisher.h.
#include "tests/testing/update_publisher.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/crypto.h"
#include "platform/path.h"

namespace kolvar::testing {
namespace {

namespace keys = config_keys;

}  // namespace

UpdatePublisher::UpdatePublisher(const TestDevice& device, std::u16string folder)
    : device_(device), folder_(std::move(folder)) {
  device_.MakeFolder(folder_);
  std::string error;
  std::string stranger_public;
  EXPECT_TRUE(platform::GenerateSigningKey(&private_key_, &public_key_, &error)) << error;
  EXPECT_TRUE(platform::GenerateSigningKey(&stranger_key_, &stranger_public, &error)) << error;
}

std::string UpdatePublisher::CabinetBytes() {
  std::string bytes = "MSCF";
  for (int i = 0; bytes.size() < 20000; ++i) bytes.push_back(static_cast<char>(i * 13 + i / 97));
  return bytes;
}

std::string UpdatePublisher::Sign(std::string_view bytes, const std::string& private_key) {
  std::vector<uint8_t> signature;
  std::string error;
  EXPECT_TRUE(platform::SignDetached(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
      private_key, &signature, &error))
      << error;
  return std::string(signature.begin(), signature.end());
}

void UpdatePublisher::Serve(std::u16string_view name, std::string_view bytes) const {
  device_.WriteFile(platform::JoinPath(folder_, name), bytes);
}

void UpdatePublisher::Publish(const UpdateOffer& offer) {
  const std::u16string information_path =
      platform::JoinPath(folder_, keys::kUpdateInformationFileName);
  {
    ConfigurationFile information(ConfigStore::kUpdateInformationName,
                                  KeyMaterialUse::kUpdateInformation);
    ConfigStore& store = information.store();
    ASSERT_TRUE(store.AddSection(keys::kUpdateInformation));
    const auto add = [&store](const char* key, const std::u16string& text) {
      ASSERT_TRUE(store.AddValue(key, kConfigTypeText, static_cast<uint32_t>(text.size() * 2),
                                 text.data()));
    };
    add(keys::kUpdateId, offer.id);
    add(keys::kReleaseDate, offer.date);
    add(keys::kSignedPocketPcCabinet, offer.cabinet);
    add(keys::kSignedSmartphoneCabinet, u"smartphone.cab");
    add(keys::kPocketPcCabinet, u"old.cab");
    ASSERT_TRUE(store.Save(information_path));
  }
  information_ = device_.ReadFile(information_path);
  Serve(std::u16string(keys::kUpdateInformationFileName) + keys::kSignatureSuffix,
        Sign(information_, private_key_));
  Serve(u"kvupd0007.cab", CabinetBytes());
  Serve(u"kvupd0007.cab.sig", Sign(CabinetBytes(), private_key_));
}

}  // namespace kolvar::testing

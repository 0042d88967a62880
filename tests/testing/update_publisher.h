// A publisher's update server folder for tests: an Ed25519 key pair (and a stranger's), the
// encrypted update information file offering one update, and a cabinet, each with its detached
// signature NAME.sig, written into a device folder that a TestHttpServer serves.
#ifndef KOLVAR_TESTS_TESTING_UPDATE_PUBLISHER_H_
#define KOLVAR_TESTS_TESTING_UPDATE_PUBLISHER_H_

#include <string>
#include <string_view>

#include "tests/testing/test_device.h"

namespace kolvar::testing {

// What the information file offers.
struct UpdateOffer {
  std::u16string id = u"KVUPD-V30-0007";
  std::u16string date = u"2026-12-01";
  std::u16string cabinet = u"kvupd0007.cab";  // Signed_PPC_CAB
};

class UpdatePublisher {
 public:
  // Keys are made at once; nothing is written until Publish.
  UpdatePublisher(const TestDevice& device, std::u16string folder);

  // Writes kvmupdi.dat, the cabinet (CabinetBytes()) and both signatures by the publisher's key.
  void Publish(const UpdateOffer& offer = {});
  // Writes a file of the server folder.
  void Serve(std::u16string_view name, std::string_view bytes) const;
  // The 64 signature bytes of `bytes` by a PEM private key.
  static std::string Sign(std::string_view bytes, const std::string& private_key);

  static std::string CabinetBytes();
  const std::string& information() const { return information_; }
  const std::string& private_key() const { return private_key_; }
  const std::string& public_key() const { return public_key_; }
  const std::string& stranger_key() const { return stranger_key_; }

 private:
  const TestDevice& device_;
  std::u16string folder_;
  std::string private_key_, public_key_, stranger_key_;
  std::string information_;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_TESTING_UPDATE_PUBLISHER_H_

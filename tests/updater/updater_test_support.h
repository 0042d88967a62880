// The fixture of the applier's process tests: a device image with the scanner front end, the
// applier, the installer and the publisher's tools; a publisher key trusted by the install; new
// signature databases built from the sample set with one more virus; packages built by kvupdpack
// and laid out as the update client leaves them; and snapshots of folders to compare bytes.
#ifndef KOLVAR_TESTS_UPDATER_UPDATER_TEST_SUPPORT_H_
#define KOLVAR_TESTS_UPDATER_UPDATER_TEST_SUPPORT_H_

#include <map>
#include <string>
#include <vector>

#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {

// The virus that only the new database knows, and a file that carries it.
inline constexpr char kFreshVirusName[] = "Kolvar.Test.Fresh";
inline constexpr char kFreshVirusBytes[] = "KOLVAR-UPDATE-TEST-FRESH-SIGNATURE-0001";

class UpdaterTest : public FrontEndTest {
 protected:
  UpdaterTest();

  // Runs a program of the install folder to its end.
  RunResult Tool(const std::string& name, const std::vector<std::string>& arguments,
                 double seconds = 120);
  // Host folder (created) below the device root for the publisher's side.
  std::string PublisherFolder(const std::string& name);
  // Builds KVVirusDB.dat and KVVirusDBDet.dat of the sample set plus the fresh virus into a new
  // publisher folder; returns it.
  std::string BuildFreshDatabase();
  // kvupdpack build with the publisher key (or `key`) into a new folder; returns it.
  std::string BuildPackage(const std::vector<std::string>& arguments, const std::string& key = "");
  // Copies a package folder's cabinet, its signature and kvmupdi.dat into the install folder's
  // _updates_ folder, and records the pending update in UPDATES as the client does.
  void StagePackage(const std::string& package);
  // Starts KVUpdater with the staged cabinet's path.
  std::unique_ptr<RunningKolvar> StartApplier();
  RunResult Applier(double seconds = 120);

  // Every file below a host folder (relative path -> bytes; links as "->target").
  std::map<std::string, std::string> Snapshot(const std::string& host_folder) const;
  // The install folder and the configuration file.
  std::map<std::string, std::string> InstallSnapshot() const;

  std::string publisher_key_;        // host path of the trusted private key
  std::string cabinet_device_path_;  // the staged cabinet, as the applier is given it
  int folders_ = 0;
};

}  // namespace kolvar

#endif  // KOLVAR_TESTS_UPDATER_UPDATER_TEST_SUPPORT_H_

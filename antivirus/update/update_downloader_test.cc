// The update client's worker against a real HTTP server on 127.0.0.1, in a device image: an
// offered update downloaded and recorded, every decision that takes nothing, a server that stops
// in the middle, and every signature refusal, each of which must leave section UPDATES (the whole
// configuration file) as it was and no cabinet behind.
#include "antivirus/update/update_downloader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "antivirus/update/update_rules.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/crypto.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tests/testing/http_server.h"
#include "tests/testing/test_device.h"
#include "tests/testing/update_publisher.h"

namespace kolvar {
namespace {

namespace keys = config_keys;
using namespace update_status;

constexpr char16_t kInstallFolder[] = u"\\Program Files\\Kolvar\\";
constexpr char16_t kServerFolder[] = u"\\Temp\\www";
constexpr char16_t kConfigPath[] = u"\\Windows\\kvmavcfg.dat";
constexpr char kCabinet[] = "kvupd0007.cab";

using testing::UpdateOffer;
using testing::UpdatePublisher;

std::string CabinetBytes() { return UpdatePublisher::CabinetBytes(); }

// Public, so that the table of refusal cases can arrange the server.
class UpdateDownloaderTest : public ::testing::Test {
 public:
  UpdateDownloaderTest() : publisher_(device_, kServerFolder) {
    device_.MakeFolder(u"\\Program Files\\Kolvar");
    private_key_ = publisher_.private_key();
    stranger_key_ = publisher_.stranger_key();
    device_.WriteFile(std::u16string(kInstallFolder) + keys::kUpdateKeysFileName,
                      publisher_.public_key());
    configuration_ = std::make_unique<ConfigurationFile>(ConfigStore::kConfigurationName,
                                                         KeyMaterialUse::kConfiguration);
    EXPECT_TRUE(CreateDefaultConfiguration(&configuration_->store(), kInstallFolder));
    configuration_->set_path(kConfigPath);
    SetInteger(keys::kConfig, keys::kScanPacing, 0);
    server_ = std::make_unique<testing::TestHttpServer>(device_.Host(kServerFolder));
    SetText(keys::kUpdates, keys::kUpdateUrl, platform::Utf8ToUtf16Lossy(server_->Url()));
    SetText(keys::kUpdates, keys::kLastReleaseDate, u"2026-11-01");
    Publish(UpdateOffer());
  }

  void SetText(const char* section, const char* key, std::u16string_view text) {
    ConfigStore& store = configuration_->store();
    const uint32_t size = static_cast<uint32_t>(text.size() * 2);
    if (!store.SetValue(key, kConfigTypeText, size, text.data(), section)) {
      ASSERT_TRUE(store.SelectSection(section));
      ASSERT_TRUE(store.AddValue(key, kConfigTypeText, size, text.data()));
    }
    ASSERT_TRUE(configuration_->Save());
  }
  void SetInteger(const char* section, const char* key, uint32_t value) {
    ConfigStore& store = configuration_->store();
    if (!store.SetValue(key, kConfigTypeInteger, 4, &value, section)) {
      ASSERT_TRUE(store.SelectSection(section));
      ASSERT_TRUE(store.AddValue(key, kConfigTypeInteger, 4, &value));
    }
    ASSERT_TRUE(configuration_->Save());
  }

  void Serve(const std::string& name, const std::string& bytes) {
    publisher_.Serve(platform::Utf8ToUtf16Lossy(name), bytes);
  }
  std::string Sign(const std::string& bytes, const std::string& key) {
    return UpdatePublisher::Sign(bytes, key);
  }
  void Publish(const UpdateOffer& offer) {
    publisher_.Publish(offer);
    information_ = publisher_.information();
  }

  // Runs the downloader once to its end; returns the statuses in order.
  std::vector<int> RunOnce(const std::function<void(int, UpdateDownloader&)>& also = {}) {
    std::vector<int> statuses;
    std::mutex mutex;
    UpdateSettings settings = ReadUpdateSettings(*configuration_, 2);
    UpdateDownloader* self = nullptr;
    UpdateDownloader downloader(configuration_.get(), settings, [&](int status) {
      {
        std::lock_guard lock(mutex);
        statuses.push_back(status);
      }
      if (also) also(status, *self);
    });
    self = &downloader;
    EXPECT_TRUE(downloader.PrepareDownloadFolder());
    EXPECT_TRUE(downloader.Start());
    downloader.Wait();
    detail_ = downloader.FailureDetail();
    server_id_ = downloader.ServerUpdateId();
    std::lock_guard lock(mutex);
    return statuses;
  }

  std::u16string DownloadFolder() { return DownloadFolderOf(kInstallFolder); }
  bool Downloaded(std::u16string_view name) {
    return device_.Exists(platform::JoinPath(DownloadFolder(), name));
  }
  std::string ConfigBytes() { return device_.ReadFile(kConfigPath); }

  std::u16string Recorded(const char* key) {
    ConfigurationFile fresh(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
    EXPECT_TRUE(fresh.store().Load(kConfigPath, false));
    std::u16string text;
    ReadTextValue(fresh.store(), keys::kUpdates, key, &text);
    return text;
  }
  uint32_t RecordedInteger(const char* key) {
    ConfigurationFile fresh(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
    EXPECT_TRUE(fresh.store().Load(kConfigPath, false));
    uint32_t value = 0xFFFFFFFF;
    ReadIntegerValue(fresh.store(), keys::kUpdates, key, &value);
    return value;
  }

  testing::TestDevice device_;
  UpdatePublisher publisher_;
  std::unique_ptr<ConfigurationFile> configuration_;
  std::unique_ptr<testing::TestHttpServer> server_;
  std::string private_key_, stranger_key_;
  std::string information_;
  std::u16string detail_;
  std::u16string server_id_;
};

bool Contains(const std::vector<int>& statuses, int status) {
  return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

TEST_F(UpdateDownloaderTest, OfferedUpdateIsDownloadedCheckedAndRecorded) {
  const std::vector<int> statuses = RunOnce();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), kWorkerCreated);
  EXPECT_EQ(statuses.back(), kWorkerEnded);
  ASSERT_GE(statuses.size(), 7u);
  EXPECT_EQ(std::vector<int>(statuses.begin(), statuses.begin() + 4),
            (std::vector<int>{kWorkerCreated, kConnected, kReadingInformation, kAskingSize}));
  // 20000 bytes in 2048-byte blocks: ten blocks, the last one short.
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kBlockReceived), 10);
  EXPECT_EQ(statuses[statuses.size() - 2], kDownloaded) << platform::Utf16ToUtf8(detail_);

  EXPECT_EQ(device_.ReadFile(platform::JoinPath(DownloadFolder(), u"kvupd0007.cab")),
            CabinetBytes());
  EXPECT_EQ(device_.ReadFile(platform::JoinPath(DownloadFolder(), u"kvupd0007.cab.sig")),
            Sign(CabinetBytes(), private_key_));
  EXPECT_EQ(device_.ReadFile(platform::JoinPath(DownloadFolder(), u"kvmupdi.dat")), information_);

  EXPECT_EQ(Recorded(keys::kUpdateExec), u"kvupd0007.cab");
  EXPECT_EQ(Recorded(keys::kUpdateId), u"KVUPD-V30-0007");
  EXPECT_EQ(Recorded(keys::kReleaseDate), u"2026-12-01");
  EXPECT_EQ(RecordedInteger(keys::kUpdateFileSize), 20000u);
  EXPECT_EQ(RecordedInteger(keys::kFlagUpdateAvailable), 1u);
  EXPECT_NE(Recorded(keys::kUpdateTime).find(u"h:"), std::u16string::npos);
  // The last installed update is the applier's to record.
  EXPECT_EQ(Recorded(keys::kLastReleaseDate), u"2026-11-01");
  EXPECT_EQ(server_->Requests(), (std::vector<std::string>{"kvmupdi.dat", "kvmupdi.dat.sig",
                                                           "kvupd0007.cab.sig", "kvupd0007.cab"}));
}

TEST_F(UpdateDownloaderTest, ProgressIsReadUnderTheMutexWhileBlocksCome) {
  std::vector<uint32_t> percents;
  RunOnce([&](int status, UpdateDownloader& downloader) {
    if (status == kBlockReceived) percents.push_back(downloader.Percent());
    if (status == kDownloaded) {
      EXPECT_EQ(downloader.TotalSizeText(), u"19.53 KB");
      EXPECT_EQ(downloader.TransferredText(), u"19.53 KB");
    }
  });
  ASSERT_EQ(percents.size(), 10u);
  EXPECT_EQ(percents.front(), 2048u * 100 / 20000);
  EXPECT_EQ(percents.back(), 100u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

// Every way a run can end without a package: the status it ends with, and what it must leave
// untouched (the configuration file byte for byte, no cabinet in the download folder).
struct RefusalCase {
  const char* name;
  std::function<void(UpdateDownloaderTest&)> arrange;
  int status;
  bool cabinet_requested;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class UpdateRefusalTest : public UpdateDownloaderTest,
                          public ::testing::WithParamInterface<RefusalCase> {};

const RefusalCase kRefusalCases[] = {
    {"NoneOffered",
     [](UpdateDownloaderTest& t) {
       UpdateOffer offer;
       offer.id = u"NONE";
       t.Publish(offer);
     },
     kNoUpdate, false},
    {"OtherProductLine",
     [](UpdateDownloaderTest& t) {
       UpdateOffer offer;
       offer.id = u"KVUPD-V40-0001";
       t.Publish(offer);
     },
     kNoUpdate, false},
    {"SameReleaseDate",
     [](UpdateDownloaderTest& t) {
       UpdateOffer offer;
       offer.id = u"KVUPD-V30-0099";
       offer.date = u"2026-11-01";
       t.Publish(offer);
     },
     kAlreadyUpdated, false},
    {"ServerStopsMidDownload",
     [](UpdateDownloaderTest& t) { t.server_->SetRules("stop kvupd0007.cab 9000\n"); },
     kDownloadError, true},
    {"ConnectionCutMidDownload",
     [](UpdateDownloaderTest& t) { t.server_->SetRules("cut kvupd0007.cab 9000\n"); },
     kDownloadError, true},
    {"NoServer", [](UpdateDownloaderTest& t) { t.server_->Stop(); }, kNoConnection, false},
    {"InformationSignatureMissing",
     [](UpdateDownloaderTest& t) { t.server_->SetRules("status kvmupdi.dat.sig 404\n"); },
     kSignatureRefused, false},
    {"InformationSignatureBad",
     [](UpdateDownloaderTest& t) {
       t.Serve("kvmupdi.dat.sig", t.Sign(t.information_ + "x", t.private_key_));
     },
     kSignatureRefused, false},
    {"InformationSignatureShort",
     [](UpdateDownloaderTest& t) { t.Serve("kvmupdi.dat.sig", std::string(63, 'a')); },
     kSignatureRefused, false},
    {"InformationSignedByUnknownKey",
     [](UpdateDownloaderTest& t) {
       t.Serve("kvmupdi.dat.sig", t.Sign(t.information_, t.stranger_key_));
     },
     kSignatureRefused, false},
    {"CabinetSignatureMissing",
     [](UpdateDownloaderTest& t) { t.server_->SetRules("status kvupd0007.cab.sig 404\n"); },
     kSignatureRefused, false},
    {"CabinetSignatureBad",
     [](UpdateDownloaderTest& t) {
       t.Serve("kvupd0007.cab.sig", t.Sign(CabinetBytes() + "x", t.private_key_));
     },
     kSignatureRefused, true},
    {"CabinetSignedByUnknownKey",
     [](UpdateDownloaderTest& t) {
       t.Serve("kvupd0007.cab.sig", t.Sign(CabinetBytes(), t.stranger_key_));
     },
     kSignatureRefused, true},
    {"CabinetNameLeavesTheFolder",
     [](UpdateDownloaderTest& t) {
       UpdateOffer offer;
       offer.cabinet = u"..\\..\\Windows\\evil.cab";
       t.Publish(offer);
     },
     kDownloadError, false},
    {"CabinetWithoutLength",
     [](UpdateDownloaderTest& t) { t.server_->SetRules("nolength kvupd0007.cab\n"); }, kNoUpdate,
     true},
    {"InformationFileTooLarge",
     [](UpdateDownloaderTest& t) {
       const std::string big(40000, 'k');
       t.Serve("kvmupdi.dat", big);
       t.Serve("kvmupdi.dat.sig", t.Sign(big, t.private_key_));
     },
     kDownloadError, false},
};

TEST_P(UpdateRefusalTest, LeavesUpdatesAsTheyWereAndNoCabinet) {
  const RefusalCase& c = GetParam();
  // A cabinet from an earlier run must not survive a refused one either.
  device_.MakeFolder(DownloadFolder());
  device_.WriteFile(platform::JoinPath(DownloadFolder(), u"kvupd0007.cab"), "old");
  c.arrange(*this);
  const std::string before = ConfigBytes();
  const std::vector<int> statuses = RunOnce();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), kWorkerEnded);
  EXPECT_TRUE(Contains(statuses, c.status)) << ::testing::PrintToString(statuses);
  EXPECT_FALSE(Contains(statuses, kDownloaded));
  if (c.status < 0) {
    EXPECT_FALSE(detail_.empty());
  }
  EXPECT_EQ(ConfigBytes(), before);
  EXPECT_FALSE(Downloaded(u"kvupd0007.cab"));
  EXPECT_FALSE(Downloaded(u"kvupd0007.cab.sig"));
  if (c.status == kSignatureRefused && !c.cabinet_requested) {
    EXPECT_FALSE(Downloaded(u"kvupd0007.cab"));
  }
  const std::vector<std::string> requests = server_->Requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), std::string(kCabinet)) > 0,
            c.cabinet_requested)
      << ::testing::PrintToString(requests);
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(UpdateDownloaderTest, InformationRefusedBySignatureIsNotKept) {
  Serve("kvmupdi.dat.sig", Sign(information_, stranger_key_));
  const std::vector<int> statuses = RunOnce();
  EXPECT_TRUE(Contains(statuses, kSignatureRefused));
  EXPECT_FALSE(Downloaded(u"kvmupdi.dat"));
  EXPECT_NE(detail_.find(u"kvmupdi.dat"), std::u16string::npos);
}

TEST_F(UpdateDownloaderTest, MissingPublisherKeysRefuseTheUpdate) {
  device_.WriteFile(std::u16string(kInstallFolder) + keys::kUpdateKeysFileName, "no key here\n");
  const std::string before = ConfigBytes();
  const std::vector<int> statuses = RunOnce();
  EXPECT_TRUE(Contains(statuses, kSignatureRefused));
  EXPECT_EQ(ConfigBytes(), before);
}

// An administrator may accept a server that signs nothing; then no signature is asked for.
TEST_F(UpdateDownloaderTest, UnsignedServerIsAcceptedWhenSignaturesAreNotRequired) {
  SetInteger(keys::kUpdates, keys::kRequireSignedUpdates, 0);
  server_->SetRules("status kvmupdi.dat.sig 404\nstatus kvupd0007.cab.sig 404\n");
  const std::vector<int> statuses = RunOnce();
  EXPECT_TRUE(Contains(statuses, kDownloaded)) << platform::Utf16ToUtf8(detail_);
  EXPECT_EQ(server_->Requests(), (std::vector<std::string>{"kvmupdi.dat", "kvupd0007.cab"}));
  EXPECT_EQ(Recorded(keys::kUpdateId), u"KVUPD-V30-0007");
}

TEST_F(UpdateDownloaderTest, CancelDuringTheBlocksRecordsNothing) {
  server_->SetRules("slow kvupd0007.cab 50\n");
  const std::string before = ConfigBytes();
  const std::vector<int> statuses = RunOnce([](int status, UpdateDownloader& downloader) {
    if (status == kBlockReceived) downloader.Cancel();
  });
  EXPECT_TRUE(Contains(statuses, kCancelNoticed)) << ::testing::PrintToString(statuses);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kBlockReceived), 1);
  EXPECT_EQ(statuses.back(), kWorkerEnded);
  EXPECT_EQ(ConfigBytes(), before);
  EXPECT_FALSE(Downloaded(u"kvupd0007.cab"));
}

// A second run starts afresh: counters reset, the folder emptied, the same decision taken again.
TEST_F(UpdateDownloaderTest, SecondRunStartsAfresh) {
  std::vector<int> statuses;
  std::mutex mutex;
  UpdateDownloader downloader(configuration_.get(), ReadUpdateSettings(*configuration_, 2),
                              [&](int status) {
                                std::lock_guard lock(mutex);
                                statuses.push_back(status);
                              });
  ASSERT_TRUE(downloader.PrepareDownloadFolder());
  ASSERT_TRUE(downloader.Start());
  downloader.Wait();
  EXPECT_EQ(downloader.Percent(), 100u);
  ASSERT_TRUE(downloader.Start());
  downloader.Wait();
  std::lock_guard lock(mutex);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kDownloaded), 2);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kWorkerEnded), 2);
}

}  // namespace
}  // namespace kolvar

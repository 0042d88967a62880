// kvsigtool: builds the signature database and the virus detail file from a readable source,
// prints a database back as source, and tests files with the scan engine's own matcher.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/file_replacement.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/signature_matcher.h"
#include "scan_engine/virus_details.h"
#include "tools/kvsigtool/signature_source.h"

namespace kolvar::kvsigtool {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitInfected = 1;  // match: some file matched
constexpr int kExitError = 2;

constexpr char kUsage[] = R"(Usage:
  kvsigtool build SOURCE OUTDIR     write OUTDIR/KVVirusDB.dat and OUTDIR/KVVirusDBDet.dat
  kvsigtool dump DB [DETAILS]       print a database as source (DETAILS: the detail file,
                                    by default KVVirusDBDet.dat beside DB); exit 2 when DB
                                    is damaged: empty, cut inside a record, or with records
                                    that cannot be signatures
  kvsigtool match --db DB [--jobs N] PATH...
                                    test files (folders: every file below them) as the scan
                                    engine does, one line a file: <0|1> <virus id> <path>
                                    (the id is that of the last signature tried when nothing
                                    matched, 0 when none applied); exit 1 when a file matched,
                                    2 when DB holds no usable signature
                                    --jobs: test with N threads (default 1, as the engine)
  kvsigtool --help

Source format, one item a line ("#" starts a comment line, fields are separated by "|"):
  signature <virus id> | <virus name> | <classes> | <hex pattern>
  describe  <virus id> | <description>
  recommend <virus id> | <recommendation>
virus id: 1 to 4294967295; several signatures may share a virus (and its name).
name: 1 to 69 characters. classes: any, or a comma list of exe, dll, psw, pxl, txt, dat,
html, 2bp, gif, htm; or a mask such as 0x10000001; none never applies.
pattern: 1 to 256 bytes as hex pairs, spaces allowed between pairs.
Every virus needs one describe line (1 to 249 characters) and one recommend line (1 to 199).
Signatures keep their order: when several match a file, the first one wins.
)";

bool ToDevicePath(const std::string& host, std::u16string* device) {
  if (platform::DevicePathFromHost(host, device)) return true;
  std::fprintf(stderr, "kvsigtool: %s: not a path below the device root\n", host.c_str());
  return false;
}

void ReportError(const std::string& what) {
  std::fprintf(stderr, "kvsigtool: %s (error %u)\n", what.c_str(), platform::GetLastError());
}

bool ReadWholeFile(std::u16string_view path, std::string* contents) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  contents->clear();
  char buffer[65536];
  for (;;) {
    uint32_t got = 0;
    if (!file.Read(buffer, sizeof(buffer), &got)) return false;
    if (got == 0) return true;
    contents->append(buffer, got);
  }
}

int Build(const std::string& source_path, const std::string& out_dir) {
  std::u16string source, folder;
  if (!ToDevicePath(source_path, &source) || !ToDevicePath(out_dir, &folder)) return kExitError;
  std::string text;
  if (!ReadWholeFile(source, &text)) {
    ReportError("cannot read " + source_path);
    return kExitError;
  }
  CompiledSource compiled;
  std::vector<std::string> errors;
  if (!CompileSignatureSource(text, &compiled, &errors)) {
    for (const std::string& e : errors)
      std::fprintf(stderr, "%s:%s\n", source_path.c_str(), e.c_str() + 5);  // "line N: ..."
    return kExitError;
  }
  std::vector<uint8_t> stored(compiled.signatures.size() * kSignatureRecordSize);
  for (size_t i = 0; i < compiled.signatures.size(); ++i) {
    EncodeSignatureRecord(compiled.signatures[i],
                          *reinterpret_cast<uint8_t(*)[kSignatureRecordSize]>(
                              stored.data() + i * kSignatureRecordSize));
  }
  const std::u16string db = platform::JoinPath(folder, kSignatureDatabaseName);
  const std::u16string details = platform::JoinPath(folder, kVirusDetailDatabaseName);
  if (!ReplaceFileContents(db, stored.data(), stored.size())) {
    ReportError("cannot write " + platform::Utf16ToUtf8(db));
    return kExitError;
  }
  if (!WriteVirusDetails(details, compiled.details)) {
    ReportError("cannot write " + platform::Utf16ToUtf8(details));
    return kExitError;
  }
  std::printf("%zu signatures of %zu viruses\n", compiled.signatures.size(),
              compiled.details.size());
  return kExitOk;
}

int Dump(const std::string& db_path, const std::string* details_path) {
  std::u16string db, details;
  if (!ToDevicePath(db_path, &db)) return kExitError;
  if (details_path) {
    if (!ToDevicePath(*details_path, &details)) return kExitError;
  } else {
    const size_t cut = db.rfind(u'\\');
    details = platform::JoinPath(db.substr(0, cut == std::u16string::npos ? 0 : cut),
                                 kVirusDetailDatabaseName);
  }
  SignatureDatabase database;
  if (!database.Load(db)) {
    ReportError("cannot read " + db_path);
    return kExitError;
  }
  std::vector<VirusDetailRecord> records;
  if (!ReadVirusDetails(details, &records)) {
    if (details_path) {
      ReportError("cannot read " + *details_path);
      return kExitError;
    }
    records.clear();  // no detail file beside the database: names come from the records
  }
  std::fputs(FormatSignatureSource(database.records(), records, database.skipped_count()).c_str(),
             stdout);
  std::fflush(stdout);
  // What loaded is printed for whoever repairs the file, but the file itself is not sound.
  if (!database.report().sound()) {
    std::fprintf(stderr, "kvsigtool: %s: damaged signature database: %s\n", db_path.c_str(),
                 DescribeSignatureLoad(database.report()).c_str());
    return kExitError;
  }
  return kExitOk;
}

// Tests the files named on the command line and every file below the folders named there, in
// the order the scan engine walks (files before subfolders). With several jobs the files are
// tested by that many threads sharing the one matcher; the lines still come in walk order.
class MatchRun {
 public:
  MatchRun(const SignatureMatcher& matcher, std::u16string db, int jobs)
      : matcher_(matcher), db_(std::move(db)), jobs_(jobs) {}
  bool any_infected() const { return any_infected_; }

  void AddFile(const std::u16string& folder, const std::u16string& name, std::string shown) {
    if (jobs_ == 1) {
      Print(Test(folder, name, &scratch_), shown);
      return;
    }
    pending_.push_back({folder, name, std::move(shown)});
  }

  void AddFolder(const std::u16string& folder, const std::string& shown) {
    std::vector<platform::FindData> entries;
    platform::DirectoryListing listing;
    platform::FindData data;
    if (listing.First(platform::JoinPath(folder, u"*.*"), &data)) {
      do entries.push_back(data);
      while (listing.Next(&data));
    }
    listing.Close();
    for (const auto& e : entries) {
      if (e.kind == platform::EntryKind::kRegular) {
        AddFile(folder, e.name, shown + "/" + platform::Utf16ToUtf8(e.name));
      }
    }
    for (const auto& e : entries) {
      const std::u16string sub = platform::JoinPath(folder, e.name);
      if (e.kind == platform::EntryKind::kDirectory && !platform::IsPseudoFileSystem(sub)) {
        AddFolder(sub, shown + "/" + platform::Utf16ToUtf8(e.name));
      }
    }
  }

  // Tests what was collected for the threads and prints it.
  void Finish() {
    std::vector<Result> results(pending_.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs_; ++j) {
      threads.emplace_back([&] {
        MatchScratch scratch;
        for (size_t i; (i = next++) < pending_.size();) {
          results[i] = Test(pending_[i].folder, pending_[i].name, &scratch);
        }
      });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < pending_.size(); ++i) Print(results[i], pending_[i].shown);
    pending_.clear();
  }

 private:
  struct Item {
    std::u16string folder, name;
    std::string shown;
  };
  struct Result {
    int result = 0;
    uint32_t id = 0;
  };

  Result Test(const std::u16string& folder, const std::u16string& name,
              MatchScratch* scratch) const {
    Result r;
    r.result = matcher_.MatchFile(folder, name, db_, {nullptr, false}, scratch, &r.id);
    return r;
  }

  void Print(const Result& r, const std::string& shown) {
    any_infected_ |= r.result == 1;
    std::printf("%d %u %s\n", r.result, r.id, shown.c_str());
  }

  const SignatureMatcher& matcher_;
  const std::u16string db_;
  const int jobs_;
  MatchScratch scratch_;
  std::vector<Item> pending_;
  bool any_infected_ = false;
};

int Match(const std::string& db_path, int jobs, const std::vector<std::string>& paths) {
  std::u16string db;
  if (!ToDevicePath(db_path, &db)) return kExitError;
  SignatureDatabase database;
  if (!database.Load(db)) {
    ReportError("cannot read " + db_path);
    return kExitError;
  }
  // Without a usable signature every file would read as clean.
  if (!database.report().usable()) {
    std::fprintf(stderr, "kvsigtool: %s: damaged signature database: %s\n", db_path.c_str(),
                 DescribeSignatureLoad(database.report()).c_str());
    return kExitError;
  }
  if (!database.report().sound()) {
    std::fprintf(stderr, "kvsigtool: %s: warning: damaged signature database: %s\n",
                 db_path.c_str(), DescribeSignatureLoad(database.report()).c_str());
  }
  SignatureMatcher matcher;
  if (!matcher.Build(database.records())) {
    std::fprintf(stderr, "kvsigtool: %s: too many signature bytes\n", db_path.c_str());
    return kExitError;
  }
  MatchRun run(matcher, db, jobs);
  for (std::string shown : paths) {
    std::u16string device;
    if (!ToDevicePath(shown, &device)) return kExitError;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    platform::FileInfo info;
    if (platform::GetFileInfo(device, &info) && info.kind == platform::EntryKind::kDirectory) {
      run.AddFolder(device, shown);
      continue;
    }
    const size_t cut = device.rfind(u'\\');
    run.AddFile(device.substr(0, cut == 0 ? 1 : cut), device.substr(cut + 1), shown);
  }
  run.Finish();
  std::fflush(stdout);
  return run.any_infected() ? kExitInfected : kExitOk;
}

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitError : kExitOk;
  }
  if (args[0] == "build" && args.size() == 3) return Build(args[1], args[2]);
  if (args[0] == "dump" && (args.size() == 2 || args.size() == 3)) {
    return Dump(args[1], args.size() == 3 ? &args[2] : nullptr);
  }
  if (args[0] == "match" && args.size() >= 4 && args[1] == "--db") {
    size_t first = 3;
    int jobs = 1;
    if (args.size() >= 6 && args[3] == "--jobs") {
      jobs = std::atoi(args[4].c_str());
      first = 5;
    }
    if (jobs >= 1 && jobs <= 256) {
      return Match(args[2], jobs, std::vector<std::string>(args.begin() + first, args.end()));
    }
  }
  std::fputs(kUsage, stderr);
  return kExitError;
}

}  // namespace
}  // namespace kolvar::kvsigtool

int main(int argc, char** argv) { return kolvar::kvsigtool::Main(argc, argv); }

// The suite's files; see suite_files.h.
#include "tools/kvsetup/suite_files.h"

namespace kolvar::kvsetup {
namespace {

constexpr SuiteFile kSuiteFiles[] = {
    // The programs that run resident, and the setup library that ends and starts them.
    {u"kvipcsrv", true},
    {u"KVBkgScan", true},
    {u"kvmsetup.so", true},
    // The other programs of the suite.
    {u"KVAntivirus"},
    {u"KVTaskMgr"},
    {u"KVScheduler"},
    {u"KVUpdater"},
    {u"wceload"},
    {u"kvmupdrules.so"},
    {u"kvnotifyd"},
    {u"kvsetup"},
    // The terminal front end and the tools for people.
    {u"kolvar"},
    {u"kvcfg"},
    {u"kvreg"},
    {u"kvipcstat"},
    {u"kvsigtool"},
    {u"kvupdpack"},
    {u"kvtasks"},
    {u"kvnotify"},
    // The data the programs start from.
    {u"KVVirusDB.dat", true},
    {u"KVVirusDBDet.dat"},
    {u"KVTasks.dat", false, true},
};

}  // namespace

std::span<const SuiteFile> SuiteFiles() { return kSuiteFiles; }

}  // namespace kolvar::kvsetup

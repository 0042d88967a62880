// The signature source of kvsigtool, as its writers type it. A source that compiles prints back
// (as `kvsigtool dump` prints a database) to a source that compiles to the same signatures and
// details; one that does not compile says why, line by line.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/kvsigtool/signature_source.h"

namespace {

using namespace kolvar;

template <typename Record>
bool SameRecords(const std::vector<Record>& a, const std::vector<Record>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kvsigtool::CompiledSource compiled;
  std::vector<std::string> errors;
  if (!kvsigtool::CompileSignatureSource(text, &compiled, &errors)) {
    fuzz::Check(!errors.empty(), "a refused source gives no reason");
    return 0;
  }
  fuzz::Check(errors.empty(), "a compiled source reports errors");
  const std::string printed =
      kvsigtool::FormatSignatureSource(compiled.signatures, compiled.details, 0);
  kvsigtool::CompiledSource again;
  fuzz::Check(kvsigtool::CompileSignatureSource(printed, &again, &errors),
              "a printed source does not compile");
  fuzz::Check(SameRecords(again.signatures, compiled.signatures),
              "a printed source compiles to other signatures");
  fuzz::Check(SameRecords(again.details, compiled.details),
              "a printed source compiles to other details");
  return 0;
}

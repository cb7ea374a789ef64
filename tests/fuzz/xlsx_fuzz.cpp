// The whole run on arbitrary workbook bytes: a fresh program folder holds the
// relation table and two material folders, the run reads the table through
// the temporary directory and copies. Nothing may be written outside the
// program folder and nothing may stay in the temporary directory.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/sync_run.h"
#include "fuzz_support.h"
#include "ui/shell.h"
#include "ui/shell_recording.h"

namespace {

constexpr const char* kTarget = "xlsx";

void check(bool condition, const char* what) {
  if (!condition) fail(kTarget, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  prepareProcess();
  const Scratch& s = scratch();
  resetRecording();
  openRunWindow(u"Varnelo");
  makeProgramFolder();
  Text workbook = s.program + kSourceRootName + u"/" + kRelationTableName;
  writeBytes(workbook, data, size);

  int failures = SyncRunIn(s.program);

  const Recording& seen = recording();
  check(failures >= 0, "a negative failure count");
  check(seen.messages.size() == 1, "the run did not show exactly one summary");
  check(!seen.titles.empty() && seen.titles.back() == u"Varnelo-完成",
        "the last title is not the finished one");
  check(failures == 0 || findText(seen.messages.front().text, u"【失败】") > 0,
        "failures missing from the summary");
  // No material holds a file of the workbook's name, so no copy may replace it.
  check(readBytes(workbook) == std::string(reinterpret_cast<const char*>(data), size),
        "the run changed the workbook");
  removeProgramFolder();
  checkNothingOutside(kTarget);
  return 0;
}

#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "text/text.h"
#include "workbook/workbook.h"

namespace {

constexpr int kWorkbookPack = 0;
// Each entry is bounded on its own, but a package could hold any number of
// entries whose names contain a part's name; together they stop here.
constexpr int64_t kPartsBudget = int64_t(2) << 30;

// Some packagers write entry names with "\"; they name the same parts.
bool IsWantedPart(const Text& entryName) {
  Text name = replaceAll(entryName, u"\\", u"/");
  return findText(name, u"xl/worksheets/sheet1.xml") > 0 ||
         findText(name, u"xl/sharedStrings.xml") > 0;
}

}  // namespace

int ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder) {
  if (!PackReader::open(kWorkbookPack, workbookPath)) {
    PackReader::close(kWorkbookPack);
    return 0;
  }
  int64_t written = 0;
  if (PackReader::examine(kWorkbookPack)) {
    while (written < kPartsBudget && PackReader::nextEntry(kWorkbookPack)) {
      Text name = PackReader::entryName(kWorkbookPack);
      if (!IsWantedPart(name)) continue;
      int64_t size = PackReader::extractEntryTo(kWorkbookPack, partsFolder + filePart(name));
      if (size > 0) written += size;
    }
  }
  PackReader::close(kWorkbookPack);
  return 1;
}

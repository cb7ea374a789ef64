#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "text/text.h"
#include "workbook/workbook.h"

namespace {

constexpr int kWorkbookPack = 0;

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
  if (PackReader::examine(kWorkbookPack)) {
    while (PackReader::nextEntry(kWorkbookPack)) {
      Text name = PackReader::entryName(kWorkbookPack);
      if (IsWantedPart(name))
        PackReader::extractEntryTo(kWorkbookPack, partsFolder + filePart(name));
    }
  }
  PackReader::close(kWorkbookPack);
  return 1;
}

#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "text/text.h"
#include "workbook/table_reading.h"

namespace {

// Each entry is bounded on its own, but a package could hold any number of
// entries whose names contain a part's name; together they stop here, counted
// in bytes inflated, so entries that fail use it up as well.
constexpr int64_t kPartsBudget = int64_t(2) << 30;

const Text kSheetName = u"sheet1.xml";
const Text kSharedStringsName = u"sharedStrings.xml";

// Some packagers write entry names with "\"; they name the same parts.
bool IsWantedPart(const Text& entryName) {
  Text name = replaceAll(entryName, u"\\", u"/");
  return findText(name, u"xl/worksheets/sheet1.xml") > 0 ||
         findText(name, u"xl/sharedStrings.xml") > 0;
}

// Where a failure in an extracted entry is: in the part it becomes, else in
// the entry named by the status's detail.
void SetPart(WorkbookStatus& status, const Text& fileName) {
  status.part = fileName == kSheetName           ? WorkbookPart::kSheet
                : fileName == kSharedStringsName ? WorkbookPart::kSharedStrings
                                                 : WorkbookPart::kEntry;
  if (status.part == WorkbookPart::kEntry) status.failure.detail = fileName;
}

}  // namespace

WorkbookStatus ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder) {
  WorkbookStatus status;
  PackReader pack;
  status.failure = pack.open(workbookPath);
  if (status.failure) return status;
  int64_t budget = kPartsBudget;
  bool sheetWhole = false;
  bool sharedStringsWhole = false;
  while (pack.nextEntry()) {
    Text name = pack.entryName();
    if (!IsWantedPart(name)) continue;
    // A folder entry ends in a separator; it is named by its last component too.
    Text fileName = filePart(trimChar(replaceAll(name, u"\\", u"/"), u"/"));
    // "xl/worksheets/sheet1.xml/.." names a folder, never a part.
    if (fileName == u"." || fileName == u"..") {
      status.failure = Failure{ErrorKind::kEntryNotAFile, 0, name};
      status.part = WorkbookPart::kEntry;
      status.hasSharedStrings = false;
      return status;
    }
    if (fileName == kSharedStringsName) status.hasSharedStrings = true;
    status.failure = pack.extractEntryTo(partsFolder + fileName, budget);
    if (status.failure) {
      // Writing into the parts folder is this computer's failure, not the
      // workbook's; it names no part.
      ErrorKind kind = status.failure.kind;
      if (kind != ErrorKind::kCannotExtract && kind != ErrorKind::kExtractTargetReadOnly &&
          kind != ErrorKind::kExtractTargetIsFolder)
        SetPart(status, fileName);
      status.hasSharedStrings = false;
      return status;
    }
    if (fileName == kSheetName) sheetWhole = true;
    if (fileName == kSharedStringsName) sharedStringsWhole = true;
  }
  // A walk that ends in an error may have hidden a part, or a later entry of
  // the same name; only both parts taken out whole before it are trusted.
  if (pack.walkFault() != ErrorKind::kNone && !(sheetWhole && sharedStringsWhole)) {
    status.failure.kind = pack.walkFault();
    status.hasSharedStrings = false;
    return status;
  }
  if (!sheetWhole) {
    status.failure.kind = ErrorKind::kNoWorksheet;
    status.hasSharedStrings = false;
  }
  return status;
}

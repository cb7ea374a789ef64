#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "text/catalogue.h"
#include "text/text.h"
#include "workbook/workbook.h"

namespace {

constexpr int kWorkbookPack = 0;
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

// How the log names an extracted entry: by the part it becomes.
Text PartLabel(const Text& fileName) {
  if (fileName == kSheetName) return kSheetLabel;
  if (fileName == kSharedStringsName) return kSharedStringsLabel;
  return kEntryLabelOpen + fileName + kEntryLabelClose;
}

Text OpenCause(PackReader::OpenFault fault, const Text& systemMessage) {
  switch (fault) {
    case PackReader::OpenFault::kMissing:
      return kWorkbookMissing;
    case PackReader::OpenFault::kInUse:
      return kReasonInUse;
    case PackReader::OpenFault::kCompoundFile:
      return kWorkbookPasswordOrXls;
    case PackReader::OpenFault::kSystem:
      if (!systemMessage.empty()) return systemMessage;
      break;
    default:
      break;
  }
  return kNotAWorkbook;
}

Text EntryCause(PackReader::EntryFault fault, const Text& label) {
  using PackReader::EntryFault;
  switch (fault) {
    case EntryFault::kChecksum:
      return label + kEntryChecksum;
    case EntryFault::kEncrypted:
      return label + kEntryEncrypted;
    case EntryFault::kCutShort:
      return kEntryCutShortOpen + label + kEntryCutShortClose;
    case EntryFault::kLink:
      return label + kEntryIsLink;
    case EntryFault::kFolder:
      return label + kEntryIsFolder;
    case EntryFault::kTooLarge:
      return label + kEntryTooLarge;
    default:
      return label + kEntryDamaged;
  }
}

Text WalkCause(PackReader::EntryFault fault) {
  if (fault == PackReader::EntryFault::kCutShort) return kArchiveCutShort;
  return kArchiveDamaged;
}

int Fail(WorkbookStatus& status, WorkbookFault fault, const Text& cause) {
  status.fault = fault;
  status.cause = cause;
  return 0;
}

}  // namespace

int ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder) {
  WorkbookStatus status;
  ExtractWorkbookParts(workbookPath, partsFolder, status);
  return status.fault == WorkbookFault::kCannotOpen ? 0 : 1;
}

int ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder,
                         WorkbookStatus& status) {
  status = WorkbookStatus();
  if (!PackReader::open(kWorkbookPack, workbookPath)) {
    Text message;
    PackReader::OpenFault fault = PackReader::lastOpenFault(&message);
    PackReader::close(kWorkbookPack);
    return Fail(status, WorkbookFault::kCannotOpen, OpenCause(fault, message));
  }
  int64_t budget = kPartsBudget;
  bool sheetWhole = false;
  bool sharedStringsWhole = false;
  WorkbookFault fault = WorkbookFault::kNone;
  Text cause;
  if (!PackReader::examine(kWorkbookPack)) {
    fault = WorkbookFault::kCannotOpen;
    cause = OpenCause(PackReader::lastOpenFault(), Text());
  }
  while (fault == WorkbookFault::kNone && PackReader::nextEntry(kWorkbookPack)) {
    Text name = PackReader::entryName(kWorkbookPack);
    if (!IsWantedPart(name)) continue;
    // A folder entry ends in a separator; it is named by its last component too.
    Text fileName = filePart(trimChar(replaceAll(name, u"\\", u"/"), u"/"));
    // "xl/worksheets/sheet1.xml/.." names a folder, never a part.
    if (fileName == u"." || fileName == u"..") {
      fault = WorkbookFault::kDamaged;
      cause = kEntryLabelOpen + name + kEntryLabelClose + kEntryNotAFile;
      break;
    }
    if (fileName == kSharedStringsName) status.hasSharedStrings = true;
    if (PackReader::extractEntryTo(kWorkbookPack, partsFolder + fileName, &budget) < 0) {
      PackReader::EntryFault entryFault = PackReader::lastEntryFault(kWorkbookPack);
      if (entryFault == PackReader::EntryFault::kNotWritten) {
        fault = WorkbookFault::kCannotOpen;
        cause = kCannotExtractOpen + PackReader::lastWriteMessage(kWorkbookPack);
      } else {
        fault = WorkbookFault::kDamaged;
        cause = EntryCause(entryFault, PartLabel(fileName));
      }
      break;
    }
    if (fileName == kSheetName) sheetWhole = true;
    if (fileName == kSharedStringsName) sharedStringsWhole = true;
  }
  // A walk that ends in an error may have hidden a part, or a later entry of
  // the same name; only both parts taken out whole before it are trusted.
  PackReader::EntryFault walk = PackReader::walkFault(kWorkbookPack);
  if (fault == WorkbookFault::kNone && walk != PackReader::EntryFault::kNone &&
      !(sheetWhole && sharedStringsWhole)) {
    fault = WorkbookFault::kDamaged;
    cause = WalkCause(walk);
  }
  PackReader::close(kWorkbookPack);
  if (fault != WorkbookFault::kNone) return Fail(status, fault, cause);
  if (!sheetWhole) return Fail(status, WorkbookFault::kNoWorksheet, Text());
  return 1;
}

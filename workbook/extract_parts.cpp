#include "fs/paths.h"
#include "pack/pack_reader.h"
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
  if (fileName == kSheetName) return u"工作表";
  if (fileName == kSharedStringsName) return u"共享字符串";
  return u"条目“" + fileName + u"”";
}

Text OpenCause(PackReader::OpenFault fault, const Text& systemMessage) {
  switch (fault) {
    case PackReader::OpenFault::kMissing:
      return u"找不到文件";
    case PackReader::OpenFault::kInUse:
      return u"文件正被其他程序打开，请关闭后重新运行";
    case PackReader::OpenFault::kCompoundFile:
      return u"设有打开密码，或是旧版 .xls 文件，请在表格软件中另存为无密码的 .xlsx";
    case PackReader::OpenFault::kSystem:
      if (!systemMessage.empty()) return systemMessage;
      break;
    default:
      break;
  }
  return u"不是有效的 .xlsx 工作簿";
}

Text EntryCause(PackReader::EntryFault fault, const Text& label) {
  using PackReader::EntryFault;
  switch (fault) {
    case EntryFault::kChecksum:
      return label + u"的校验值不符，数据已损坏";
    case EntryFault::kEncrypted:
      return label + u"已加密";
    case EntryFault::kCutShort:
      return u"文件不完整，在" + label + u"中途中断";
    case EntryFault::kLink:
      return label + u"是一个链接，不是文件";
    case EntryFault::kFolder:
      return label + u"是一个文件夹，不是文件";
    case EntryFault::kTooLarge:
      return label + u"解压后超过 2 GB 的上限";
    default:
      return label + u"的数据已损坏";
  }
}

Text WalkCause(PackReader::EntryFault fault) {
  if (fault == PackReader::EntryFault::kCutShort) return u"文件不完整，在结尾之前中断";
  return u"文件结构已损坏";
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
    if (fileName == kSharedStringsName) status.hasSharedStrings = true;
    if (PackReader::extractEntryTo(kWorkbookPack, partsFolder + fileName, &budget) < 0) {
      PackReader::EntryFault entryFault = PackReader::lastEntryFault(kWorkbookPack);
      if (entryFault == PackReader::EntryFault::kNotWritten) {
        fault = WorkbookFault::kCannotOpen;
        cause = u"无法解压到临时文件夹：" + PackReader::lastWriteMessage(kWorkbookPack);
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

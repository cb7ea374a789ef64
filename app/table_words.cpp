#include "app/table_words.h"

#include <iterator>

#include "app/failure_words.h"
#include "text/catalogue.h"

namespace {

// How a failure names the part it is in.
Text partLabel(const WorkbookStatus& status) {
  switch (status.part) {
    case WorkbookPart::kSheet:
      return kSheetLabel;
    case WorkbookPart::kSharedStrings:
      return kSharedStringsLabel;
    case WorkbookPart::kEntry:
      return kEntryLabelOpen + status.failure.detail + kEntryLabelClose;
    case WorkbookPart::kNone:
      break;
  }
  return Text();
}

Text expatWords(int code) {
  constexpr int count = static_cast<int>(std::size(kExpatWords));
  return code > 0 && code < count ? Text(kExpatWords[code]) : Text(kXmlMalformed);
}

// Why the workbook could not be opened; empty when that is not the failure.
Text openCause(const Failure& failure) {
  switch (failure.kind) {
    case ErrorKind::kWorkbookMissing:
      return kWorkbookMissing;
    case ErrorKind::kInUse:
      return kReasonInUse;
    case ErrorKind::kWorkbookLocked:
      return kWorkbookPasswordOrXls;
    case ErrorKind::kNotAWorkbook:
      return kNotAWorkbook;
    case ErrorKind::kWorkbookUnreadable:
      return reasonForError(failure.code);
    case ErrorKind::kNoPartsFolder:
      return reasonForError(failure.code);
    case ErrorKind::kCannotExtract:
      return kCannotExtractOpen + reasonForError(failure.code);
    case ErrorKind::kExtractTargetReadOnly:
      return Text(kCannotExtractOpen) + kTargetReadOnly;
    case ErrorKind::kExtractTargetIsFolder:
      return Text(kCannotExtractOpen) + kTargetIsFolder;
    case ErrorKind::kOutOfMemory:
      return kReasonOutOfMemory;
    default:
      return Text();
  }
}

// What was found in a damaged workbook.
Text damage(const WorkbookStatus& status) {
  const Text label = partLabel(status);
  switch (status.failure.kind) {
    case ErrorKind::kEntryChecksum:
      return label + kEntryChecksum;
    case ErrorKind::kEntryEncrypted:
      return label + kEntryEncrypted;
    case ErrorKind::kEntryCutShort:
      return kEntryCutShortOpen + label + kEntryCutShortClose;
    case ErrorKind::kEntryIsLink:
      return label + kEntryIsLink;
    case ErrorKind::kEntryIsFolder:
      return label + kEntryIsFolder;
    case ErrorKind::kEntryNotAFile:
      return label + kEntryNotAFile;
    case ErrorKind::kEntryTooLarge:
      return label + kEntryTooLarge;
    case ErrorKind::kArchiveCutShort:
      return kArchiveCutShort;
    case ErrorKind::kArchiveDamaged:
      return kArchiveDamaged;
    case ErrorKind::kPartEmpty:
      return label + kPartEmpty;
    case ErrorKind::kPartMissing:
      return label + kPartMissing;
    case ErrorKind::kPartTooLarge:
      return label + kPartTooLarge;
    case ErrorKind::kPartUnreadable:
      return label + kPartUnreadable;
    case ErrorKind::kXmlReadError:
    case ErrorKind::kXmlMalformed:
      return label + kPartLineOpen + intToText(status.line) + kPartLineColumn +
             intToText(status.column) + kPartColumnClose +
             (status.failure.kind == ErrorKind::kXmlReadError ? Text(kXmlReadError)
                                                              : expatWords(status.failure.code));
    default:
      return label + kEntryDamaged;
  }
}

}  // namespace

TableFailureWords tableFailureWords(const Text& workbook, const WorkbookStatus& status) {
  if (!status.failure) return TableFailureWords();
  if (status.failure.kind == ErrorKind::kNoWorksheet)
    return TableFailureWords{kNoWorksheet, kNoWorksheet + (u"：" + workbook)};
  Text cause = openCause(status.failure);
  Text what = cause.empty() ? Text(kDamagedTable) : Text(kCannotOpenTable);
  if (cause.empty()) cause = damage(status);
  return TableFailureWords{what + (u"（" + cause + u"）"),
                           what + (u"：" + workbook + u"（" + cause + u"）")};
}

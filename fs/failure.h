#pragma once
// Why something failed, as a value. Lower layers (fs, pack, xml, workbook)
// say what happened: a kind, the system's code behind it and the detail the
// words need. The words a user reads are made once, at the top, in app/.

#include <utility>

#include "text/text.h"

enum class ErrorKind {
  kNone,     // nothing failed
  kUnknown,  // not a known kind: the system's own message is shown
  kInUse,
  kNoPermission,
  kDiskFull,
  kTooLong,
  kBadName,
  kWriteProtected,
  kDeviceGone,
  kNetworkGone,
  kReadError,
  kSourceVanished,
  kSourceChanged,
  // Refusals of the tree copy itself.
  kNotFileOrFolder,
  kFolderLinkSkipped,
  kDestinationIsLink,
  kFolderInTheWay,
  kFileInTheWay,
  kInsideSource,

  // Reading the relation table (pack/, xml/, workbook/), worded by
  // tableFailureWords (app/table_words.h). kInUse above serves for a
  // workbook held open elsewhere.
  kWorkbookMissing,
  kWorkbookLocked,  // a compound file: a password, or an old binary .xls
  kNotAWorkbook,
  kWorkbookUnreadable,  // code
  kNoPartsFolder,       // code: the run's parts folder could not be made
  kCannotExtract,       // code: a part could not be written to the parts folder
  kExtractTargetReadOnly,
  kExtractTargetIsFolder,
  kOutOfMemory,
  kNoWorksheet,
  // An archive entry that could not be taken out whole.
  kEntryChecksum,
  kEntryEncrypted,
  kEntryCutShort,
  kEntryIsLink,
  kEntryIsFolder,
  kEntryNotAFile,
  kEntryTooLarge,
  kEntryDamaged,
  // The walk over the archive's entries ended in an error.
  kArchiveCutShort,
  kArchiveDamaged,
  // A part taken out whole that cannot be read as XML.
  kPartEmpty,
  kPartMissing,
  kPartTooLarge,
  kPartUnreadable,
  kXmlReadError,
  kXmlMalformed,  // code: expat's error code
};

// What the failed call was doing: the same code means different things to a
// user when it replaced an existing target or read a source file.
enum class ErrorContext { kOther, kReplacingTarget, kReadingSource };

// A failure, or kNone for success. Tests compare kinds; code 0 means no
// system call failed (a refusal of the program's own).
struct Failure {
  Failure() = default;
  Failure(ErrorKind kind, int code = 0, Text detail = Text())
      : kind(kind), code(code), detail(std::move(detail)) {}

  ErrorKind kind = ErrorKind::kNone;
  int code = 0;  // errno, or a Windows error code, behind the kind
  Text detail;   // what the words name beside the kind; empty for most

  explicit operator bool() const { return kind != ErrorKind::kNone; }
};

#pragma once
// Failure reasons in words an office worker can act on. A system error of a
// known kind reads the same on every platform and in every locale; any other
// error keeps the system's own message. The copy's own refusals live here
// too, so that every reason a user reads comes from one list.

#include "text/text.h"

enum class ErrorKind {
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
};

// What the failed call was doing: the same code means different things to a
// user when it replaced an existing target or read a source file.
enum class ErrorContext { kOther, kReplacingTarget, kReadingSource };

// The plain text of a kind; empty for kUnknown.
Text plainReason(ErrorKind kind);
// The kind of a Windows error code. Pure, so every build tests it.
ErrorKind win32ErrorKind(unsigned long code, ErrorContext context);
// The kind of an errno value. POSIX builds only.
ErrorKind posixErrorKind(int code, ErrorContext context);
// The reason to show for an error code of this platform (errno, or a Windows
// error code): the plain text of its kind, else the system's message.
Text reasonForError(int code, ErrorContext context = ErrorContext::kOther);

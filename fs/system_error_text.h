#pragma once
// Failure reasons in words an office worker can act on. A system error of a
// known kind reads the same on every platform and in every locale; any other
// error keeps the system's own message. The copy's own refusals live here
// too, so that every reason a user reads comes from one list.

#include "fs/failure.h"
#include "text/text.h"

// The plain text of a kind; empty for kUnknown.
Text plainReason(ErrorKind kind);
// The kind of a Windows error code. Pure, so every build tests it.
ErrorKind win32ErrorKind(unsigned long code, ErrorContext context);
// The kind of an errno value. POSIX builds only.
ErrorKind posixErrorKind(int code, ErrorContext context);
// The reason to show for an error code of this platform (errno, or a Windows
// error code): the plain text of its kind, else the system's message.
Text reasonForError(int code, ErrorContext context = ErrorContext::kOther);

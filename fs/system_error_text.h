#pragma once
// What a system error code stands for. A code of a known kind reads the same
// on every platform and in every locale once app/ puts it in words; any
// other code keeps the system's own message.

#include "fs/failure.h"
#include "text/text.h"

// The kind of a Windows error code. Pure, so every build tests it.
ErrorKind win32ErrorKind(unsigned long code, ErrorContext context);
// The kind of an errno value. POSIX builds only.
ErrorKind posixErrorKind(int code, ErrorContext context);
// The failure an error code of this platform (errno, or a Windows error code)
// stands for: its kind, and the code for the system's message.
Failure systemFailure(int code, ErrorContext context = ErrorContext::kOther);
// The system's own message for a code, in the system's language; empty when
// it has none.
Text systemMessage(int code);

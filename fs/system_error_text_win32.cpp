#include "fs/native_win32.h"
#include "fs/system_error_text.h"

Failure systemFailure(int code, ErrorContext context) {
  return Failure{win32ErrorKind(static_cast<unsigned long>(code), context), code, Text()};
}

Text systemMessage(int code) { return win32Message(static_cast<unsigned long>(code)); }

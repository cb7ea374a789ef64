#include "fs/native_win32.h"
#include "fs/system_error_text.h"

Text reasonForError(int code, ErrorContext context) {
  unsigned long system = static_cast<unsigned long>(code);
  Text plain = plainReason(win32ErrorKind(system, context));
  return plain.empty() ? win32Message(system) : plain;
}

#pragma once
// A failure in words an office worker can act on. The layers below say what
// failed as a value (fs/failure.h); the words are made here, once, from the
// one list of sentences (text/catalogue.h).

#include "fs/failure.h"
#include "text/text.h"

// The plain words of a file-system kind; empty for kNone, kUnknown and the
// table's kinds (app/table_words.h).
Text plainReason(ErrorKind kind);
// What to tell of a failure: the plain words of its kind, else the system's
// own message for its code, else that the system gave no reason.
Text failureWords(const Failure& failure);
// The words for an error code of this platform.
Text reasonForError(int code, ErrorContext context = ErrorContext::kOther);

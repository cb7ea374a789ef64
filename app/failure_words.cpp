#include "app/failure_words.h"

#include "fs/system_error_text.h"
#include "text/catalogue.h"

Text plainReason(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kNone:
    case ErrorKind::kUnknown:
      return Text();
    case ErrorKind::kInUse:
      return kReasonInUse;
    case ErrorKind::kNoPermission:
      return kReasonNoPermission;
    case ErrorKind::kDiskFull:
      return kReasonDiskFull;
    case ErrorKind::kTooLong:
      return kReasonTooLong;
    case ErrorKind::kBadName:
      return kReasonBadName;
    case ErrorKind::kWriteProtected:
      return kReasonWriteProtected;
    case ErrorKind::kDeviceGone:
      return kReasonDeviceGone;
    case ErrorKind::kNetworkGone:
      return kReasonNetworkGone;
    case ErrorKind::kReadError:
      return kReasonReadError;
    case ErrorKind::kSourceVanished:
      return kReasonSourceVanished;
    case ErrorKind::kSourceChanged:
      return kReasonSourceChanged;
    case ErrorKind::kNotFileOrFolder:
      return kReasonNotFileOrFolder;
    case ErrorKind::kFolderLinkSkipped:
      return kReasonFolderLinkSkipped;
    case ErrorKind::kDestinationIsLink:
      return kReasonDestinationIsLink;
    case ErrorKind::kFolderInTheWay:
      return kReasonFolderInTheWay;
    case ErrorKind::kFileInTheWay:
      return kReasonFileInTheWay;
    case ErrorKind::kInsideSource:
      return kInsideMaterial;
    default:
      // The table's kinds read only with the part, line and column they
      // were found at: app/table_words.cpp words them.
      return Text();
  }
}

Text failureWords(const Failure& failure) {
  Text plain = plainReason(failure.kind);
  if (!plain.empty()) return plain;
  Text system = systemMessage(failure.code);
  // No message for the code: say so without the number, which tells a user nothing.
  return system.empty() ? Text(kReasonNoSystemWords) : system;
}

Text reasonForError(int code, ErrorContext context) {
  return failureWords(systemFailure(code, context));
}

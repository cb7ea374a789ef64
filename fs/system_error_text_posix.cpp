#include <errno.h>
#include <string.h>

#include "fs/system_error_text.h"

ErrorKind posixErrorKind(int code, ErrorContext context) {
  switch (code) {
    case ENOENT:
      return context == ErrorContext::kReadingSource ? ErrorKind::kSourceVanished
                                                     : ErrorKind::kUnknown;
    case EBUSY:
    case ETXTBSY:
      return ErrorKind::kInUse;
    case EACCES:
    case EPERM:
      return ErrorKind::kNoPermission;
    case ENOSPC:
    case EDQUOT:
      return ErrorKind::kDiskFull;
    case ENAMETOOLONG:
      return ErrorKind::kTooLong;
    case EILSEQ:
      return ErrorKind::kBadName;
    case EROFS:
      return ErrorKind::kWriteProtected;
    case ENODEV:
    case ENXIO:
      return ErrorKind::kDeviceGone;
    case ESTALE:
    case ENETDOWN:
    case EHOSTDOWN:
    // A FUSE share whose server has gone, and SMB or NFS connections that
    // broke or stopped answering.
    case ENOTCONN:
    case ECONNABORTED:
    case ECONNRESET:
    case ETIMEDOUT:
      return ErrorKind::kNetworkGone;
    case EIO:
      return ErrorKind::kReadError;
    default:
      return ErrorKind::kUnknown;
  }
}

Failure systemFailure(int code, ErrorContext context) {
  return Failure{posixErrorKind(code, context), code, Text()};
}

Text systemMessage(int code) {
  char buffer[256];
  // The GNU strerror_r returns its message, which need not be in buffer.
  return fromUtf8(strerror_r(code, buffer, sizeof buffer));
}

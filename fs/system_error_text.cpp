// The Windows codes behind the failure kinds. The table is plain data, so
// the Linux build tests it as well.
#include "fs/system_error_text.h"

ErrorKind win32ErrorKind(unsigned long code, ErrorContext context) {
  switch (code) {
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
      return context == ErrorContext::kReadingSource ? ErrorKind::kSourceVanished
                                                     : ErrorKind::kUnknown;
    case 5:  // ERROR_ACCESS_DENIED: what replacing a file gets while another program has it open
      return context == ErrorContext::kReplacingTarget ? ErrorKind::kInUse
                                                       : ErrorKind::kNoPermission;
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return ErrorKind::kInUse;
    case 1314:  // ERROR_PRIVILEGE_NOT_HELD
      return ErrorKind::kNoPermission;
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
      return ErrorKind::kDiskFull;
    case 206:  // ERROR_FILENAME_EXCED_RANGE
      return ErrorKind::kTooLong;
    case 123:  // ERROR_INVALID_NAME
    case 161:  // ERROR_BAD_PATHNAME
      return ErrorKind::kBadName;
    case 19:  // ERROR_WRITE_PROTECT
      return ErrorKind::kWriteProtected;
    case 21:    // ERROR_NOT_READY
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
      return ErrorKind::kDeviceGone;
    case 53:    // ERROR_BAD_NETPATH
    case 59:    // ERROR_UNEXP_NET_ERR
    case 64:    // ERROR_NETNAME_DELETED
    case 67:    // ERROR_BAD_NET_NAME
    case 121:   // ERROR_SEM_TIMEOUT: the server stopped answering
    case 1231:  // ERROR_NETWORK_UNREACHABLE
    case 1232:  // ERROR_HOST_UNREACHABLE
      return ErrorKind::kNetworkGone;
    case 23:    // ERROR_CRC
    case 1117:  // ERROR_IO_DEVICE
      return ErrorKind::kReadError;
    default:
      return ErrorKind::kUnknown;
  }
}

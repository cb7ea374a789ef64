// The texts of the failure kinds, and the Windows codes behind them. The
// Windows table is plain data, so the Linux build tests it as well.
#include "fs/system_error_text.h"

Text plainReason(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kUnknown:
      return Text();
    case ErrorKind::kInUse:
      return u"文件正被其他程序打开，请关闭后重新运行";
    case ErrorKind::kNoPermission:
      return u"没有权限（文件或文件夹可能是只读或受保护的）";
    case ErrorKind::kDiskFull:
      return u"磁盘空间不足";
    case ErrorKind::kTooLong:
      return u"路径或文件名过长";
    case ErrorKind::kBadName:
      return u"名称中含有系统不允许的字符";
    case ErrorKind::kWriteProtected:
      return u"磁盘处于写保护状态";
    case ErrorKind::kDeviceGone:
      return u"磁盘或设备不可用（是否已拔出？）";
    case ErrorKind::kNetworkGone:
      return u"网络共享文件夹不可用";
    case ErrorKind::kReadError:
      return u"读写出错，磁盘可能有问题";
    case ErrorKind::kSourceVanished:
      return u"源文件在同步时被删除或移走";
    case ErrorKind::kSourceChanged:
      return u"复制时源文件被修改，已保留原有文件";
    case ErrorKind::kNotFileOrFolder:
      return u"不是普通文件或文件夹，已跳过";
    case ErrorKind::kFolderLinkSkipped:
      return u"链接指向文件夹，已跳过";
    case ErrorKind::kDestinationIsLink:
      return u"目标位置是一个链接，为安全起见未向其中写入";
    case ErrorKind::kFolderInTheWay:
      return u"目标处已有同名文件夹，无法放入文件";
    case ErrorKind::kFileInTheWay:
      return u"目标处已有同名文件，无法建立文件夹";
    case ErrorKind::kInsideSource:
      return u"目标位于材料文件夹内";
  }
  return Text();
}

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
    case 53:  // ERROR_BAD_NETPATH
    case 59:  // ERROR_UNEXP_NET_ERR
    case 64:  // ERROR_NETNAME_DELETED
    case 67:  // ERROR_BAD_NET_NAME
      return ErrorKind::kNetworkGone;
    case 23:    // ERROR_CRC
    case 1117:  // ERROR_IO_DEVICE
      return ErrorKind::kReadError;
    default:
      return ErrorKind::kUnknown;
  }
}

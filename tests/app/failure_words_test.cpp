#include "app/failure_words.h"

#include "fs/system_error_text.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <errno.h>
#include <locale.h>
#endif

namespace {

const Text kInUse = u"文件正被其他程序打开，请关闭后重新运行";
const Text kNoPermission = u"没有权限（文件或文件夹可能是只读或受保护的）";
const Text kVanished = u"源文件在同步时被删除或移走";

Text win32(unsigned long code, ErrorContext context = ErrorContext::kOther) {
  return plainReason(win32ErrorKind(code, context));
}

}  // namespace

TEST(FailureWords, Win32CodesOfTheTableReadAsPlainWords) {
  for (unsigned long code : {32ul, 33ul}) EXPECT_EQ(kInUse, win32(code)) << code;
  // Access denied while replacing a target: another program has it open.
  EXPECT_EQ(kInUse, win32(5, ErrorContext::kReplacingTarget));
  EXPECT_EQ(kNoPermission, win32(5));
  EXPECT_EQ(kNoPermission, win32(5, ErrorContext::kReadingSource));
  EXPECT_EQ(kNoPermission, win32(1314));
  for (unsigned long code : {39ul, 112ul}) EXPECT_EQ(u"磁盘空间不足", win32(code));
  EXPECT_EQ(u"路径或文件名过长", win32(206));
  for (unsigned long code : {123ul, 161ul}) EXPECT_EQ(u"名称中含有系统不允许的字符", win32(code));
  EXPECT_EQ(u"磁盘处于写保护状态", win32(19));
  for (unsigned long code : {21ul, 1167ul})
    EXPECT_EQ(u"磁盘或设备不可用（是否已拔出？）", win32(code));
  // The server gone, unreachable, or not answering in time.
  for (unsigned long code : {53ul, 59ul, 64ul, 67ul, 121ul, 1231ul, 1232ul})
    EXPECT_EQ(u"网络共享文件夹不可用", win32(code)) << code;
  for (unsigned long code : {23ul, 1117ul}) EXPECT_EQ(u"读写出错，磁盘可能有问题", win32(code));
  // "Not found" means the source vanished only when a source was read.
  for (unsigned long code : {2ul, 3ul}) {
    EXPECT_EQ(kVanished, win32(code, ErrorContext::kReadingSource));
    EXPECT_EQ(ErrorKind::kUnknown, win32ErrorKind(code, ErrorContext::kOther));
    EXPECT_EQ(ErrorKind::kUnknown, win32ErrorKind(code, ErrorContext::kReplacingTarget));
  }
  // Codes outside the table keep the system's message.
  for (unsigned long code : {0ul, 1ul, 4ul, 183ul, 0xFFFFFFFFul})
    EXPECT_EQ(ErrorKind::kUnknown, win32ErrorKind(code, ErrorContext::kReplacingTarget)) << code;
}

TEST(FailureWords, EveryKindHasItsOwnChineseText) {
  std::vector<Text> seen;
  for (int k = static_cast<int>(ErrorKind::kInUse); k <= static_cast<int>(ErrorKind::kInsideSource);
       ++k) {
    Text text = plainReason(static_cast<ErrorKind>(k));
    ASSERT_FALSE(text.empty()) << k;
    for (char16_t c : text) EXPECT_FALSE((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) << k;
    for (const Text& other : seen) EXPECT_NE(other, text);
    seen.push_back(text);
  }
  EXPECT_TRUE(plainReason(ErrorKind::kUnknown).empty());
}

#ifndef _WIN32
TEST(FailureWords, PosixCodesOfTheTableReadAsPlainWordsInAnyLocale) {
  // The C library's own messages follow the locale; the table's do not.
  const char* saved = setlocale(LC_ALL, nullptr);
  std::string keep = saved != nullptr ? saved : "C";
  for (const char* locale : {"C", "C.UTF-8", "zh_CN.UTF-8", "de_DE.UTF-8"}) {
    if (setlocale(LC_ALL, locale) == nullptr) continue;
    SCOPED_TRACE(locale);
    for (int code : {EBUSY, ETXTBSY}) EXPECT_EQ(kInUse, reasonForError(code));
    for (int code : {EACCES, EPERM}) EXPECT_EQ(kNoPermission, reasonForError(code));
    EXPECT_EQ(kNoPermission, reasonForError(EACCES, ErrorContext::kReplacingTarget));
    for (int code : {ENOSPC, EDQUOT}) EXPECT_EQ(u"磁盘空间不足", reasonForError(code));
    EXPECT_EQ(u"路径或文件名过长", reasonForError(ENAMETOOLONG));
    EXPECT_EQ(u"名称中含有系统不允许的字符", reasonForError(EILSEQ));
    EXPECT_EQ(u"磁盘处于写保护状态", reasonForError(EROFS));
    for (int code : {ENODEV, ENXIO})
      EXPECT_EQ(u"磁盘或设备不可用（是否已拔出？）", reasonForError(code));
    for (int code : {ESTALE, ENETDOWN, EHOSTDOWN, ENOTCONN, ECONNABORTED, ECONNRESET, ETIMEDOUT})
      EXPECT_EQ(u"网络共享文件夹不可用", reasonForError(code));
    EXPECT_EQ(u"读写出错，磁盘可能有问题", reasonForError(EIO));
    EXPECT_EQ(kVanished, reasonForError(ENOENT, ErrorContext::kReadingSource));
    // Outside the table, or not a source: the C library's message.
    EXPECT_EQ(fromUtf8(strerror(ENOENT)), reasonForError(ENOENT));
    EXPECT_EQ(fromUtf8(strerror(ELOOP)), reasonForError(ELOOP, ErrorContext::kReadingSource));
  }
  setlocale(LC_ALL, keep.c_str());
}
#endif

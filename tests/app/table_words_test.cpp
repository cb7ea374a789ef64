// Each way a table can fail to be read, in the words the log, the summary
// and the end dialog have always used for it.

#include "app/table_words.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

WorkbookStatus S(ErrorKind kind, WorkbookPart part = WorkbookPart::kNone, int code = 0,
                 const Text& detail = Text(), int64_t line = 0, int64_t column = 0) {
  return WorkbookStatus{Failure{kind, code, detail}, part, line, column, false};
}

TEST(TableWords, EveryKindHasItsSentence) {
  using K = ErrorKind;
  using P = WorkbookPart;
  const Text open = u"无法打开关系表", damaged = u"关系表已损坏";
  const Text extract = u"无法解压到临时文件夹：";
  const struct {
    WorkbookStatus status;
    Text what, cause;
  } cases[] = {
      {S(K::kWorkbookMissing), open, u"找不到文件"},
      {S(K::kInUse), open, u"文件正被其他程序打开，请关闭后重新运行"},
      {S(K::kWorkbookLocked), open,
       u"设有打开密码，或是旧版 .xls 文件，请在表格软件中另存为无密码的 .xlsx"},
      {S(K::kNotAWorkbook), open, u"不是有效的 .xlsx 工作簿"},
      {S(K::kWorkbookUnreadable, P::kNone, EACCES), open, u"没有权限（文件或文件夹可能是只读或受保护的）"},
      {S(K::kNoPartsFolder, P::kNone, ENOSPC), open, u"磁盘空间不足"},
      {S(K::kCannotExtract, P::kNone, ENOSPC), open, extract + u"磁盘空间不足"},
      {S(K::kExtractTargetReadOnly), open, extract + u"目标文件是只读的"},
      {S(K::kExtractTargetIsFolder), open, extract + u"目标是一个文件夹"},
      {S(K::kOutOfMemory), open,
       u"内存不足：表格太大，请删去不用的内容，或在 64 位 Windows 上改用 varnelo.exe"},
      {S(K::kEntryChecksum, P::kSharedStrings), damaged, u"共享字符串的校验值不符，数据已损坏"},
      {S(K::kEntryEncrypted, P::kSheet), damaged, u"工作表已加密"},
      {S(K::kEntryCutShort, P::kSharedStrings), damaged, u"文件不完整，在共享字符串中途中断"},
      {S(K::kEntryIsLink, P::kSheet), damaged, u"工作表是一个链接，不是文件"},
      {S(K::kEntryIsFolder, P::kSheet), damaged, u"工作表是一个文件夹，不是文件"},
      {S(K::kEntryNotAFile, P::kEntry, 0, u"a/.."), damaged, u"条目“a/..”不是文件"},
      {S(K::kEntryTooLarge, P::kEntry, 0, u"b"), damaged, u"条目“b”解压后超过 2 GB 的上限"},
      {S(K::kEntryDamaged, P::kSharedStrings), damaged, u"共享字符串的数据已损坏"},
      {S(K::kArchiveCutShort), damaged, u"文件不完整，在结尾之前中断"},
      {S(K::kArchiveDamaged), damaged, u"文件结构已损坏"},
      {S(K::kPartEmpty, P::kSheet), damaged, u"工作表是空的"},
      {S(K::kPartMissing, P::kSharedStrings), damaged, u"共享字符串不存在"},
      {S(K::kPartTooLarge, P::kSheet), damaged, u"工作表超过 2 GB 的上限"},
      {S(K::kPartUnreadable, P::kSheet), damaged, u"工作表无法读取"},
      {S(K::kXmlReadError, P::kSheet, 256), damaged, u"工作表第 0 行第 0 列：读取文件时出错"},
      {S(K::kXmlMalformed, P::kSheet, 7, {}, 4, 17), damaged,
       u"工作表第 4 行第 17 列：开始标记与结束标记不一致"},
      {S(K::kXmlMalformed, P::kSharedStrings, 43, {}, 1, 2), damaged,
       u"共享字符串第 1 行第 2 列：实体展开过多，疑为恶意文件"},
      {S(K::kXmlMalformed, P::kSheet, 99, {}, 1, 2), damaged, u"工作表第 1 行第 2 列：格式错误"},
  };
  const Text workbook = u"/程序/0-所有履职材料/履职材料同步关系表.xlsx";
  for (const auto& c : cases) {
    TableFailureWords words = tableFailureWords(workbook, c.status);
    EXPECT_EQ(c.what + u"（" + c.cause + u"）", words.headline) << toUtf8(c.cause);
    EXPECT_EQ(c.what + u"：" + workbook + u"（" + c.cause + u"）", words.logged);
  }
  TableFailureWords noSheet = tableFailureWords(workbook, S(K::kNoWorksheet));
  EXPECT_EQ(u"关系表缺少工作表", noSheet.headline);
  EXPECT_EQ(u"关系表缺少工作表：" + workbook, noSheet.logged);
  EXPECT_TRUE(tableFailureWords(workbook, WorkbookStatus()).logged.empty());
}

}  // namespace

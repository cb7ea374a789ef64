#pragma once
// Every sentence the program shows a user, in one place: log reasons,
// headlines, dialog texts, notices, the record and the window's own words.
// A reviewer reads them together here, and none is written twice. Pieces
// that a value completes say where it goes.

// The window shells' own words.
inline constexpr char16_t kOkButton[] = u"确定";
inline constexpr char16_t kRetryButton[] = u"重新同步(R)";

// Window titles and the dialog's title.
inline constexpr char16_t kTitleAtStart[] = u"Varnelo";
inline constexpr char16_t kTitleGroupOpen[] = u"Varnelo-当前同步【";  // + group + "】"
inline constexpr char16_t kTitleDone[] = u"Varnelo-完成";
inline constexpr char16_t kSummaryTitle[] = u"同步提示";

// The summary text and the log's marks.
inline constexpr char16_t kSummaryFirstLine[] = u"【同步完毕】同步内容：\r\n";
inline constexpr char16_t kFailurePrefix[] = u"【失败】";
inline constexpr char16_t kNoticePrefix[] = u"【提示】";
inline constexpr char16_t kBlockCountOpen[] = u"共 ";    // + N +
inline constexpr char16_t kBlockCountClose[] = u" 项：\r\n";

// Headlines of the end dialog.
inline constexpr char16_t kHeadlineNoTable[] = u"未能同步：";  // + why
inline constexpr char16_t kHeadlineDoneOpen[] = u"同步完成：共 ";  // + M +
inline constexpr char16_t kHeadlineDoneTargets[] = u" 个目标，";
inline constexpr char16_t kHeadlineAllWell[] = u"全部成功。";
inline constexpr char16_t kHeadlineSomeFailedOpen[] = u"其中 ";  // + N +
inline constexpr char16_t kHeadlineSomeFailedClose[] = u" 项未能完成，详见下方【失败】。";

// Why a destination was not made or filled.
inline constexpr char16_t kEmptyEntryName[] = u"条目名称为空";
inline constexpr char16_t kEmptyFolderName[] = u"目标文件夹名为空";
inline constexpr char16_t kNameTooLong[] = u"名称过长";
inline constexpr char16_t kLeavesProgramFolder[] = u"路径超出程序文件夹";
inline constexpr char16_t kThroughLink[] = u"路径经过链接";
inline constexpr char16_t kInsideMaterial[] = u"目标位于材料文件夹内";
inline constexpr char16_t kNoMaterialFolder[] = u"找不到材料文件夹 ";  // + path
inline constexpr char16_t kCannotCreateOpen[] = u"无法创建文件夹（";  // + why + "）"
inline constexpr char16_t kFilesFailedOpen[] = u"有 ";  // + N +
inline constexpr char16_t kFilesFailedExample[] = u" 个文件未能复制，例如 ";  // + path + "（" + why + "）"
inline constexpr char16_t kReplacedMiddle[] = u" 个文件替换了“";  // "有 " + N + this + entry +
inline constexpr char16_t kReplacedExample[] = u"”材料中的同名文件，例如 ";  // + path +
inline constexpr char16_t kReplacedAdvice[] = u"（请改名后重新同步）";
// A destination's old copies: "有 " + N + this + the first one's path.
inline constexpr char16_t kOldCopiesMiddle[] = u" 个文件在材料中已没有，未删除，例如 ";
inline constexpr char16_t kBusyFolder[] = u"另一个同步正在此文件夹中进行，本次未执行";
inline constexpr char16_t kProgramFolderUnknown[] = u"无法确定程序所在的文件夹";

// Why no table could be read.
inline constexpr char16_t kCannotOpenTable[] = u"无法打开关系表";  // + "：" + path + "（" + why + "）"
inline constexpr char16_t kNoWorksheet[] = u"关系表缺少工作表";  // + "：" + path
inline constexpr char16_t kDamagedTable[] = u"关系表已损坏";  // + "：" + path + "（" + what + "）"
inline constexpr char16_t kWorkbookMissing[] = u"找不到文件";
inline constexpr char16_t kWorkbookPasswordOrXls[] =
    u"设有打开密码，或是旧版 .xls 文件，请在表格软件中另存为无密码的 .xlsx";
inline constexpr char16_t kNotAWorkbook[] = u"不是有效的 .xlsx 工作簿";
inline constexpr char16_t kCannotExtractOpen[] = u"无法解压到临时文件夹：";  // + why
inline constexpr char16_t kSheetLabel[] = u"工作表";
inline constexpr char16_t kSharedStringsLabel[] = u"共享字符串";
inline constexpr char16_t kEntryLabelOpen[] = u"条目“";  // + name + "”"
inline constexpr char16_t kEntryLabelClose[] = u"”";
inline constexpr char16_t kEntryChecksum[] = u"的校验值不符，数据已损坏";  // label +
inline constexpr char16_t kEntryEncrypted[] = u"已加密";  // label +
inline constexpr char16_t kEntryCutShortOpen[] = u"文件不完整，在";  // + label +
inline constexpr char16_t kEntryCutShortClose[] = u"中途中断";
inline constexpr char16_t kEntryIsLink[] = u"是一个链接，不是文件";  // label +
inline constexpr char16_t kEntryIsFolder[] = u"是一个文件夹，不是文件";  // label +
inline constexpr char16_t kEntryNotAFile[] = u"不是文件";  // label +
inline constexpr char16_t kEntryTooLarge[] = u"解压后超过 2 GB 的上限";  // label +
inline constexpr char16_t kEntryDamaged[] = u"的数据已损坏";  // label +
inline constexpr char16_t kArchiveCutShort[] = u"文件不完整，在结尾之前中断";
inline constexpr char16_t kArchiveDamaged[] = u"文件结构已损坏";
inline constexpr char16_t kPartLineOpen[] = u"第 ";  // label + this + line +
inline constexpr char16_t kPartLineColumn[] = u" 行第 ";  // + column +
inline constexpr char16_t kPartColumnClose[] = u" 列：";  // + what is wrong
inline constexpr char16_t kPartEmpty[] = u"是空的";  // label +
inline constexpr char16_t kPartMissing[] = u"不存在";
inline constexpr char16_t kPartTooLarge[] = u"超过 2 GB 的上限";
inline constexpr char16_t kPartUnreadable[] = u"无法读取";
inline constexpr char16_t kTargetReadOnly[] = u"目标文件是只读的";
inline constexpr char16_t kTargetIsFolder[] = u"目标是一个文件夹";
inline constexpr char16_t kXmlReadError[] = u"读取文件时出错";
inline constexpr char16_t kXmlMalformed[] = u"格式错误";

// Indexed by expat's error code; each says what is wrong at the place given.
inline constexpr const char16_t* kExpatWords[] = {
    u"",
    u"内存不足，无法读完",
    u"语法错误",
    u"找不到任何内容（文件不是 XML 格式）",
    u"含有不允许的字符或写法（文件可能不是 XML 格式）",
    u"内容在标记中途结束",
    u"字符不完整",
    u"开始标记与结束标记不一致",
    u"同一属性出现了两次",
    u"文档结束后还有多余内容",
    u"不允许的参数实体引用",
    u"引用了未定义的实体",
    u"实体引用了自身",
    u"不允许的异步实体",
    u"字符引用无效",
    u"引用了二进制实体",
    u"属性中引用了外部实体",
    u"XML 声明不在文件开头",
    u"未知的字符编码",
    u"声明的字符编码与内容不符",
    u"CDATA 段没有结束",
    u"外部实体处理出错",
    u"文档不是独立的",
    u"读取器状态异常",
    u"参数实体中声明了实体",
    u"需要文档类型定义的支持",
    u"读取开始后不能更改设置",
    u"使用了未声明的命名空间前缀",
    u"不能取消命名空间前缀的声明",
    u"参数实体不完整",
    u"XML 声明写法有误",
    u"文本声明写法有误",
    u"公共标识符中含有不允许的字符",
    u"读取已暂停",
    u"读取未暂停",
    u"读取已中止",
    u"读取已结束",
    u"不能暂停参数实体的读取",
    u"保留的前缀 xml 用法有误",
    u"保留的前缀 xmlns 用法有误",
    u"保留的命名空间地址用法有误",
    u"参数无效",
    u"内存不足，无法读完",
    u"实体展开过多，疑为恶意文件",
};

// Failures in plain words, whatever the system and its language.
inline constexpr char16_t kReasonInUse[] = u"文件正被其他程序打开，请关闭后重新运行";
inline constexpr char16_t kReasonNoPermission[] = u"没有权限（文件或文件夹可能是只读或受保护的）";
inline constexpr char16_t kReasonDiskFull[] = u"磁盘空间不足";
inline constexpr char16_t kReasonTooLong[] = u"路径或文件名过长";
inline constexpr char16_t kReasonBadName[] = u"名称中含有系统不允许的字符";
inline constexpr char16_t kReasonWriteProtected[] = u"磁盘处于写保护状态";
inline constexpr char16_t kReasonDeviceGone[] = u"磁盘或设备不可用（是否已拔出？）";
inline constexpr char16_t kReasonNetworkGone[] = u"网络共享文件夹不可用";
inline constexpr char16_t kReasonReadError[] = u"读写出错，磁盘可能有问题";
inline constexpr char16_t kReasonSourceVanished[] = u"源文件在同步时被删除或移走";
inline constexpr char16_t kReasonSourceChanged[] = u"复制时源文件被修改，已保留原有文件";
inline constexpr char16_t kReasonNotFileOrFolder[] = u"不是普通文件或文件夹，已跳过";
inline constexpr char16_t kReasonFolderLinkSkipped[] = u"链接指向文件夹，已跳过";
inline constexpr char16_t kReasonDestinationIsLink[] = u"目标位置是一个链接，为安全起见未向其中写入";
inline constexpr char16_t kReasonFolderInTheWay[] = u"目标处已有同名文件夹，无法放入文件";
inline constexpr char16_t kReasonFileInTheWay[] = u"目标处已有同名文件，无法建立文件夹";
inline constexpr char16_t kReasonNoSystemWords[] = u"操作未能完成，系统没有给出原因";
inline constexpr char16_t kReasonOutOfMemory[] =
    u"内存不足：表格太大，请删去不用的内容，或在 64 位 Windows 上改用 varnelo.exe";

// A cell that holds full-width list marks.
inline constexpr char16_t kNoticeCellOpen[] = u"单元格 ";  // + reference + "（" + group + " / " + entry +
inline constexpr char16_t kNoticeTyped[] = u"）中的「";  // + the cell's text +
inline constexpr char16_t kNoticeMarks[] = u"」含有全角标点「";  // + the marks +
inline constexpr char16_t kNoticeAdvice[] =
    u"」，已按一个文件夹名处理；若要分成多个文件夹，请改用半角逗号 , 或分号 ;";

// A material folder that no row names, and the one near a missing one's name.
inline constexpr char16_t kNoticeUnlistedOpen[] = u"材料文件夹“";  // + name +
inline constexpr char16_t kNoticeUnlistedClose[] = u"”未列入关系表，没有同步";
inline constexpr char16_t kNearMaterialOpen[] = u"（材料中有“";  // + name +
inline constexpr char16_t kNearMaterialClose[] = u"”，是否写错了？）";

// The progress strip and the end line.
inline constexpr char16_t kStatusTargetOpen[] = u"第 ";  // + n + " / " + M +
inline constexpr char16_t kStatusTargetClose[] = u" 个目标";
inline constexpr char16_t kStatusSeparator[] = u" · ";
inline constexpr char16_t kStatusCopied[] = u"已复制 ";  // + done + " / " + total
inline constexpr char16_t kStatusTimeLeft[] = u"约剩 ";  // + time
inline constexpr char16_t kSeconds[] = u" 秒";
inline constexpr char16_t kMinutes[] = u" 分钟";
inline constexpr char16_t kEndLineOpen[] = u"完成：";  // + M +
inline constexpr char16_t kEndLineTargets[] = u" 个目标，复制 ";  // + N +
inline constexpr char16_t kEndLineFiles[] = u" 个文件（";  // + size +
inline constexpr char16_t kEndLineUnchanged[] = u"），";  // + K +
inline constexpr char16_t kEndLineUnchangedFiles[] = u" 个文件无变化";
inline constexpr char16_t kEndLineLockFiles[] = u" 个锁定文件未复制";  // "，" + L +
inline constexpr char16_t kEndLineOldCopies[] = u" 个旧文件未删除（材料中已没有）";  // "，" + O +
inline constexpr char16_t kEndLineFailures[] = u" 项失败";  // "，" + F +

// Under the headline of the end dialog.
inline constexpr char16_t kRecordSaved[] = u"记录已保存：";  // + path
inline constexpr char16_t kRecordNotSaved[] = u"记录未能保存（";  // + why + "）"
inline constexpr char16_t kWhereThingsGo[] =
    u"请在程序所在的文件夹中建立「0-所有履职材料」文件夹，放入关系表「履职材料同步关系表.xlsx」和"
    u"每个人的材料文件夹。关系表第 2 行从 D 列起写目标文件夹名，C 列从第 3 行起写材料文件夹名。";

// The run record.
inline constexpr char16_t kRecordFolder[] = u"同步记录";
inline constexpr char16_t kRecordFileOpen[] = u"同步记录 ";  // + "YYYY-MM-DD HH.MM.SS" + ".txt"
inline constexpr char16_t kRecordStarted[] = u"开始时间：";
inline constexpr char16_t kRecordEnded[] = u"结束时间：";
inline constexpr char16_t kRecordProgramFolder[] = u"程序文件夹：";
// Every old copy in full, after the summary.
inline constexpr char16_t kRecordOldCopies[] = u"材料中已没有、未删除的文件和文件夹：";

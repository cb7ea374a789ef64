// The rules of the tree copy that hold on every platform, run by the Linux
// suite and by the Windows one under Wine. What only one platform has (links,
// permission bits, junctions, files held open) is in its own suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fs/copy_tree.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "support/temp_folder.h"

namespace stdfs = std::filesystem;

namespace {

const Text S(1, kSeparator);

stdfs::path fsPath(const Text& path) { return stdfs::u8path(native(path)); }

void makeReadOnly(const Text& path) {
  stdfs::permissions(fsPath(path), stdfs::perms::owner_write | stdfs::perms::group_write |
                                       stdfs::perms::others_write,
                     stdfs::perm_options::remove);
}

bool isReadOnly(const Text& path) {
  return (stdfs::status(fsPath(path)).permissions() & stdfs::perms::owner_write) ==
         stdfs::perms::none;
}

void setTime(const Text& path, int seconds) {
  stdfs::last_write_time(fsPath(path),
                         stdfs::file_time_type(std::chrono::seconds(seconds)));
}

int partFilesIn(const Text& folder) {
  int count = 0;
  std::error_code error;
  for (auto& entry : stdfs::directory_iterator(fsPath(folder), error))
    if (isPartName(fromUtf8(entry.path().filename().string()))) ++count;
  return count;
}

class CopyRulesTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    src = dir + u"src" + S;
    dst = dir + u"dst" + S;
    makePath(src + u"s" + S);
    writeFile(src + u"a.txt", "alpha");
    writeFile(src + u"readme", "no dot");
    writeFile(src + u"s" + S + u"c.txt", "gamma");
  }
  Text src, dst;
};

// What the hook does to the source file while it is copied: shrink it, grow
// it, or rewrite it in place with a new time.
Text changingFile;
int changeMode = 0;
void changeSourceOnce() {
  if (changeMode == 1) stdfs::resize_file(fsPath(changingFile), 3);
  if (changeMode == 2) std::ofstream(fsPath(changingFile), std::ios::app) << "more";
  if (changeMode == 3) {
    std::fstream(fsPath(changingFile), std::ios::in | std::ios::out) << "XXXX";
    setTime(changingFile, 1600000000);
  }
  changeMode = 0;
}

int64_t reportedBytes = 0;
void countBytes(void*, int64_t bytes, bool) { reportedBytes += bytes; }

}  // namespace

TEST_F(CopyRulesTest, TheFlagsDecideWhatIsCopied) {
  makePath(dst);
  EXPECT_EQ(1, copyTree(src, dst, kCopyRecursive | kCopyForce));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
  EXPECT_EQ("no dot", readFile(dst + u"readme"));
  EXPECT_EQ("gamma", readFile(dst + u"s" + S + u"c.txt"));
  // With or without its trailing separator, the source gives the same copy,
  // and without the recursive flag its folders are left out.
  EXPECT_EQ(1, copyTree(dir + u"src", dir + u"flat", kCopyForce));
  EXPECT_EQ("alpha", readFile(dir + u"flat" + S + u"a.txt"));
  EXPECT_FALSE(pathExists(dir + u"flat" + S + u"s"));
  // A missing source, or a destination without a parent, creates nothing.
  EXPECT_EQ(0, copyTree(dir + u"absent" + S, dir + u"none", 3));
  EXPECT_FALSE(pathExists(dir + u"none"));
  EXPECT_EQ(0, copyTree(src, dir + u"no" + S + u"parent", 3));
  EXPECT_FALSE(pathExists(dir + u"no"));
}

TEST_F(CopyRulesTest, ReadOnlyTargetsNeedTheForceFlag) {
  makePath(dst);
  writeFile(dst + u"a.txt", "old and longer");
  makeReadOnly(dst + u"a.txt");
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, kCopyRecursive, &report));
  EXPECT_EQ("old and longer", readFile(dst + u"a.txt"));
  EXPECT_EQ("gamma", readFile(dst + u"s" + S + u"c.txt"));  // the rest is still copied
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dst + u"a.txt", report.firstFailedPath);
  EXPECT_EQ(ErrorKind::kNoPermission, report.firstFailure.kind);
  EXPECT_EQ(1, copyTree(src, dst, kCopyRecursive | kCopyForce));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
  EXPECT_EQ(0, partFilesIn(dst));
}

TEST_F(CopyRulesTest, ADestinationInsideTheSourceIsRefused) {
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, src + u"s" + S + u"inner" + S, 3, &report));
  EXPECT_FALSE(pathExists(src + u"s" + S + u"inner"));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(ErrorKind::kInsideSource, report.firstFailure.kind);
  EXPECT_EQ(0, copyTree(src, src, 3));
  EXPECT_EQ(0, copyTree(src, src + u"." + S + u"s" + S + u".." + S + u"new", 3));
  EXPECT_EQ(1, copyTree(src, dir + u"src2", 3));  // a name that only starts alike
}

TEST_F(CopyRulesTest, UnchangedFilesAreNotCopiedAgain) {
  setTime(src + u"a.txt", 1700000000);
  ASSERT_EQ(1, copyTree(src, dst, 3));
  EXPECT_EQ(stdfs::last_write_time(fsPath(src + u"a.txt")),
            stdfs::last_write_time(fsPath(dst + u"a.txt")));
  // Same size and time: left alone, which a changed byte proves.
  writeFile(dst + u"a.txt", "ALPHA");
  setTime(dst + u"a.txt", 1700000000);
  CopyReport again;
  ASSERT_EQ(1, copyTree(src, dst, 3, &again));
  EXPECT_EQ("ALPHA", readFile(dst + u"a.txt"));
  EXPECT_EQ(3, again.unchangedFiles);
  EXPECT_EQ(0, again.copiedFiles);
  setTime(src + u"a.txt", 1700000100);
  ASSERT_EQ(1, copyTree(src, dst, 3));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
}

TEST_F(CopyRulesTest, ASourceThatChangesWhileCopiedKeepsTheOldTarget) {
  // Everything else in place first, so that a.txt is the only file copied.
  ASSERT_EQ(1, copyTree(src, dst, 3));
  copyChunkHook = changeSourceOnce;
  // Shrunk, grown, rewritten in place: the target that was there stays, read
  // only as it was, the one that was not is not made, and no part file is left.
  for (int mode = 1; mode <= 3; ++mode) {
    SCOPED_TRACE(mode);
    deleteFile(dst + u"a.txt", kForceDelete);
    writeFile(dst + u"a.txt", "old");
    makeReadOnly(dst + u"a.txt");
    writeFile(src + u"a.txt", "alpha and more");
    changingFile = src + u"a.txt";
    changeMode = mode;
    CopyReport report;
    EXPECT_EQ(0, copyTree(src, dst, 3, &report));
    EXPECT_EQ(1, report.failedEntries);
    EXPECT_EQ(dst + u"a.txt", report.firstFailedPath);
    EXPECT_EQ(ErrorKind::kSourceChanged, report.firstFailure.kind);
    EXPECT_EQ("old", readFile(dst + u"a.txt"));
    EXPECT_TRUE(isReadOnly(dst + u"a.txt"));
    EXPECT_EQ(0, partFilesIn(dst));
    // Into a folder the copy makes itself, from a source holding a.txt alone.
    Text lone = dir + u"lone" + intToText(mode) + S, fresh = dir + u"fresh" + intToText(mode) + S;
    makePath(lone);
    writeFile(lone + u"a.txt", "alpha and more");
    changingFile = lone + u"a.txt";
    changeMode = mode;
    EXPECT_EQ(0, copyTree(lone, fresh, 3));
    EXPECT_FALSE(pathExists(fresh + u"a.txt"));
    EXPECT_EQ(0, partFilesIn(fresh));
  }
  copyChunkHook = nullptr;
  // Left alone, the same file copies.
  EXPECT_EQ(1, copyTree(src, dst, 3));
  EXPECT_EQ(readFile(src + u"a.txt"), readFile(dst + u"a.txt"));
}

TEST_F(CopyRulesTest, OfficeLockFilesAreCountedButNeverCopiedAndEveryByteIsReported) {
  writeFile(src + u"报告.docx", "document");
  writeFile(src + u"~$报告.docx", "owner");             // Microsoft Office, WPS on Windows
  writeFile(src + u".~lock.报告.docx#", "owner");       // LibreOffice
  writeFile(src + u".~报告.docx", "owner");             // WPS on Linux, beside its document
  writeFile(src + u"s" + S + u"~$表.xlsx", "owner");
  writeFile(src + u".~config", "a user's hidden file");  // no document of that name
  writeFile(src + u"~$", "just the mark");
  writeFile(src + u"big.bin", std::string(3 << 20, 'b'));
  TreeSize size;
  ASSERT_TRUE(measureTree(src, size));
  EXPECT_EQ(7, size.files);  // a.txt, readme, s/c.txt, 报告.docx, .~config, ~$ and big.bin
  EXPECT_EQ(5 + 6 + 5 + 8 + 20 + 13 + (3 << 20), size.bytes);
  CopyReport report;
  report.progress = countBytes;
  reportedBytes = 0;
  EXPECT_EQ(1, copyTree(src, dst, 3, &report));
  EXPECT_EQ(4, report.lockFiles);
  EXPECT_EQ(size.files, report.copiedFiles);
  EXPECT_EQ(size.bytes, report.copiedBytes);
  EXPECT_EQ(size.bytes, reportedBytes);
  EXPECT_EQ("document", readFile(dst + u"报告.docx"));
  for (const char16_t* lock : {u"~$报告.docx", u".~lock.报告.docx#", u".~报告.docx", u"s/~$表.xlsx"})
    EXPECT_FALSE(pathExists(dst + lock)) << toUtf8(lock);
  EXPECT_TRUE(pathExists(dst + u".~config"));
  EXPECT_TRUE(pathExists(dst + u"~$"));
}

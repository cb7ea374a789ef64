// The file operations as the Windows program sees them: drive roots, "\"
// separators, letter case, read-only attributes and paths past 260
// characters. Built for Windows only and run under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fs/copy_tree.h"
#include "fs/paths.h"
#include "support/temp_folder.h"

namespace stdfs = std::filesystem;

namespace {

stdfs::path fsPath(const Text& path) {
  return stdfs::u8path(native(path));
}

void makeReadOnly(const Text& path) {
  std::error_code error;
  stdfs::permissions(
      fsPath(path),
      stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
      stdfs::perm_options::remove, error);
}

bool isReadOnly(const Text& path) {
  std::error_code error;
  return (stdfs::status(fsPath(path), error).permissions() & stdfs::perms::owner_write) ==
         stdfs::perms::none;
}

// A drive letter with nothing behind it, found without the code under test.
Text absentDrive() {
  for (char16_t letter = u'Y'; letter > u'D'; --letter) {
    Text root = Text(1, letter) + u":\\";
    std::error_code error;
    if (!stdfs::exists(fsPath(root), error)) return Text(1, letter) + u":";
  }
  return Text();
}

const Text kLevelName = u"层级-" + Text(20, u'x');

// A folder whose path runs well past 260 characters, built so that the 260th
// character falls inside a name: a path cut there names a folder of its own.
Text deepFolder(const Text& base) {
  const size_t level = kLevelName.size() + 1;
  size_t pad = 1;
  while ((260 - (base.size() + pad + 1)) % level != level / 2) ++pad;
  Text path = base + Text(pad, u'p') + u"\\";
  for (int i = 0; i < 12; ++i) path += kLevelName + u"\\";
  return path;
}

// Removes what deepFolder made below base, deepest first: the test folder's
// cleanup cannot walk paths that long.
void removeDeepFolder(Text path, const Text& base) {
  while (path.size() > base.size()) {
    removeDirectory(path);
    path = pathPart(trimRightChar(path, u"\\"));
  }
}

}  // namespace

TEST(WindowsPaths, ProgramAndTemporaryFoldersUseBackslashes) {
  Text program = programFileName();
  EXPECT_EQ(u"windows_tests.exe", filePart(program));
  EXPECT_NE(u'\\', program[0]);  // no "\\?\" prefix left
  EXPECT_EQ(u'\\', programDirectory().back());
  EXPECT_EQ(-2, fileSize(programDirectory()));
  Text temp = tempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(u'\\', temp.back());
  EXPECT_EQ(-2, fileSize(temp));
}

TEST(WindowsPaths, DriveRootsAreFoldersWhenTheDriveExists) {
  EXPECT_EQ(-2, fileSize(u"C:"));
  EXPECT_EQ(-2, fileSize(u"C:\\"));
  EXPECT_EQ(-2, fileSize(u"c:/"));
  Text absent = absentDrive();
  ASSERT_FALSE(absent.empty());
  EXPECT_EQ(-1, fileSize(absent));
  EXPECT_EQ(-1, fileSize(absent + u"\\"));
  EXPECT_EQ(0, makePath(absent + u"\\x\\y\\"));
  EXPECT_EQ(-1, fileSize(u"\\\\\\"));
}

class WindowsFiles : public TempFolderTest {};

TEST_F(WindowsFiles, FileSizeProbesBySearch) {
  writeFile(dir + u"材料.txt", "12345");
  writeFile(dir + u"empty.bin", "");
  EXPECT_EQ(5, fileSize(dir + u"材料.txt"));
  EXPECT_EQ(5, fileSize(dir + u"材料.TXT"));  // letter case does not matter here
  EXPECT_EQ(0, fileSize(dir + u"empty.bin"));
  EXPECT_EQ(-2, fileSize(dir));
  EXPECT_EQ(-2, fileSize(dir + u"/"));
  EXPECT_EQ(5, fileSize(dir + u"*.txt"));  // the first match decides
  EXPECT_EQ(-1, fileSize(dir + u"absent"));
  EXPECT_EQ(-2, fileSize(u"\\\\?\\" + dir));
}

TEST_F(WindowsFiles, CreateAndDeleteFollowTheAttributes) {
  EXPECT_EQ(1, createDirectory(dir + u"new\\ "));
  EXPECT_EQ(-2, fileSize(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"missing\\new"));
  Text file = dir + u"只读.txt";
  writeFile(file, "x");
  makeReadOnly(file);
  ASSERT_TRUE(isReadOnly(file));
  EXPECT_EQ(0, deleteFile(file, 0));
  EXPECT_TRUE(pathExists(file));
  EXPECT_EQ(1, deleteFile(file, kForceDelete));
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ(0, deleteFile(file, kForceDelete));
}

TEST_F(WindowsFiles, MakePathEndsAtTheFirstExistingFolder) {
  EXPECT_EQ(1, makePath(dir + u"a\\b\\c\\"));
  EXPECT_EQ(-2, fileSize(dir + u"a\\b\\c"));
  writeFile(dir + u"f", "");
  Text failure;
  EXPECT_EQ(1, makePath(dir + u"f\\g\\", &failure));
  EXPECT_EQ(-1, fileSize(dir + u"f\\g"));
  EXPECT_FALSE(failure.empty());
}

TEST_F(WindowsFiles, PrivateFoldersAreDistinct) {
  Text one = createPrivateFolder(dir), two = createPrivateFolder(dir);
  ASSERT_FALSE(one.empty());
  EXPECT_NE(one, two);
  EXPECT_EQ(u'\\', one.back());
  writeFile(one + u"sheet1.xml", "x");
  makeReadOnly(one + u"sheet1.xml");
  EXPECT_EQ(1, removeFilesIn(one));
  EXPECT_EQ(1, removeDirectory(one));
  EXPECT_TRUE(createPrivateFolder(dir + u"absent\\").empty());
}

TEST_F(WindowsFiles, OpenFileReadsWhatItWrote) {
  Text file = dir + u"同步.xml";
  std::FILE* out = openFile(file, "wb");
  ASSERT_NE(nullptr, out);
  std::fputs("a\nb", out);
  std::fclose(out);
  EXPECT_EQ(3, fileSize(file));  // binary: no CR added
  std::FILE* in = openFile(file, "rb");
  ASSERT_NE(nullptr, in);
  char buffer[8] = {};
  EXPECT_EQ(3u, std::fread(buffer, 1, sizeof buffer, in));
  std::fclose(in);
  EXPECT_EQ(nullptr, openFile(dir + u"absent", "rb"));
  EXPECT_EQ(nullptr, openFile(file, "q"));
}

TEST_F(WindowsFiles, LongPathsAreNeverCut) {
  Text deep = deepFolder(dir);
  ASSERT_GT(deep.size(), 300u);
  EXPECT_EQ(1, makePath(deep));
  EXPECT_EQ(-2, fileSize(deep));
  EXPECT_EQ(-1, fileSize(deep.substr(0, 260)));
  std::FILE* out = openFile(deep + u"a.txt", "wb");
  ASSERT_NE(nullptr, out);
  std::fputs("abc", out);
  std::fclose(out);
  EXPECT_EQ(3, fileSize(deep + u"a.txt"));
  Text top = deep.substr(0, deep.find(u'\\', dir.size()) + 1);  // the padding folder
  CopyReport report;
  EXPECT_EQ(1, copyTree(top, dir + u"copy", u"", 3, &report));
  EXPECT_EQ(0, report.failedEntries) << toUtf8(report.firstFailedMessage);
  Text copiedFolder = dir + u"copy\\" + deep.substr(top.size());
  EXPECT_EQ(3, fileSize(copiedFolder + u"a.txt"));
  EXPECT_EQ(1, deleteFile(copiedFolder + u"a.txt", 0));
  EXPECT_EQ(-1, fileSize(copiedFolder + u"a.txt"));
  EXPECT_EQ(1, deleteFile(deep + u"a.txt", 0));
  removeDeepFolder(copiedFolder, dir);
  removeDeepFolder(deep, dir);
  EXPECT_EQ(-1, fileSize(top));
}

class WindowsCopy : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    source = dir + u"src\\";
    makePath(source + u"s\\");
    writeFile(source + u"a.txt", "a");
    writeFile(source + u"readme", "r");
    writeFile(source + u"s\\c.txt", "c");
  }
  Text source;
};

TEST_F(WindowsCopy, CopiesFilesAndFoldersByTheFlags) {
  EXPECT_EQ(1, copyTree(source, dir + u"all", u"", kCopyRecursive | kCopyForce));
  EXPECT_EQ("c", readFile(dir + u"all\\s\\c.txt"));
  EXPECT_EQ("r", readFile(dir + u"all\\readme"));
  EXPECT_EQ(1, copyTree(dir + u"src", dir + u"flat\\", u"", kCopyForce));
  EXPECT_EQ("a", readFile(dir + u"flat\\a.txt"));
  EXPECT_FALSE(pathExists(dir + u"flat\\s"));
  // Matching ignores letter case, as every name lookup here does.
  makePath(source + u"empty\\");
  EXPECT_EQ(1, copyTree(source, dir + u"txt", u"*.TXT", kCopyRecursive));
  EXPECT_TRUE(pathExists(dir + u"txt\\a.txt"));
  EXPECT_FALSE(pathExists(dir + u"txt\\readme"));
  EXPECT_TRUE(pathExists(dir + u"txt\\empty"));
  EXPECT_EQ(0, copyTree(dir + u"absent", dir + u"none", u"", 3));
  EXPECT_FALSE(pathExists(dir + u"none"));
  EXPECT_EQ(0, copyTree(source, dir + u"no\\parent", u"", 3));
}

TEST_F(WindowsCopy, ReadOnlyTargetsNeedTheForceFlag) {
  makePath(dir + u"dest\\");
  writeFile(dir + u"dest\\a.txt", "old and longer");
  makeReadOnly(dir + u"dest\\a.txt");
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, dir + u"dest", u"", kCopyRecursive, &report));
  EXPECT_EQ("old and longer", readFile(dir + u"dest\\a.txt"));
  EXPECT_EQ("c", readFile(dir + u"dest\\s\\c.txt"));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dir + u"dest\\a.txt", report.firstFailedPath);
  EXPECT_FALSE(report.firstFailedMessage.empty());
  EXPECT_EQ(1, copyTree(source, dir + u"dest", u"", kCopyRecursive | kCopyForce));
  EXPECT_EQ("a", readFile(dir + u"dest\\a.txt"));
  // No part file is left beside the targets.
  auto entries = stdfs::directory_iterator(fsPath(dir + u"dest"));
  EXPECT_EQ(3, std::distance(stdfs::begin(entries), stdfs::end(entries)));
}

TEST_F(WindowsCopy, DestinationInsideTheSourceIsRefusedWhateverItsCase) {
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, dir + u"SRC\\S\\inner\\", u"", 3, &report));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_FALSE(pathExists(source + u"s\\inner"));
  EXPECT_EQ(0, copyTree(source, dir + u"src", u"", 3));
  EXPECT_EQ(1, copyTree(source, dir + u"src2", u"", 3));  // a name that only starts alike
}

TEST_F(WindowsCopy, FolderLinksAreNotFollowed) {
  // A junction needs no privilege, unlike a symbolic link; the C++ library
  // here makes neither, the command interpreter does.
  std::string link = native(source + u"s\\loop"), target = native(source);
  std::system(("cmd /c \"mklink /J \"" + link + "\" \"" + target + "\"\" >NUL 2>&1").c_str());
  if (fileSize(source + u"s\\loop") != -2) GTEST_SKIP() << "no junctions on this system";
  CopyReport report;
  EXPECT_EQ(0, copyTree(source, dir + u"dest", u"", 3, &report));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dir + u"dest\\s\\loop", report.firstFailedPath);
  EXPECT_EQ("c", readFile(dir + u"dest\\s\\c.txt"));
}

#include "fs/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.h"

TEST(PathsTest, PathAndFilePartSplitAtEitherSeparator) {
  EXPECT_EQ(u"C:\\dir\\", pathPart(u"C:\\dir\\file.txt"));
  EXPECT_EQ(u"a/b/", pathPart(u"a/b/c"));
  EXPECT_EQ(u"a\\b\\", pathPart(u"a\\b\\"));
  EXPECT_EQ(u"C:\\x\\", pathPart(u"\"C:\\x\\y.exe\" -a"));
  EXPECT_EQ(u"a\\", pathPart(u"a\\b|c\\d"));
  EXPECT_EQ(u"", pathPart(u"name"));
  EXPECT_EQ(u"", pathPart(u""));
  EXPECT_EQ(u"sheet1.xml", filePart(u"xl/worksheets/sheet1.xml"));
  EXPECT_EQ(u"y.exe", filePart(u"\"C:\\x\\y.exe\" -a"));
  EXPECT_EQ(u"c|d", filePart(u"a\\b\\c|d"));
  EXPECT_EQ(u"", filePart(u"a/b/"));
  EXPECT_EQ(u"", filePart(u""));
}

TEST(PathsTest, ProgramAndTemporaryFoldersEndInASeparator) {
  Text program = programDirectory();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(kSeparator, program.back());
  EXPECT_EQ(-2, fileSize(program));
  EXPECT_EQ(u"fs_tests", filePart(programFileName()));
  Text temp = tempDirectory();
  EXPECT_EQ(kSeparator, temp.back());
  EXPECT_EQ(-2, fileSize(temp));
}

class PathsFiles : public TempFolderTest {};

TEST_F(PathsFiles, TemporaryFolderFollowsTmpdirOnlyWhenItExists) {
  const char* saved = getenv("TMPDIR");
  std::string keep = saved ? saved : "";
  setenv("TMPDIR", native(dir + u"absent").c_str(), 1);
  EXPECT_EQ(u"/tmp/", tempDirectory());
  setenv("TMPDIR", native(dir).c_str(), 1);
  EXPECT_EQ(dir, tempDirectory());
  if (saved) setenv("TMPDIR", keep.c_str(), 1); else unsetenv("TMPDIR");
}

TEST_F(PathsFiles, FileSizeSeparatesAbsentFolderAndFile) {
  EXPECT_EQ(-1, fileSize(dir + u"absent.txt"));
  EXPECT_EQ(-1, fileSize(u""));
  EXPECT_EQ(-2, fileSize(dir));
  EXPECT_EQ(-2, fileSize(dir + u"///"));
  EXPECT_EQ(-2, fileSize(u"/"));
  writeFile(dir + u"empty.txt", "");
  writeFile(dir + u"材料.txt", "12345");
  EXPECT_EQ(0, fileSize(dir + u"empty.txt"));
  EXPECT_EQ(5, fileSize(dir + u"材料.txt"));
}

TEST_F(PathsFiles, CreateDirectoryMakesOnlyTheLastComponent) {
  EXPECT_EQ(1, createDirectory(dir + u"new//"));
  // POSIX keeps a trailing space: "G1 " and "G1" are two folders.
  EXPECT_EQ(1, createDirectory(dir + u"sp "));
  EXPECT_EQ(-2, fileSize(dir + u"sp "));
  EXPECT_EQ(-1, fileSize(dir + u"sp"));
  EXPECT_EQ(-2, fileSize(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"new"));
  EXPECT_EQ(0, createDirectory(dir + u"missing/new"));
  EXPECT_EQ(0, createDirectory(u"//"));
}

TEST_F(PathsFiles, DeleteFileNeedsTheForceFlagForReadOnlyFiles) {
  Text file = dir + u"ro.txt";
  writeFile(file, "x");
  chmod(native(file).c_str(), 0444);
  EXPECT_EQ(0, deleteFile(file, 0));
  EXPECT_TRUE(pathExists(file));
  EXPECT_EQ(1, deleteFile(file, kForceDelete));
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ(0, deleteFile(file, kForceDelete));
  EXPECT_EQ(0, deleteFile(dir, kForceDelete));  // folders are not files
}

TEST_F(PathsFiles, MakePathCreatesTheChainOutermostFirst) {
  EXPECT_EQ(1, makePath(dir + u"a/b/c/"));
  EXPECT_EQ(-2, fileSize(dir + u"a/b/c"));
  EXPECT_EQ(1, makePath(dir + u"a/b/c"));
  // A file in the way: the chain is "in place" as far as makePath can tell,
  // and the failure is named for the caller.
  writeFile(dir + u"f", "");
  Failure failure;
  EXPECT_EQ(1, makePath(dir + u"f/g/", &failure));
  EXPECT_EQ(-1, fileSize(dir + u"f/g"));
  EXPECT_EQ(ErrorKind::kFileInTheWay, failure.kind);
  // No existing ancestor: relative paths, the empty text.
  EXPECT_EQ(0, makePath(u"no-such-folder-here/x/"));
  EXPECT_EQ(0, makePath(u""));
  EXPECT_EQ(1, makePath(u"/"));
}

TEST_F(PathsFiles, MakePathReportsTheFirstFolderThatCannotBeCreated) {
  // A name longer than the file system allows fails even for root.
  Text tooLong(300, u'x');
  Failure failure;
  EXPECT_EQ(1, makePath(dir + tooLong + u"/inner/", &failure));
  EXPECT_EQ(ErrorKind::kTooLong, failure.kind);
  EXPECT_EQ(-1, fileSize(dir + tooLong));
}

TEST_F(PathsFiles, PrivateFoldersAreDistinctAndRemovable) {
  Text one = createPrivateFolder(dir), two = createPrivateFolder(dir);
  ASSERT_FALSE(one.empty());
  EXPECT_NE(one, two);
  writeFile(one + u"sheet1.xml", "x");
  writeFile(one + u"sheet1.xml.bak", "x");
  EXPECT_EQ(0, removeDirectory(one));
  EXPECT_EQ(2, removeFilesIn(one));
  EXPECT_EQ(1, removeDirectory(one));
  EXPECT_EQ(-1, fileSize(one));
  EXPECT_TRUE(createPrivateFolder(dir + u"absent/").empty());
}

#include "fs/copy_tree.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fs/paths.h"
#include "support/temp_folder.h"

namespace {

class CopyTreeTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    src = dir + u"src/";
    dst = dir + u"dst/";
    makePath(src + u"s/");
    writeFile(src + u"a.txt", "alpha");
    writeFile(src + u"readme", "no dot");
    writeFile(src + u"s/c.txt", "gamma");
  }
  Text src, dst;
};

void setTime(const Text& path, time_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  utimensat(AT_FDCWD, native(path).c_str(), times, 0);
}

}  // namespace

TEST_F(CopyTreeTest, RecursiveCopyFillsAnExistingFolder) {
  makePath(dst);
  EXPECT_EQ(1, copyTree(src, dst, u"", kCopyRecursive | kCopyForce));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
  EXPECT_EQ("no dot", readFile(dst + u"readme"));
  EXPECT_EQ("gamma", readFile(dst + u"s/c.txt"));
  // The source with or without its trailing separator gives the same copy.
  Text other = dir + u"other";
  EXPECT_EQ(1, copyTree(dir + u"src", other, u"", kCopyRecursive));
  EXPECT_EQ("gamma", readFile(other + u"/s/c.txt"));
}

TEST_F(CopyTreeTest, WithoutTheRecursiveFlagFoldersAreLeftOut) {
  EXPECT_EQ(1, copyTree(src, dst, u"", kCopyForce));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
  EXPECT_EQ("no dot", readFile(dst + u"readme"));
  EXPECT_FALSE(pathExists(dst + u"s"));
}

TEST_F(CopyTreeTest, ReadOnlyTargetsNeedTheForceFlag) {
  makePath(dst);
  writeFile(dst + u"a.txt", "old");
  chmod(native(dst + u"a.txt").c_str(), 0444);
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, u"", kCopyRecursive, &report));
  EXPECT_EQ("old", readFile(dst + u"a.txt"));
  EXPECT_EQ("gamma", readFile(dst + u"s/c.txt"));  // the rest is still copied
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dst + u"a.txt", report.firstFailedPath);
  EXPECT_EQ(u"Permission denied", report.firstFailedMessage);
  EXPECT_EQ(1, copyTree(src, dst, u"", kCopyRecursive | kCopyForce));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
}

TEST_F(CopyTreeTest, MissingSourceOrParentCreatesNothing) {
  EXPECT_EQ(0, copyTree(dir + u"absent/", dst, u"", 3));
  EXPECT_FALSE(pathExists(dst));
  EXPECT_EQ(0, copyTree(src, dir + u"no/parent/", u"", 3));
  EXPECT_FALSE(pathExists(dir + u"no"));
  EXPECT_EQ(0, copyTree(u"", dst, u"", 3));
  EXPECT_EQ(0, copyTree(src, u"", u"", 3));
  // An empty source still makes the destination.
  makePath(dir + u"empty/");
  EXPECT_EQ(1, copyTree(dir + u"empty/", dst, u"", 3));
  EXPECT_EQ(-2, fileSize(dst));
}

TEST_F(CopyTreeTest, PatternSelectsFilesButEveryFolderIsCreated) {
  makePath(src + u"t/");
  writeFile(src + u"t/skip.doc", "x");
  EXPECT_EQ(1, copyTree(src, dst, u"*.txt", kCopyRecursive));
  EXPECT_TRUE(pathExists(dst + u"a.txt"));
  EXPECT_FALSE(pathExists(dst + u"readme"));
  EXPECT_TRUE(pathExists(dst + u"s/c.txt"));
  EXPECT_EQ(-2, fileSize(dst + u"t"));
  EXPECT_FALSE(pathExists(dst + u"t/skip.doc"));
}

TEST(FilePatternTest, WildcardsAsTheFileDialogsKnowThem) {
  EXPECT_TRUE(matchFilePattern(u"readme", u"*.*"));
  EXPECT_TRUE(matchFilePattern(u"a.txt", u"*.txt"));
  EXPECT_FALSE(matchFilePattern(u"a.txt.bak", u"*.txt"));
  EXPECT_TRUE(matchFilePattern(u"a.doc", u"*.txt; *.doc"));
  EXPECT_TRUE(matchFilePattern(u"ab1.txt", u"a?1*"));
  EXPECT_FALSE(matchFilePattern(u"A.TXT", u"*.txt"));
  EXPECT_TRUE(matchFilePattern(u"任何", u""));
}

TEST_F(CopyTreeTest, LinksAreCopiedAsLinksAndNeverFollowed) {
  // A link back up the tree would make a copy that never ends.
  ASSERT_EQ(0, symlink("..", native(src + u"s/up").c_str()));
  ASSERT_EQ(0, symlink("a.txt", native(src + u"link.txt").c_str()));
  EXPECT_EQ(1, copyTree(src, dst, u"", 3));
  std::error_code error;
  EXPECT_TRUE(std::filesystem::is_symlink(native(dst + u"s/up"), error));
  EXPECT_EQ("..", std::filesystem::read_symlink(native(dst + u"s/up"), error).string());
  EXPECT_TRUE(std::filesystem::is_symlink(native(dst + u"link.txt"), error));
  EXPECT_EQ("alpha", readFile(dst + u"link.txt"));
}

TEST_F(CopyTreeTest, AFolderLinkAlreadyInTheDestinationIsNotWrittenThrough) {
  // One entry's material holds a link "s" to a folder elsewhere; a second
  // entry's real folder "s" is merged into the same destination afterwards.
  Text elsewhere = dir + u"elsewhere/";
  makePath(elsewhere);
  writeFile(elsewhere + u"c.txt", "precious");
  Text linked = dir + u"linked/";
  makePath(linked);
  ASSERT_EQ(0, symlink(native(elsewhere).c_str(), native(linked + u"s").c_str()));
  ASSERT_EQ(1, copyTree(linked, dst, u"", 3));
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, u"", 3, &report));
  EXPECT_EQ("precious", readFile(elsewhere + u"c.txt"));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dst + u"s", report.firstFailedPath);
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
}

TEST_F(CopyTreeTest, ADestinationInsideTheSourceIsRefused) {
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, src + u"s/inner/", u"", 3, &report));
  EXPECT_FALSE(pathExists(src + u"s/inner"));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(0, copyTree(src, src, u"", 3));
  EXPECT_EQ(0, copyTree(src, dir + u"src/./s/../new", u"", 3));
  // Through a link to the source.
  ASSERT_EQ(0, symlink(native(src).c_str(), native(dir + u"alias").c_str()));
  EXPECT_EQ(0, copyTree(src, dir + u"alias/x/", u"", 3));
}

TEST_F(CopyTreeTest, UnchangedFilesAreNotCopiedAgain) {
  setTime(src + u"a.txt", 1700000000);
  ASSERT_EQ(1, copyTree(src, dst, u"", 3));
  struct stat copied;
  ASSERT_EQ(0, stat(native(dst + u"a.txt").c_str(), &copied));
  EXPECT_EQ(1700000000, copied.st_mtime);
  // Same size and time: left alone, which a changed byte proves.
  writeFile(dst + u"a.txt", "ALPHA");
  setTime(dst + u"a.txt", 1700000000);
  ASSERT_EQ(1, copyTree(src, dst, u"", 3));
  EXPECT_EQ("ALPHA", readFile(dst + u"a.txt"));
  setTime(src + u"a.txt", 1700000100);
  ASSERT_EQ(1, copyTree(src, dst, u"", 3));
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
}

TEST_F(CopyTreeTest, PermissionBitsFollowTheSource) {
  chmod(native(src + u"a.txt").c_str(), 0640);
  ASSERT_EQ(1, copyTree(src, dst, u"", 3));
  struct stat copied;
  ASSERT_EQ(0, stat(native(dst + u"a.txt").c_str(), &copied));
  EXPECT_EQ(0640u, copied.st_mode & 07777);
}

TEST_F(CopyTreeTest, FailuresAreCountedAndTheFirstIsNamed) {
  makePath(dst + u"a.txt/");  // a folder where a file should go
  makePath(dst + u"readme/");
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, u"", 3, &report));
  EXPECT_EQ(2, report.failedEntries);
  EXPECT_EQ(u"Is a directory", report.firstFailedMessage);
  EXPECT_EQ("gamma", readFile(dst + u"s/c.txt"));
}

TEST_F(CopyTreeTest, AnInterruptedCopyLeavesNoTruncatedFile) {
  std::string big(64 << 20, 'x');
  writeFile(src + u"big.bin", big);
  pid_t child = fork();
  if (child == 0) {
    copyTree(src, dst, u"", 3);
    _exit(0);
  }
  // Kill the copy once the partial file shows up, or whenever it ends.
  Text part = dst + u".~varnelo-big.bin.part";
  for (int i = 0; i < 20000 && !pathExists(part) && !pathExists(dst + u"big.bin"); ++i) usleep(100);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(!pathExists(dst + u"big.bin") || fileSize(dst + u"big.bin") == int64_t(big.size()));
  // The next copy into the folder clears what the killed one left.
  makePath(dst);
  writeFile(part, "stale");
  ASSERT_EQ(1, copyTree(src, dst, u"", 3));
  EXPECT_FALSE(pathExists(part));
  EXPECT_EQ(int64_t(big.size()), fileSize(dst + u"big.bin"));
}

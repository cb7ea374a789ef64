#include "fs/copy_tree.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"
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

// The part files in folder, by their exact form.
std::vector<std::string> partFilesIn(const Text& folder) {
  std::vector<std::string> found;
  std::error_code error;
  for (auto& entry : std::filesystem::directory_iterator(native(folder), error))
    if (isPartName(fromUtf8(entry.path().filename().string()))) found.push_back(entry.path());
  return found;
}

// Gives folder a default access list under which a file created in it gets
// only its owner's bits; false where the file system has no access lists.
bool ownerOnlyForNewFiles(const Text& folder) {
  makePath(folder);
  // The kernel's form: a version, then a tag, permissions and id per entry
  // (owner, group, others; no id for those).
  struct Entry {
    uint16_t tag, permissions;
    uint32_t id;
  };
  struct {
    uint32_t version;
    Entry entries[3];
  } list = {2, {{0x01, 7, ~0u}, {0x04, 0, ~0u}, {0x20, 0, ~0u}}};
  return setxattr(native(folder).c_str(), "system.posix_acl_default", &list, sizeof list, 0) == 0;
}

// The id of a process that has ended.
uint32_t deadProcessId() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return static_cast<uint32_t>(child);
}


}  // namespace





TEST_F(CopyTreeTest, LinksAreCopiedAsLinksAndNeverFollowed) {
  // A link back up the tree would make a copy that never ends.
  ASSERT_EQ(0, symlink("..", native(src + u"s/up").c_str()));
  ASSERT_EQ(0, symlink("a.txt", native(src + u"link.txt").c_str()));
  EXPECT_EQ(1, copyTree(src, dst, 3));
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
  ASSERT_EQ(1, copyTree(linked, dst, 3));
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, 3, &report));
  EXPECT_EQ("precious", readFile(elsewhere + u"c.txt"));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(dst + u"s", report.firstFailedPath);
  EXPECT_EQ("alpha", readFile(dst + u"a.txt"));
}

TEST_F(CopyTreeTest, ADestinationInsideTheSourceThroughALinkIsRefused) {
  ASSERT_EQ(0, symlink(native(src).c_str(), native(dir + u"alias").c_str()));
  EXPECT_EQ(0, copyTree(src, dir + u"alias/x/", 3));
  EXPECT_FALSE(pathExists(src + u"x"));
}


TEST_F(CopyTreeTest, PermissionBitsFollowTheSource) {
  // Bits the creation mask would take away, and a read-only file, which is
  // still written through the descriptor that created it. Then the same into
  // a folder whose default access list, not the mask, decides what a file
  // created in it gets, as in the folder the copy makes there.
  std::vector<Text> copies = {dst};
  if (ownerOnlyForNewFiles(dir + u"listed/")) copies.push_back(dir + u"listed/");
  mode_t saved = umask(022);
  chmod(native(src + u"a.txt").c_str(), 0640);
  chmod(native(src + u"readme").c_str(), 0666);
  chmod(native(src + u"s/c.txt").c_str(), 0444);
  for (const Text& copy : copies) EXPECT_EQ(1, copyTree(src, copy, 3));
  umask(saved);
  for (const Text& copy : copies) {
    SCOPED_TRACE(toUtf8(copy));
    struct stat copied;
    ASSERT_EQ(0, stat(native(copy + u"a.txt").c_str(), &copied));
    EXPECT_EQ(0640u, copied.st_mode & 07777);
    ASSERT_EQ(0, stat(native(copy + u"readme").c_str(), &copied));
    EXPECT_EQ(0666u, copied.st_mode & 07777);
    ASSERT_EQ(0, stat(native(copy + u"s/c.txt").c_str(), &copied));
    EXPECT_EQ(0444u, copied.st_mode & 07777);
    EXPECT_EQ("gamma", readFile(copy + u"s/c.txt"));
  }
}

TEST_F(CopyTreeTest, FailuresAreCountedAndNamedInPlainWords) {
  makePath(dst + u"a.txt/");  // a folder where a file should go
  makePath(dst + u"readme/");
  writeFile(dst + u"s", "a file where a folder should go");
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, dst, 3, &report));
  EXPECT_EQ(3, report.failedEntries);
  // Which one is met first is up to the folder listing.
  ErrorKind first = report.firstFailure.kind;
  EXPECT_TRUE(first == ErrorKind::kFolderInTheWay || first == ErrorKind::kFileInTheWay);
  // A pipe has no content to copy, and opening one for reading would wait
  // for a writer for ever.
  Text other = dir + u"other/";
  makePath(other);
  ASSERT_EQ(0, mkfifo(native(src + u"pipe").c_str(), 0600));
  CopyReport pipe;
  EXPECT_EQ(0, copyTree(src, other, 3, &pipe));
  EXPECT_EQ(1, pipe.failedEntries);
  EXPECT_EQ(other + u"pipe", pipe.firstFailedPath);
  EXPECT_EQ(ErrorKind::kNotFileOrFolder, pipe.firstFailure.kind);
  EXPECT_EQ("gamma", readFile(other + u"s/c.txt"));
}

TEST_F(CopyTreeTest, AnInterruptedCopyLeavesNoTruncatedFile) {
  std::string big(64 << 20, 'x');
  writeFile(src + u"big.bin", big);
  pid_t child = fork();
  if (child == 0) {
    copyTree(src, dst, 3);
    _exit(0);
  }
  // Kill the copy once its part file shows up, or whenever it ends.
  for (int i = 0; i < 20000 && partFilesIn(dst).empty() && !pathExists(dst + u"big.bin"); ++i)
    usleep(100);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(!pathExists(dst + u"big.bin") || fileSize(dst + u"big.bin") == int64_t(big.size()));
  // The next copy into the folder clears what the killed one left.
  makePath(dst);
  Text stale = dst + partName(deadProcessId(), 7, 0);
  writeFile(stale, "stale");
  ASSERT_EQ(1, copyTree(src, dst, 3));
  EXPECT_TRUE(partFilesIn(dst).empty());
  EXPECT_EQ(int64_t(big.size()), fileSize(dst + u"big.bin"));
}

TEST_F(CopyTreeTest, OnlyTheProgramsOwnLeftoversAreRemoved) {
  uint32_t dead = deadProcessId();
  // Material that merely looks like a leftover: the old form, and the exact
  // form of a dead writer, both present in the source.
  Text lookalike = partName(dead, 1, 2);
  writeFile(src + u".~varnelo-a.txt.part", "material");
  writeFile(src + lookalike, "also material");
  makePath(dst);
  Text leftover = partName(dead, 3, 4), live = partName(uint32_t(getpid()), 5, 6);
  writeFile(dst + leftover, "left by a killed run");
  writeFile(dst + live, "being written by a running copy");
  writeFile(dst + u".~varnelo-" + Text(22, u'0') + u".part", "not quite the form");
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(1, copyTree(src, dst, 3));
    EXPECT_EQ("material", readFile(dst + u".~varnelo-a.txt.part"));
    EXPECT_EQ("also material", readFile(dst + lookalike));
    EXPECT_FALSE(pathExists(dst + leftover));
    EXPECT_TRUE(pathExists(dst + live));
    EXPECT_TRUE(pathExists(dst + u".~varnelo-" + Text(22, u'0') + u".part"));
  }
  EXPECT_EQ(kPartNameLength, lookalike.size());
  EXPECT_FALSE(isPartName(lookalike.substr(0, 39) + u"X"));
  EXPECT_FALSE(isPartName(u".~varnelo-0000000A00000000-00000000.part"));  // upper case
}

TEST_F(CopyTreeTest, NamesAsLongAsTheFileSystemAllowsCopy) {
  // 255 bytes: 85 three-byte characters, and 255 plain letters.
  Text chinese(85, u'材'), plain(255, u'n');
  writeFile(src + chinese, "chinese");
  writeFile(src + u"s/" + plain, "plain");
  CopyReport report;
  EXPECT_EQ(1, copyTree(src, dst, 3, &report)) << static_cast<int>(report.firstFailure.kind);
  EXPECT_EQ("chinese", readFile(dst + chinese));
  EXPECT_EQ("plain", readFile(dst + u"s/" + plain));
  writeFile(src + chinese, "changed");
  EXPECT_EQ(1, copyTree(src, dst, 3));
  EXPECT_EQ("changed", readFile(dst + chinese));
}


TEST_F(CopyTreeTest, ConcurrentCopiesNeverShowATruncatedTarget) {
  // Two processes, each with its own token, and two threads in each, copy
  // the same tree into one folder again and again, emptying it in between;
  // meanwhile every target that exists must be whole.
  const int kFiles = 6;
  const int64_t kSize = 3 << 20;
  for (int i = 0; i < kFiles; ++i)
    writeFile(src + u"f" + intToText(i), std::string(kSize + i, 'a' + i));
  makePath(dst);
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t child = fork();
    if (child == 0) {
      std::atomic<int> failed{0};
      auto work = [&] {
        for (int round = 0; round < 6; ++round) {
          if (copyTree(src, dst, 3) != 1) ++failed;
          for (int i = 0; i < kFiles; i += 2) unlink(native(dst + u"f" + intToText(i)).c_str());
        }
      };
      std::thread other(work);
      work();
      other.join();
      _exit(failed == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  int seen = 0, whole = 0;
  std::vector<int> statuses(children.size(), -1);
  for (int running = 2; running > 0;) {
    for (int i = 0; i < kFiles; ++i) {
      int64_t size = fileSize(dst + u"f" + intToText(i));
      if (size < 0) continue;
      ++seen;
      if (size == kSize + i) ++whole;
    }
    running = 0;
    for (size_t c = 0; c < children.size(); ++c) {
      if (statuses[c] == -1 && waitpid(children[c], &statuses[c], WNOHANG) == 0) statuses[c] = -1;
      if (statuses[c] == -1) ++running;
    }
  }
  EXPECT_EQ(seen, whole);
  // Every copy of both processes succeeded: neither removed the other's files.
  for (int status : statuses) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < kFiles; ++i) {
    if (pathExists(dst + u"f" + intToText(i))) {
      EXPECT_EQ(std::string(kSize + i, 'a' + i), readFile(dst + u"f" + intToText(i)));
    }
  }
  EXPECT_TRUE(partFilesIn(dst).empty());
}

TEST_F(CopyTreeTest, NothingIsWrittenThroughALinkInTheDestination) {
  // Material A01 holds a link "out" to a folder outside; copied into X, the
  // link arrives as a link. A later copy into X/out must not reach outside.
  Text outside = dir + u"outside/", a01 = dir + u"A01/", x = dir + u"X/";
  makePath(outside);
  makePath(a01);
  ASSERT_EQ(0, symlink(native(outside).c_str(), native(a01 + u"out").c_str()));
  ASSERT_EQ(1, copyTree(a01, x, 3));
  EXPECT_TRUE(passesThroughLink(dir, x + u"out/"));
  EXPECT_TRUE(passesThroughLink(dir, x + u"out/new/deeper/"));
  EXPECT_TRUE(passesThroughLink(dir, x + u"out"));
  EXPECT_FALSE(passesThroughLink(dir, x + u"real/missing/"));
  EXPECT_FALSE(passesThroughLink(dir, x));
  EXPECT_FALSE(passesThroughLink(dir, dir));
  EXPECT_FALSE(passesThroughLink(x + u"out/", u"/elsewhere/x/"));  // not below base
  CopyReport report;
  EXPECT_EQ(0, copyTree(src, x + u"out/", 3, &report));
  EXPECT_EQ(0, copyTree(src, x + u"out", 3));
  EXPECT_EQ(1, report.failedEntries);
  EXPECT_EQ(x + u"out", report.firstFailedPath);
  EXPECT_EQ(ErrorKind::kDestinationIsLink, report.firstFailure.kind);
  std::error_code error;
  EXPECT_TRUE(std::filesystem::is_empty(native(outside), error));
  // The base itself, and what lies above it, may be links: the user chose them.
  Text alias = dir + u"alias";
  ASSERT_EQ(0, symlink(native(x).c_str(), native(alias).c_str()));
  EXPECT_FALSE(passesThroughLink(alias + u"/", alias + u"/new/"));
  EXPECT_TRUE(passesThroughLink(alias + u"/", alias + u"/out/new/"));
  EXPECT_EQ(1, copyTree(src, alias + u"/new/", 3));
  EXPECT_EQ("alpha", readFile(x + u"new/a.txt"));
}


namespace {

struct Progress {
  int64_t copied = 0;
  int64_t unchanged = 0;
};

void addProgress(void* context, int64_t bytes, bool unchanged) {
  auto* progress = static_cast<Progress*>(context);
  (unchanged ? progress->unchanged : progress->copied) += bytes;
}

}  // namespace

TEST_F(CopyTreeTest, ProgressAndCountsAddUpToWhatTheFolderHolds) {
  std::string big(3 * (16 << 20) + 5, 'b');  // several pieces of data
  writeFile(src + u"s/big.bin", big);
  TreeSize size;
  ASSERT_TRUE(measureTree(src, size));
  Progress first;
  CopyReport report;
  report.progress = addProgress;
  report.progressContext = &first;
  ASSERT_EQ(1, copyTree(src, dst, 3, &report));
  EXPECT_EQ(size.bytes, first.copied);
  EXPECT_EQ(0, first.unchanged);
  EXPECT_EQ(4, report.copiedFiles);
  // Again over the unchanged tree, and once more with one file changed.
  Progress again;
  CopyReport rerun;
  rerun.progress = addProgress;
  rerun.progressContext = &again;
  ASSERT_EQ(1, copyTree(src, dst, 3, &rerun));
  EXPECT_EQ(0, again.copied);
  EXPECT_EQ(size.bytes, again.unchanged);
  EXPECT_EQ(4, rerun.unchangedFiles);
  EXPECT_EQ(0, rerun.copiedFiles);
  writeFile(src + u"a.txt", "alpha, longer");
  setTime(src + u"a.txt", 1700000000);
  CopyReport third;
  ASSERT_EQ(1, copyTree(src, dst, 3, &third));
  EXPECT_EQ(1, third.copiedFiles);
  EXPECT_EQ(13, third.copiedBytes);
  EXPECT_EQ(3, third.unchangedFiles);
}

// The way out takes the part file being written away with it, and copies
// started afterwards write nothing. In a child process: the program leaves
// after this, and so must whatever tried it.
TEST_F(CopyTreeTest, AbandonedCopiesLeaveNoPartFiles) {
  writeFile(src + u"s/big.bin", std::string(2 * (16 << 20), 'b'));
  EXPECT_EXIT(
      {
        copyChunkHook = [] { abandonCopies(); };
        CopyReport report;
        int result = copyTree(src, dst, 3, &report);
        bool clean = partFilesIn(dst).empty() && partFilesIn(dst + u"s/").empty() &&
                     !pathExists(dst + u"s/big.bin");
        int later = copyTree(src, dir + u"later/", 3);
        _exit(result == 0 && clean && later == 0 && partFilesIn(dir + u"later/").empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Copying several files at once, as the copy does on a network share, must
// leave exactly what copying one at a time leaves and report it the same
// way. Here both run on the local disk, forced by forcedCopyWorkers.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "fs/copy_tree.h"
#include "fs/copy_workers.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "support/temp_folder.h"

namespace {

class ParallelCopyTest : public TempFolderTest {
 protected:
  void TearDown() override {
    forcedCopyWorkers = 0;
    TempFolderTest::TearDown();
  }
};

void setTime(const Text& path, time_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  utimensat(AT_FDCWD, native(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A material folder of several sub-folders and many files, with what makes
// entries fail in the middle of the listing: a pipe, and, in the
// destination, a folder where a file goes and a read-only file that differs.
void makeMaterial(const Text& source) {
  for (int folder = 0; folder < 4; ++folder) {
    Text inner = source + u"f" + intToText(folder) + u"/";
    makePath(inner + u"deeper/");
    for (int file = 0; file < 30; ++file) {
      Text name = inner + u"file" + intToText(file) + u".docx";
      writeFile(name, std::string(static_cast<size_t>(100 + file * 997 % 70000), char('a' + file)));
      setTime(name, 1500000000 + file);
    }
    writeFile(inner + u"deeper/note.txt", "deep");
  }
  writeFile(source + u"f1/~$file3.docx", "lock");
  symlink("file2.docx", native(source + u"f2/link.docx").c_str());
  mkfifo(native(source + u"f2/pipe").c_str(), 0644);
  chmod(native(source + u"f3/file7.docx").c_str(), 0640);
}

// What a destination that an earlier run filled in part holds.
void makeEarlierRun(const Text& source, const Text& destination) {
  makePath(destination + u"f0/");
  std::filesystem::copy(native(source + u"f0"), native(destination + u"f0"),
                        std::filesystem::copy_options::recursive |
                            std::filesystem::copy_options::overwrite_existing);
  for (int file = 0; file < 30; ++file)
    setTime(destination + u"f0/file" + intToText(file) + u".docx", 1500000000 + file);
  makePath(destination + u"f1/file12.docx/");  // a folder where a file goes
  makePath(destination + u"f3/");
  writeFile(destination + u"f3/file20.docx", "older, read-only");
  setTime(destination + u"f3/file20.docx", 1400000000);
  chmod(native(destination + u"f3/file20.docx").c_str(), 0444);
}

// Everything below folder: type, permission bits, and the time and content
// of a file or where a link leads. A folder's time is when it was made.
std::map<std::string, std::string> treeOf(const Text& folder) {
  std::map<std::string, std::string> tree;
  std::string root = native(folder);
  for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string path = entry.path().string();
    struct stat info;
    lstat(path.c_str(), &info);
    std::string what = std::to_string(info.st_mode);
    if (S_ISREG(info.st_mode))
      what += " " + std::to_string(info.st_mtim.tv_sec) + " " +
              std::to_string(std::hash<std::string>()(readFile(fromUtf8(path))));
    if (S_ISLNK(info.st_mode)) what += " -> " + std::filesystem::read_symlink(path).string();
    tree[path.substr(root.size())] = what;
  }
  return tree;
}

// Each regular file below folder and the file it is: written again, it
// would be another.
std::map<std::string, std::string> filesOf(const Text& folder) {
  std::map<std::string, std::string> files;
  std::string root = native(folder);
  for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    struct stat info;
    if (lstat(entry.path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
      files[entry.path().string().substr(root.size())] = std::to_string(info.st_ino);
  }
  return files;
}

// The entries in which two trees differ, one per line; empty when alike.
std::string differences(const std::map<std::string, std::string>& a,
                        const std::map<std::string, std::string>& b) {
  std::string lines;
  for (auto& [path, what] : a) {
    auto other = b.find(path);
    if (other == b.end()) lines += path + ": only in the first\n";
    else if (other->second != what) lines += path + ": " + what + " / " + other->second + "\n";
  }
  for (auto& [path, what] : b)
    if (a.count(path) == 0) lines += path + ": only in the second\n";
  return lines;
}

struct Outcome {
  int result;
  CopyReport report;
  std::map<std::string, std::string> tree;
  // What the run is told of: files and folders placed ("+" copied, "=" in
  // place) and entries the source lacks ("?"), below the destination.
  Text destination;
  std::set<std::string> told;
};

void tell(Outcome& outcome, const Text& path, const char* mark) {
  outcome.told.insert(mark + toUtf8(path.substr(outcome.destination.size())));
}

Outcome copyWith(int workers, const Text& source, const Text& destination, int flags) {
  forcedCopyWorkers = workers;
  Outcome outcome;
  outcome.destination = destination;
  outcome.report.placed = [](void* context, const ToldPath& path, bool copied) {
    tell(*static_cast<Outcome*>(context), path.text(), copied ? "+" : "=");
  };
  outcome.report.unmatched = [](void* context, const ToldPath& path) {
    tell(*static_cast<Outcome*>(context), path.text(), "?");
  };
  outcome.report.placedContext = &outcome;
  outcome.result = copyTree(source, destination, flags, &outcome.report);
  outcome.tree = treeOf(destination);
  return outcome;
}

}  // namespace

TEST_F(ParallelCopyTest, SeveralAtOnceLeaveAndReportWhatOneAtATimeDoes) {
  Text source = dir + u"material/";
  makeMaterial(source);
  for (int flags : {kCopyRecursive, kCopyRecursive | kCopyForce}) {
    Text one = dir + u"one" + intToText(flags) + u"/";
    makeEarlierRun(source, one);
    Outcome alone = copyWith(1, source, one, flags);
    // Another go copies what failed only.
    Outcome again = copyWith(1, source, one, flags);
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE("flags " + std::to_string(flags) + ", round " + std::to_string(round));
      Text many = dir + u"many" + intToText(flags) + u"-" + intToText(round) + u"/";
      makeEarlierRun(source, many);
      Outcome together = copyWith(8, source, many, flags);
      EXPECT_EQ(alone.result, together.result);
      EXPECT_EQ("", differences(alone.tree, together.tree));
      EXPECT_EQ(alone.report.failedEntries, together.report.failedEntries);
      // The same entry is named, the first in the order of the walk.
      EXPECT_EQ(alone.report.firstFailedPath.substr(one.size()),
                together.report.firstFailedPath.substr(many.size()));
      EXPECT_EQ(alone.report.firstFailure.kind, together.report.firstFailure.kind);
      EXPECT_EQ(alone.report.copiedFiles, together.report.copiedFiles);
      EXPECT_EQ(alone.report.copiedBytes, together.report.copiedBytes);
      EXPECT_EQ(alone.report.unchangedFiles, together.report.unchangedFiles);
      EXPECT_EQ(alone.report.lockFiles, together.report.lockFiles);
      EXPECT_EQ(alone.told, together.told);

      // A rerun compares on the copying threads too: the same counts and
      // first failure, and a file found in place is not written again.
      std::map<std::string, std::string> before = filesOf(many);
      Outcome rerun = copyWith(8, source, many, flags);
      EXPECT_EQ("", differences(again.tree, rerun.tree));
      EXPECT_EQ("", differences(before, filesOf(many)));
      EXPECT_EQ(again.report.failedEntries, rerun.report.failedEntries);
      EXPECT_EQ(again.report.firstFailedPath.substr(one.size()),
                rerun.report.firstFailedPath.substr(many.size()));
      EXPECT_EQ(again.report.firstFailure.kind, rerun.report.firstFailure.kind);
      EXPECT_EQ(again.report.unchangedFiles, rerun.report.unchangedFiles);
      EXPECT_EQ(again.report.copiedFiles, rerun.report.copiedFiles);
      EXPECT_EQ(1, rerun.report.copiedFiles);  // the link, which is always made anew
      EXPECT_EQ(again.told, rerun.told);
      for (auto& [path, what] : rerun.tree)
        EXPECT_FALSE(isPartName(fromUtf8(std::filesystem::path(path).filename().string()))) << path;
    }
    // The pipe, the folder in the way and, without the force flag, the
    // read-only target.
    EXPECT_EQ(0, alone.result);
    EXPECT_EQ(flags & kCopyForce ? 2 : 3, alone.report.failedEntries);
    EXPECT_EQ(1, alone.report.lockFiles);
    EXPECT_EQ(30, alone.report.unchangedFiles);
  }
}

// The way out stops every copying thread: nothing more is written, no part
// file is left, and the copy ends. In a child process, as the way out is
// for good.
TEST_F(ParallelCopyTest, TheWayOutStopsEveryCopyingThread) {
  Text source = dir + u"material/";
  makePath(source);
  for (int file = 0; file < 24; ++file)
    writeFile(source + u"big" + intToText(file) + u".bin", std::string(20 << 20, 'x'));
  Text destination = dir + u"copy/";
  EXPECT_EXIT(
      {
        forcedCopyWorkers = 8;
        copyChunkHook = [] { abandonCopies(); };
        CopyReport report;
        int result = copyTree(source, destination, kCopyRecursive, &report);
        int parts = 0;
        int whole = 0;
        for (auto& entry : std::filesystem::directory_iterator(native(destination))) {
          if (isPartName(fromUtf8(entry.path().filename().string()))) ++parts;
          else if (entry.file_size() == 20 << 20) ++whole;
        }
        // Each thread may finish the file it had; none starts another.
        _exit(result == 0 && parts == 0 && whole <= 8 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

namespace {

// The large file's copying thread is the one that reported a whole piece.
thread_local bool copyingLargeFile = false;
Text largeFile;
void notePiece(void*, int64_t bytes, bool) {
  if (bytes == 16 << 20) copyingLargeFile = true;
}
// Changes the large file while it is copied, so that it fails, and holds its
// thread so that a later entry fails first.
void changeLargeFileSlowly() {
  if (!copyingLargeFile) return;
  copyingLargeFile = false;
  std::FILE* file = std::fopen(native(largeFile).c_str(), "ab");
  std::fputs("more", file);
  std::fclose(file);
  usleep(300000);
}

}  // namespace

// The failure a report names is the first in the walk, not the first to end.
TEST_F(ParallelCopyTest, TheFailureNamedIsTheFirstInTheWalk) {
  Text source = dir + u"material/";
  makePath(source);
  for (int file = 0; file < 12; ++file) writeFile(source + u"f" + intToText(file), "small");
  // A pipe fails at once; it must come after a regular file in the listing,
  // which becomes the large file.
  std::string first;
  for (int attempt = 0; first.empty() && attempt < 50; ++attempt) {
    std::string pipe = native(source) + "pipe" + std::to_string(attempt);
    mkfifo(pipe.c_str(), 0644);
    for (auto& entry : std::filesystem::directory_iterator(native(source))) {
      if (entry.is_fifo()) break;
      first = entry.path().string();
      break;
    }
    if (first.empty()) unlink(pipe.c_str());
  }
  ASSERT_FALSE(first.empty());
  largeFile = fromUtf8(first);
  writeFile(largeFile, std::string(40 << 20, 'l'));
  copyChunkHook = changeLargeFileSlowly;
  for (int workers : {1, 8}) {
    forcedCopyWorkers = workers;
    CopyReport report;
    report.progress = notePiece;
    writeFile(largeFile, std::string(40 << 20, 'l'));
    EXPECT_EQ(0, copyTree(source, dir + u"copy" + intToText(workers), kCopyRecursive, &report));
    EXPECT_EQ(2, report.failedEntries) << workers;
    EXPECT_EQ(fromUtf8(std::filesystem::path(first).filename().string()),
              report.firstFailedPath.substr(report.firstFailedPath.rfind(u'/') + 1))
        << workers;
  }
  copyChunkHook = nullptr;
}

// Each lane is a folder the waiting jobs keep open: however many folders
// the walk meets while every thread is busy, only a few lanes wait.
TEST(CopyWorkersTest, FewLanesWaitWhileEveryThreadIsBusy) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> handed{0}, done{0};
  static const char lanes[100] = {};
  std::thread walk([&] {
    CopyWorkers workers(2);
    for (const char& lane : lanes) {
      workers.run([&] { released.wait(), ++done; }, &lane);
      ++handed;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LT(handed.load(), 10);  // 2 running and 4 lanes waiting
  release.set_value();
  walk.join();
  EXPECT_EQ(done.load(), 100);
}

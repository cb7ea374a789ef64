// Times copyTree on a material folder of many small files and a few large
// ones against cp -r, and rsync -a when it is installed, in the same run: the
// first copy into a missing folder, then a rerun over the unchanged result
// (copyTree and rsync should find every file in place; cp -r copies it all
// again). Each round runs every copier once, in an order that rotates from
// round to round, so none always goes first after the source is written or
// last while the machine drifts. The median of the clock and of the
// processor time (user and system, the commands' children included) is
// printed; the processor time varies far less than the clock on a shared
// machine, and the ratio is given for both.
//
// Every copy starts after a sync, so none pays for another's write-back, and
// all read the same warm source. What a copy wrote is then dropped from the
// page cache, so that each copy finds about as much free memory as the one
// before: on a virtual machine whose host takes back memory left unused, a
// copy that must fill pages the guest has not touched for a while was seen
// to take five times as long. Nothing is deleted until the end: ext4 without
// a journal passes over inodes freed in the last minute on every file it
// creates, so a copy that ran just after a deletion would pay for it and the
// one after it less. For the same reason, run it again only a minute after
// the last run ended. The destinations of all rounds take rounds × copiers ×
// the tree's size in the temporary directory.
//
//   copy_tree_bench [small files] [KiB each] [large files] [MiB each] [rounds]

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fs/copy_tree.h"
#include "fs/paths.h"

extern char** environ;

namespace {

bool writeBytes(const Text& path, size_t size) {
  std::FILE* file = openFile(path, "wb");
  if (!file) return false;
  std::string block(size, 'm');
  bool written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
  return std::fclose(file) == 0 && written;
}

struct Times {
  std::vector<double> wall, processor;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double processorSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage;
    getrusage(who, &usage);
    total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  return total;
}

bool shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// Runs a command without a shell in between, so its figures are the
// command's own.
bool run(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t child;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int dropCachedFile(const char* path, const struct stat* info, int type, struct FTW*) {
  if (type != FTW_F || !S_ISREG(info->st_mode)) return 0;
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
  return 0;
}

// Written pages can be dropped only once they are on disk.
void dropFromCache(const Text& folder) {
  shell("sync");
  nftw(toUtf8(folder).c_str(), dropCachedFile, 16, FTW_PHYS);
}

// A command's words, the destination to be appended; none for copyTree.
struct Copier {
  const char* name;
  std::vector<std::string> command;
  Times first, rerun;
};

Copier copier(const char* name, std::vector<std::string> command) {
  Copier made;
  made.name = name;
  made.command = std::move(command);
  return made;
}

bool copyWith(const Copier& copier, const Text& source, const Text& destination) {
  if (copier.command.empty())
    return copyTree(source, destination, kCopyRecursive | kCopyForce) == 1;
  std::vector<std::string> words = copier.command;
  words.push_back(toUtf8(destination));
  return run(words);
}

// After a sync, so that no copy pays for another's write-back.
bool timedCopy(Copier& copier, Times Copier::*set, const Text& source, const Text& destination) {
  shell("sync");
  double processor = processorSeconds();
  auto start = std::chrono::steady_clock::now();
  bool ok = copyWith(copier, source, destination);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  (copier.*set).wall.push_back(wall);
  (copier.*set).processor.push_back(processorSeconds() - processor);
  dropFromCache(destination);
  return ok;
}

void printLine(const char* what, const Times& times) {
  std::printf("    %-20s %8.3f s  %8.3f s\n", what, median(times.wall), median(times.processor));
}

std::vector<double> ratios(const std::vector<double>& ours, const std::vector<double>& theirs) {
  std::vector<double> result;
  for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
    result.push_back(ours[i] / theirs[i]);
  return result;
}

// The ratio of the medians, and below it the median of each round's own
// ratio, which a spell of a slow machine that spans a round leaves alone.
void printRatio(const char* what, const Times& ours, const Times& theirs) {
  std::printf("    %-20s %8.2f    %8.2f\n", what, median(ours.wall) / median(theirs.wall),
              median(ours.processor) / median(theirs.processor));
  std::printf("      %-18s %8.2f    %8.2f\n", "round by round",
              median(ratios(ours.wall, theirs.wall)),
              median(ratios(ours.processor, theirs.processor)));
}

void printSet(const char* title, const std::vector<Copier>& copiers, bool haveRsync,
              Times Copier::*set) {
  std::printf("  %s\n", title);
  for (const Copier& copier : copiers) printLine(copier.name, copier.*set);
  if (!haveRsync) std::printf("    %-20s not installed\n", "rsync -a");
  printRatio("copyTree / cp -r", copiers[0].*set, copiers[1].*set);
  if (haveRsync) printRatio("copyTree / rsync -a", copiers[0].*set, copiers[2].*set);
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  int kilobytes = argc > 2 ? std::atoi(argv[2]) : 4;
  int large = argc > 3 ? std::atoi(argv[3]) : 20;
  int largeMegabytes = argc > 4 ? std::atoi(argv[4]) : 8;
  int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 11;
  Text root = createPrivateFolder(tempDirectory());
  if (root.empty()) return 1;
  Text source = root + u"材料" + kSeparator;
  makePath(source);
  for (int i = 0; i < files; ++i) {
    Text folder = source + u"sub" + intToText(i % 50) + kSeparator;
    if (i < 50) makePath(folder);
    if (!writeBytes(folder + u"文件" + intToText(i) + u".txt", size_t(kilobytes) * 1024)) return 1;
  }
  for (int i = 0; i < large; ++i)
    writeBytes(source + u"large" + intToText(i) + u".bin", size_t(largeMegabytes) << 20);
  double megabytes = (double(files) * kilobytes / 1024) + double(large) * largeMegabytes;
  // "source/." copies the content whether or not the destination exists, so
  // the rerun of cp -r writes over its first copy instead of into a subfolder.
  std::string from = toUtf8(source) + ".";
  std::vector<Copier> copiers = {copier("copyTree", {}), copier("cp -r", {"cp", "-r", from})};
  bool haveRsync = shell("command -v rsync >/dev/null 2>&1");
  if (haveRsync) copiers.push_back(copier("rsync -a", {"rsync", "-a", from + "/"}));
  bool ok = true;
  size_t count = copiers.size();
  for (int round = 0; round < rounds; ++round) {
    for (Times Copier::*set : {&Copier::first, &Copier::rerun}) {
      for (size_t k = 0; k < count; ++k) {
        size_t which = (k + round) % count;
        Text dest = root + u"copy" + intToText(int(which)) + u"-" + intToText(round);
        ok = timedCopy(copiers[which], set, source, dest) && ok;
      }
    }
  }
  std::printf(
      "copy_tree_bench: %d files of %d KiB and %d of %d MiB (%.0f MiB), median of %d rounds\n",
      files, kilobytes, large, largeMegabytes, megabytes, rounds);
  std::printf("    %-20s %10s  %10s\n", "", "clock", "processor");
  printSet("first copy into a missing folder", copiers, haveRsync, &Copier::first);
  printSet("rerun over the unchanged result", copiers, haveRsync, &Copier::rerun);
  shell("rm -rf '" + toUtf8(root) + "'");
  return ok ? 0 : 1;
}

// Times copyTree on a material folder of many small files and a few large
// ones: the first copy, and a second one over the unchanged result, which
// should find every file in place and copy nothing. cp -r, and rsync -a when
// it is installed, copy the same tree in the same run for comparison; each
// copy runs several times into fresh folders, alternating, after a sync so
// that none pays for the write-back of another. The median of each is
// printed, as is the processor time (user and system, the commands' children
// included), which varies far less than the clock on a shared machine.
//
//   copy_tree_bench [small files] [KiB each] [large files] [MiB each] [rounds]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "fs/copy_tree.h"
#include "fs/paths.h"

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

void timed(Times& times, const std::function<bool()>& run, bool& ok) {
  std::system("sync");
  double processor = processorSeconds();
  auto start = std::chrono::steady_clock::now();
  ok = run() && ok;
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  times.wall.push_back(wall);
  times.processor.push_back(processorSeconds() - processor);
}

std::string quoted(const Text& path) {
  return "'" + toUtf8(path) + "'";
}

bool shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  int kilobytes = argc > 2 ? std::atoi(argv[2]) : 4;
  int large = argc > 3 ? std::atoi(argv[3]) : 20;
  int largeMegabytes = argc > 4 ? std::atoi(argv[4]) : 8;
  int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
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
  bool haveRsync = shell("command -v rsync >/dev/null 2>&1");
  bool ok = true;
  Times first, rerun, cp, rsync;
  for (int round = 0; round < rounds; ++round) {
    Text dest = root + u"dest" + intToText(round);
    Text byCp = root + u"cp" + intToText(round), byRsync = root + u"rsync" + intToText(round);
    timed(
        first, [&] { return copyTree(source, dest, u"", 3) == 1; }, ok);
    timed(
        rerun, [&] { return copyTree(source, dest, u"", 3) == 1; }, ok);
    timed(
        cp, [&] { return shell("cp -r " + quoted(source) + " " + quoted(byCp)); }, ok);
    if (haveRsync)
      timed(
          rsync, [&] { return shell("rsync -a " + quoted(source) + " " + quoted(byRsync + u"/")); },
          ok);
    shell("rm -rf " + quoted(dest) + " " + quoted(byCp) + " " + quoted(byRsync));
  }
  std::printf("copy_tree_bench: %d files of %d KiB and %d of %d MiB (%.0f MiB), median of %d\n",
              files, kilobytes, large, largeMegabytes, megabytes, rounds);
  auto line = [](const char* what, const Times& times) {
    std::printf("  %-12s %.3f s clock  %.3f s processor\n", what, median(times.wall),
                median(times.processor));
  };
  line("first copy", first);
  line("unchanged", rerun);
  line("cp -r", cp);
  if (haveRsync)
    line("rsync -a", rsync);
  else
    std::printf("  rsync -a     not installed\n");
  std::printf("  first copy / cp -r: %.2f on the clock, %.2f in processor time\n",
              median(first.wall) / median(cp.wall), median(first.processor) / median(cp.processor));
  shell("rm -rf " + quoted(root));
  return ok ? 0 : 1;
}

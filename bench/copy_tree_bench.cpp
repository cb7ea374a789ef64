// Times copyTree on a material folder of many small files and a few large
// ones: the first copy, and a second one over the unchanged result, which
// should find every file in place and copy nothing.
//
//   copy_tree_bench [files] [kilobytes per file]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

double secondsOf(const Text& source, const Text& destination, int& result) {
  auto start = std::chrono::steady_clock::now();
  result = copyTree(source, destination, u"", kCopyRecursive | kCopyForce);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 5000;
  int kilobytes = argc > 2 ? std::atoi(argv[2]) : 16;
  Text root = createPrivateFolder(tempDirectory());
  if (root.empty()) return 1;
  Text source = root + u"材料" + kSeparator;
  for (int i = 0; i < files; ++i) {
    Text folder = source + u"sub" + intToText(i % 50) + kSeparator;
    if (i < 50) makePath(folder);
    if (!writeBytes(folder + u"文件" + intToText(i) + u".txt", size_t(kilobytes) * 1024)) return 1;
  }
  for (int i = 0; i < 4; ++i) writeBytes(source + u"large" + intToText(i) + u".bin", 64 << 20);
  double megabytes = (double(files) * kilobytes / 1024) + 4 * 64;
  int first, second;
  double cold = secondsOf(source, root + u"dest", first);
  double rerun = secondsOf(source, root + u"dest", second);
  std::printf("copy_tree_bench: %d files of %d KiB and 4 of 64 MiB (%.0f MiB)\n", files, kilobytes,
              megabytes);
  std::printf("  first copy   %.3f s  (%.0f MiB/s)  result %d\n", cold, megabytes / cold, first);
  std::printf("  unchanged    %.3f s  result %d\n", rerun, second);
  std::string clean = "rm -rf '" + toUtf8(root) + "'";
  return std::system(clean.c_str()) == 0 && first == 1 && second == 1 ? 0 : 1;
}

#include "fuzz_support.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "fs/paths.h"

namespace {

namespace stdfs = std::filesystem;

stdfs::path native(const Text& path) { return stdfs::path(toUtf8(path)); }

// Names, kinds and sizes of everything below folder, one line each, sorted
// by the recursive walk's path; symbolic links are listed, not followed.
std::string listing(const Text& folder) {
  std::string lines;
  std::error_code error;
  stdfs::recursive_directory_iterator it(native(folder), error), end;
  for (; !error && it != end; it.increment(error)) {
    const stdfs::directory_entry& entry = *it;
    std::error_code ignored;
    std::string kind = entry.is_symlink(ignored) ? "link"
                       : entry.is_directory(ignored) ? "dir"
                                                     : "file";
    uintmax_t size = kind == "file" ? entry.file_size(ignored) : 0;
    lines += entry.path().string() + " " + kind + " " + std::to_string(size) + "\n";
  }
  if (error) lines += "error: " + error.message() + "\n";
  return lines;
}

std::string sortedLines(std::string lines) {
  std::vector<std::string> all;
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    all.push_back(lines.substr(start, end - start));
    start = end + 1;
  }
  std::sort(all.begin(), all.end());
  std::string joined;
  for (const std::string& line : all) joined += line + "\n";
  return joined;
}

std::string sentinelListing;

void makeFolder(const Text& path) {
  std::error_code error;
  stdfs::create_directories(native(path), error);
  if (error) fail("setup", "cannot create " + toUtf8(path) + ": " + error.message());
}

Scratch makeScratch() {
  const char* parent = std::getenv("VARNELO_FUZZ_SCRATCH");
  if (!parent || !*parent) parent = std::getenv("TMPDIR");
  if (!parent || !*parent) parent = "/tmp";
  std::string pattern = std::string(parent) + "/varnelo-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) fail("setup", "cannot create a scratch folder in " + pattern);
  Scratch s;
  s.root = fromUtf8(pattern) + u"/";
  s.temp = s.root + u"tmp/";
  s.sentinel = s.root + u"sentinel/";
  s.work = s.root + u"work/";
  // Two levels down, so that climbing out by one or two levels both land in
  // folders that are checked.
  s.program = s.root + u"box/program/";
  makeFolder(s.temp);
  makeFolder(s.work);
  makeFolder(s.root + u"box/");
  makeFolder(s.sentinel + u"0-所有履职材料/A01/");
  const uint8_t note[] = "sentinel";
  writeBytes(s.sentinel + u"0-所有履职材料/A01/a.txt", note, sizeof note - 1);
  writeBytes(s.sentinel + u"keep.txt", note, sizeof note - 1);
  // The program reads TMPDIR for every private folder it makes.
  setenv("TMPDIR", toUtf8(s.temp).c_str(), 1);
  sentinelListing = sortedLines(listing(s.sentinel));
  // A process that ends through exit() takes its scratch area with it; after
  // a crash it stays for a look at what the input left. libFuzzer ends some
  // runs without exit handlers, so run_fuzz.sh puts every area in a folder of
  // its own that it removes.
  static std::string removeAtExit = pattern;
  std::atexit([] {
    std::error_code ignored;
    stdfs::remove_all(removeAtExit, ignored);
  });
  return s;
}

}  // namespace

void fail(const char* target, const std::string& what) {
  std::fprintf(stderr, "==fuzz %s== %s\n", target, what.c_str());
  std::fflush(stderr);
  std::abort();
}

const Scratch& scratch() {
  static const Scratch s = makeScratch();
  return s;
}

void prepareProcess() {
  static bool prepared = [] {
    // Archive entry names are converted through the character-type locale, as
    // the program sets it up.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
    scratch();
    return true;
  }();
  (void)prepared;
}

void writeBytes(const Text& path, const uint8_t* data, size_t size) {
  std::ofstream out(native(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) fail("setup", "cannot write " + toUtf8(path));
}

std::string readBytes(const Text& path) {
  std::ifstream in(native(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void makeProgramFolder() {
  const Scratch& s = scratch();
  Text root = s.program + u"0-所有履职材料/";
  makeFolder(root + u"A01/sub/");
  makeFolder(root + u"B02/");
  const uint8_t a[] = "a", b[] = "bb", deep[] = "deep";
  writeBytes(root + u"A01/a.txt", a, 1);
  writeBytes(root + u"A01/sub/deep.txt", deep, 4);
  writeBytes(root + u"B02/b.txt", b, 2);
}

void removeProgramFolder() {
  const Scratch& s = scratch();
  std::error_code error;
  stdfs::remove_all(native(s.program), error);
  if (error || stdfs::exists(native(s.program)))
    fail("cleanup", "the program folder could not be removed: " + error.message());
}

void checkNothingOutside(const char* target) {
  const Scratch& s = scratch();
  std::string temp = listing(s.temp);
  if (!temp.empty()) fail(target, "left in the temporary directory:\n" + temp);
  std::string sentinel = sortedLines(listing(s.sentinel));
  if (sentinel != sentinelListing)
    fail(target, "the sentinel folder changed:\n" + sentinel + "was:\n" + sentinelListing);
  std::error_code error;
  for (stdfs::directory_iterator it(native(s.root), error), end; !error && it != end;
       it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name != "tmp" && name != "sentinel" && name != "work" && name != "box")
      fail(target, "written outside the program folder: " + it->path().string());
  }
  for (stdfs::directory_iterator it(native(s.root + u"box/"), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename() != "program")
      fail(target, "written beside the program folder: " + it->path().string());
  }
  if (error) fail(target, "cannot list the scratch folder: " + error.message());
}

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "fs/paths.h"
#include "fs/run_guard.h"

// The owner of a parts folder holds an exclusive flock on the folder itself
// for as long as it lives; the kernel lets go of it when the process ends, in
// whatever way. A folder whose lock can be taken has no owner any more.

namespace {

constexpr char kPartsPrefix[] = "varnelo-parts-";
constexpr char kNewPrefix[] = "varnelo-new-";

std::mutex guardLock;
int programFolderFd = -1;

// The current parts folder, kept as plain bytes so that a signal handler can
// remove it without allocating.
char partsPath[4096];
volatile sig_atomic_t partsFd = -1;

// Removes the entries directly in the folder open as fd, then the folder.
// Only system calls, so that it may run inside a signal handler.
void sweepFolder(int fd, const char* path) {
  alignas(8) char buffer[4096];
  for (;;) {
    long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      // struct linux_dirent64: inode, offset, record length, type, name.
      unsigned short length;
      memcpy(&length, buffer + at + 16, sizeof length);
      const char* name = buffer + at + 19;
      if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) unlinkat(fd, name, 0);
      at += length;
    }
  }
  rmdir(path);
}

void removeOnSignal(int signal) {
  int fd = partsFd;
  if (fd >= 0) {
    lseek(fd, 0, SEEK_SET);
    sweepFolder(fd, partsPath);
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Where nothing else handles SIGINT and SIGTERM (the window shell), they end
// the process the usual way, after the parts folder is gone. A shell that
// handles them itself calls removePartsFolder on its own way out.
void catchEndingSignals() {
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current = {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action = {};
    action.sa_handler = removeOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

std::string folderBytes(const Text& folder) {
  std::string path = toUtf8(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

FolderLock lockProgramFolder(const Text& folder) {
  std::lock_guard<std::mutex> hold(guardLock);
  if (programFolderFd >= 0) return FolderLock::kBusy;
  int fd = open(folderBytes(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FolderLock::kHeld;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? FolderLock::kBusy : FolderLock::kHeld;
  }
  programFolderFd = fd;
  return FolderLock::kHeld;
}

void unlockProgramFolder() {
  std::lock_guard<std::mutex> hold(guardLock);
  if (programFolderFd >= 0) close(programFolderFd);
  programFolderFd = -1;
}

int removeAbandonedPartsFolders(const Text& folder) {
  std::string parent = folderBytes(folder);
  DIR* listing = opendir(parent.c_str());
  if (listing == nullptr) return 0;
  int removed = 0;
  while (dirent* entry = readdir(listing)) {
    if (strncmp(entry->d_name, kPartsPrefix, sizeof kPartsPrefix - 1) != 0) continue;
    std::string path = parent + "/" + entry->d_name;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info;
    // Other users' folders in a shared /tmp are theirs to clean.
    if (fstat(fd, &info) == 0 && info.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      sweepFolder(fd, path.c_str());
      if (access(path.c_str(), F_OK) != 0) ++removed;
    }
    close(fd);
  }
  closedir(listing);
  return removed;
}

Text createPartsFolder() {
  Text parent = tempDirectory();
  removeAbandonedPartsFolders(parent);
  std::lock_guard<std::mutex> hold(guardLock);
  if (partsFd >= 0) return Text();
  // Made under another name and renamed once locked: a sweep in another
  // process never sees the folder without its owner's mark.
  std::string base = folderBytes(parent) + "/";
  std::string fresh = base + kNewPrefix + "XXXXXX";
  if (mkdtemp(fresh.data()) == nullptr) return Text();
  int fd = open(fresh.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  std::string final = base + kPartsPrefix + fresh.substr(fresh.size() - 6);
  if (fd < 0 || flock(fd, LOCK_EX) != 0 || final.size() >= sizeof partsPath ||
      rename(fresh.c_str(), final.c_str()) != 0) {
    if (fd >= 0) close(fd);
    rmdir(fresh.c_str());
    return Text();
  }
  memcpy(partsPath, final.c_str(), final.size() + 1);
  catchEndingSignals();
  partsFd = fd;
  return fromUtf8(final) + u"/";
}

void removePartsFolder() {
  std::lock_guard<std::mutex> hold(guardLock);
  int fd = partsFd;
  if (fd < 0) return;
  partsFd = -1;
  // A worker still extracting may add a file after the sweep; a few more
  // sweeps catch it, and a folder that still stays is found by the next run.
  for (int attempt = 0; attempt < 3 && access(partsPath, F_OK) == 0; ++attempt) {
    lseek(fd, 0, SEEK_SET);
    sweepFolder(fd, partsPath);
  }
  close(fd);
}

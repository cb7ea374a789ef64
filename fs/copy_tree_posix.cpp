#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "fs/copy_tree.h"
#include "fs/paths.h"

namespace {

// Files being written carry this prefix and suffix until they are renamed
// over their target; one left by an interrupted run is removed next time.
const char kPartPrefix[] = ".~varnelo-";
const char kPartSuffix[] = ".part";

struct Level {
  int flags;
  Text pattern;
  CopyReport* report;
};

void fail(const Level& level, const std::string& path, const Text& message) {
  if (level.report == nullptr) return;
  if (level.report->failedEntries++ == 0) {
    level.report->firstFailedPath = fromUtf8(path);
    level.report->firstFailedMessage = message;
  }
}

void fail(const Level& level, const std::string& path, int error) {
  char buffer[256];
  fail(level, path, fromUtf8(strerror_r(error, buffer, sizeof buffer)));
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

bool endsWith(const std::string& s, const char* suffix) {
  size_t n = strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

std::string partName(const std::string& folder, const std::string& name) {
  return folder + kPartPrefix + name + kPartSuffix;
}

void removeLeftoverParts(const std::string& folder) {
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) return;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name.rfind(kPartPrefix, 0) == 0 && endsWith(name, kPartSuffix))
      unlink((folder + name).c_str());
  }
}

bool moveData(int from, int to) {
  bool kernelCopy = true;
  for (;;) {
    ssize_t moved = -1;
    if (kernelCopy) {
      moved = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
      if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                        errno == EOPNOTSUPP || errno == EPERM)) {
        kernelCopy = false;  // not on this file system: read and write instead
        continue;
      }
    } else {
      static thread_local std::vector<char> buffer(1 << 20);
      moved = read(from, buffer.data(), buffer.size());
      for (ssize_t done = 0; moved > 0 && done < moved;) {
        ssize_t written = write(to, buffer.data() + done, moved - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += written;
      }
    }
    if (moved == 0) return true;
    if (moved < 0 && errno != EINTR) return false;
  }
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The target is replaced only by a rename of a complete file, so it is never
// seen half-written.
int copyFile(const std::string& source, const std::string& folder, const std::string& name,
             const Level& level) {
  std::string target = folder + name;
  Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat from;
  if (in.fd < 0 || fstat(in.fd, &from) != 0) return errno;
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return EISDIR;
    if (S_ISREG(existing.st_mode) && sameFile(from, existing)) return 0;
    // Without the force flag a read-only target stays, as the Windows copy does.
    if (!(level.flags & kCopyForce) && S_ISREG(existing.st_mode) && !(existing.st_mode & S_IWUSR))
      return EACCES;
  }
  std::string part = partName(folder, name);
  unlink(part.c_str());
  Fd out(open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.fd < 0) return errno;
  int error = 0;
  if (!moveData(in.fd, out.fd)) error = errno ? errno : EIO;
  struct timespec times[2] = {from.st_atim, from.st_mtim};
  if (!error && (fchmod(out.fd, from.st_mode & 07777) != 0 || futimens(out.fd, times) != 0))
    error = errno;
  if (!error && close(out.fd) != 0) error = errno;
  out.fd = -1;
  if (!error && rename(part.c_str(), target.c_str()) != 0) error = errno;
  if (error) unlink(part.c_str());
  return error;
}

// A link is reproduced as a link, never followed.
int copyLink(const std::string& source, const std::string& folder, const std::string& name) {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink(source.c_str(), buffer.data(), buffer.size() - 1);
  if (length < 0) return errno;
  std::string target = folder + name;
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return EISDIR;
  std::string part = partName(folder, name);
  unlink(part.c_str());
  if (symlink(std::string(buffer.data(), length).c_str(), part.c_str()) != 0) return errno;
  if (rename(part.c_str(), target.c_str()) != 0) {
    int error = errno;
    unlink(part.c_str());
    return error;
  }
  return 0;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int copyLevel(const std::string& source, const std::string& destination, const Level& level,
              bool nested);

// Copies one entry of a source folder; false when it failed.
bool copyEntry(const std::string& sourceFolder, const std::string& destFolder,
               const std::string& name, const Level& level) {
  std::string from = sourceFolder + name;
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) {
    fail(level, destFolder + name, errno);
    return false;
  }
  bool folderLike = S_ISDIR(info.st_mode) || (S_ISLNK(info.st_mode) && isDirectory(from));
  if (folderLike && !(level.flags & kCopyRecursive)) return true;
  if (!folderLike && !matchFilePattern(fromUtf8(name), level.pattern)) return true;
  if (S_ISDIR(info.st_mode)) return copyLevel(from, destFolder + name, level, true) == 1;
  int error;
  if (S_ISLNK(info.st_mode)) error = copyLink(from, destFolder, name);
  else if (S_ISREG(info.st_mode)) error = copyFile(from, destFolder, name, level);
  else error = ENOTSUP;  // devices, pipes and sockets have no content to copy
  if (error == 0) return true;
  fail(level, destFolder + name, error);
  return false;
}

int copyLevel(const std::string& source, const std::string& destination, const Level& level,
              bool nested) {
  std::string probe = destination;
  if (!probe.empty() && probe.back() == '/') probe.pop_back();
  // Inside the copy a link in the destination came from an earlier copy of a
  // link; writing through it would reach wherever it points.
  struct stat own;
  if (nested && lstat(probe.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) {
    fail(level, destination, u"the destination is a symbolic link, which is not followed");
    return 0;
  }
  bool present = isDirectory(probe);
  std::string sourceFolder = source.back() == '/' ? source : source + "/";
  DirHandle dir(opendir(sourceFolder.c_str()));
  if (!dir) {
    fail(level, source, errno);
    return 0;
  }
  if (!present && mkdir(probe.c_str(), 0777) != 0) {
    fail(level, destination, errno);
    return 0;
  }
  std::string destFolder = probe + "/";
  if (present) removeLeftoverParts(destFolder);
  int result = 1;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!copyEntry(sourceFolder, destFolder, name, level)) result = 0;
  }
  return result;
}

// The canonical path of a folder that may not exist yet: its nearest existing
// ancestor resolved, the rest appended.
std::string canonical(const std::string& path) {
  std::string rest;
  std::string head = path;
  while (!head.empty()) {
    while (head.size() > 1 && head.back() == '/') head.pop_back();
    char* resolved = realpath(head.c_str(), nullptr);
    if (resolved != nullptr) {
      std::string result = resolved;
      free(resolved);
      return result + (result.back() == '/' ? "" : "/") + rest;
    }
    size_t slash = head.rfind('/');
    if (slash == std::string::npos) return path;
    rest = head.substr(slash + 1) + "/" + rest;
    head = head.substr(0, slash == 0 ? 1 : slash);
  }
  return path;
}

bool liesInside(const std::string& destination, const std::string& source) {
  std::string from = canonical(source), to = canonical(destination);
  if (from.back() != '/') from += '/';
  if (to.back() != '/') to += '/';
  return to.compare(0, from.size(), from) == 0;
}

}  // namespace

int copyTree(const Text& source, const Text& destination, const Text& pattern, int flags,
             CopyReport* report) {
  if (source.empty() || destination.empty()) return 0;
  Level level{flags, pattern.empty() ? Text(u"*.*") : pattern, report};
  std::string from = toUtf8(source), to = toUtf8(destination);
  if (isDirectory(from) && liesInside(to, from)) {
    fail(level, to, u"the destination lies inside the source folder");
    return 0;
  }
  return copyLevel(from, to, level, false);
}

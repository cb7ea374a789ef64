// The tree copy works on open folders (openat, fstatat, renameat): each name
// is looked up in the folder already open rather than walked from the root
// again, and a folder of the destination is opened without following a link,
// so nothing can be written through one even if it appears mid-copy.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "fs/copy_parts.h"
#include "fs/copy_tree.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"

void (*copyChunkHook)() = nullptr;

namespace {

struct Level {
  int flags;
  CopyReport* report;
  int creationMask;  // the process's umask; -1 when it could not be read
};

// A destination folder being filled.
struct Target {
  int fd;
  std::string path;  // ends with a separator; names the folder in failure reports
  bool fresh;        // made by this copy, so nothing is in it: no targets, no leftovers
  bool modeAsAsked;  // a file created in it gets the mode asked for, less the umask
};

void fail(const Level& level, const std::string& path, const Text& reason) {
  if (level.report == nullptr) return;
  if (level.report->failedEntries++ == 0) {
    level.report->firstFailedPath = fromUtf8(path);
    level.report->firstFailedMessage = reason;
  }
}

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// umask() tells the mask only by replacing it, and a file another thread
// created in between would get the stand-in, so it is read from the
// process's status instead.
int creationMask() {
  Fd status(open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (status.fd < 0) return -1;
  char text[4096];
  ssize_t n = read(status.fd, text, sizeof text - 1);
  if (n <= 0) return -1;
  text[n] = '\0';
  const char* line = strstr(text, "\nUmask:");
  if (line == nullptr) return -1;
  char* end = nullptr;
  long mask = strtol(line + 7, &end, 8);
  return end != line + 7 && mask >= 0 && mask <= 0777 ? static_cast<int>(mask) : -1;
}

// Whether a file created in folder gets exactly the permission bits asked
// for less the umask. Local POSIX file systems do so unless the folder has a
// default access list, which takes the umask's place; a network or FUSE file
// system may decide otherwise, so there the bits are always set afterwards.
bool createsModeAsAsked(int folder) {
  struct statfs system;
  if (fstatfs(folder, &system) != 0) return false;
  switch (system.f_type) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
      break;
    default:
      return false;
  }
  return fgetxattr(folder, "system.posix_acl_default", nullptr, 0) < 0 &&
         (errno == ENODATA || errno == EOPNOTSUPP);
}

// Drawn once per process; the process id goes into each name separately, so
// a forked child never shares names with its parent.
uint32_t runToken() {
  static const uint32_t token = [] {
    uint32_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value) {
      struct timespec now;
      clock_gettime(CLOCK_REALTIME, &now);
      value = static_cast<uint32_t>(now.tv_nsec) ^ static_cast<uint32_t>(now.tv_sec);
    }
    return value;
  }();
  return token;
}

// The process id, asked once and again in a forked child: getpid is a
// system call per file otherwise.
std::atomic<uint32_t> cachedProcessId{0};

uint32_t processId() {
  uint32_t id = cachedProcessId.load(std::memory_order_relaxed);
  if (id != 0) return id;
  static const bool watched = [] {
    return pthread_atfork(nullptr, nullptr, [] { cachedProcessId = 0; }) == 0;
  }();
  id = static_cast<uint32_t>(getpid());
  if (watched) cachedProcessId = id;
  return id;
}

std::string nextPartName() {
  static std::atomic<uint32_t> counter{0};
  return toUtf8(partName(processId(), runToken(), counter++));
}

// A process that may still be writing its part files; one we may not signal
// is alive too.
bool processAlive(uint32_t id) {
  if (id == 0 || id > static_cast<uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

// Removes the part files that an interrupted run left in destination. A name
// of that form that the source also holds is material, and a part whose
// writer is still running is that run's business.
void removeLeftoverParts(int source, int destination) {
  int fd = openat(destination, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DirHandle dir(fdopendir(fd));
  if (!dir) {
    close(fd);
    return;
  }
  while (dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    uint32_t owner = 0;
    if (name[0] != '.' || strlen(name) != kPartNameLength || !isPartName(fromUtf8(name), &owner))
      continue;
    struct stat info;
    if (processAlive(owner) || fstatat(source, name, &info, AT_SYMLINK_NOFOLLOW) == 0 ||
        errno != ENOENT)
      continue;
    unlinkat(destination, name, 0);
  }
}

constexpr size_t kPieceBytes = 16 << 20;
constexpr size_t kBufferBytes = 1 << 20;

// Moves from into to until expected bytes have moved or from ends; 0 or the
// error. moved counts the bytes. A file that grew meanwhile shows in its size
// afterwards, so no call is spent on finding its end.
int moveData(int from, int to, int64_t expected, int64_t& moved, const Level& level) {
  bool kernelCopy = true;
  while (moved < expected) {
    if (abandoningCopies()) return ECANCELED;
    ssize_t n = -1;
    if (kernelCopy) {
      // Pieces small enough that progress moves, and that the way out is
      // not kept waiting, even on a slow network share.
      n = copy_file_range(from, nullptr, to, nullptr, kPieceBytes, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                    errno == EPERM)) {
        kernelCopy = false;  // not on this file system: read and write instead
        continue;
      }
    } else {
      static thread_local std::vector<char> buffer(kBufferBytes);
      n = read(from, buffer.data(), buffer.size());
      for (ssize_t done = 0; n > 0 && done < n;) {
        ssize_t written = write(to, buffer.data() + done, n - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        done += written;
      }
    }
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    moved += n;
    reportBytes(level.report, n);
    if (copyChunkHook != nullptr) copyChunkHook();
  }
  return 0;
}

// Whether the folder open as *context holds an entry called name.
bool existsIn(const Text& name, void* context) {
  struct stat info;
  return fstatat(*static_cast<int*>(context), toUtf8(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Creates a fresh part file in folder (whose path is folderPath); its name is
// written to part, and its path is kept for the way out until forgotten.
// None is made once the program is leaving.
int createPart(int folder, const std::string& folderPath, std::string& part, mode_t mode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    part = nextPartName();
    if (!keepPart(folderPath + part)) {
      errno = ECANCELED;
      return -1;
    }
    int fd = openat(folder, part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    int error = errno;
    forgetPart(folderPath + part);
    errno = error;
    if (error != EEXIST) return -1;
  }
  return -1;
}

// Whether a part created with the source's permission bits comes out with
// exactly those, so that no chmod is needed once it is written. A read-only
// one is still written through the descriptor that created it.
bool bitsAtCreation(mode_t bits, const Target& target, const Level& level) {
  return target.modeAsAsked && (bits & ~0777) == 0 &&
         (bits & static_cast<mode_t>(level.creationMask)) == 0;
}

// The target is replaced only by a rename of a complete file, so it is never
// seen half-written. Empty when copied (or already in place), else the reason.
// In a folder this copy has just made there is no target to look at; listed,
// the source's entry as the listing found it, is needed only where there is.
Text copyFile(int sourceFolder, const Target& target, const char* name, const struct stat* listed,
              const Level& level) {
  int destFolder = target.fd;
  struct stat existing;
  bool present = !target.fresh && fstatat(destFolder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (present) {
    if (S_ISDIR(existing.st_mode)) return plainReason(ErrorKind::kFolderInTheWay);
    if (S_ISREG(existing.st_mode) && sameFile(*listed, existing)) {
      countUnchanged(level.report, existing.st_size);
      return Text();
    }
    // Without the force flag a read-only target stays, as the Windows copy does.
    if (!(level.flags & kCopyForce) && S_ISREG(existing.st_mode) && !(existing.st_mode & S_IWUSR))
      return reasonForError(EACCES);
  }
  // Not following a link: the name was listed as a plain file.
  Fd in(openat(sourceFolder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat before;
  if (in.fd < 0 || fstat(in.fd, &before) != 0)
    return reasonForError(errno, ErrorContext::kReadingSource);
  if (!S_ISREG(before.st_mode)) return plainReason(ErrorKind::kNotFileOrFolder);
  mode_t bits = before.st_mode & 07777;
  bool bitsSet = bitsAtCreation(bits, target, level);
  std::string part;
  Fd out(createPart(destFolder, target.path, part, bitsSet ? bits : 0600));
  if (out.fd < 0) return reasonForError(errno);
  int64_t moved = 0;
  Text reason;
  struct stat after;
  if (int error = moveData(in.fd, out.fd, before.st_size, moved, level))
    reason = reasonForError(error);
  else if (fstat(in.fd, &after) != 0)
    reason = reasonForError(errno, ErrorContext::kReadingSource);
  else if (moved != before.st_size || !sameFile(before, after))
    reason = plainReason(ErrorKind::kSourceChanged);
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  if (reason.empty() && ((!bitsSet && fchmod(out.fd, bits) != 0) || futimens(out.fd, times) != 0))
    reason = reasonForError(errno);
  if (close(out.release()) != 0 && reason.empty()) reason = reasonForError(errno);
  if (reason.empty() && renameat(destFolder, part.c_str(), destFolder, name) != 0)
    reason = errno == EISDIR ? plainReason(ErrorKind::kFolderInTheWay)
                             : reasonForError(errno, ErrorContext::kReplacingTarget);
  if (!reason.empty()) unlinkat(destFolder, part.c_str(), 0);
  forgetPart(target.path + part);
  if (reason.empty()) countCopied(level.report, moved);
  return reason;
}

// A link is reproduced as a link, never followed.
Text copyLink(int sourceFolder, int destFolder, const char* name, const Level& level) {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlinkat(sourceFolder, name, buffer.data(), buffer.size() - 1);
  if (length < 0) return reasonForError(errno, ErrorContext::kReadingSource);
  buffer[length] = '\0';
  struct stat existing;
  if (fstatat(destFolder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode))
    return plainReason(ErrorKind::kFolderInTheWay);
  std::string part;
  int made = -1;
  for (int attempt = 0; attempt < 8 && made != 0; ++attempt) {
    part = nextPartName();
    made = symlinkat(buffer.data(), destFolder, part.c_str());
    if (made != 0 && errno != EEXIST) break;
  }
  if (made != 0) return reasonForError(errno);
  if (renameat(destFolder, part.c_str(), destFolder, name) != 0) {
    Text reason = reasonForError(errno, ErrorContext::kReplacingTarget);
    unlinkat(destFolder, part.c_str(), 0);
    return reason;
  }
  countCopied(level.report, 0);
  return Text();
}

// Opens the destination folder name inside folder at, creating it when it is
// missing; never through a link. Empty on success, else the reason.
Text openDestination(int at, const std::string& name, int& fd, bool& present) {
  struct stat info;
  present = fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  if (present && S_ISLNK(info.st_mode)) return plainReason(ErrorKind::kDestinationIsLink);
  if (present && !S_ISDIR(info.st_mode)) return plainReason(ErrorKind::kFileInTheWay);
  if (!present && mkdirat(at, name.c_str(), 0777) != 0) {
    if (errno != EEXIST) return reasonForError(errno);
    present = true;  // made by someone else meanwhile: not ours to call empty
  }
  fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return Text();
  if (errno == ELOOP) return plainReason(ErrorKind::kDestinationIsLink);
  if (errno == ENOTDIR) return plainReason(ErrorKind::kFileInTheWay);
  return reasonForError(errno);
}

std::string asFolder(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

int copyFolder(int sourceAt, const std::string& sourceName, int destAt, const std::string& destName,
               const std::string& sourcePath, const std::string& destPath, const Level& level,
               bool nested);

// Copies one entry of a source folder; false when it failed.
bool copyEntry(int source, const Target& target, const std::string& sourceFolder,
               const dirent* entry, const Level& level) {
  const char* name = entry->d_name;
  // The listing's type spares a stat where it tells enough: a folder is
  // opened without following a link anyway, and a file in a folder this copy
  // made has no target to compare with, its open descriptor telling the rest.
  bool typeKnown = entry->d_type == DT_DIR || (entry->d_type == DT_REG && target.fresh);
  struct stat info;
  if (!typeKnown && fstatat(source, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    fail(level, target.path + name, reasonForError(errno, ErrorContext::kReadingSource));
    return false;
  }
  mode_t type = typeKnown ? DTTOIF(entry->d_type) : info.st_mode & S_IFMT;
  struct stat followed;
  bool folderLike = S_ISDIR(type) || (S_ISLNK(type) && fstatat(source, name, &followed, 0) == 0 &&
                                      S_ISDIR(followed.st_mode));
  if (folderLike && !(level.flags & kCopyRecursive)) return true;
  if (!folderLike && (name[0] == '~' || name[0] == '.') &&
      isOfficeLockFile(fromUtf8(name), existsIn, &source)) {
    if (level.report != nullptr) ++level.report->lockFiles;
    return true;
  }
  if (S_ISDIR(type))
    return copyFolder(source, name, target.fd, name, sourceFolder + name, target.path + name, level,
                      true) == 1;
  Text reason;
  if (S_ISLNK(type))
    reason = copyLink(source, target.fd, name, level);
  else if (S_ISREG(type))
    reason = copyFile(source, target, name, typeKnown ? nullptr : &info, level);
  else
    reason = plainReason(ErrorKind::kNotFileOrFolder);  // devices, pipes and sockets
  if (reason.empty()) return true;
  fail(level, target.path + name, reason);
  return false;
}

// Copies the content of the source folder sourceName (in folder sourceAt) into
// destName (in destAt). The paths name the two folders in failure reports.
int copyFolder(int sourceAt, const std::string& sourceName, int destAt, const std::string& destName,
               const std::string& sourcePath, const std::string& destPath, const Level& level,
               bool nested) {
  // The top source may be a link the caller chose; one met inside is a real
  // folder, as listed.
  int sourceFd = openat(sourceAt, sourceName.c_str(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (nested ? O_NOFOLLOW : 0));
  if (sourceFd < 0) {
    fail(level, sourcePath, reasonForError(errno, ErrorContext::kReadingSource));
    return 0;
  }
  DirHandle dir(fdopendir(sourceFd));
  if (!dir) {
    fail(level, sourcePath, reasonForError(errno, ErrorContext::kReadingSource));
    close(sourceFd);
    return 0;
  }
  Fd destination(-1);
  bool present = false;
  Text reason = openDestination(destAt, destName, destination.fd, present);
  if (!reason.empty()) {
    fail(level, destPath, reason);
    return 0;
  }
  if (present) removeLeftoverParts(sourceFd, destination.fd);
  Target target{destination.fd, asFolder(destPath), !present,
                level.creationMask >= 0 && createsModeAsAsked(destination.fd)};
  std::string sourceFolder = asFolder(sourcePath);
  int result = 1;
  while (dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (!copyEntry(sourceFd, target, sourceFolder, entry, level)) result = 0;
  }
  return result;
}

// Adds what lies below the open folder fd; false when part of it could not
// be read.
bool measureFolder(int fd, TreeSize& size, const std::atomic<bool>* stop) {
  DirHandle dir(fdopendir(fd));
  if (!dir) {
    close(fd);
    return false;
  }
  bool whole = true;
  while (dirent* entry = readdir(dir.get())) {
    if (stop != nullptr && *stop) return false;
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    struct stat info;
    if (fstatat(dirfd(dir.get()), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      whole = false;
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      int inner = openat(dirfd(dir.get()), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      whole = (inner >= 0 && measureFolder(inner, size, stop)) && whole;
      continue;
    }
    int folder = dirfd(dir.get());
    if ((name[0] == '~' || name[0] == '.') && isOfficeLockFile(fromUtf8(name), existsIn, &folder))
      continue;
    ++size.files;
    if (S_ISREG(info.st_mode)) size.bytes += info.st_size;
  }
  return whole;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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

bool measureTree(const Text& folder, TreeSize& size, const std::atomic<bool>* stop) {
  int fd = open(toUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 && measureFolder(fd, size, stop);
}

void lowerThreadPriority() {
  // On Linux a thread's nice value is its own. The thread's id is asked of
  // the kernel: glibc's gettid() is as new as 2.30, the portable program goes
  // back to 2.28 (DESIGN.md section 14).
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}

// A copy between two pieces notices by itself.
void cancelSystemCopies() {}

int copyTree(const Text& source, const Text& destination, int flags, CopyReport* report) {
  if (source.empty() || destination.empty()) return 0;
  Level level{flags, report, creationMask()};
  std::string from = toUtf8(source), to = toUtf8(destination);
  if (isDirectory(from) && liesInside(to, from)) {
    fail(level, to, plainReason(ErrorKind::kInsideSource));
    return 0;
  }
  // One name for the destination, without the separators at its end.
  while (to.size() > 1 && to.back() == '/') to.pop_back();
  return copyFolder(AT_FDCWD, from, AT_FDCWD, to, from, to, level, false);
}

// One file of the tree copy, on folders the walk has opened: each name is
// looked up in its folder (openat, fstatat, renameat), never walked from the
// root again, and every answer a call has already given is used rather than
// asked for again: on a network share each call is a round trip.
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
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "fs/copy_file_posix.h"
#include "fs/copy_parts.h"
#include "fs/copy_tree.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"

uint32_t randomToken() {
  uint32_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == sizeof value) return value;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint32_t>(now.tv_nsec) ^ static_cast<uint32_t>(now.tv_sec);
}

namespace {

// The process id, asked once and again in a forked child: getpid is a
// system call per file otherwise.
std::atomic<uint32_t> cachedProcessId{0};

}  // namespace

uint32_t currentProcessId() {
  uint32_t id = cachedProcessId.load(std::memory_order_relaxed);
  if (id != 0) return id;
  static const bool watched = [] {
    return pthread_atfork(nullptr, nullptr, [] { cachedProcessId = 0; }) == 0;
  }();
  id = static_cast<uint32_t>(getpid());
  if (watched) cachedProcessId = id;
  return id;
}

bool processAlive(uint32_t id) {
  if (id == 0 || id > static_cast<uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

namespace posix_copy {

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

// Removes the part files that an interrupted run left in destination. A name
// of that form that the source also holds is material, and a part whose
// writer is still running is that run's business.
bool listDestination(int source, int destination, DestinationNames& names) {
  // A duplicate lists the folder already open: opening it again would be
  // one more round trip to a share.
  int fd = fcntl(destination, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  DirHandle dir(fdopendir(fd));
  if (!dir) {
    close(fd);
    return false;
  }
  for (;;) {
    errno = 0;
    dirent* entry = readdir(dir.get());
    if (entry == nullptr) return errno == 0;
    const char* name = entry->d_name;
    struct stat info;
    if (name[0] == '.' && strlen(name) == kPartNameLength && abandonedPart(fromUtf8(name)) &&
        fstatat(source, name, &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
        unlinkat(destination, name, 0) == 0)
      continue;
    names.emplace(name, false);
  }
}

namespace {

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
      n = copy_file_range(from, nullptr, to, nullptr, level.pieceBytes, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                    errno == EPERM)) {
        kernelCopy = false;  // not on this file system: read and write instead
        continue;
      }
    } else {
      static thread_local std::vector<char> buffer(kBufferBytes);
      n = read(from, buffer.data(), std::min(buffer.size(), level.pieceBytes));
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

}  // namespace

// Whether the folder open as *context holds an entry called name.
bool existsIn(const Text& name, void* context) {
  struct stat info;
  return fstatat(*static_cast<int*>(context), toUtf8(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Creates a fresh part file in folder (whose path is folderPath); its name is
// written to part, and its path is kept for the way out until forgotten.
// None is made once the program is leaving.
int createPart(int folder, const std::string& folderPath, std::string& part, mode_t mode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    part = toUtf8(nextPartName());
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

// The size and time of the open file fd now, into info. Only these two are
// asked for: reading the file changed its access time, and a network file
// system would fetch every attribute from the server again for that one.
bool sizeAndTimeNow(int fd, struct stat& info) {
  struct statx now;
  if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_SIZE | STATX_MTIME, &now) != 0)
    return errno == ENOSYS && fstat(fd, &info) == 0;  // a kernel before statx
  info.st_size = static_cast<off_t>(now.stx_size);
  info.st_mtim.tv_sec = now.stx_mtime.tv_sec;
  info.st_mtim.tv_nsec = now.stx_mtime.tv_nsec;
  return true;
}

// How a part gets the source's permission bits.
enum class Bits {
  kAtCreation,  // the folder's file system gives a new file exactly what is asked
  // Asked for at creation and looked at on the new file, whose attributes
  // came with the creation's answer: a share decides for itself, and the
  // chmod, a round trip, is spent only where it did otherwise.
  kChecked,
  kAfterwards,  // only a chmod sets them
};

Bits bitsWay(mode_t bits, const Target& target, const Level& level) {
  if ((bits & ~0777) != 0) return Bits::kAfterwards;
  // A read-only part is still written through the descriptor that created it.
  if (target.modeAsAsked && (bits & static_cast<mode_t>(level.creationMask)) == 0)
    return Bits::kAtCreation;
  // Elsewhere a part the owner may not write is not left to a server's
  // idea of what that means for the descriptor writing it.
  return (bits & S_IWUSR) ? Bits::kChecked : Bits::kAfterwards;
}

}  // namespace

// The target is replaced only by a rename of a complete file, so it is never
// seen half-written. kNone when copied (or already in place), else why not.
Failure copyFile(int sourceFolder, const Target& target, const char* name, const struct stat* listed,
              const Level& level) {
  int destFolder = target.fd;
  struct stat existing;
  bool present = listed != nullptr && fstatat(destFolder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (present) {
    if (S_ISDIR(existing.st_mode)) return Failure{ErrorKind::kFolderInTheWay};
    if (S_ISREG(existing.st_mode) && sameFile(*listed, existing)) {
      countUnchanged(level.report, existing.st_size);
      notePlaced(level.report, ToldPath(target.path, target.key, name), false);
      return Failure();
    }
    // Without the force flag a read-only target stays, as the Windows copy does.
    if (!(level.flags & kCopyForce) && S_ISREG(existing.st_mode) && !(existing.st_mode & S_IWUSR))
      return systemFailure(EACCES);
  }
  // Not following a link: the name was listed as a plain file.
  Fd in(openat(sourceFolder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat before;
  if (in.fd < 0 || fstat(in.fd, &before) != 0)
    return systemFailure(errno, ErrorContext::kReadingSource);
  if (!S_ISREG(before.st_mode)) return Failure{ErrorKind::kNotFileOrFolder};
  mode_t bits = before.st_mode & 07777;
  Bits way = bitsWay(bits, target, level);
  std::string part;
  Fd out(createPart(destFolder, target.path, part, way == Bits::kAfterwards ? 0600 : bits));
  if (out.fd < 0) return systemFailure(errno);
  struct stat made;
  bool bitsSet = way == Bits::kAtCreation ||
                 (way == Bits::kChecked && fstat(out.fd, &made) == 0 && (made.st_mode & 07777) == bits);
  int64_t moved = 0;
  Failure reason;
  struct stat after = before;
  if (int error = moveData(in.fd, out.fd, before.st_size, moved, level))
    reason = systemFailure(error);
  else if (!sizeAndTimeNow(in.fd, after))
    reason = systemFailure(errno, ErrorContext::kReadingSource);
  else if (moved != before.st_size || !sameFile(before, after))
    reason = Failure{ErrorKind::kSourceChanged};
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  if (!reason && ((!bitsSet && fchmod(out.fd, bits) != 0) || futimens(out.fd, times) != 0))
    reason = systemFailure(errno);
  if (close(out.release()) != 0 && !reason) reason = systemFailure(errno);
  if (!reason && renameat(destFolder, part.c_str(), destFolder, name) != 0)
    reason = errno == EISDIR ? Failure{ErrorKind::kFolderInTheWay}
                             : systemFailure(errno, ErrorContext::kReplacingTarget);
  if (reason) unlinkat(destFolder, part.c_str(), 0);
  forgetPart(target.path + part);
  if (!reason) {
    countCopied(level.report, moved);
    notePlaced(level.report, ToldPath(target.path, target.key, name), true);
  }
  return reason;
}

// A link is reproduced as a link, never followed.
Failure copyLink(int sourceFolder, int destFolder, const char* name, const Level& level) {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlinkat(sourceFolder, name, buffer.data(), buffer.size() - 1);
  if (length < 0) return systemFailure(errno, ErrorContext::kReadingSource);
  buffer[length] = '\0';
  struct stat existing;
  if (fstatat(destFolder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode))
    return Failure{ErrorKind::kFolderInTheWay};
  std::string part;
  int made = -1;
  for (int attempt = 0; attempt < 8 && made != 0; ++attempt) {
    part = toUtf8(nextPartName());
    made = symlinkat(buffer.data(), destFolder, part.c_str());
    if (made != 0 && errno != EEXIST) break;
  }
  if (made != 0) return systemFailure(errno);
  if (renameat(destFolder, part.c_str(), destFolder, name) != 0) {
    Failure reason = systemFailure(errno, ErrorContext::kReplacingTarget);
    unlinkat(destFolder, part.c_str(), 0);
    return reason;
  }
  countCopied(level.report, 0);
  return Failure();
}

}  // namespace posix_copy

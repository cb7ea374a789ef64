// A folder seen through FUSE with a delay on every call, as a file server
// one round trip away would add: the stand-in for a departmental share in
// the network tests and the share benchmark.
//
//   slow_share BACKING MOUNTPOINT MICROSECONDS
//
// Stays in the foreground until unmounted or killed; killed, its mount
// answers every call with ENOTCONN, which is what a share that has gone away
// looks like to a program. Requests are served by several threads, as a
// server answers several clients' requests at once. Folder listings carry
// each entry's attributes, as SMB and NFS listings do.
#define FUSE_USE_VERSION 314

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

int backing = -1;
long delayMicroseconds = 0;

enum Call { kGetattr, kReadlink, kMkdir, kUnlink, kRmdir, kSymlink, kRename, kChmod, kChown, kTruncate, kUtimens, kOpen, kCreate, kRead, kWrite, kStatfs, kFlush, kRelease, kFsync, kAccess, kOpendir, kReaddir, kCalls };
const char* const kCallNames[kCalls] = {"getattr", "readlink", "mkdir", "unlink", "rmdir", "symlink", "rename", "chmod", "chown", "truncate", "utimens", "open", "create", "read", "write", "statfs", "flush", "release", "fsync", "access", "opendir", "readdir"};
std::atomic<long> calls[kCalls];
std::atomic<int> inFlight{0};
std::atomic<int> mostAtOnce{0};

// The call this thread served last. The library follows a creation or a
// change of attributes with a getattr of its own, for the reply, which a
// server gives in the same answer: that one is no round trip.
thread_local Call lastCall = kCalls;
// SLOW_SHARE_TRACE set: every round trip is printed with its path.
bool tracing = false;

bool answersWithAttributes(Call call) {
  return call == kMkdir || call == kSymlink || call == kChmod || call == kChown ||
         call == kTruncate || call == kUtimens || call == kCreate;
}

// Every call waits a round trip first, and is counted.
void roundTrip(Call call, const char* path = nullptr) {
  Call before = lastCall;
  lastCall = call;
  if (call == kGetattr && answersWithAttributes(before)) {
    lastCall = kCalls;
    return;
  }
  calls[call].fetch_add(1, std::memory_order_relaxed);
  if (tracing && path != nullptr) fprintf(stderr, "%s %s\n", kCallNames[call], path);
  if (delayMicroseconds <= 0) return;
  int now = ++inFlight;
  for (int most = mostAtOnce; now > most && !mostAtOnce.compare_exchange_weak(most, now);) {
  }
  struct timespec wait = {delayMicroseconds / 1000000, (delayMicroseconds % 1000000) * 1000};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
  --inFlight;
}

const char* relative(const char* path) { return path[1] == '\0' ? "." : path + 1; }

int result(int value) { return value < 0 ? -errno : 0; }

void* init(struct fuse_conn_info* connection, struct fuse_config* config) {
  config->use_ino = 1;
  // Every part of a listing carries the attributes, not only the first:
  // left to itself the kernel asks for them with a folder's first part
  // alone, where an SMB listing has them throughout.
  connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
  return nullptr;
}

int getattr(const char* path, struct stat* info, struct fuse_file_info* file) {
  roundTrip(kGetattr, path);
  if (file != nullptr) return result(fstat(static_cast<int>(file->fh), info));
  return result(fstatat(backing, relative(path), info, AT_SYMLINK_NOFOLLOW));
}

int readlinkAt(const char* path, char* buffer, size_t size) {
  roundTrip(kReadlink, path);
  ssize_t length = readlinkat(backing, relative(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int makeFolder(const char* path, mode_t mode) {
  roundTrip(kMkdir, path);
  return result(mkdirat(backing, relative(path), mode));
}

int removeFile(const char* path) {
  roundTrip(kUnlink, path);
  return result(unlinkat(backing, relative(path), 0));
}

int removeFolder(const char* path) {
  roundTrip(kRmdir, path);
  return result(unlinkat(backing, relative(path), AT_REMOVEDIR));
}

int makeLink(const char* target, const char* path) {
  roundTrip(kSymlink, path);
  return result(symlinkat(target, backing, relative(path)));
}

int renameEntry(const char* from, const char* to, unsigned int flags) {
  roundTrip(kRename, to);
  return result(renameat2(backing, relative(from), backing, relative(to), flags));
}

int changeMode(const char* path, mode_t mode, struct fuse_file_info* file) {
  roundTrip(kChmod, path);
  if (file != nullptr) return result(fchmod(static_cast<int>(file->fh), mode));
  return result(fchmodat(backing, relative(path), mode, 0));
}

int changeOwner(const char* path, uid_t user, gid_t group, struct fuse_file_info* file) {
  roundTrip(kChown, path);
  if (file != nullptr) return result(fchown(static_cast<int>(file->fh), user, group));
  return result(fchownat(backing, relative(path), user, group, AT_SYMLINK_NOFOLLOW));
}

int truncateFile(const char* path, off_t size, struct fuse_file_info* file) {
  roundTrip(kTruncate, path);
  if (file != nullptr) return result(ftruncate(static_cast<int>(file->fh), size));
  int fd = openat(backing, relative(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  int status = result(ftruncate(fd, size));
  close(fd);
  return status;
}

int setTimes(const char* path, const struct timespec times[2], struct fuse_file_info* file) {
  roundTrip(kUtimens, path);
  if (file != nullptr) return result(futimens(static_cast<int>(file->fh), times));
  return result(utimensat(backing, relative(path), times, AT_SYMLINK_NOFOLLOW));
}

int openFile(const char* path, struct fuse_file_info* file) {
  roundTrip(kOpen, path);
  int fd = openat(backing, relative(path), (file->flags & ~O_NOFOLLOW) | O_CLOEXEC);
  if (fd < 0) return -errno;
  file->fh = static_cast<uint64_t>(fd);
  return 0;
}

int createFile(const char* path, mode_t mode, struct fuse_file_info* file) {
  roundTrip(kCreate, path);
  int fd = openat(backing, relative(path), file->flags | O_CREAT | O_CLOEXEC, mode);
  if (fd < 0) return -errno;
  file->fh = static_cast<uint64_t>(fd);
  return 0;
}

int readFile(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* file) {
  roundTrip(kRead, path);
  ssize_t n = pread(static_cast<int>(file->fh), buffer, size, offset);
  return n < 0 ? -errno : static_cast<int>(n);
}

int writeFile(const char* path, const char* buffer, size_t size, off_t offset,
              struct fuse_file_info* file) {
  roundTrip(kWrite, path);
  ssize_t n = pwrite(static_cast<int>(file->fh), buffer, size, offset);
  return n < 0 ? -errno : static_cast<int>(n);
}

int systemStatus(const char* path, struct statvfs* status) {
  roundTrip(kStatfs, path);
  return result(fstatvfs(backing, status));
}

int flushFile(const char* path, struct fuse_file_info*) {
  roundTrip(kFlush, path);
  return 0;
}

int releaseFile(const char* path, struct fuse_file_info* file) {
  roundTrip(kRelease, path);
  close(static_cast<int>(file->fh));
  return 0;
}

int syncFile(const char* path, int dataOnly, struct fuse_file_info* file) {
  roundTrip(kFsync, path);
  int fd = static_cast<int>(file->fh);
  return result(dataOnly ? fdatasync(fd) : fsync(fd));
}

int checkAccess(const char* path, int mode) {
  roundTrip(kAccess, path);
  return result(faccessat(backing, relative(path), mode, AT_SYMLINK_NOFOLLOW));
}

int openFolder(const char* path, struct fuse_file_info* file) {
  roundTrip(kOpendir, path);
  int fd = openat(backing, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  file->fh = static_cast<uint64_t>(fd);
  return 0;
}

// A listing with every entry's attributes, as SMB and NFS listings carry
// them. Each entry is given with the place of the next, so that the library
// hands the attributes on to the kernel, which then answers a stat of a
// listed name for a while without asking; a listing given whole, without
// places, reaches the kernel with its names only.
int readFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
               struct fuse_file_info* file, enum fuse_readdir_flags) {
  roundTrip(kReaddir, path);
  int fd = dup(static_cast<int>(file->fh));
  if (fd < 0) return -errno;
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    int error = errno;
    close(fd);
    return -error;
  }
  if (offset == 0)
    rewinddir(folder);
  else
    seekdir(folder, offset);
  while (struct dirent* entry = readdir(folder)) {
    struct stat info;
    memset(&info, 0, sizeof info);
    bool known = fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!known) info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
    if (fill(buffer, entry->d_name, &info, telldir(folder),
             known ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{}))
      break;
  }
  closedir(folder);
  return 0;
}

// The calls served, printed when the folder is unmounted: what a program
// asked of the share.
void destroy(void*) {
  long total = 0;
  for (int call = 0; call < kCalls; ++call) total += calls[call];
  fprintf(stderr, "slow_share: %ld calls:", total);
  for (int call = 0; call < kCalls; ++call)
    if (calls[call] > 0) fprintf(stderr, " %s %ld", kCallNames[call], calls[call].load());
  fprintf(stderr, "; at most %d at once\n", mostAtOnce.load());
}

int releaseFolder(const char*, struct fuse_file_info* file) {
  close(static_cast<int>(file->fh));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: slow_share BACKING MOUNTPOINT MICROSECONDS\n");
    return 2;
  }
  backing = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (backing < 0) {
    perror(argv[1]);
    return 1;
  }
  delayMicroseconds = strtol(argv[3], nullptr, 10);
  tracing = getenv("SLOW_SHARE_TRACE") != nullptr;
  // The program's files are created with the modes it asks for, as on a
  // share; the permission checks are the backing folder's.
  umask(0);

  struct fuse_operations operations = {};
  operations.init = init;
  operations.destroy = destroy;
  operations.getattr = getattr;
  operations.readlink = readlinkAt;
  operations.mkdir = makeFolder;
  operations.unlink = removeFile;
  operations.rmdir = removeFolder;
  operations.symlink = makeLink;
  operations.rename = renameEntry;
  operations.chmod = changeMode;
  operations.chown = changeOwner;
  operations.truncate = truncateFile;
  operations.utimens = setTimes;
  operations.open = openFile;
  operations.create = createFile;
  operations.read = readFile;
  operations.write = writeFile;
  operations.statfs = systemStatus;
  operations.flush = flushFile;
  operations.release = releaseFile;
  operations.fsync = syncFile;
  operations.access = checkAccess;
  operations.opendir = openFolder;
  operations.readdir = readFolder;
  operations.releasedir = releaseFolder;

  char* words[] = {argv[0], const_cast<char*>("-o"), const_cast<char*>("fsname=slow_share")};
  struct fuse_args arguments = FUSE_ARGS_INIT(3, words);
  struct fuse* fuse = fuse_new(&arguments, &operations, sizeof operations, nullptr);
  if (fuse == nullptr) return 1;
  int status = 1;
  if (fuse_mount(fuse, argv[2]) == 0) {
    if (fuse_set_signal_handlers(fuse_get_session(fuse)) == 0) {
      // More threads than clients ask at once, as a server has.
      struct fuse_loop_config* loop = fuse_loop_cfg_create();
      fuse_loop_cfg_set_max_threads(loop, 64);
      status = fuse_loop_mt(fuse, loop) == 0 ? 0 : 1;
      fuse_loop_cfg_destroy(loop);
      fuse_remove_signal_handlers(fuse_get_session(fuse));
    }
    fuse_unmount(fuse);
  }
  fuse_destroy(fuse);
  fuse_opt_free_args(&arguments);
  return status;
}

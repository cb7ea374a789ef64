// The tree copy's walk: it lists each source folder, makes and opens its
// destination, and hands every file to a copying thread (fs/copy_file_posix.cpp),
// one or several. Folders are opened without following a link, so nothing
// can be written through one even if it appears mid-copy.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "fs/copy_file_posix.h"
#include "fs/copy_parts.h"
#include "fs/copy_tree.h"
#include "fs/copy_workers.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"

namespace {

using namespace posix_copy;

constexpr size_t kLocalPieceBytes = 16 << 20;
// A piece on a share takes as long as the line needs to carry it; with
// small ones, every copying thread notices the way out within a second.
constexpr size_t kSharePieceBytes = 1 << 20;

// Whether the file system of path is reached over a network, where every
// call waits for a server: NFS, SMB, and FUSE, which sshfs and the desktops'
// share mounts use; a few rarer network file systems too.
bool onNetwork(const std::string& path) {
  struct statfs system;
  if (statfs(path.c_str(), &system) != 0) return false;
  switch (static_cast<unsigned long>(system.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE
    case 0x01021997:  // 9P
    case 0x00C36400:  // Ceph
    case 0x5346414F:  // AFS
      return true;
    default:
      return false;
  }
}

// A source folder and the destination folder it is copied into, open while
// the walk lists it and while any of its files is still being copied.
struct FolderPair {
  DirHandle listing;
  Fd destination{-1};
  Target target{-1, std::string(), 0, false, false};
  bool namesKnown = false;  // the destination was listed: names holds all it had
  DestinationNames names;
  int source() const { return dirfd(listing.get()); }
};

struct Walk {
  Level level;
  CopyWorkers& workers;
  bool destinationOnShare;
  // Whether a folder's destination is opened and listed while its source
  // is: where files go several at once, each side is a few round trips to
  // a server, and the walk's thread would otherwise wait for them in turn.
  bool overlapSides;
  uint64_t nextOrder = 0;  // entries met so far, in the order of the walk
};

void fail(const Level& level, uint64_t order, const std::string& path, const Failure& reason) {
  countFailure(level.report, order, fromUtf8(path), reason);
}

// What the walk knows of a destination folder before it asks.
enum class Known {
  kNothing,
  kMade,     // the caller has just made it: it holds nothing
  kMissing,  // it would lie in a folder this copy made: not there yet
};

// Opens the destination folder name inside folder at, creating it when it is
// missing; never through a link. Empty on success, else the reason. The
// open comes first: a folder already there, the usual case on a rerun,
// costs no other call. One known to be missing is made first.
Failure openDestination(int at, const std::string& name, Known known, int& fd, bool& present) {
  const int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  present = true;
  fd = -1;
  bool make = known == Known::kMissing;
  if (!make) {
    fd = openat(at, name.c_str(), folderFlags);
    make = fd < 0 && errno == ENOENT;
  }
  if (make) {
    int made = mkdirat(at, name.c_str(), 0777);
    if (made != 0 && errno != EEXIST) return systemFailure(errno);
    present = made != 0;  // made by someone else meanwhile: not ours to call empty
    fd = openat(at, name.c_str(), folderFlags);
  }
  if (fd >= 0) return Failure();
  int error = errno;
  struct stat info;
  // O_NOFOLLOW on a link gives ELOOP, or ENOTDIR with O_DIRECTORY on some
  // systems: the entry itself says which it is.
  if (fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(info.st_mode)) return Failure{ErrorKind::kDestinationIsLink};
    if (!S_ISDIR(info.st_mode)) return Failure{ErrorKind::kFileInTheWay};
  }
  if (error == ELOOP) return Failure{ErrorKind::kDestinationIsLink};
  if (error == ENOTDIR) return Failure{ErrorKind::kFileInTheWay};
  return systemFailure(error);
}

std::string asFolder(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

// What a copying thread does with one entry listed as a file or a link.
// Where no target can be there (a folder this copy made, or one whose
// listing lacks the name) the source's listing said enough; elsewhere the
// source's size and time decide whether the target in place will do.
Failure copyListed(const FolderPair& pair, const char* name, unsigned char type, bool targetMayExist,
                const Level& level) {
  if (type == DT_LNK) return copyLink(pair.source(), pair.target.fd, name, level);
  if (type != DT_REG) return Failure{ErrorKind::kNotFileOrFolder};  // devices, pipes, sockets
  if (!targetMayExist) return copyFile(pair.source(), pair.target, name, nullptr, level);
  struct stat listed;
  if (fstatat(pair.source(), name, &listed, AT_SYMLINK_NOFOLLOW) != 0)
    return systemFailure(errno, ErrorContext::kReadingSource);
  if (S_ISLNK(listed.st_mode)) return copyLink(pair.source(), pair.target.fd, name, level);
  if (S_ISDIR(listed.st_mode)) return Failure{ErrorKind::kSourceChanged};
  if (!S_ISREG(listed.st_mode)) return Failure{ErrorKind::kNotFileOrFolder};
  return copyFile(pair.source(), pair.target, name, &listed, level);
}

// A destination folder opened, and listed, on a thread of its own while the
// walk opens the source folder. Only an existing folder is opened there: a
// missing one is made by the walk, after the source opened.
class EarlyDestination {
 public:
  EarlyDestination() = default;
  EarlyDestination(const EarlyDestination&) = delete;
  EarlyDestination& operator=(const EarlyDestination&) = delete;
  ~EarlyDestination() { end(-1); }

  void start(int at, const std::string& name, FolderPair& pair) {
    pair_ = &pair;
    thread_ = std::thread([this, at, name] {
      fd_ = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd_ < 0) error_ = errno;
      std::unique_lock<std::mutex> hold(lock_);
      sourceKnown_.wait(hold, [this] { return source_ != kSourceUnknown; });
      if (fd_ >= 0 && source_ >= 0) pair_->namesKnown = listDestination(source_, fd_, pair_->names);
    });
  }
  bool started() const { return pair_ != nullptr; }
  // Hands over the open source folder (-1: it could not be opened) and waits.
  // true when the destination was there and is now the pair's, listed.
  bool end(int source) {
    if (!thread_.joinable()) return false;
    {
      std::lock_guard<std::mutex> hold(lock_);
      source_ = source;
    }
    sourceKnown_.notify_one();
    thread_.join();
    if (fd_ < 0) return false;
    if (source < 0) {
      close(fd_);
      return false;
    }
    pair_->destination.fd = fd_;
    return true;
  }
  // Whether the open found nothing of that name.
  bool missing() const { return fd_ < 0 && error_ == ENOENT; }

 private:
  static constexpr int kSourceUnknown = -2;
  FolderPair* pair_ = nullptr;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable sourceKnown_;
  int source_ = kSourceUnknown;
  int fd_ = -1;
  int error_ = 0;
};

// Whether the link name in folder leads to a folder.
bool linksToFolder(int folder, const char* name) {
  struct stat followed;
  return fstatat(folder, name, &followed, 0) == 0 && S_ISDIR(followed.st_mode);
}

bool copyFolder(int sourceAt, const std::string& sourceName, int destAt,
                const std::string& destName, const std::string& sourcePath,
                const std::string& destPath, Walk& walk, bool nested, Known known, uint64_t order);

// Takes one entry of a listing: a folder is walked into now, a file or link
// handed to a copying thread. false when it failed here already.
bool walkEntry(const std::shared_ptr<FolderPair>& pair, const std::string& sourceFolder,
               const dirent* entry, bool targetMayExist, Walk& walk) {
  const Level& level = walk.level;
  const char* name = entry->d_name;
  uint64_t order = walk.nextOrder++;
  unsigned char type = entry->d_type;
  if (type == DT_UNKNOWN) {  // not every file system's listing says
    struct stat info;
    if (fstatat(pair->source(), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      fail(level, order, pair->target.path + name,
           systemFailure(errno, ErrorContext::kReadingSource));
      return false;
    }
    type = static_cast<unsigned char>(IFTODT(info.st_mode));
  }
  bool recursive = level.flags & kCopyRecursive;
  if (type == DT_DIR)
    return !recursive || copyFolder(pair->source(), name, pair->target.fd, name,
                                    sourceFolder + name, pair->target.path + name, walk, true,
                                    pair->target.fresh ? Known::kMissing : Known::kNothing, order);
  bool maybeLockFile = name[0] == '~' || name[0] == '.';
  // A link to a folder is reproduced, never followed, and only in a
  // recursive copy; it is no lock file whatever its name.
  if (type == DT_LNK && (!recursive || maybeLockFile) && linksToFolder(pair->source(), name)) {
    if (!recursive) return true;
    maybeLockFile = false;
  }
  int source = pair->source();
  if (maybeLockFile && isOfficeLockFile(fromUtf8(name), existsIn, &source)) {
    countLockFile(level.report);
    return true;
  }
  // Each destination folder is a lane of its own.
  walk.workers.run(
      [pair, name = std::string(name), type, targetMayExist, order, &level] {
        Failure reason = copyListed(*pair, name.c_str(), type, targetMayExist, level);
        if (reason) fail(level, order, pair->target.path + name, reason);
      },
      pair.get());
  return true;
}

// Copies the content of the source folder sourceName (in folder sourceAt) into
// destName (in destAt). The paths name the two folders in failure reports;
// order is the folder's place in the walk. false when something failed
// here; what the copying threads find goes to the report.
bool copyFolder(int sourceAt, const std::string& sourceName, int destAt,
                const std::string& destName, const std::string& sourcePath,
                const std::string& destPath, Walk& walk, bool nested, Known known, uint64_t order) {
  const Level& level = walk.level;
  // The top source may be a link the caller chose; one met inside is a real
  // folder, as listed.
  auto pair = std::make_shared<FolderPair>();
  // A destination that may be there is opened and listed on a thread of its
  // own meanwhile; it is made only once the source is known to be readable.
  EarlyDestination early;
  if (walk.overlapSides && known == Known::kNothing) early.start(destAt, destName, *pair);
  int sourceFd = openat(sourceAt, sourceName.c_str(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (nested ? O_NOFOLLOW : 0));
  if (sourceFd >= 0) {
    pair->listing.reset(fdopendir(sourceFd));
    if (!pair->listing) {
      int error = errno;
      close(sourceFd);
      sourceFd = -1;
      errno = error;
    }
  }
  if (sourceFd < 0) {
    int error = errno;
    early.end(-1);
    fail(level, order, sourcePath, systemFailure(error, ErrorContext::kReadingSource));
    return false;
  }
  // The source's first entries are asked for while the destination is listed.
  errno = 0;
  dirent* pending = early.started() ? readdir(pair->listing.get()) : nullptr;
  int pendingError = errno;
  bool present = false;
  if (!early.end(sourceFd)) {
    Failure reason = openDestination(
        destAt, destName, early.started() && early.missing() ? Known::kMissing : known,
        pair->destination.fd, present);
    if (reason) {
      fail(level, order, destPath, reason);
      return false;
    }
    present = present && known != Known::kMade;
    if (present) pair->namesKnown = listDestination(sourceFd, pair->destination.fd, pair->names);
  } else {
    present = true;
  }
  // A share decides modes for itself; only a local folder is asked.
  bool modeAsAsked = !walk.destinationOnShare && level.creationMask >= 0 &&
                     createsModeAsAsked(pair->destination.fd);
  std::string destFolder = asFolder(destPath);
  pair->target = Target{pair->destination.fd, destFolder, pathKey(destFolder), !present, modeAsAsked};
  std::string sourceFolder = asFolder(sourcePath);
  bool whole = true;
  // The destination's listing is looked up once per name, here: it tells
  // the copying threads whether a target may be there and, where the report
  // asks for what the source lacks, each name the source has too is marked.
  bool compare = pair->namesKnown && level.report != nullptr && level.report->unmatched != nullptr;
  if (nested) notePlaced(level.report, ToldPath(destPath, ""), false);
  for (bool first = true;; first = false) {
    // A listing that breaks off is a failure, not the folder's end.
    errno = 0;
    dirent* entry = first && early.started() ? pending : readdir(pair->listing.get());
    if (first && early.started()) errno = pendingError;
    if (entry == nullptr) {
      if (errno == 0) break;
      fail(level, walk.nextOrder++, sourcePath, systemFailure(errno, ErrorContext::kReadingSource));
      return false;
    }
    if (abandoningCopies()) return false;
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    bool listed = false;
    if (pair->namesKnown) {
      auto found = pair->names.find(name);
      listed = found != pair->names.end();
      if (listed && compare) found->second = true;
    }
    bool targetMayExist = !pair->target.fresh && (!pair->namesKnown || listed);
    whole = walkEntry(pair, sourceFolder, entry, targetMayExist, walk) && whole;
  }
  if (!compare) return whole;
  int destination = pair->destination.fd;
  for (const auto& [name, inSource] : pair->names) {
    if (!inSource && name != "." && name != ".." && isLeftOverCandidate(name, existsIn, &destination))
      noteUnmatched(level.report, ToldPath(pair->target.path, pair->target.key, name.c_str()));
  }
  return whole;
}

// A folder listed for the count. The listing tells each entry's type; only
// a regular file, whose size it does not tell, is asked about (or an entry
// of a type the file system's listing leaves out).
class PosixMeasuredFolder : public MeasuredFolder {
 public:
  explicit PosixMeasuredFolder(DIR* dir) : dir_(dir) {}
  bool next(MeasuredEntry& entry) override {
    for (;;) {
      errno = 0;
      dirent* found = readdir(dir_.get());
      if (found == nullptr) {
        complete_ = errno == 0;
        return false;
      }
      const char* name = found->d_name;
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      name_ = name;
      entry.name = fromUtf8(name_);
      entry.bytes = 0;
      unsigned char type = found->d_type;
      if (type == DT_REG || type == DT_UNKNOWN) {
        struct stat info;
        if (fstatat(dirfd(dir_.get()), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
          entry.kind = MeasuredEntry::Kind::kUnreadable;
          return true;
        }
        type = static_cast<unsigned char>(IFTODT(info.st_mode));
        if (S_ISREG(info.st_mode)) entry.bytes = info.st_size;
      }
      entry.kind = type == DT_DIR ? MeasuredEntry::Kind::kFolder : MeasuredEntry::Kind::kFile;
      return true;
    }
  }
  bool complete() const override { return complete_; }
  std::unique_ptr<MeasuredFolder> open(const MeasuredEntry&) override {
    return openAt(dirfd(dir_.get()), name_.c_str(), O_NOFOLLOW);
  }
  bool holds(const Text& name) override {
    int fd = dirfd(dir_.get());
    return existsIn(name, &fd);
  }
  // The folder name in at, opened for the count.
  static std::unique_ptr<MeasuredFolder> openAt(int at, const char* name, int flags) {
    int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      close(fd);
      return nullptr;
    }
    return std::make_unique<PosixMeasuredFolder>(dir);
  }

 private:
  DirHandle dir_;
  std::string name_;  // the last entry given
  bool complete_ = false;
};

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

std::unique_ptr<MeasuredFolder> openMeasuredFolder(const Text& path) {
  // The top folder may be a link the caller chose.
  return PosixMeasuredFolder::openAt(AT_FDCWD, toUtf8(path).c_str(), 0);
}

void lowerThreadPriority() {
  // On Linux a thread's nice value is its own. The thread's id is asked of
  // the kernel: glibc's gettid() is as new as 2.30, the portable program goes
  // back to 2.28 ("Linux programs for older desktops" in docs/design.md).
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}

// A copy between two pieces notices by itself.
void cancelSystemCopies() {}

bool destinationInsideSource(const Text& source, const Text& destination) {
  std::string from = toUtf8(source);
  return isDirectory(from) && liesInside(toUtf8(destination), from);
}

// One name for the destination, without the separators at its end.
std::string destinationName(const Text& destination) {
  std::string to = toUtf8(destination);
  while (to.size() > 1 && to.back() == '/') to.pop_back();
  return to;
}

CopySides copySides(const Text& source, const Text& destination) {
  CopySides sides;
  sides.destinationOnShare = onNetwork(destinationName(destination));
  sides.either = sides.destinationOnShare || onNetwork(toUtf8(source));
  return sides;
}

bool walkCopy(const Text& source, const Text& destination, int flags, CopyReport* report,
              CopySides sides, int workers, uint64_t firstOrder) {
  std::string from = toUtf8(source), to = destinationName(destination);
  Level level{flags, report, creationMask(), sides.either ? kSharePieceBytes : kLocalPieceBytes};
  CopyWorkers copying(workers);
  Walk walk{level, copying, sides.destinationOnShare, workers > 1};
  walk.nextOrder = firstOrder;
  uint64_t order = walk.nextOrder++;
  bool whole = copyFolder(AT_FDCWD, from, AT_FDCWD, to, from, to, walk, false,
                          (flags & kCopyIntoNew) != 0 ? Known::kMade : Known::kNothing, order);
  // The copying threads' jobs refer to the walk: all are done before it goes.
  copying.finish();
  return whole;
}

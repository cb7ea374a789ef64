#pragma once
// One file of the POSIX tree copy (fs/copy_tree_posix.cpp): what a copying
// thread does with a single entry, on folders the walk has opened.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include "fs/copy_tree.h"

namespace posix_copy {

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

struct Level {
  int flags;
  CopyReport* report;
  int creationMask;  // the process's umask; -1 when it could not be read
  size_t pieceBytes;  // data moved between two looks at the way out
};

// A destination folder being filled.
struct Target {
  int fd;
  std::string path;  // ends with a separator; names the folder in failure reports
  uint64_t key;      // pathKey(path), for telling the report what is placed here
  bool fresh;        // made by this copy, so nothing is in it: no targets, no leftovers
  bool modeAsAsked;  // a file created in it gets the mode asked for, less the umask
};

// The process's umask, read without changing it.
int creationMask();
// Whether a file created in folder gets exactly the permission bits asked
// for less the umask.
bool createsModeAsAsked(int folder);

// Whether the folder open as *(int*)context holds an entry called name.
bool existsIn(const Text& name, void* context);

// Lists the destination folder that was there before the copy: its names go
// into names, so that a file whose name is not among them needs no call to
// learn that it has no target yet. The part files an interrupted run left
// are removed on the way, unless the source holds a file of that name (then
// it is material) or their writer is still running (then they are its
// business). false when the listing could not be read to its end.
// Each name's flag starts false; the walk sets it for the names the source
// has too (fs/copy_tree_posix.cpp).
using DestinationNames = std::unordered_map<std::string, bool>;
bool listDestination(int source, int destination, DestinationNames& names);

// Copies the regular file name of sourceFolder into target, or finds it in
// place. listed is the source as a stat found it, where a target of that
// name may be there already; null where there is none (the folder is new,
// or its listing lacks the name). kNone when done, else why not.
Failure copyFile(int sourceFolder, const Target& target, const char* name, const struct stat* listed,
              const Level& level);
// Reproduces the link name of sourceFolder in destFolder.
Failure copyLink(int sourceFolder, int destFolder, const char* name, const Level& level);

}  // namespace posix_copy

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"

const char16_t kSeparator = u'/';
const bool kFoldsLetterCase = false;

namespace {

std::string nativePath(const Text& path) { return toUtf8(path); }

Text withSeparator(Text folder) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

Text programFileName() {
  std::string buffer(4096, '\0');
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) break;
    if (static_cast<size_t>(length) < buffer.size()) return fromUtf8(buffer.substr(0, length));
    buffer.resize(buffer.size() * 2);
  }
  // No /proc (a bare chroot or container): the path the program was started
  // by, as the kernel handed it over, made absolute against the folder it
  // was started in. Empty when even that names no file of ours.
  const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started == nullptr) return Text();
  char* full = realpath(started, nullptr);
  if (full == nullptr) return Text();
  std::string path(full);
  free(full);
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? fromUtf8(path) : Text();
}

Text tempDirectory() {
  const char* named = getenv("TMPDIR");
  if (named != nullptr && *named != '\0' && isDirectory(named)) return withSeparator(fromUtf8(named));
  return u"/tmp/";
}

int deleteFile(const Text& path, int mode) {
  if (path.empty()) return 0;
  // POSIX deletes read-only files anyway, since only the folder's permission
  // counts; without the force flag a read-only file is kept, as on Windows.
  struct stat info;
  std::string native = nativePath(path);
  if (lstat(native.c_str(), &info) != 0) return 0;
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return 0;
  }
  if (!(mode & kForceDelete) && !S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR)) {
    errno = EACCES;
    return 0;
  }
  return unlink(native.c_str()) == 0 ? 1 : 0;
}

int createDirectory(const Text& path) {
  // Only separators go: unlike Windows, POSIX keeps a name's trailing spaces,
  // so removing them would make a different folder.
  size_t end = path.size();
  while (end > 0 && path[end - 1] == u'/') --end;
  if (end == 0) return 0;
  return mkdir(nativePath(path.substr(0, end)).c_str(), 0777) == 0 ? 1 : 0;
}

int64_t fileSize(const Text& path) {
  if (path.empty()) return -1;
  size_t end = path.size();
  while (end > 1 && path[end - 1] == u'/') --end;
  struct stat info;
  if (stat(nativePath(path.substr(0, end)).c_str(), &info) != 0) return -1;
  return S_ISDIR(info.st_mode) ? -2 : static_cast<int64_t>(info.st_size);
}

Text createPrivateFolder(const Text& parent) {
  std::string pattern = nativePath(withSeparator(parent)) + "varnelo-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return Text();
  return withSeparator(fromUtf8(pattern));
}

bool listFolders(const Text& folder, std::vector<Text>& names) {
  DIR* dir = opendir(nativePath(folder).c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool folderEntry = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info;
      folderEntry = fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(info.st_mode);
    }
    if (folderEntry) names.push_back(fromUtf8(name));
    errno = 0;
  }
  bool whole = errno == 0;
  closedir(dir);
  return whole;
}

int removeDirectory(const Text& path) { return rmdir(nativePath(path).c_str()) == 0 ? 1 : 0; }

int removeFilesIn(const Text& folder) {
  std::string prefix = nativePath(withSeparator(folder));
  DIR* dir = opendir(prefix.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (dirent* entry = readdir(dir)) {
    std::string path = prefix + entry->d_name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && unlink(path.c_str()) == 0)
      ++removed;
  }
  closedir(dir);
  return removed;
}

std::FILE* openFile(const Text& path, const char* mode) {
  std::string flags = std::string(mode) + "e";  // close-on-exec
  return std::fopen(nativePath(path).c_str(), flags.c_str());
}

Failure lastFailure() { return systemFailure(errno); }

Failure lastFailureUnlessMissing() {
  return errno == ENOENT || errno == ENOTDIR ? Failure() : systemFailure(errno);
}

bool writeNewFile(const Text& path, const std::string& bytes) {
  std::string target = nativePath(path);
  std::string part = nativePath(pathPart(path) + partName(static_cast<uint32_t>(getpid()), 0, 0));
  int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = true;
  for (size_t done = 0; written && done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = close(fd) == 0 && written;
  // A hard link gives the name only where none is there yet; a file system
  // without them gets a rename after a look, which is enough for names that
  // carry the second they were made.
  if (written && link(part.c_str(), target.c_str()) != 0) {
    struct stat existing;
    if (errno == EEXIST || lstat(target.c_str(), &existing) == 0) {
      errno = EEXIST;
      written = false;
    } else {
      written = rename(part.c_str(), target.c_str()) == 0;
    }
  }
  int error = errno;
  unlink(part.c_str());
  errno = error;
  return written;
}

bool passesThroughLink(const Text& base, const Text& path) {
  if (base.empty() || path.compare(0, base.size(), base) != 0) return false;
  std::string prefix = nativePath(base);
  if (prefix.back() != '/') prefix += '/';
  std::string rest = nativePath(path.substr(base.size()));
  for (size_t start = 0; start < rest.size();) {
    size_t end = std::min(rest.find('/', start), rest.size());
    if (end > start) {
      prefix.append(rest, start, end - start);
      struct stat info;
      if (lstat(prefix.c_str(), &info) != 0) return false;
      if (S_ISLNK(info.st_mode)) return true;
      prefix += '/';
    }
    start = end + 1;
  }
  return false;
}

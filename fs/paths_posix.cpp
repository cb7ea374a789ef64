#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

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
    if (length < 0) return Text();
    if (static_cast<size_t>(length) < buffer.size()) return fromUtf8(buffer.substr(0, length));
    buffer.resize(buffer.size() * 2);
  }
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

Text lastSystemMessage() { return reasonForError(errno); }

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

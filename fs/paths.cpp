// Path logic shared by every platform: pure text, plus makePath, which only
// needs fileSize and createDirectory from the platform.
#include "fs/paths.h"

namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

int makePathFrom(const Text& path, Failure* failure, bool* made, int depth) {
  const Text separator(1, kSeparator);
  Text p = trimRightChar(path, separator);
  if (p.empty()) return !path.empty() && fileSize(path) == -2 ? 1 : 0;  // the root "/"
  if (fileSize(p) == -2) return 1;
  Text parent = pathPart(p);
  // No ancestor exists (an empty or unchanging parent part): give up rather
  // than recurse for ever.
  if (parent.empty() || parent == p || depth > 4096) {
    // Not even the root of the path is there: its drive or share has gone.
    if (failure != nullptr && !*failure) *failure = Failure{ErrorKind::kDeviceGone, 0, Text()};
    return 0;
  }
  if (makePathFrom(parent, failure, nullptr, depth + 1) != 1) return 0;
  bool created = createDirectory(p);
  if (created && made != nullptr) *made = true;
  if (!created && failure != nullptr && !*failure) {
    Failure cause = lastFailure();  // before fileSize replaces the error
    int64_t size = fileSize(p);
    // The system says only that the name exists, and in its own language.
    if (size >= 0) *failure = Failure{ErrorKind::kFileInTheWay, 0, Text()};
    else if (size != -2) *failure = cause;
  }
  return 1;
}

}  // namespace

Text programDirectory() { return pathPart(programFileName()); }

Text pathPart(const Text& path) {
  size_t start = !path.empty() && path[0] == u'"' ? 1 : 0;
  size_t end = start;
  for (size_t i = start; i < path.size() && path[i] != u'|'; ++i)
    if (isSeparator(path[i])) end = i + 1;
  return path.substr(start, end - start);
}

Text filePart(const Text& path) {
  size_t start = !path.empty() && path[0] == u'"' ? 1 : 0;
  for (size_t i = start; i < path.size(); ++i)
    if (isSeparator(path[i])) start = i + 1;
  size_t quote = path.find(u'"', start);
  return path.substr(start, quote == Text::npos ? Text::npos : quote - start);
}

int makePath(const Text& path, Failure* failure, bool* made) {
  if (made != nullptr) *made = false;
  return makePathFrom(path, failure, made, 0);
}

#include "fs/win32_path_text.h"

namespace {

const Text kLongPrefix = u"\\\\?\\";
const Text kLongSharePrefix = u"\\\\?\\UNC\\";
const Text kDevicePrefix = u"\\\\.\\";

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

bool startsWith(const Text& s, const Text& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool isLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isDrivePath(const Text& path) {
  return path.size() >= 3 && isLetter(path[0]) && path[1] == u':' && isSeparator(path[2]);
}

// Every "/" turned into "\" and every run of separators merged into one.
Text backslashed(const Text& path) {
  Text result;
  for (char16_t c : path) {
    if (!isSeparator(c))
      result += c;
    else if (result.empty() || result.back() != u'\\')
      result += u'\\';
  }
  return result;
}

// The comparable form of a full folder path: no long prefix, one "\" between
// components, none at the end, upper case.
Text comparable(const Text& path) {
  Text plain = withoutLongPathPrefix(path);
  bool share = isSharePath(plain);
  Text result = toUpper(trimTrailing(backslashed(plain), u"\\"));
  return share ? u"\\" + result : result;
}

}  // namespace

Text driveRootOf(const Text& path) {
  if ((path.size() != 2 && path.size() != 3) || path[1] != u':') return Text();
  return path.substr(0, 2) + u"\\";
}

bool startsWithShareOrParent(const Text& path) {
  return startsWith(path, u"\\\\") || startsWith(path, u"//") || startsWith(path, u"..");
}

bool isSharePath(const Text& fullPath) {
  Text path = withoutLongPathPrefix(fullPath);
  return !startsWith(path, kDevicePrefix) && !startsWith(path, kLongPrefix) &&
         (startsWith(path, u"\\\\") || startsWith(path, u"//"));
}

Text withoutLongPathPrefix(const Text& path) {
  if (startsWith(path, kLongSharePrefix)) return u"\\\\" + path.substr(kLongSharePrefix.size());
  if (startsWith(path, kLongPrefix)) return path.substr(kLongPrefix.size());
  return path;
}

Text longPathForm(const Text& fullPath) {
  if (startsWith(fullPath, kLongPrefix) || startsWith(fullPath, kDevicePrefix)) return fullPath;
  if (isDrivePath(fullPath)) return kLongPrefix + backslashed(fullPath);
  if (isSharePath(fullPath)) return kLongSharePrefix + backslashed(fullPath.substr(2));
  return fullPath;
}

bool isSameOrInside(const Text& path, const Text& folder) {
  Text inner = comparable(path), outer = comparable(folder);
  if (outer.empty() || !startsWith(inner, outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == u'\\';
}

Text trimTrailing(const Text& path, const Text& characters) {
  size_t end = path.size();
  while (end > 0 && characters.find(path[end - 1]) != Text::npos) --end;
  return path.substr(0, end);
}

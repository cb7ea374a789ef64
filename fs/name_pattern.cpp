#include "fs/copy_tree.h"

namespace {

// Classic wildcard match with one backtrack point: linear in practice.
bool matchOne(const Text& name, const Text& pattern) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  size_t n = 0, p = 0, starP = Text::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++, starN = n;
    } else if (starP != Text::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  // "name." patterns also match names without an extension, as on Windows.
  return p == pattern.size() || (pattern.substr(p) == u"." && name.find(u'.') == Text::npos);
}

}  // namespace

bool matchFilePattern(const Text& name, const Text& pattern) {
  if (pattern.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = pattern.find(u';', start);
    Text one = trimSpaces(pattern.substr(start, end == Text::npos ? Text::npos : end - start));
    if (!one.empty() && matchOne(name, one)) return true;
    if (end == Text::npos) return false;
    start = end + 1;
  }
}

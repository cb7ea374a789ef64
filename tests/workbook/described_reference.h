#pragma once
// How the extent of a sheet was first described: over the stored references,
// the largest value of the first run of [A-Z] and of the first run of [0-9] in
// each upper-cased reference, both kept to their low 32 bits. Written out
// plainly here, apart from the readers, so the tests compare against an
// independent reading.

#include <cstdint>

#include "text/text.h"

// The first run of units from first to last (inclusive) in the upper-cased
// text; empty when there is none.
inline Text FirstRunOf(const Text& text, char16_t first, char16_t last) {
  Text upper = toUpper(text);
  size_t start = 0;
  while (start < upper.size() && (upper[start] < first || upper[start] > last)) ++start;
  size_t end = start;
  while (end < upper.size() && upper[end] >= first && upper[end] <= last) ++end;
  return upper.substr(start, end - start);
}

inline int64_t DescribedColumn(const Text& ref) {
  uint32_t n = 0;
  for (char16_t letter : FirstRunOf(ref, u'A', u'Z')) n = n * 26u + (letter - u'A' + 1);
  return static_cast<int32_t>(n);
}

inline int64_t DescribedRow(const Text& ref) {
  return static_cast<int32_t>(static_cast<uint32_t>(parseInt(FirstRunOf(ref, u'0', u'9'))));
}

#include "fs/part_name.h"

namespace {

const Text kPrefix = u".~varnelo-";
const Text kSuffix = u".part";

void appendHex(Text& out, uint32_t value) {
  for (int shift = 28; shift >= 0; shift -= 4) out += u"0123456789abcdef"[(value >> shift) & 15];
}

// Eight lower-case hex digits from position start; false when they are not.
bool readHex(const Text& s, size_t start, uint32_t* value) {
  uint32_t result = 0;
  for (size_t i = start; i < start + 8; ++i) {
    char16_t c = s[i];
    if (c >= u'0' && c <= u'9')
      result = result << 4 | (c - u'0');
    else if (c >= u'a' && c <= u'f')
      result = result << 4 | (c - u'a' + 10);
    else
      return false;
  }
  *value = result;
  return true;
}

}  // namespace

Text partName(uint32_t processId, uint32_t token, uint32_t counter) {
  Text name = kPrefix;
  appendHex(name, processId);
  appendHex(name, token);
  name += u'-';
  appendHex(name, counter);
  return name + kSuffix;
}

bool isPartName(const Text& name, uint32_t* processId) {
  if (name.size() != kPartNameLength || name.compare(0, kPrefix.size(), kPrefix) != 0 ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
    return false;
  const size_t digits = kPrefix.size();
  uint32_t id, token, counter;
  if (!readHex(name, digits, &id) || !readHex(name, digits + 8, &token) ||
      name[digits + 16] != u'-' || !readHex(name, digits + 17, &counter))
    return false;
  if (processId != nullptr) *processId = id;
  return true;
}

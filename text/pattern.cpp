#include "text/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <mutex>
#include <vector>

namespace {

struct Pattern {
  pcre2_code* code = nullptr;
  uint32_t captureCount = 0;
};

// Whatever is still compiled when the process ends is released with it.
struct Registry : std::vector<Pattern> {
  ~Registry() {
    for (Pattern& pattern : *this) pcre2_code_free(pattern.code);
  }
};

std::mutex registryLock;
Registry registry;
thread_local Text lastError;

// Takes the pattern out of its slot, so it can be released outside the lock.
Pattern takeSlot(int number) {
  std::lock_guard<std::mutex> hold(registryLock);
  Pattern taken;
  if (number >= 0 && static_cast<size_t>(number) < registry.size()) std::swap(taken, registry[number]);
  return taken;
}

void release(Pattern& pattern) {
  pcre2_code_free(pattern.code);
  pattern.code = nullptr;
}

pcre2_code* lookUp(int number) {
  std::lock_guard<std::mutex> hold(registryLock);
  if (number < 0 || static_cast<size_t>(number) >= registry.size()) return nullptr;
  return registry[number].code;
}

}  // namespace

bool createPattern(int number, const Text& pattern) {
  lastError.clear();
  Pattern old = takeSlot(number);
  release(old);
  if (number < 0) return false;
  std::string utf8 = toUtf8(pattern);
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  Pattern compiled;
  compiled.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                                PCRE2_UTF | PCRE2_NO_UTF_CHECK, &errorCode, &errorOffset, nullptr);
  if (compiled.code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(errorCode, message, sizeof message);
    lastError = fromUtf8(reinterpret_cast<const char*>(message));
    return false;
  }
  pcre2_pattern_info(compiled.code, PCRE2_INFO_CAPTURECOUNT, &compiled.captureCount);
  std::lock_guard<std::mutex> hold(registryLock);
  if (registry.size() <= static_cast<size_t>(number)) registry.resize(number + 1);
  release(registry[number]);  // another thread may have filled the slot meanwhile
  registry[number] = compiled;
  return true;
}

int extractMatches(int number, const Text& s, std::vector<Text>& matches) {
  pcre2_code* code = lookUp(number);
  if (code == nullptr) return 0;
  std::string subject = toUtf8(s);
  pcre2_match_data* data = pcre2_match_data_create(30, nullptr);
  if (data == nullptr) return 0;
  int count = 0;
  PCRE2_SIZE start = 0;
  while (start <= subject.size()) {
    int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                            start, PCRE2_NO_UTF_CHECK, data, nullptr);
    if (found < 0) break;
    PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    PCRE2_SIZE begin = vector[0], end = vector[1];
    ++count;
    matches.resize(count);
    matches[count - 1] = fromUtf8(subject.substr(begin, end - begin));
    if (end > start || begin != start) {
      start = end;
    } else {
      // An empty match where the search started: step over one whole character.
      ++start;
      while (start < subject.size() && (static_cast<unsigned char>(subject[start]) & 0xC0) == 0x80)
        ++start;
    }
  }
  pcre2_match_data_free(data);
  return count;
}

Text lastPatternError() { return lastError; }

void releasePatterns(int number) {
  if (number >= 0) {
    Pattern old = takeSlot(number);
    release(old);
    return;
  }
  std::vector<Pattern> all;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    all.swap(static_cast<std::vector<Pattern>&>(registry));
  }
  for (Pattern& pattern : all) release(pattern);
}

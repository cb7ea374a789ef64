#include "text/text.h"

namespace {

// Length of the run of unit c at the start of s, and at its end.
size_t leadingRun(const Text& s, char16_t c) {
  size_t n = 0;
  while (n < s.size() && s[n] == c) ++n;
  return n;
}

size_t trailingRun(const Text& s, char16_t c) {
  size_t n = 0;
  while (n < s.size() && s[s.size() - 1 - n] == c) ++n;
  return n;
}

Text trimUnit(const Text& s, char16_t c) {
  size_t lead = leadingRun(s, c);
  if (lead == s.size()) return Text();
  size_t trail = trailingRun(s, c);
  return s.substr(lead, s.size() - lead - trail);
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at bytes[i]; returns its length, 0 when ill-formed.
size_t decodeUtf8(const std::string& bytes, size_t i, char32_t& c) {
  auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  unsigned char b = at(i);
  size_t length;
  char32_t min;
  if (b < 0x80) {
    c = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2, min = 0x80, c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, min = 0x800, c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, min = 0x10000, c = b & 0x07;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (at(i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

int64_t findText(const Text& s, const Text& sub) {
  if (s.empty() || sub.empty()) return 0;
  size_t at = s.find(sub);
  return at == Text::npos ? 0 : static_cast<int64_t>(at) + 1;
}

Text replaceAll(const Text& s, const Text& find, const Text& replacement) {
  if (find.empty()) return s;
  Text result;
  size_t from = 0;
  for (size_t at = s.find(find); at != Text::npos; at = s.find(find, from)) {
    result.append(s, from, at - from);
    result += replacement;
    from = at + find.size();
  }
  result.append(s, from, Text::npos);
  return result;
}

Text trimChar(const Text& s, const Text& character) {
  return character.empty() ? s : trimUnit(s, character[0]);
}

Text trimRightChar(const Text& s, const Text& character) {
  if (character.empty()) return s;
  return s.substr(0, s.size() - trailingRun(s, character[0]));
}

char16_t upperUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 0x20;
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs capital/small letters on even/odd code points,
  // shifted by one in the ranges below.
  if (c >= 0x100 && c <= 0x17F) {
    bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if (shifted ? (c % 2 == 0) : (c % 2 == 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

Text toUpper(const Text& s) {
  Text result = s;
  for (char16_t& c : result) c = upperUnit(c);
  return result;
}

int64_t parseInt(std::u16string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  uint64_t base = 10;
  if (i < s.size() && s[i] == u'$') base = 16, ++i;
  else if (i < s.size() && s[i] == u'%') base = 2, ++i;
  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    uint64_t digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else break;
    if (digit >= base) break;
    value = value * base + digit;  // wraps modulo 2^64 by design
  }
  return static_cast<int64_t>(negative ? 0 - value : value);
}

Text intToText(int64_t n) {
  // The magnitude is taken unsigned so that the 64-bit minimum has one too.
  uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return n < 0 ? u"-" + digits : digits;
}

std::string toUtf8(const Text& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

Text fromUtf8(const std::string& s) {
  Text out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t c;
    size_t length = decodeUtf8(s, i, c);
    if (length == 0) c = 0xFFFD, length = 1;
    i += length;
    if (c == 0) break;  // a text ends at U+0000
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

bool isStrictUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    char32_t c;
    size_t length = decodeUtf8(bytes, i, c);
    if (length == 0) return false;
    if (length == 1 && c != u'\t' && c != u'\n' && c != u'\r' && (c < 0x20 || c > 0x7E))
      return false;
    i += length;
  }
  return true;
}

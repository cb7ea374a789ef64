#pragma once
// Text operations shared by every part of the program. A text is a sequence of
// UTF-16 code units; lengths, positions and counts are in code units and
// positions are 1-based. No operation fails: out-of-range positions and odd
// arguments have defined results.

#include <cstdint>
#include <string>
#include <string_view>

using Text = std::u16string;

// 1-based position of the first occurrence of sub; 0 when absent or either is empty.
int64_t findText(const Text& s, const Text& sub);
Text replaceAll(const Text& s, const Text& find, const Text& replacement);
// Removes the leading and trailing runs of the first unit of character.
Text trimChar(const Text& s, const Text& character);
// Removes the trailing run of the first unit of character.
Text trimRightChar(const Text& s, const Text& character);
// Simple one-to-one upper-case mapping; the length never changes.
Text toUpper(const Text& s);
char16_t upperUnit(char16_t c);
// Signed 64-bit integer from the start of s: blanks, sign, then "$" hex, "%"
// binary or decimal digits; wraps modulo 2^64, 0 when no digit follows.
int64_t parseInt(std::u16string_view s);
Text intToText(int64_t n);

// Conversions where text meets the platform. Ill-formed input becomes U+FFFD.
std::string toUtf8(const Text& s);
Text fromUtf8(const std::string& s);
// True when every byte below 0x80 is a tab, LF, CR or printable, and every other
// sequence is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isStrictUtf8(const std::string& bytes);

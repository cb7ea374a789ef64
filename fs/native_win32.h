#pragma once
// What the Win32 file realisations share: program texts in the form the wide
// file calls take, and the system's messages as texts.

#include <string>

#include "text/text.h"

// wchar_t is a UTF-16 code unit on Windows, so the texts convert unit by unit.
inline std::wstring toWide(const Text& s) {
  return std::wstring(s.begin(), s.end());
}
inline Text fromWide(const wchar_t* s, std::size_t length) {
  return Text(s, s + length);
}

// The full path name of path; path itself when the system cannot form one.
Text fullPathName(const Text& path);
// The name to give a wide file call: path itself while it is short, else the
// "\\?\" form of its full path, so that a long path is never cut.
std::wstring win32Name(const Text& path);
// The system's message for an error code, without its line break; empty
// when the system has none.
Text win32Message(unsigned long code);

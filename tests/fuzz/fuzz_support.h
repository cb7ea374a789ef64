#pragma once
// What the fuzz targets share: the locale the program sets, a private
// scratch area per process, and the checks that a run left nothing
// behind outside the folder it was given.

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/text.h"

// Sets the character-type locale as the program does and makes the scratch
// area, once.
void prepareProcess();

// A per-process scratch area, made once:
//   ROOT/tmp/      the process's TMPDIR, which must be empty between inputs
//   ROOT/sentinel/ a sibling of the program folder, never to change
//   ROOT/work/     a folder for the target's own files
//   ROOT/box/program/ the program folder, made anew per input; ROOT/box/ holds
//                  nothing else

struct Scratch {
  Text root;
  Text temp;
  Text sentinel;
  Text work;
  Text program;
};
const Scratch& scratch();

// Writes bytes to a file, replacing it; aborts when it cannot.
void writeBytes(const Text& path, const uint8_t* data, size_t size);
// The whole content of a file; empty when it cannot be read.
std::string readBytes(const Text& path);
// A fresh program folder holding the source root with a few material folders.
void makeProgramFolder();
// Removes the program folder with everything in it; aborts when it stays.
void removeProgramFolder();
// Aborts with a message when the temporary directory holds anything, when the
// sentinel folder changed or when the scratch root holds anything unexpected.
void checkNothingOutside(const char* target);
// Aborts with a message; the fuzzer then keeps the input as a crash.
[[noreturn]] void fail(const char* target, const std::string& what);

#pragma once
// Regular-expression extraction over a registry of compiled patterns, keyed by
// a small number the caller chooses. The registry has its own lock; compiling
// and matching run outside it, so a pattern must not be replaced while another
// thread matches with it.

#include <vector>

#include "text/text.h"

// Compiles pattern (UTF mode) under number, releasing what the number held.
// False when it does not compile; the number then holds no pattern.
bool createPattern(int number, const Text& pattern);
// Collects every match of the pattern under number, in order. After N >= 1
// matches the list holds exactly those N; with none it keeps what it had.
// Returns the number of matches, 0 when the number holds no pattern.
int extractMatches(int number, const Text& s, std::vector<Text>& matches);
// The calling thread's last compilation error; empty after a success.
Text lastPatternError();
// Releases the pattern under number, or every pattern for -1.
void releasePatterns(int number);

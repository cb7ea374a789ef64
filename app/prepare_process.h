#pragma once
// What the program settles with its platform before it does anything else:
// on Windows, where libraries may be loaded from; everywhere, the character
// set that names are read in.

void PrepareProcess();

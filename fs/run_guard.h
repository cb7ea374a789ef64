#pragma once
// What keeps runs from stepping on each other and from leaving litter: one
// run per program folder, and the folder the workbook's parts are read from,
// which no way out of the program leaves behind for good.

#include "text/text.h"

enum class FolderLock { kHeld, kBusy };

// Takes the lock of the program folder for this run. kBusy when another run,
// in this or another process, holds it. A file system that cannot lock at
// all gives kHeld: refusing every run there would help nobody.
FolderLock lockProgramFolder(const Text& folder);
// Gives the lock back; the process's end does the same.
void unlockProgramFolder();

// A new folder of this run's own inside tempDirectory(), ending in a
// separator; empty when none could be made. It carries a mark of its living
// owner, so folders of runs that died are recognised and removed here first.
// One parts folder exists at a time.
Text createPartsFolder();
// Removes the parts folder and the files in it, if there is one. Safe to call
// from any thread and more than once; the process's close path calls it while
// a worker may still be reading.
void removePartsFolder();
// Removes the parts folders whose owners are gone from folder (the temporary
// directory); the number removed.
int removeAbandonedPartsFolders(const Text& folder);

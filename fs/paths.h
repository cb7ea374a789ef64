#pragma once
// Paths and single-file operations. A folder text produced here ends with the
// native separator, so a name can be appended directly. "\" and "/" are both
// accepted as separators when a path is split.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fs/failure.h"
#include "text/text.h"

// "\" on Windows, "/" on POSIX: every separator the program writes itself.
extern const char16_t kSeparator;
// Whether the file system finds names without regard to letter case.
extern const bool kFoldsLetterCase;
// A name or path as the file system compares it: in capitals where it
// ignores letter case, else as it is.
inline Text comparedName(const Text& name) { return kFoldsLetterCase ? toUpper(name) : name; }
constexpr int kForceDelete = 2;

// Full path of the running program file.
Text programFileName();
// The program's folder, ending in a separator.
Text programDirectory();
// Folder part up to and including the last separator (a "|" ends the scan);
// empty when there is none. A leading double quote is skipped.
Text pathPart(const Text& path);
// Last component: after the last separator up to a double quote or the end.
Text filePart(const Text& path);
// The user's temporary directory, ending in a separator.
Text tempDirectory();
// Non-zero when the file was deleted; kForceDelete deletes read-only files too.
int deleteFile(const Text& path, int mode);
// Creates one directory after removing trailing separators (and, on Windows,
// trailing spaces, which it ignores in names);
// non-zero when it was created (0 when it exists or its parent is missing).
int createDirectory(const Text& path);
// Size in bytes; -1 when nothing is there, -2 for a folder or drive root.
int64_t fileSize(const Text& path);
// Creates the folder and every missing folder above it, outermost first.
// 1 once an existing ancestor was found, even when a creation on the way down
// failed; 0 when no ancestor exists (nothing is created then). When failure is
// given, it receives why the first creation that failed did. made, when given, tells whether path itself was
// created by this call, and so holds nothing yet.
int makePath(const Text& path, Failure* failure = nullptr, bool* made = nullptr);
// Whether a component of path below the folder base is a link: a symbolic
// link on POSIX, a reparse point (junction, folder or file link) on Windows.
// base ends in a separator and path starts with it; base itself and the
// folders above it are not looked at, the user chose them. The check ends at
// the first component that does not exist, since makePath creates that one
// and those below it as real folders. False when path does not start with
// base.
bool passesThroughLink(const Text& base, const Text& path);

// A new folder of the calling process's own inside parent, ending in a
// separator; empty when none could be made.
Text createPrivateFolder(const Text& parent);
// The names of the folders directly inside folder (not "." or ".."), in no
// particular order; links to folders are not folders here. False when the
// folder cannot be listed (what was listed is kept).
bool listFolders(const Text& folder, std::vector<Text>& names);
// Removes an empty folder; non-zero on success.
int removeDirectory(const Text& path);
// Deletes the plain files directly inside folder (not its sub-folders); the
// number deleted.
int removeFilesIn(const Text& folder);
// Opens a file with an fopen mode ("rb", "wb"); nullptr on failure. The
// descriptor is not inherited by child processes.
std::FILE* openFile(const Text& path, const char* mode);
// Writes bytes as a new file at path: under a temporary name beside it
// first, given the name only once written whole, and never in place of a
// file already there. False on failure, with lastFailure saying why;
// nothing is left behind then.
bool writeNewFile(const Text& path, const std::string& bytes);
// Why the last file-system call on this thread failed.
Failure lastFailure();
// Why the last file call failed where the cause is more than that nothing
// is at the path (a share gone, no permission); kNone when nothing is there.
Failure lastFailureUnlessMissing();

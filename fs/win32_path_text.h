#pragma once
// The Windows path rules that are pure text: drive roots, shares and the
// "\\?\" forms that lift the 260-character limit. They sit apart from the file
// calls so that every build, not only the Windows one, tests them.

#include <cstddef>

#include "text/text.h"

// A path of this many characters or more goes to the file calls in its "\\?\"
// form: 260 (MAX_PATH) less the 12 that CreateDirectoryW keeps free for a
// short name, so that no call ever sees a path it would refuse or cut.
constexpr std::size_t kLongPathFrom = 248;

// The root that a two- or three-character text with a colon second names,
// always ending in "\" ("C:" and "C:\" both give "C:\"); empty otherwise.
Text driveRootOf(const Text& path);
// Whether path begins with "\\", "//" or "..": a share, a device or a parent
// folder, which only the attribute query finds.
bool startsWithShareOrParent(const Text& path);
// The path without the long-path prefix: "\\?\C:\x" gives "C:\x" and
// "\\?\UNC\server\share" gives "\\server\share"; other texts are unchanged.
Text withoutLongPathPrefix(const Text& path);
// The "\\?\" form of a full path, in which the system takes every character
// literally: "/" becomes "\", repeated separators are merged, a drive path
// gains "\\?\" and a share "\\?\UNC\". A text already in a "\\?\" or "\\.\"
// form, or one that is not a full path, is returned unchanged.
Text longPathForm(const Text& fullPath);
// Whether a full path lies on a server: "\\server\share\…",
// "//server/share/…" or "\\?\UNC\server\share\…".
bool isSharePath(const Text& fullPath);
// Whether path names folder or something inside it. Both are full paths; the
// long-path prefix, "/" against "\", trailing separators and letter case make
// no difference, as they make none to the file system.
bool isSameOrInside(const Text& path, const Text& folder);
// path without its trailing run of any of the given characters.
Text trimTrailing(const Text& path, const Text& characters);

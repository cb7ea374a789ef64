#pragma once
// Libraries only from the system folder. The program is kept on shared
// folders that many people can write to, and Windows looks for a library
// that is not one of its known ones in the program's own folder first: a
// rich edit or theme library dropped beside the program would run with the
// rights of whoever starts it.
#include <windows.h>

// From here on the process loads libraries from the system folder alone,
// for its own loads and for those the system's libraries make on its
// behalf, as far as this Windows allows; call it before anything else.
void restrictLibrarySearch();
// A library of the system by its full path in the system folder, never one
// of that name elsewhere; null when it cannot be loaded.
HMODULE loadSystemLibrary(const wchar_t* name);

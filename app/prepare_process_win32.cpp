#include "app/prepare_process.h"

#include <windows.h>

#include <clocale>
#include <cstring>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The program is kept on shared folders that many people can write to, and
// Windows looks for a library that is not one of its known ones in the
// program's own folder first: a rich edit or theme library dropped beside
// the program would run with the rights of whoever starts it. From here on
// only the system folder is searched, for the program's own loads and for
// those the system's libraries make on its behalf. Windows 7 has the call
// only with KB2533623, hence the look-up; without it the program's own
// loads still name the system folder in full (ui/log_view_win32.cpp).
void restrictLibrarySearch() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The current folder leaves the search too, on every version.
  SetDllDirectoryW(L"");
}

}  // namespace

void PrepareProcess() {
  restrictLibrarySearch();
  // Archive entry names are converted through the character-type locale;
  // the plain "C" locale would turn every non-ASCII name into a warning.
  const char* chosen = std::setlocale(LC_CTYPE, "");
  if (chosen == nullptr || std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

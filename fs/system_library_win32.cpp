#include "fs/system_library_win32.h"

#include <string>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

void restrictLibrarySearch() {
  // Windows 7 has the call only with KB2533623, hence the look-up.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The current folder leaves the search on every version.
  SetDllDirectoryW(L"");
  // The libraries that the common controls and the window manager load by
  // name for the program (the visual styles, and the desktop composition
  // they ask about), loaded now from the system folder and kept: a later
  // load by name finds them loaded and searches no folder at all, also
  // where the call above is missing or a system library loads past it.
  loadSystemLibrary(L"uxtheme.dll");
  loadSystemLibrary(L"dwmapi.dll");
}

HMODULE loadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += name;
  // The altered search takes the libraries this one needs from its folder
  // too, on a Windows 7 that cannot restrict the search for the process.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

#define _CRT_RAND_S  // rand_s from stdlib.h
#include <stdlib.h>
#include <windows.h>

#include <mutex>

#include "fs/native_win32.h"
#include "fs/paths.h"
#include "fs/run_guard.h"

// The owner of a parts folder keeps a handle on the folder that does not
// share deletion; the system closes it when the process ends, in whatever
// way. A folder that can be opened for deletion has no owner any more.

namespace {

const Text kPartsPrefix = u"varnelo-parts-";

std::mutex guardLock;
HANDLE programFolderMutex = nullptr;
HANDLE partsHandle = INVALID_HANDLE_VALUE;
Text partsFolder;

Text withoutSeparators(Text folder) {
  while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
  return folder;
}

Text hexText(unsigned long long value, int digits) {
  Text text(digits, u'0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = u"0123456789abcdef"[value & 15];
  return text;
}

// The same folder, however it was written, gives the same name: the mutex
// namespace takes no "\" and at most MAX_PATH characters, so the full path is
// hashed (FNV-1a, 64 bits) rather than spelled out.
std::wstring mutexName(const Text& folder) {
  Text path = toUpper(withoutSeparators(fullPathName(folder)));
  unsigned long long hash = 14695981039346656037ull;
  for (char16_t unit : path) {
    hash ^= unit;
    hash *= 1099511628211ull;
  }
  return toWide(u"Local\\varnelo-folder-" + hexText(hash, 16));
}

HANDLE openFolder(const Text& folder, DWORD access, DWORD share) {
  return CreateFileW(win32Name(withoutSeparators(folder)).c_str(), access, share, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

void sweepFolder(const Text& folder) {
  removeFilesIn(folder);
  removeDirectory(folder);
}

}  // namespace

FolderLock lockProgramFolder(const Text& folder) {
  std::lock_guard<std::mutex> hold(guardLock);
  if (programFolderMutex != nullptr) return FolderLock::kBusy;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName(folder).c_str());
  if (mutex == nullptr) return FolderLock::kHeld;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return FolderLock::kBusy;
  }
  programFolderMutex = mutex;
  return FolderLock::kHeld;
}

void unlockProgramFolder() {
  std::lock_guard<std::mutex> hold(guardLock);
  if (programFolderMutex != nullptr) CloseHandle(programFolderMutex);
  programFolderMutex = nullptr;
}

int removeAbandonedPartsFolders(const Text& folder) {
  Text prefix = withoutSeparators(folder) + u"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(prefix + kPartsPrefix + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    Text path = prefix + Text(found.cFileName, found.cFileName + wcslen(found.cFileName)) + u"\\";
    // A living owner's handle does not share deletion, so this open fails.
    HANDLE probe = openFolder(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (probe == INVALID_HANDLE_VALUE) continue;
    CloseHandle(probe);
    sweepFolder(path);
    if (fileSize(path) == -1) ++removed;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return removed;
}

Text createPartsFolder() {
  Text parent = tempDirectory();
  if (parent.empty()) return Text();
  removeAbandonedPartsFolders(parent);
  std::lock_guard<std::mutex> hold(guardLock);
  if (partsHandle != INVALID_HANDLE_VALUE) return Text();
  Text prefix = withoutSeparators(parent) + u"\\" + kPartsPrefix;
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) value = GetTickCount();
    Text folder = prefix + hexText(GetCurrentProcessId(), 8) + u"-" + hexText(value, 8);
    if (!CreateDirectoryW(win32Name(folder).c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return Text();
    }
    HANDLE handle = openFolder(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) {
      RemoveDirectoryW(win32Name(folder).c_str());
      return Text();
    }
    partsHandle = handle;
    partsFolder = folder + u"\\";
    return partsFolder;
  }
  return Text();
}

void removePartsFolder() {
  std::lock_guard<std::mutex> hold(guardLock);
  if (partsHandle == INVALID_HANDLE_VALUE) return;
  // The folder can only go once this handle no longer holds it.
  CloseHandle(partsHandle);
  partsHandle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 3 && fileSize(partsFolder) == -2; ++attempt)
    sweepFolder(partsFolder);
  partsFolder.clear();
}

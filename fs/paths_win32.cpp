#define _CRT_RAND_S  // rand_s from stdlib.h
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "fs/native_win32.h"
#include "fs/part_name.h"
#include "fs/paths.h"
#include "fs/system_error_text.h"
#include "fs/win32_path_text.h"

const char16_t kSeparator = u'\\';
const bool kFoldsLetterCase = true;

namespace {

// Longest path the wide calls accept, "\\?\" form included.
constexpr DWORD kLongestPath = 32768;

Text withSeparator(Text folder) {
  if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/')) folder += u'\\';
  return folder;
}

// Fills a buffer through a call that returns the length it wrote, or the size
// it needs when the buffer is too small; empty on failure.
template <typename Call>
Text growingCall(Call call) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length > kLongestPath) return Text();
    if (length < buffer.size()) return fromWide(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

// Cast through the generic function type, which GCC accepts silently.
template <typename Function>
Function lookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

Text longPathName(const Text& path) {
  using GetLongPathNameFunction = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  // Always loaded, so only asked for: nothing is searched for.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return path;
  auto getLongPathName = lookUp<GetLongPathNameFunction>(kernel, "GetLongPathNameW");
  Text result = path;
  if (getLongPathName != nullptr) {
    std::wstring name = toWide(path);
    result = growingCall(
        [&](wchar_t* buffer, DWORD size) { return getLongPathName(name.c_str(), buffer, size); });
  }
  return result;
}

bool isFolderAttribute(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t driveSize(const Text& root) {
  return GetDriveTypeW(toWide(root).c_str()) > 1 ? -2 : -1;
}

// Shares and their roots are not found by a search, only by their attributes.
int64_t shareOrParentSize(const Text& path) {
  DWORD attributes = GetFileAttributesW(win32Name(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return isFolderAttribute(attributes) ? -2 : -1;
  return driveSize(withSeparator(path));
}

Text hex(uint32_t value) {
  Text digits;
  for (int shift = 28; shift >= 0; shift -= 4) digits += u"0123456789abcdef"[(value >> shift) & 15];
  return digits;
}

// Unpredictable, so that no one can prepare a folder under the name in advance.
Text randomName() {
  unsigned int value = 0;
  if (rand_s(&value) != 0) value = GetTickCount();
  return u"varnelo-" + hex(GetCurrentProcessId()) + u"-" + hex(value);
}

struct OpenMode {
  DWORD access = 0;
  DWORD disposition = 0;
  int flags = 0;
};

// The CreateFileW arguments for an fopen mode; access 0 for one it rejects.
OpenMode openMode(const char* mode) {
  OpenMode result;
  std::string m = mode;
  bool update = m.find('+') != std::string::npos;
  if (m.empty()) return result;
  if (m[0] == 'r') {
    result = {GENERIC_READ, OPEN_EXISTING, update ? _O_RDWR : _O_RDONLY};
  } else if (m[0] == 'w') {
    result = {GENERIC_WRITE, CREATE_ALWAYS, update ? _O_RDWR : _O_WRONLY};
  } else if (m[0] == 'a') {
    result = {FILE_APPEND_DATA, OPEN_ALWAYS, (update ? _O_RDWR : _O_WRONLY) | _O_APPEND};
  } else {
    return result;
  }
  if (update) result.access |= GENERIC_READ | GENERIC_WRITE;
  result.flags |= m.find('b') != std::string::npos ? _O_BINARY : _O_TEXT;
  return result;
}

}  // namespace

Text fullPathName(const Text& path) {
  std::wstring name = toWide(path);
  Text full = growingCall([&](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(name.c_str(), size, buffer, nullptr);
  });
  return full.empty() ? path : full;
}

std::wstring win32Name(const Text& path) {
  if (path.size() < kLongPathFrom) return toWide(path);
  return toWide(longPathForm(fullPathName(path)));
}

Text win32Message(unsigned long code) {
  wchar_t buffer[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, buffer, 512, nullptr);
  if (length == 0) return Text();
  return trimTrailing(fromWide(buffer, length), u"\r\n ");
}

Text programFileName() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    // A name that does not fit comes back cut to the buffer's size.
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return Text();
    if (length < buffer.size()) return withoutLongPathPrefix(fromWide(buffer.data(), length));
    if (buffer.size() >= kLongestPath) return Text();
    buffer.resize(buffer.size() * 2);
  }
}

Text tempDirectory() {
  Text path = growingCall([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
  if (path.empty()) return Text();
  // A failed conversion (the folder named by TMP is missing) gives no folder
  // rather than one that cannot be written to.
  Text longForm = longPathName(path);
  return longForm.empty() ? Text() : withSeparator(longForm);
}

int deleteFile(const Text& path, int mode) {
  if (path.empty()) return 0;
  std::wstring name = win32Name(path);
  if (mode & kForceDelete) SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(name.c_str()) ? 1 : 0;
}

int createDirectory(const Text& path) {
  Text folder = trimTrailing(path, u" \\/");
  if (folder.empty()) return 0;
  return CreateDirectoryW(win32Name(folder).c_str(), nullptr) ? 1 : 0;
}

int64_t fileSize(const Text& path) {
  if (path.empty()) return -1;
  Text root = driveRootOf(path);
  if (!root.empty()) return driveSize(root);
  Text p = trimTrailing(path, u"\\/");
  if (p.empty()) return -1;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(p).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                found.nFileSizeLow);
  }
  return startsWithShareOrParent(p) ? shareOrParentSize(p) : -1;
}

Text createPrivateFolder(const Text& parent) {
  // An empty parent would make "\" of the current drive the parent.
  if (parent.empty()) return Text();
  Text prefix = withSeparator(parent);
  for (int attempt = 0; attempt < 100; ++attempt) {
    Text folder = prefix + randomName();
    if (CreateDirectoryW(win32Name(folder).c_str(), nullptr)) return folder + u"\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return Text();
  }
  return Text();
}

bool listFolders(const Text& folder, std::vector<Text>& names) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(withSeparator(folder) + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    Text name = fromWide(found.cFileName, wcslen(found.cFileName));
    if (name == u"." || name == u"..") continue;
    // A junction or folder link is not one of the material folders.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      names.push_back(std::move(name));
  } while (FindNextFileW(search, &found));
  bool whole = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return whole;
}

int removeDirectory(const Text& path) {
  Text folder = trimTrailing(path, u"\\/");
  if (folder.empty()) return 0;
  return RemoveDirectoryW(win32Name(folder).c_str()) ? 1 : 0;
}

int removeFilesIn(const Text& folder) {
  Text prefix = withSeparator(folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(prefix + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    Text name = fromWide(found.cFileName, wcslen(found.cFileName));
    removed += deleteFile(prefix + name, kForceDelete);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return removed;
}

// CreateFileW gives a handle that child processes do not inherit, which
// _wfopen would not; the C runtime then wraps it as a stream.
std::FILE* openFile(const Text& path, const char* mode) {
  OpenMode how = openMode(mode);
  if (how.access == 0 || path.empty()) return nullptr;
  HANDLE file = CreateFileW(win32Name(path).c_str(), how.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, how.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), how.flags);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, mode);
  if (stream == nullptr) _close(descriptor);
  return stream;
}

bool writeNewFile(const Text& path, const std::string& bytes) {
  std::wstring part = win32Name(pathPart(path) + partName(GetCurrentProcessId(), 0, 0));
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  for (size_t done = 0; written && done < bytes.size();) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD wrote = 0;
    written = WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
    done += wrote;
  }
  written = CloseHandle(file) && written;
  // Without MOVEFILE_REPLACE_EXISTING the move never takes a name in use.
  if (written) written = MoveFileExW(part.c_str(), win32Name(path).c_str(), 0);
  DWORD error = GetLastError();
  if (!written) DeleteFileW(part.c_str());
  SetLastError(error);
  return written;
}

Failure lastFailure() { return systemFailure(static_cast<int>(GetLastError())); }

Failure lastFailureUnlessMissing() {
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
             ? Failure()
             : systemFailure(static_cast<int>(error));
}

bool passesThroughLink(const Text& base, const Text& path) {
  // Names are found without regard to letter case, so the prefix is too.
  if (base.empty() || path.size() < base.size() ||
      toUpper(path.substr(0, base.size())) != toUpper(base))
    return false;
  Text prefix = withSeparator(base);
  const Text rest = path.substr(base.size());
  for (size_t start = 0; start < rest.size();) {
    size_t end = std::min(rest.find_first_of(u"\\/", start), rest.size());
    if (end > start) {
      prefix += rest.substr(start, end - start);
      DWORD attributes = GetFileAttributesW(win32Name(prefix).c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;
      if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
      prefix += u'\\';
    }
    start = end + 1;
  }
  return false;
}

// Counts the Win32 calls copyTree makes per file: what a file server answers
// one round trip at a time when the destination is a share. The copy's own
// calls into kernel32 are counted by pointing this program's import table at
// counting stand-ins, so the copy code runs exactly as in the program, and
// the figures are the same under Wine as on Windows (what kernel32 does
// inside is not counted: one call from the copy is one request).
//
// Three runs, as the program makes them: a first run into a folder just
// made, a rerun over the unchanged result, and a run into a folder that
// already holds part of the files (half the files missing), which lists it.
//
//   copy_calls_win32 [files] [folders]

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fs/copy_tree.h"
#include "fs/paths.h"

namespace {

struct Counted {
  const char* name;
  void* wrapper;
  void* original = nullptr;
  std::atomic<long> calls{0};
};

Counted* table();

// A stand-in with the function's own signature: counts, then calls through.
template <int Index, typename Function>
struct StandIn;
template <int Index, typename Result, typename... Arguments>
struct StandIn<Index, Result(WINAPI*)(Arguments...)> {
  static Result WINAPI call(Arguments... arguments) {
    Counted& counted = table()[Index];
    counted.calls.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<Result(WINAPI*)(Arguments...)>(counted.original)(arguments...);
  }
};

#define COUNTED(index, name) \
  { #name, reinterpret_cast<void*>(&StandIn<index, decltype(&name)>::call) }

// What the copy asks of the file system.
Counted calls[] = {
    COUNTED(0, CopyFileExW),          COUNTED(1, MoveFileExW),
    COUNTED(2, GetFileAttributesExW), COUNTED(3, GetFileAttributesW),
    COUNTED(4, SetFileAttributesW),   COUNTED(5, FindFirstFileW),
    COUNTED(6, FindNextFileW),        COUNTED(7, FindClose),
    COUNTED(8, CreateDirectoryW),     COUNTED(9, CreateFileW),
    COUNTED(10, CloseHandle),         COUNTED(11, DeleteFileW),
    COUNTED(12, RemoveDirectoryW),    COUNTED(13, GetDriveTypeW),
    COUNTED(14, GetFullPathNameW),    COUNTED(15, GetLongPathNameW),
    COUNTED(16, SetFileTime),         COUNTED(17, GetFileInformationByHandle),
    COUNTED(18, ReadFile),            COUNTED(19, WriteFile),
};
constexpr int kCounted = sizeof(calls) / sizeof(calls[0]);

Counted* table() { return calls; }

// Points every kernel32 entry of this program's import table that is
// counted at its stand-in.
int installStandIns() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int installed = 0;
  auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; module->Name != 0; ++module) {
    if (_stricmp(reinterpret_cast<char*>(base + module->Name), "kernel32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name =
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      for (Counted& counted : calls) {
        if (std::strcmp(counted.name, name) != 0) continue;
        DWORD was;
        VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &was);
        counted.original = reinterpret_cast<void*>(slots->u1.Function);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(counted.wrapper);
        VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), was, &was);
        ++installed;
      }
    }
  }
  return installed;
}

void clearCounts() {
  for (Counted& counted : calls) counted.calls = 0;
}

void printCounts(const char* run, long files) {
  std::printf("  %s (%ld files)\n", run, files);
  long total = 0;
  for (const Counted& counted : calls) {
    long n = counted.calls.load();
    if (n == 0) continue;
    total += n;
    std::printf("    %-28s %7ld  %6.2f per file\n", counted.name, n, double(n) / files);
  }
  std::printf("    %-28s %7ld  %6.2f per file\n", "all", total, double(total) / files);
}

Text fileName(const Text& root, int folders, int i) {
  return root + u"子文件夹" + intToText(i % folders) + kSeparator + u"文件" + intToText(i) +
         u".docx";
}

// Removes what the runs wrote: the files first, then the folders.
void removeAll(const Text& root, int files, int folders) {
  for (const Text& tree : {root + u"材料" + kSeparator, root + u"目标" + kSeparator}) {
    for (int i = 0; i < files; ++i) deleteFile(fileName(tree, folders, i), kForceDelete);
    for (int i = 0; i < folders; ++i) removeDirectory(tree + u"子文件夹" + intToText(i));
    removeDirectory(tree);
  }
  removeDirectory(root);
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 300;
  int folders = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  Text root = createPrivateFolder(tempDirectory());
  if (root.empty()) return 1;
  Text source = root + u"材料" + kSeparator;
  for (int i = 0; i < folders; ++i) makePath(source + u"子文件夹" + intToText(i));
  for (int i = 0; i < files; ++i)
    if (!writeNewFile(fileName(source, folders, i), std::string(2000 + 37 * i, 'm'))) return 1;

  int installed = installStandIns();
  std::printf("copyTree's calls into kernel32 (%d of %d functions imported), one destination\n",
              installed, kCounted);
  int flags = kCopyRecursive | kCopyForce;

  // As the program makes a destination it did not find: makePath first.
  Text fresh = root + u"目标" + kSeparator;
  bool made = false;
  makePath(fresh, nullptr, &made);
  clearCounts();
  CopyReport first;
  bool ok = copyTree(source, fresh, flags | (made ? kCopyIntoNew : 0), &first) == 1;
  printCounts("first run into a folder just made", long(first.copiedFiles));

  clearCounts();
  CopyReport rerun;
  ok = copyTree(source, fresh, flags, &rerun) == 1 && ok;
  printCounts("rerun, every file unchanged", long(rerun.unchangedFiles));

  // Every other file gone: half are copied, half found in place.
  for (int i = 0; i < files; i += 2) deleteFile(fileName(fresh, folders, i), kForceDelete);
  clearCounts();
  CopyReport half;
  ok = copyTree(source, fresh, flags, &half) == 1 && ok;
  printCounts("into a folder holding half the files (per file of either kind)",
              long(half.copiedFiles + half.unchangedFiles));
  std::printf("  copied %lld, unchanged %lld\n", static_cast<long long>(half.copiedFiles),
              static_cast<long long>(half.unchangedFiles));

  removeAll(root, files, folders);
  return ok ? 0 : 1;
}

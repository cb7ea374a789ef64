// Test helper that runs under Wine: holds a file open as another program
// (an open workbook, say) does, sharing nothing, so that no one else can
// open it until the helper is ended. The test ends it by its process id; it
// ends by itself after SECONDS in case the test could not.
//
//   hold_file.exe PATH SECONDS
//
// Prints "held" once the file is open; the exit status is 1 when it could not
// be opened, else 0.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
  CloseHandle(file);
  return 0;
}

// The log view: a read-only, word-wrapped rich edit control that takes each
// new line at its top, the lines gathered into one replacement.
#include <windows.h>
// After windows.h, which they build on.
#include <richedit.h>
#include <shlwapi.h>

#include <algorithm>

#include "fs/system_library_win32.h"
#include "ui/shell.h"
#include "ui/shell_win32_state.h"

#ifndef EM_SETEDITSTYLEEX
#define EM_SETEDITSTYLEEX (WM_USER + 275)
#endif
#ifndef SES_EX_NOTABLE
#define SES_EX_NOTABLE 0x00000004
#endif

namespace {

constexpr int kLogViewId = 1;
// Lines for the top of the log view wait at least this long between two
// replacements, and at least this many times as long as the last one took.
constexpr ULONGLONG kLogFlushMilliseconds = 40;
constexpr ULONGLONG kLogFlushSpacing = 3;
constexpr DWORD kLogViewStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                                ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL |
                                ES_WANTRETURN | ES_READONLY;

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void loadRichEdit() {
  if (shell.richEditLoaded) return;
  shell.richEditLoaded = true;
  HMODULE msftEdit = loadSystemLibrary(L"MSFTEDIT.DLL");
  HMODULE richEdit20 = loadSystemLibrary(L"RICHED20.DLL");
  HMODULE richEdit32 = richEdit20 != nullptr ? nullptr : loadSystemLibrary(L"RICHED32.DLL");
  for (HMODULE library : {msftEdit, richEdit20, richEdit32})
    if (library != nullptr) shell.richEditLibraries.push_back(library);
  shell.msftEdit = msftEdit != nullptr;
  shell.richEditClass = msftEdit ? L"RICHEDIT50W" : richEdit20 ? L"RichEdit20W" : L"RichEdit";
}

bool commonControlsSixOrLater() {
  HMODULE module = GetModuleHandleW(L"comctl32.dll");
  if (module == nullptr) return false;
  auto getVersion = lookUp<DLLGETVERSIONPROC>(module, "DllGetVersion");
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  return getVersion != nullptr && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6;
}

// uxtheme.dll is asked at run time: systems without visual styles lack it.
bool visualStylesActive() {
  HMODULE theme = loadSystemLibrary(L"uxtheme.dll");
  if (theme == nullptr) return false;
  auto isAppThemed = lookUp<BOOL(WINAPI*)()>(theme, "IsAppThemed");
  bool themed = isAppThemed != nullptr && isAppThemed();
  FreeLibrary(theme);
  return themed && commonControlsSixOrLater();
}

void configureLogView(HWND view) {
  SendMessageW(view, EM_LIMITTEXT, static_cast<WPARAM>(-1), 0);
  SendMessageW(view, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  LRESULT mask = SendMessageW(view, EM_GETEVENTMASK, 0, 0);
  SendMessageW(view, EM_SETEVENTMASK, 0, mask | ENM_CHANGE);
  if (shell.msftEdit) SendMessageW(view, EM_SETEDITSTYLEEX, SES_EX_NOTABLE, SES_EX_NOTABLE);
  SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(shell.font), FALSE);
  SendMessageW(view, EM_SETTARGETDEVICE, 0, 0);  // wraps at the view's width
}

void replaceSelection(HWND view, const Text& text) {
  SendMessageW(view, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide(text)));
}

// Each line goes in with one replacement, its line breaks included: every
// replacement is an edit of its own that the control lays out, paints and
// reports.
void appendLine(HWND view, const Text& text) {
  LRESULT length = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(view, EM_SETSEL, length, length);
  Text inserted;
  bool heldEmptyLine = shell.holdsOneEmptyLine;
  if (heldEmptyLine) {
    inserted += u'\n';
    shell.holdsOneEmptyLine = false;
  }
  if (length > 0) inserted += u'\n';
  // The control cannot show one empty line in an empty text: the flag counts it.
  if (length == 0 && text.empty() && !heldEmptyLine) shell.holdsOneEmptyLine = true;
  replaceSelection(view, inserted + text);
}

}  // namespace

bool openLogView(const LayoutBox& place) {
  if (shell.mainWindow == nullptr || shell.logView != nullptr) return false;
  loadRichEdit();
  DWORD border = visualStylesActive() ? 0 : WS_EX_CLIENTEDGE;
  HWND view = CreateWindowExW(
      border, shell.richEditClass, L"", kLogViewStyle, scaleX(place.x), scaleY(place.y),
      scaleX(place.width), scaleY(place.height), shell.mainWindow,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogViewId)), shell.instance, nullptr);
  if (view == nullptr) return false;
  configureLogView(view);
  shell.logView = view;
  return true;
}

// Lines for the top go in together: the control moves and lays out the text
// below the insertion on every replacement, so a replacement per line would
// cost more with every line shown. The next replacement waits at least a few
// times as long as the last one took, so however long the log grows, most of
// the time goes to the run and a line's share of the replacements stays the
// same. Whatever comes next (the title, a box, a close request) puts the
// waiting lines in first, so the view never shows lines out of their order.
void flushLogLines() {
  if (shell.pendingTop.empty()) return;
  KillTimer(shell.eventWindow, kLogFlushTimer);
  ULONGLONG started = GetTickCount64();
  Text lines;
  for (auto line = shell.pendingTop.rbegin(); line != shell.pendingTop.rend(); ++line) {
    lines += *line;
    lines += u'\n';
  }
  shell.pendingTop.clear();
  HWND view = shell.logView;
  if (view == nullptr) return;
  SendMessageW(view, EM_HIDESELECTION, TRUE, 0);
  SendMessageW(view, EM_SETSEL, 0, 0);
  replaceSelection(view, lines);
  // The text is no longer empty, so its own line breaks count every line.
  shell.holdsOneEmptyLine = false;
  SendMessageW(view, EM_HIDESELECTION, FALSE, 0);
  ULONGLONG now = GetTickCount64();
  shell.nextFlush = now + std::max(kLogFlushMilliseconds, kLogFlushSpacing * (now - started));
}

// The first line of an empty view goes in at once; later ones wait for the
// next replacement at the top.
void insertLogLineOnTop(const Text& text) {
  HWND view = shell.logView;
  if (view == nullptr) return;
  // A view with lines waiting for its top is not empty.
  bool waiting = !shell.pendingTop.empty();
  if (!waiting && GetWindowTextLengthW(view) == 0 && !shell.holdsOneEmptyLine) {
    SendMessageW(view, EM_HIDESELECTION, TRUE, 0);
    appendLine(view, text);
    SendMessageW(view, EM_HIDESELECTION, FALSE, 0);
    return;
  }
  shell.pendingTop.push_back(text);
  ULONGLONG now = GetTickCount64();
  if (now >= shell.nextFlush)
    flushLogLines();
  else if (!waiting)
    SetTimer(shell.eventWindow, kLogFlushTimer, static_cast<UINT>(shell.nextFlush - now), nullptr);
}

// Lines still waiting belong to the run being cleared away: they are dropped,
// not put in.
void emptyLogView() {
  KillTimer(shell.eventWindow, kLogFlushTimer);
  shell.pendingTop.clear();
  shell.holdsOneEmptyLine = false;
  shell.nextFlush = 0;
  if (shell.logView != nullptr) SetWindowTextW(shell.logView, L"");
}

void releaseLogView() {
  if (shell.logView != nullptr) DestroyWindow(shell.logView);
  for (HMODULE library : shell.richEditLibraries) FreeLibrary(library);
  shell.richEditLibraries.clear();
}

// Test helper that runs under Wine beside varnelo.exe: waits for one of its
// windows and prints what it shows, so the test reads the window texts
// themselves rather than pixels. Wine draws its windows inside one X window,
// the virtual desktop, so X tools cannot see them one by one.
//
//   window_texts.exe box SECONDS   wait for the summary box, then print
//   window_texts.exe busy SECONDS  wait until the title names a group being copied
//   window_texts.exe gone SECONDS  wait until no summary box is shown
//   window_texts.exe retry SECONDS wait for the summary box, print as "box" does,
//                                  then press the button that reads 重新同步(R)
//
// Output is UTF-8, one "name: value" line each, CR and LF written as \r and \n:
//   title, client (width x height), position (x,y of the window), size,
//   screen, log-class, log-place (x,y width x height within the client area),
//   bar-place and status-place (the progress strip's bar and line, the same way),
//   bar-position (0 to 1000), status (the strip's line),
//   log (the log view's text, lines ended by LF), box-title, box-text,
//   box-owner (main or other), main-enabled (0 or 1);
// for a summary box with its own text view also:
//   box-headline, box-notes, retry-text (empty without the button), box-rect,
//   work-area, text-rect, ok-rect (left,top right,bottom
//   on the screen), ok-visible (0 or 1), text-lines, text-top-visible (0 or 1),
//   text-end-visible (0 or 1, after scrolling the view to its end).
// The exit status is 0 once the window was found, 1 on time-out.
#include <windows.h>

#include <string>

namespace {

const wchar_t kMainClass[] = L"WindowClass_0";
const wchar_t kBoxTitle[] = L"同步提示";
const wchar_t kBusyTitle[] = L"Varnelo-当前同步【";
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kSummaryTextId = 1002;  // the summary box's text view
constexpr int kNotesId = 1003;
constexpr int kRetryId = 1004;
constexpr int kProgressBarId = 2;
constexpr int kStatusId = 3;
constexpr UINT kGetBarPosition = WM_USER + 8;  // PBM_GETPOS

std::string utf8(const std::wstring& s) {
  if (s.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), bytes.data(), size, nullptr,
                      nullptr);
  return bytes;
}

std::wstring escaped(const std::wstring& s) {
  std::wstring result;
  for (wchar_t c : s) {
    if (c == L'\r')
      result += L"\\r";
    else if (c == L'\n')
      result += L"\\n";
    else
      result += c;
  }
  return result;
}

void print(const char* name, const std::wstring& value) {
  std::string line = std::string(name) + ": " + utf8(escaped(value)) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

// WM_GETTEXT with a time-out: the other process may be busy.
std::wstring textOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

// The rich edit control keeps CR as its paragraph break and may report it as
// CR or CR LF; the log's lines are compared with LF between them.
std::wstring lineBreaksAsLf(const std::wstring& s) {
  std::wstring result;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'\r')
      result += s[i];
    else if (i + 1 == s.size() || s[i + 1] != L'\n')
      result += L'\n';
  }
  return result;
}

// The summary's text view may keep a lone CR as its line break; the box's
// text is compared with CR LF between lines.
std::wstring lineBreaksAsCrLf(const std::wstring& s) {
  std::wstring result;
  for (size_t i = 0; i < s.size(); ++i) {
    result += s[i];
    if (s[i] == L'\r' && (i + 1 == s.size() || s[i + 1] != L'\n')) result += L'\n';
  }
  return result;
}

// "x,y widthxheight" of a control within its window's client area.
std::wstring placeText(HWND control, HWND window) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
  return std::to_wstring(place.left) + L"," + std::to_wstring(place.top) + L" " +
         std::to_wstring(place.right - place.left) + L"x" +
         std::to_wstring(place.bottom - place.top);
}

// A button's text as the user reads it, without the "&" of its mnemonic.
std::wstring withoutMnemonic(const std::wstring& label) {
  std::wstring shown;
  for (wchar_t c : label)
    if (c != L'&') shown += c;
  return shown;
}

HWND logViewOf(HWND main) {
  return GetWindow(main, GW_CHILD);
}

void printMain(HWND main) {
  print("title", textOf(main));
  RECT client, frame;
  GetClientRect(main, &client);
  GetWindowRect(main, &frame);
  print("client", std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom));
  print("position", std::to_wstring(frame.left) + L"," + std::to_wstring(frame.top));
  print("size", std::to_wstring(frame.right - frame.left) + L"x" +
                    std::to_wstring(frame.bottom - frame.top));
  print("screen", std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
                      std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
  HWND log = logViewOf(main);
  if (log == nullptr) return;
  wchar_t className[64] = L"";
  GetClassNameW(log, className, 64);
  print("log-class", className);
  print("log-place", placeText(log, main));
  print("log", lineBreaksAsLf(textOf(log)));
  HWND bar = GetDlgItem(main, kProgressBarId), status = GetDlgItem(main, kStatusId);
  if (bar == nullptr || status == nullptr) return;
  print("bar-place", placeText(bar, main));
  print("status-place", placeText(status, main));
  DWORD_PTR position = 0;
  SendMessageTimeoutW(bar, kGetBarPosition, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
  print("bar-position", std::to_wstring(position));
  print("status", textOf(status));
}

std::wstring rectText(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) +
         L"," + std::to_wstring(r.bottom);
}

bool inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

LRESULT ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

void printSummaryParts(HWND box, HWND text) {
  HWND headline = FindWindowExW(box, nullptr, L"Static", nullptr);
  print("box-headline", headline != nullptr ? textOf(headline) : L"");
  HWND notes = GetDlgItem(box, kNotesId), retry = GetDlgItem(box, kRetryId);
  print("box-notes", notes != nullptr ? textOf(notes) : L"");
  print("retry-text", retry != nullptr ? withoutMnemonic(textOf(retry)) : L"");
  RECT boxRect, textRect, okRect{};
  GetWindowRect(box, &boxRect);
  GetWindowRect(text, &textRect);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  print("box-rect", rectText(boxRect));
  print("work-area", rectText(monitor.rcWork));
  print("text-rect", rectText(textRect));
  HWND ok = GetDlgItem(box, IDOK);
  if (ok != nullptr) GetWindowRect(ok, &okRect);
  print("ok-rect", rectText(okRect));
  print("ok-text", ok != nullptr ? textOf(ok) : L"");
  bool okShown = ok != nullptr && IsWindowVisible(ok) && inside(okRect, boxRect) &&
                 inside(okRect, monitor.rcWork) && okRect.top >= textRect.bottom;
  print("ok-visible", okShown ? L"1" : L"0");
  LRESULT lines = ask(text, EM_GETLINECOUNT, 0, 0);
  print("text-lines", std::to_wstring(lines));
  print("text-top-visible", ask(text, EM_GETFIRSTVISIBLELINE, 0, 0) == 0 ? L"1" : L"0");
  // As the scroll bar dragged to its end: the view moves, and one more line
  // down moves it no further, so its last line is in view.
  ask(text, WM_VSCROLL, SB_BOTTOM, 0);
  LRESULT bottom = ask(text, EM_GETFIRSTVISIBLELINE, 0, 0);
  ask(text, WM_VSCROLL, SB_LINEDOWN, 0);
  bool atEnd = bottom > 0 && ask(text, EM_GETFIRSTVISIBLELINE, 0, 0) == bottom;
  print("text-end-visible", atEnd ? L"1" : L"0");
  ask(text, WM_VSCROLL, SB_TOP, 0);
}

void printBox(HWND box, HWND main) {
  print("box-title", textOf(box));
  HWND edit = GetDlgItem(box, kSummaryTextId);
  HWND text = edit != nullptr ? edit : GetDlgItem(box, kMessageBoxTextId);
  print("box-text", text != nullptr ? lineBreaksAsCrLf(textOf(text)) : L"<no text control>");
  print("box-owner", GetWindow(box, GW_OWNER) == main ? L"main" : L"other");
  print("main-enabled", IsWindowEnabled(main) ? L"1" : L"0");
  if (edit != nullptr) printSummaryParts(box, edit);
}

bool startsWith(const std::wstring& s, const std::wstring& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool pressRetry(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (withoutMnemonic(textOf(child)) == L"重新同步(R)")
      return PostMessageW(child, BM_CLICK, 0, 0) != 0;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  std::wstring mode = argv[1];
  int seconds = _wtoi(argv[2]);
  for (int tick = 0; tick < seconds * 10; ++tick, Sleep(100)) {
    HWND main = FindWindowW(kMainClass, nullptr);
    if (main == nullptr) continue;
    if (mode == L"gone") {
      if (FindWindowW(nullptr, kBoxTitle) == nullptr) return 0;
      continue;
    }
    if (mode == L"box" || mode == L"retry") {
      // The box exists before its controls and text are in; it is shown
      // once they are.
      HWND box = FindWindowW(nullptr, kBoxTitle);
      if (box == nullptr || !IsWindowVisible(box)) continue;
      Sleep(300);  // let the box finish drawing before anyone looks at it
      printMain(main);
      printBox(box, main);
      if (mode == L"retry") return pressRetry(box) ? 0 : 1;
      return 0;
    }
    if (mode == L"busy" && startsWith(textOf(main), kBusyTitle)) {
      printMain(main);
      return 0;
    }
  }
  return 1;
}

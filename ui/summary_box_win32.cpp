// The box at the end of a run and for any message: a bold headline, notes
// under it, the text in a read-only edit control that scrolls, and OK with,
// when another go is offered, a retry button to its left. Its size and
// place follow ui/summary_layout.h. It runs on the GUI thread with its own
// modal loop while the calling thread waits.
#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "text/catalogue.h"
#include "ui/log_lines.h"
#include "ui/shell.h"
#include "ui/shell_win32_state.h"
#include "ui/summary_layout.h"

namespace {

const wchar_t kSummaryClass[] = L"VarneloSummaryBox";
constexpr int kHeadlineId = 1001;
constexpr int kSummaryTextId = 1002;
constexpr int kNotesId = 1003;
constexpr int kRetryId = 1004;
constexpr DWORD kSummaryStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kSummaryExStyle = WS_EX_DLGMODALFRAME;

struct SummaryBox {
  HWND window = nullptr;
  HWND text = nullptr;
  HFONT boldFont = nullptr;
  bool offerRetry = false;
  bool done = false;
  int result = kDialogOk;
};

void finish(SummaryBox* box, int result) {
  if (box == nullptr) return;
  box->done = true;
  box->result = result;
}

SummaryBox* openBox = nullptr;

LRESULT CALLBACK summaryProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        finish(openBox, kDialogOk);
        return 0;
      }
      if (LOWORD(wParam) == kRetryId) {
        finish(openBox, kDialogRetry);
        return 0;
      }
      break;
    case WM_CLOSE:
      finish(openBox, kDialogOk);
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CTLCOLORSTATIC:
      // The read-only text reads as a page, not as a label.
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(window, kSummaryTextId)) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The edit control wants every key; in this box Enter and Escape mean OK, as
// in a message box, Enter on the focused retry button means that button, R
// and Alt+R press the retry button, and Ctrl+A selects the whole text.
bool handleSummaryKey(const MSG& message, SummaryBox& box) {
  bool plainKey = message.message == WM_KEYDOWN, altKey = message.message == WM_SYSKEYDOWN;
  if (!plainKey && !altKey) return false;
  if (message.hwnd != box.window && !IsChild(box.window, message.hwnd)) return false;
  bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  if (box.offerRetry && message.wParam == 'R' && !control) {
    finish(&box, kDialogRetry);
    return true;
  }
  if (!plainKey) return false;
  if (message.wParam == VK_RETURN && GetDlgCtrlID(message.hwnd) == kRetryId) {
    finish(&box, kDialogRetry);
    return true;
  }
  if (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) {
    finish(&box, kDialogOk);
    return true;
  }
  if (message.wParam == 'A' && control && message.hwnd == box.text) {
    SendMessageW(box.text, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

// The catalogue's "(R)" becomes "(&R)": the letter underlined, Alt+R its key.
Text withMnemonic(const Text& label) {
  size_t open = label.rfind(u'(');
  if (open == Text::npos || open + 1 >= label.size()) return label;
  return label.substr(0, open + 1) + u"&" + label.substr(open + 1);
}

// Text with every line break as CR LF, which the edit control shows.
Text withCrLf(const Text& text) {
  return replaceAll(replaceAll(text, u"\r\n", u"\n"), u"\n", u"\r\n");
}

// The text's extent in the font: unwrapped when width is 0, else wrapped at
// width as the edit control wraps.
SIZE textExtent(HDC dc, HFONT font, const Text& text, int width) {
  HGDIOBJ old = SelectObject(dc, font);
  RECT rect{0, 0, width > 0 ? width : 1, 0};
  UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL;
  if (width > 0) format |= DT_WORDBREAK;
  Text shown = text.empty() ? Text(u" ") : text;
  DrawTextW(dc, wide(shown), static_cast<int>(shown.size()), &rect, format);
  SelectObject(dc, old);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HFONT boldFontOf(HFONT font) {
  LOGFONTW face{};
  if (GetObjectW(font, sizeof face, &face) == 0) return nullptr;
  face.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&face);
}

ScreenRect workAreaFor(HWND window) {
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  HMONITOR monitor = window != nullptr ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                       : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) area = info.rcWork;
  return ScreenRect{area.left, area.top, area.right - area.left, area.bottom - area.top};
}

SIZE frameSize() {
  RECT frame{0, 0, 100, 100};
  AdjustWindowRectEx(&frame, kSummaryStyle, FALSE, kSummaryExStyle);
  return SIZE{frame.right - frame.left - 100, frame.bottom - frame.top - 100};
}

struct SummaryLayout {
  int clientWidth, clientHeight;
  RECT headline, notes, text, ok, retry;
};

// What the box shows besides the text, as the layout needs it.
struct SummaryParts {
  HFONT boldFont;
  const Text& headline;
  const Text& notes;
  bool offerRetry;
};

// Height of a block above the text wrapped at width; 0 for an empty one.
int blockHeight(HDC dc, HFONT font, const Text& text, int width) {
  return text.empty() ? 0 : textExtent(dc, font, text, width).cy;
}

// The room a block takes with the gap under it; an absent block takes none.
int blockSpace(int height, int gap) {
  return height > 0 ? height + gap : 0;
}

RECT nextBlock(int margin, int width, int& y, int height, int gap) {
  RECT place{margin, y, margin + width, y + height};
  y += blockSpace(height, gap);
  return place;
}

// The text's unwrapped width plus the view's padding; notes as long as a
// saved record's path widen the box up to its limit before they wrap.
int wantedTextWidth(HDC dc, const Text& measured, const Text& notes, int padding) {
  int width = textExtent(dc, shell.font, measured, 0).cx + padding;
  if (!notes.empty()) width = std::max<int>(width, textExtent(dc, shell.font, notes, 0).cx);
  return width;
}

// As a message box sizes its text: as wide as the longest line between the
// two limits, as high as the wrapped text up to two thirds of the work area
// for the whole box, never beyond the work area.
SummaryLayout layOutSummary(const ScreenRect& area, const SummaryParts& parts, const Text& text) {
  int margin = scaleX(11), gap = scaleY(8);
  int buttonWidth = scaleX(88), buttonHeight = scaleY(26);
  Text retryLabel = withMnemonic(kRetryButton);
  SIZE frame = frameSize();
  // Borders, the inner margins and the scroll bar around the text.
  int padding = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + scaleX(10);

  HDC dc = GetDC(nullptr);
  Text measured = firstLines(text, kMeasuredLines);
  int retryWidth =
      std::max<int>(buttonWidth, textExtent(dc, shell.font, retryLabel, 0).cx + scaleX(24));
  int viewWidth =
      summaryViewWidth(wantedTextWidth(dc, measured, parts.notes, padding), frame.cx + 2 * margin,
                       scaleX(kSummaryMinWidth), scaleX(kSummaryMaxWidth), area.width);
  SIZE wrapped = textExtent(dc, shell.font, measured, std::max(1, viewWidth - padding));
  SIZE line = textExtent(dc, shell.font, u"M", 0);
  int headlineHeight = blockHeight(dc, parts.boldFont, parts.headline, viewWidth);
  int notesHeight = blockHeight(dc, shell.font, parts.notes, viewWidth);
  ReleaseDC(nullptr, dc);

  int chrome = frame.cy + 2 * margin + blockSpace(headlineHeight, gap) +
               blockSpace(notesHeight, gap) + gap + buttonHeight;
  // The edit control gives a text that ends in a line break one more, empty
  // line, which the measure leaves out; without it a short text would scroll.
  if (!measured.empty() && measured.back() == u'\n') wrapped.cy += line.cy;
  int viewHeight = summaryViewHeight(wrapped.cy + 2 * GetSystemMetrics(SM_CYEDGE) + scaleY(6),
                                     line.cy, chrome, area.height);

  SummaryLayout layout;
  int y = margin;
  layout.headline = nextBlock(margin, viewWidth, y, headlineHeight, gap);
  layout.notes = nextBlock(margin, viewWidth, y, notesHeight, gap);
  layout.text = nextBlock(margin, viewWidth, y, viewHeight, gap);
  layout.clientWidth = viewWidth + 2 * margin;
  int okLeft = layout.clientWidth - margin - buttonWidth;
  layout.ok = RECT{okLeft, y, okLeft + buttonWidth, y + buttonHeight};
  // Left of OK, unless the box is too narrow for both: then over the text's
  // left edge, the box's own margin.
  int retryLeft = std::max(margin, okLeft - gap - retryWidth);
  layout.retry =
      parts.offerRetry ? RECT{retryLeft, y, retryLeft + retryWidth, y + buttonHeight} : RECT{};
  layout.clientHeight = y + buttonHeight + margin;
  return layout;
}

bool registerSummaryClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = summaryProcedure;
  windowClass.hInstance = shell.instance;
  windowClass.hCursor = shell.cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kSummaryClass;
  registered = RegisterClassW(&windowClass) != 0;
  return registered;
}

// Centred on the main window (or the owner), wholly on its work area.
HWND createSummaryWindow(HWND owner, const Text& title, const SummaryLayout& layout,
                         const ScreenRect& area, HWND centreOn) {
  RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
  AdjustWindowRectEx(&frame, kSummaryStyle, FALSE, kSummaryExStyle);
  RECT over{area.x, area.y, area.x + area.width, area.y + area.height};
  if (centreOn != nullptr) GetWindowRect(centreOn, &over);
  ScreenRect at = placeInArea(area, (over.left + over.right) / 2, (over.top + over.bottom) / 2,
                              frame.right - frame.left, frame.bottom - frame.top);
  return CreateWindowExW(kSummaryExStyle, kSummaryClass, wide(title), kSummaryStyle, at.x, at.y,
                         at.width, at.height, owner, nullptr, shell.instance, nullptr);
}

void createSummaryControls(SummaryBox& box, const SummaryLayout& layout,
                           const SummaryDialog& dialog, const Text& shown) {
  HFONT headlineFont = box.boldFont != nullptr ? box.boldFont : shell.font;
  // As the layout measured them: wrapped as an edit control wraps, so a path
  // without spaces breaks too.
  DWORD blockStyle = SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL;
  if (!dialog.headline.empty())
    createControl(box.window, L"Static", dialog.headline, blockStyle, 0, layout.headline,
                  kHeadlineId, headlineFont);
  if (!dialog.notes.empty())
    createControl(box.window, L"Static", withCrLf(dialog.notes), blockStyle, 0, layout.notes,
                  kNotesId, shell.font);
  // No automatic scrolling while the text goes in, so the view starts at
  // its top; no horizontal scrolling, so the lines wrap.
  box.text = createControl(box.window, L"Edit", u"",
                           WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_NOHIDESEL,
                           WS_EX_CLIENTEDGE, layout.text, kSummaryTextId, shell.font);
  if (box.text != nullptr) {
    SendMessageW(box.text, EM_LIMITTEXT, 0, 0);
    SetWindowTextW(box.text, wide(shown));
    SendMessageW(box.text, EM_SETSEL, 0, 0);
  }
  // Made before OK, so that Tab goes from left to right.
  if (box.offerRetry)
    createControl(box.window, L"Button", withMnemonic(kRetryButton), BS_PUSHBUTTON | WS_TABSTOP, 0,
                  layout.retry, kRetryId, shell.font);
  createControl(box.window, L"Button", kOkButton, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, layout.ok, IDOK,
                shell.font);
}

void runModalLoop(SummaryBox& box) {
  MSG message;
  while (!box.done) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      break;
    }
    if (got == -1) break;
    if (handleSummaryKey(message, box)) continue;
    if (IsDialogMessageW(box.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

int runSummaryBox(HWND owner, const SummaryDialog& dialog) {
  if (openBox != nullptr || !registerSummaryClass()) return 0;
  SummaryBox box;
  box.boldFont = boldFontOf(shell.font);
  box.offerRetry = dialog.offerRetry;
  HWND centreOn = owner != nullptr ? owner : shell.mainWindow;
  ScreenRect area = workAreaFor(centreOn);
  Text shown = withCrLf(dialog.text);
  Text notes = withCrLf(dialog.notes);
  SummaryParts parts{box.boldFont != nullptr ? box.boldFont : shell.font, dialog.headline, notes,
                     dialog.offerRetry};
  SummaryLayout layout = layOutSummary(area, parts, shown);
  box.window = createSummaryWindow(owner, dialog.title, layout, area, centreOn);
  if (box.window == nullptr) {
    if (box.boldFont != nullptr) DeleteObject(box.boldFont);
    return 0;
  }
  createSummaryControls(box, layout, dialog, shown);

  openBox = &box;
  // Disabled as under a message box, so the main window takes no input
  // while the box is up.
  bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(box.window, SW_SHOWNORMAL);
  SetForegroundWindow(box.window);
  // The text has the focus, so Ctrl+A and Ctrl+C work at once.
  SetFocus(box.text != nullptr ? box.text : box.window);
  runModalLoop(box);
  openBox = nullptr;
  // The owner is enabled again before the box goes, so that the platform
  // activates it rather than another program's window.
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(box.window);
  if (box.boldFont != nullptr) DeleteObject(box.boldFont);
  return box.result;
}

void unregisterSummaryBox() {
  UnregisterClassW(kSummaryClass, shell.instance);
}

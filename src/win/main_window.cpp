#include "win/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/run_control.h"
#include "session/exit_status.h"
#include "win/indicator_art.h"
#include "win/utf16.h"
#include "win/win_clock.h"

namespace tavric::win {
namespace {

constexpr wchar_t kClassName[] = L"TavricProbeServerDump";
constexpr wchar_t kTitle[] = L"Tavric Probe Server - Download";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Design size of the window's client area, in twips.
constexpr int kClientWidth = 6855;
constexpr int kClientHeight = 1245;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerIntervalMs = 150;
// How often, at most, yield() lets the window handle its pending events (and so
// repaint): 50 times a second, quicker than anyone can see or click.
constexpr auto kYieldInterval = std::chrono::milliseconds(20);
// The shortest time between two immediate paintings: one frame of a 60 Hz screen.
constexpr auto kPaintInterval = std::chrono::milliseconds(16);
enum ControlId { kIdLo = 101, kIdHi = 102 };

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id = 0) {
  return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0,
                           0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           ::GetModuleHandleW(nullptr), nullptr);
}

void set_font(HWND control, HFONT font) {
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void place(HWND control, const RECT& r) {
  ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int text_height(HFONT font) {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return tm.tmHeight;
}

SIZE text_size(HFONT font, const wchar_t* text) {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, font);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return size;
}

std::wstring window_text(HWND control) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

void replace_font(HFONT& font, HFONT with) {
  if (font) ::DeleteObject(font);
  font = with;
}

}  // namespace

MainWindow::MainWindow() {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = &MainWindow::window_proc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  cls.hIcon = ::LoadIconW(cls.hInstance, MAKEINTRESOURCEW(1));
  cls.lpszClassName = kClassName;
  ::RegisterClassExW(&cls);  // fails harmlessly when a second window registers it again

  dpi_ = static_cast<int>(::GetDpiForSystem());
  hwnd_ = ::CreateWindowExW(0, kClassName, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, cls.hInstance, this);
  dpi_ = static_cast<int>(::GetDpiForWindow(hwnd_));
  create_controls();
  lay_out();
}

MainWindow::~MainWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  for (HFONT font : {font_, event_font_, footer_font_}) {
    if (font) ::DeleteObject(font);
  }
}

int MainWindow::px(int twips) const {
  return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

RECT MainWindow::twips_rect(int left, int top, int width, int height) const {
  return RECT{px(left), px(top), px(left) + px(width), px(top) + px(height)};
}

void MainWindow::create_controls() {
  image1_ = child(hwnd_, L"STATIC", nullptr, SS_OWNERDRAW);
  image2_ = child(hwnd_, L"STATIC", nullptr, SS_OWNERDRAW);
  // The event line's box lies under the animation and the speed option, as designed.
  // Drawn by the window: the rule under the title runs through the top of its box.
  lbl_ = child(hwnd_, L"STATIC", L"Connecting, please wait ...", SS_OWNERDRAW);
  label2_ = child(hwnd_, L"STATIC", nullptr, SS_SUNKEN);
  pgb_ = child(hwnd_, PROGRESS_CLASSW, nullptr, 0);
  ::SendMessageW(pgb_, PBM_SETRANGE32, 0, 100);
  ::SendMessageW(pgb_, PBM_SETPOS, 0, 0);

  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
  for (int i = 0; i < 2; ++i) {
    led_[i] = child(hwnd_, L"STATIC", nullptr, SS_OWNERDRAW | SS_NOTIFY);
    TTTOOLINFOW tip{};
    tip.cbSize = sizeof(tip);
    tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tip.hwnd = hwnd_;
    tip.uId = reinterpret_cast<UINT_PTR>(led_[i]);
    tip.lpszText = const_cast<wchar_t*>(i == 0 ? L"Send" : L"Receive");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
  }
  img_dumping_ = child(hwnd_, L"STATIC", nullptr, SS_OWNERDRAW);

  label3_ = child(hwnd_, L"STATIC", L"Speed:", SS_LEFT | SS_NOPREFIX);
  opt_speed_[0] = child(hwnd_, L"BUTTON", L"Lo", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, kIdLo);
  opt_speed_[1] = child(hwnd_, L"BUTTON", L"Hi", BS_AUTORADIOBUTTON, kIdHi);
  set_speed_hi(false);
  label1_ = child(hwnd_, L"STATIC",
                  L"Downloads the new readings, sets the server clock and clears its store.",
                  SS_LEFT | SS_NOPREFIX | WS_GROUP);
  // The event line's box reaches under the speed option, the lamps and the progress
  // bar's frame: it lies beneath them all. The bar lies in its frame, above it.
  ::SetWindowPos(lbl_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(pgb_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MainWindow::lay_out() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                               static_cast<UINT>(dpi_));
  LOGFONTW face = metrics.lfMessageFont;
  font_face_ = face.lfFaceName;
  replace_font(font_, ::CreateFontIndirectW(&face));

  // The event line's text sits at the top of its box in a size whose line fits above
  // the progress bar's frame, so that no descender is cut off.
  const int room = px(555) - px(360);
  const int smallest = -std::max(1, 6 * dpi_ / 72);
  LOGFONTW event_face = face;
  replace_font(event_font_, ::CreateFontIndirectW(&event_face));
  while (text_height(event_font_) > room && event_face.lfHeight < smallest) {
    ++event_face.lfHeight;  // heights are negative: one pixel smaller
    replace_font(event_font_, ::CreateFontIndirectW(&event_face));
  }
  LOGFONTW footer_face = face;
  footer_face.lfHeight = static_cast<LONG>(std::lround(face.lfHeight * 0.85));
  replace_font(footer_font_, ::CreateFontIndirectW(&footer_face));

  place(image1_, twips_rect(0, 60, 675, 765));
  place(image2_, twips_rect(660, 0, 2520, 360));
  place(lbl_, twips_rect(720, 360, 5955, 225));
  place(label2_, twips_rect(720, 555, 2940, 225));
  place(pgb_, twips_rect(750, 570, 2895, 195));
  for (int i = 0; i < 2; ++i) place(led_[i], twips_rect(i == 0 ? 3750 : 4020, 540, 225, 225));
  place(img_dumping_, twips_rect(3330, 90, 900, 315));
  const SIZE heading = text_size(font_, L"Speed:");
  place(label3_, RECT{px(4500), px(30), px(4500) + heading.cx + 2, px(30) + heading.cy});
  set_font(label3_, font_);
  for (int i = 0; i < 2; ++i) {
    place(opt_speed_[i], twips_rect(4500, i == 0 ? 300 : 540, 765, 195));
    set_font(opt_speed_[i], font_);
  }
  place(label1_, twips_rect(120, 915, 6615, 240));
  set_font(label1_, footer_font_);

  RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
  ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, static_cast<UINT>(dpi_));
  ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::show() {
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
  ::SetTimer(hwnd_, kTimerId, kTimerIntervalMs, nullptr);
  timer_running_ = true;
}

LRESULT CALLBACK MainWindow::window_proc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<MainWindow*>(create->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, message, w, l);
  return self->handle(message, w, l);
}

LRESULT MainWindow::handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_TIMER:
      if (w == kTimerId && on_tick) on_tick();
      return 0;
    case WM_CLOSE:
      begin_close();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(hwnd_, &paint);
      paint_rules(dc);
      ::EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_DRAWITEM:
      draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(l) == label1_) {
        HDC dc = reinterpret_cast<HDC>(w);
        ::SetTextColor(dc, RGB(0x55, 0x55, 0x55));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(w);
      const RECT* suggested = reinterpret_cast<const RECT*>(l);
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      lay_out();
      return 0;
    }
    case kStopMessage:
      if (on_stop) {
        on_stop(static_cast<int>(w), l == CTRL_C_EVENT        ? "Ctrl+C"
                                     : l == CTRL_BREAK_EVENT  ? "Ctrl+Break"
                                     : l == CTRL_CLOSE_EVENT  ? "console closed"
                                     : l == CTRL_LOGOFF_EVENT ? "logoff"
                                                              : "shutdown");
      }
      return 0;
    case WM_QUERYENDSESSION:
      // The run ends as if the window was closed; the session may end meanwhile.
      if (on_stop && !closed_) {
        const bool logoff = (l & ENDSESSION_LOGOFF) != 0;
        on_stop(logoff ? kExitHangUp : kExitTerminated, logoff ? "logoff" : "shutdown");
      }
      return TRUE;
    case WM_ENDSESSION:
      if (w && on_session_end) on_session_end();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, w, l);
}

void MainWindow::paint_rules(HDC dc) {
  // The two decorative rules: under the title, and above the footer line.
  HPEN pen = ::CreatePen(PS_SOLID, std::max(1, px(15)), RGB(160, 170, 180));
  HGDIOBJ old = ::SelectObject(dc, pen);
  ::MoveToEx(dc, px(660), px(375), nullptr);
  ::LineTo(dc, px(3180), px(375));
  ::MoveToEx(dc, px(60), px(870), nullptr);
  ::LineTo(dc, px(kClientWidth - 60), px(870));
  ::SelectObject(dc, old);
  ::DeleteObject(pen);
}

void MainWindow::draw_event_line(HDC dc, const RECT& box) {
  // The part of the title's rule that lies in the box, then the text at its top.
  HPEN pen = ::CreatePen(PS_SOLID, std::max(1, px(15)), RGB(160, 170, 180));
  HGDIOBJ old_pen = ::SelectObject(dc, pen);
  ::MoveToEx(dc, 0, px(375) - px(360), nullptr);
  ::LineTo(dc, px(3180) - px(720), px(375) - px(360));
  ::SelectObject(dc, old_pen);
  ::DeleteObject(pen);
  const std::wstring text = window_text(lbl_);
  HGDIOBJ old_font = ::SelectObject(dc, event_font_);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
  // The text stops short of the animation, the first control beside it on its row: a
  // longer one (a folder name) is shortened in the middle. The trace has it whole.
  RECT area = box;
  area.right = std::min(area.right, box.left + px(3330) - px(60) - px(720));
  ::DrawTextW(dc, text.c_str(), -1, &area,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  ::SelectObject(dc, old_font);
}

void MainWindow::draw_item(const DRAWITEMSTRUCT& item) {
  const int w = item.rcItem.right - item.rcItem.left;
  const int h = item.rcItem.bottom - item.rcItem.top;
  if (w <= 0 || h <= 0) return;
  // Drawn off screen and copied in one step, so that a lamp never flickers.
  HDC dc = ::CreateCompatibleDC(item.hDC);
  HBITMAP bitmap = ::CreateCompatibleBitmap(item.hDC, w, h);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  RECT all{0, 0, w, h};
  ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_BTNFACE));
  {
    Gdiplus::Graphics g(dc);
    // The pictures are drawn in 96-DPI pixels and scaled for the monitor.
    const float scale = static_cast<float>(dpi_) / 96.0f;
    const float lw = static_cast<float>(w) / scale;
    const float lh = static_cast<float>(h) / scale;
    g.ScaleTransform(scale, scale);
    if (item.hwndItem == led_[0] || item.hwndItem == led_[1]) {
      draw_lamp(g, led_state_[item.hwndItem == led_[0] ? 0 : 1], std::min(lw, lh));
    } else if (item.hwndItem == img_dumping_) {
      g.TranslateTransform((lw - 60) / 2, (lh - 21) / 2);
      draw_dump_frame(g, frame_, 60, 21);
    } else if (item.hwndItem == image1_) {
      draw_probe_emblem(g, lw, lh);
    }
  }
  if (item.hwndItem == image2_) draw_title_banner(dc, all, font_face_.c_str());
  if (item.hwndItem == lbl_) draw_event_line(dc, all);
  ::BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, w, h, dc, 0, 0, SRCCOPY);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
}

void MainWindow::set_event_text(const std::string& text) {
  // The same text again (a bulk stream's line is set for every frame) is no change.
  if (text == event_text_) return;
  event_text_ = text;
  ::SetWindowTextW(lbl_, to_utf16(text).c_str());
  ::InvalidateRect(lbl_, nullptr, FALSE);
}

void MainWindow::paint_now(HWND control) {
  // A change is painted at once, so that it shows while the run is busy on the line,
  // but not more often than a screen shows pictures: a change within a frame of the
  // last painting is left to the next handling of the window's messages.
  ::InvalidateRect(control, nullptr, FALSE);
  const auto now = std::chrono::steady_clock::now();
  if (now - last_paint_ >= kPaintInterval) {
    ::UpdateWindow(control);
    last_paint_ = now;
  }
}

void MainWindow::show_led(int index, LedColour colour) {
  if (index < 0 || index > 1) return;
  // The lamps are set for every chunk of a reply; a lamp that already shows the colour
  // needs no repaint.
  if (led_state_[index] == colour) return;
  led_state_[index] = colour;
  paint_now(led_[index]);
}

void MainWindow::show_dump_frame(int frame) {
  if (frame < 1 || frame > 10 || frame == frame_) return;
  frame_ = frame;
  paint_now(img_dumping_);
}

void MainWindow::set_progress(int percent) {
  if (percent == progress_) return;
  progress_ = percent;
  ::SendMessageW(pgb_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

bool MainWindow::speed_hi() const {
  return ::SendMessageW(opt_speed_[1], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::set_speed_hi(bool hi) {
  ::CheckRadioButton(hwnd_, kIdLo, kIdHi, hi ? kIdHi : kIdLo);
}

void MainWindow::stop_timer() {
  ::KillTimer(hwnd_, kTimerId);
  timer_running_ = false;
}

void MainWindow::pump_messages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // left for the outermost loop
      break;
    }
    if (!::IsDialogMessageW(hwnd_, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

bool MainWindow::wait_for(HANDLE handle, DWORD ms, bool window_messages) {
  const DWORD count = handle ? 1 : 0;
  if (!window_messages) {
    if (!handle) {
      ::Sleep(ms);
      return false;
    }
    return ::WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
  }
  return ::MsgWaitForMultipleObjectsEx(count, handle ? &handle : nullptr, ms, QS_ALLINPUT,
                                       MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 &&
         handle;
}

void MainWindow::yield() {
  // A fast loop yields once per reading, thousands of times a second when a bulk
  // stream is read from a full buffer; handling the events (and repainting) every time
  // would cost many times the reading itself. A click or a close is still handled
  // within 20 ms.
  const auto now = std::chrono::steady_clock::now();
  if (now - last_pump_ >= kYieldInterval) {
    pump_messages();
    last_pump_ = now;
  }
  check_open();
}

void MainWindow::check_open() {
  if (closed_) throw WindowClosed{};
}

void MainWindow::sleep_until(MonoTime deadline) {
  check_open();
  const WinClock clock;
  for (;;) {
    pump_messages();
    if (closed_) break;
    const MonoTime left = deadline - clock.monotonic();
    if (left <= MonoTime::zero()) break;
    wait_for(nullptr,
             static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count()), true);
  }
  check_open();
}

void MainWindow::close_now() {
  // A modal box runs its own loop; the run waits inside it until it is gone.
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND box, LPARAM owner) -> BOOL {
        if (::GetWindow(box, GW_OWNER) == reinterpret_cast<HWND>(owner) && ::IsWindowVisible(box)) {
          ::PostMessageW(box, WM_CLOSE, 0, 0);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(hwnd_));
  begin_close();
}

void MainWindow::begin_close() {
  if (closed_) return;
  stop_timer();
  if (on_unload) on_unload();
  closed_ = true;
  ::ShowWindow(hwnd_, SW_HIDE);
}

}  // namespace tavric::win

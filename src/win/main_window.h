#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/window.h"

namespace tavric::win {

// The program's single window, frmProbeServerDump, in plain Win32: event line, two
// lamps, the download animation, the progress bar and the "Lo"/"Hi" speed option, laid
// out in twips for the monitor's DPI and laid out again when it changes.
class MainWindow : public Window {
 public:
  MainWindow();
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // tavric::Window
  void set_event_text(const std::string& text) override;
  void show_led(int index, LedColour colour) override;
  void show_dump_frame(int frame) override;
  void set_progress(int percent) override;
  bool speed_hi() const override;
  void set_speed_hi(bool hi) override;
  void stop_timer() override;
  void yield() override;
  void check_open() override;
  void sleep_until(MonoTime deadline) override;

  HWND hwnd() const { return hwnd_; }
  // Shows the window and starts its timer, whose first tick comes 150 ms later.
  void show();
  bool closed() const { return closed_; }
  // Closes the window as the user would, ending first any box open over it.
  void close_now();
  // Handles the window messages waiting now, and returns.
  void pump_messages();
  // Sleeps until `handle` (when given) is signalled, a window message comes, or `ms`
  // milliseconds pass; true when the handle was signalled.
  static bool wait_for(HANDLE handle, DWORD ms, bool window_messages);

  // Runs the unload steps when the user closes the window.
  std::function<void()> on_unload;
  // The first tick of `tmr`.
  std::function<void()> on_tick;
  // Something outside asks the program to stop (the console's Ctrl+C, a logoff or
  // shutdown): the exit status that says so, and the system's reason, for the trace.
  std::function<void(int status, const std::string& why)> on_stop;
  // The session is ending now: the process ends when this returns.
  std::function<void()> on_session_end;

  // A stop request posted from another thread: wParam is the exit status, lParam the
  // console event.
  static constexpr UINT kStopMessage = WM_APP + 1;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void create_controls();
  void lay_out();
  void paint_rules(HDC dc);
  void draw_item(const DRAWITEMSTRUCT& item);
  void draw_event_line(HDC dc, const RECT& box);
  void begin_close();
  void paint_now(HWND control);
  int px(int twips) const;
  RECT twips_rect(int left, int top, int width, int height) const;

  HWND hwnd_ = nullptr;
  HWND opt_speed_[2] = {};
  HWND label3_ = nullptr;
  HWND lbl_ = nullptr;
  HWND label2_ = nullptr;
  HWND pgb_ = nullptr;
  HWND led_[2] = {};
  HWND img_dumping_ = nullptr;
  HWND image1_ = nullptr;
  HWND image2_ = nullptr;
  HWND label1_ = nullptr;
  HWND tooltip_ = nullptr;
  HFONT font_ = nullptr;
  HFONT event_font_ = nullptr;
  HFONT footer_font_ = nullptr;
  std::wstring font_face_;
  LedColour led_state_[2] = {LedColour::Off, LedColour::Off};
  int frame_ = 1;
  int progress_ = 0;
  std::string event_text_ = "Connecting, please wait ...";
  int dpi_ = 96;
  bool closed_ = false;
  bool timer_running_ = false;
  std::chrono::steady_clock::time_point last_pump_{};
  std::chrono::steady_clock::time_point last_paint_{};
};

}  // namespace tavric::win

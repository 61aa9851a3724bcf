#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/window.h"
#include "qt/event_line.h"

namespace tavric::qt {

// The program's single window, frmProbeServerDump: event line, two lamps, the
// download animation, the progress bar and the "Lo"/"Hi" speed option.
class FrmProbeServerDump : public QWidget, public tavric::Window {
  Q_OBJECT

 public:
  explicit FrmProbeServerDump(QWidget* parent = nullptr);

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

  bool closed() const { return closed_; }
  // Closes the window as the user would, ending first any prompt or message open over it.
  void close_now();
  // Runs the unload steps when the user closes the window.
  std::function<void()> on_unload;
  // The first tick of `tmr`.
  std::function<void()> on_tick;

  EventLine* event_line() const { return lbl_; }
  QProgressBar* progress_bar() const { return pgb_; }

 signals:
  void closedByUser();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int px(int twips) const;
  QRect twips_rect(int left, int top, int width, int height) const;
  void tmr_Timer();
  const QPixmap& lamp_picture(LedColour colour);
  void paint_now(QWidget* widget);
  void show_count(bool now = false);

  QRadioButton* opt_speed_[2];
  QLabel* label3_;
  EventLine* lbl_;
  QLabel* label2_;
  QProgressBar* pgb_;
  QLabel* led_[2];
  QLabel* img_dumping_;
  QLabel* image1_;
  QLabel* image2_;
  QLabel* label1_;
  QTimer tmr_;
  LedColour led_state_[2] = {LedColour::Off, LedColour::Off};
  QPixmap lamp_pictures_[3];  // by LedColour, drawn for lamp_dpr_
  qreal lamp_dpr_ = 0;
  int frame_ = 1;
  QPixmap dump_frames_[10];  // drawn for frames_dpr_
  qreal frames_dpr_ = 0;
  std::string event_text_ = "Connecting, please wait ...";
  int progress_ = 0;
  QElapsedTimer since_count_;  // since the event line and the bar last changed
  QTimer count_timer_;         // brings the newest text and value to them later
  bool closed_ = false;
  QElapsedTimer since_events_;  // since yield() last let the window handle its events
  double dpi_ = 96.0;
};

}  // namespace tavric::qt

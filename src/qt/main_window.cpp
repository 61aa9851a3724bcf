#include "qt/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPainter>
#include <QScreen>

#include "platform/run_control.h"
#include "posix/system_clock.h"
#include "qt/indicator_art.h"

namespace tavric::qt {
namespace {

// Design size of the window's client area, in twips.
constexpr int kClientWidth = 6855;
constexpr int kClientHeight = 1245;
// How often, at most, yield() lets the window handle its pending events (and so
// repaint): 50 times a second, quicker than anyone can see or click.
constexpr qint64 kYieldIntervalMs = 20;
// The shortest time between two immediate paintings: one frame of a 60 Hz screen.
constexpr qint64 kPaintIntervalMs = 16;

}  // namespace

FrmProbeServerDump::FrmProbeServerDump(QWidget* parent) : QWidget(parent) {
  if (QScreen* screen = this->screen()) dpi_ = screen->logicalDotsPerInchX();
  setWindowTitle(QStringLiteral("Tavric Probe Server - Download"));
  setFixedSize(px(kClientWidth), px(kClientHeight));
  setAutoFillBackground(true);

  image1_ = new QLabel(this);
  image1_->setGeometry(twips_rect(0, 60, 675, 765));
  image1_->setPixmap(probe_emblem(image1_->size(), devicePixelRatioF()));
  image2_ = new QLabel(this);
  image2_->setGeometry(twips_rect(660, 0, 2520, 360));
  image2_->setPixmap(title_banner(image2_->size(), devicePixelRatioF()));

  // The event line lies under the speed option, as designed; its texts are short.
  lbl_ = new QLabel(QStringLiteral("Connecting, please wait ..."), this);
  lbl_->setGeometry(twips_rect(720, 360, 5955, 225));

  label2_ = new QLabel(this);
  label2_->setGeometry(twips_rect(720, 555, 2940, 225));
  // The frame around the progress bar covers the foot of the event line's box; the text
  // sits at the top of the box in a size whose line fits above that frame, so that no
  // descender is cut off.
  lbl_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont event_font = lbl_->font();
  const int room = px(555) - px(360);
  while (QFontMetrics(event_font).height() > room && event_font.pointSizeF() > 6) {
    event_font.setPointSizeF(event_font.pointSizeF() - 0.5);
  }
  lbl_->setFont(event_font);
  label2_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pgb_ = new QProgressBar(this);
  pgb_->setRange(0, 100);
  pgb_->setValue(0);
  pgb_->setTextVisible(false);
  pgb_->setGeometry(twips_rect(750, 570, 2895, 195));

  for (int i = 0; i < 2; ++i) {
    led_[i] = new QLabel(this);
    led_[i]->setGeometry(twips_rect(i == 0 ? 3750 : 4020, 540, 225, 225));
    led_[i]->setAlignment(Qt::AlignCenter);
    led_[i]->setToolTip(i == 0 ? QStringLiteral("Send") : QStringLiteral("Receive"));
    led_[i]->setPixmap(led_picture(LedColour::Off, px(225), devicePixelRatioF()));
  }

  img_dumping_ = new QLabel(this);
  img_dumping_->setGeometry(twips_rect(3330, 90, 900, 315));
  img_dumping_->setAlignment(Qt::AlignCenter);
  img_dumping_->setPixmap(dump_frame(1, QSize(60, 21), devicePixelRatioF()));

  label3_ = new QLabel(QStringLiteral("Speed:"), this);
  label3_->move(px(4500), px(30));
  label3_->adjustSize();
  auto* group = new QButtonGroup(this);
  for (int i = 0; i < 2; ++i) {
    opt_speed_[i] = new QRadioButton(i == 0 ? QStringLiteral("Lo") : QStringLiteral("Hi"), this);
    opt_speed_[i]->setGeometry(twips_rect(4500, i == 0 ? 300 : 540, 765, 195));
    group->addButton(opt_speed_[i], i);
  }
  opt_speed_[0]->setChecked(true);

  label1_ = new QLabel(
      QStringLiteral("Downloads the new readings, sets the server clock and clears its store."),
      this);
  label1_->setGeometry(twips_rect(120, 915, 6615, 240));
  QFont small = label1_->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  label1_->setFont(small);
  label1_->setStyleSheet(QStringLiteral("color: #555;"));

  text_timer_.setSingleShot(true);
  connect(&text_timer_, &QTimer::timeout, this, [this] { show_event_text(); });

  tmr_.setInterval(150);
  connect(&tmr_, &QTimer::timeout, this, [this] { tmr_Timer(); });
  tmr_.start();
}

int FrmProbeServerDump::px(int twips) const {
  return static_cast<int>(twips * dpi_ / 1440.0 + 0.5);
}

QRect FrmProbeServerDump::twips_rect(int left, int top, int width, int height) const {
  return QRect(px(left), px(top), px(width), px(height));
}

void FrmProbeServerDump::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // The two decorative rules: under the title, and above the footer line.
  QPainter p(this);
  p.setPen(QPen(QColor(160, 170, 180), 1));
  p.drawLine(px(660), px(375), px(3180), px(375));
  p.drawLine(px(60), px(870), px(kClientWidth - 60), px(870));
}

void FrmProbeServerDump::tmr_Timer() {
  if (on_tick) on_tick();
}

void FrmProbeServerDump::set_event_text(const std::string& text) {
  // The same text again (a bulk stream's line is set for every frame) is no change.
  if (text == event_text_) return;
  event_text_ = text;
  // A bulk stream changes the line for every frame, faster than a screen shows: the
  // label takes the newest text at most once a screen frame.
  if (!since_text_.isValid() || since_text_.hasExpired(kPaintIntervalMs)) {
    show_event_text();
  } else if (!text_timer_.isActive()) {
    text_timer_.start(kPaintIntervalMs);
  }
}

void FrmProbeServerDump::show_event_text() {
  lbl_->setText(QString::fromStdString(event_text_));
  since_text_.start();
}

void FrmProbeServerDump::paint_now(QWidget* widget) {
  // A change is painted at once, so that it shows while the run is busy on the line,
  // but not more often than a screen shows pictures: a change within a frame of the
  // last painting is left to the next turn of the event loop, which paints it once.
  if (!since_paint_.isValid() || since_paint_.hasExpired(kPaintIntervalMs)) {
    widget->repaint();
    since_paint_.start();
  } else {
    widget->update();
  }
}

void FrmProbeServerDump::show_led(int index, LedColour colour) {
  if (index < 0 || index > 1) return;
  // The lamps are set for every chunk of a reply; a lamp that already shows the colour
  // needs no new picture and no repaint.
  if (led_state_[index] == colour) return;
  led_state_[index] = colour;
  led_[index]->setPixmap(lamp_picture(colour));
  paint_now(led_[index]);
}

// The three lamp pictures are drawn once for the window's pixel ratio, not at every
// change of a lamp.
const QPixmap& FrmProbeServerDump::lamp_picture(LedColour colour) {
  const qreal dpr = devicePixelRatioF();
  if (dpr != lamp_dpr_) {
    for (const LedColour c : {LedColour::Off, LedColour::Green, LedColour::Red}) {
      lamp_pictures_[static_cast<int>(c)] = led_picture(c, px(225), dpr);
    }
    lamp_dpr_ = dpr;
  }
  return lamp_pictures_[static_cast<int>(colour)];
}

void FrmProbeServerDump::show_dump_frame(int frame) {
  if (frame < 1 || frame > 10 || frame == frame_) return;
  frame_ = frame;
  // The ten frames are drawn once for the window's pixel ratio.
  const qreal dpr = devicePixelRatioF();
  if (dpr != frames_dpr_) {
    for (int i = 0; i < 10; ++i) dump_frames_[i] = dump_frame(i + 1, QSize(60, 21), dpr);
    frames_dpr_ = dpr;
  }
  img_dumping_->setPixmap(dump_frames_[frame - 1]);
  paint_now(img_dumping_);
}

void FrmProbeServerDump::set_progress(int percent) {
  if (percent == pgb_->value()) return;
  pgb_->setValue(percent);
  // The bar repaints itself only when the step looks wide enough to it, and it counts
  // a repaint of its top row (which the event line above overlaps) as a full one; so a
  // bar that moves by 1% at a time would never be drawn again. Ask for it outright.
  pgb_->update();
}

bool FrmProbeServerDump::speed_hi() const {
  return opt_speed_[1]->isChecked();
}

void FrmProbeServerDump::set_speed_hi(bool hi) {
  opt_speed_[hi ? 1 : 0]->setChecked(true);
}

void FrmProbeServerDump::stop_timer() {
  tmr_.stop();
}

void FrmProbeServerDump::yield() {
  // A fast loop yields once per reading, thousands of times a second when a bulk
  // stream is read from a full buffer; handling the events (and repainting the event
  // line, the bar and what they overlap) every time would cost many times the
  // reading itself. A click or a close is still handled within 20 ms.
  if (!since_events_.isValid() || since_events_.hasExpired(kYieldIntervalMs)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    since_events_.start();
  }
  check_open();
}

void FrmProbeServerDump::check_open() {
  if (closed_) throw WindowClosed{};
}

void FrmProbeServerDump::sleep_until(MonoTime deadline) {
  check_open();
  const MonoTime left = deadline - SystemClock().monotonic();
  if (left > MonoTime::zero()) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &FrmProbeServerDump::closedByUser, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    loop.exec();
  }
  check_open();
}

void FrmProbeServerDump::close_now() {
  // A modal box runs its own loop; the run waits inside it until it is gone.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal == this || !modal->close()) break;
  }
  close();
}

void FrmProbeServerDump::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    tmr_.stop();
    if (on_unload) on_unload();
    closed_ = true;
    emit closedByUser();
  }
  event->accept();
}

}  // namespace tavric::qt

#include "qt/main_window.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

#include "platform/run_control.h"
#include "posix/system_clock.h"
#include "qt/event_line.h"
#include "qt/indicator_art.h"

namespace tavric::qt {
namespace {

// Design size of the window's client area, in twips.
constexpr int kClientWidth = 6855;
constexpr int kClientHeight = 1245;
// How often, at most, yield() lets the window handle its pending events (and so
// repaint): 50 times a second, quicker than anyone can see or click.
constexpr qint64 kYieldIntervalMs = 20;
// The event line and the bar count readings: ten changes a second read as a running
// count, and faster ones only cost painting nobody can follow.
constexpr qint64 kCountIntervalMs = 100;

}  // namespace

FrmProbeServerDump::FrmProbeServerDump(QWidget* parent) : QWidget(parent) {
  if (QScreen* screen = this->screen()) dpi_ = screen->logicalDotsPerInchX();
  setWindowTitle(QStringLiteral("Tavric Probe Server - Download"));
  setFixedSize(px(kClientWidth), px(kClientHeight));
  // A window of a fixed size offers no maximize button: the title bar keeps minimize
  // and close only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setAutoFillBackground(true);

  image1_ = new QLabel(this);
  image1_->setGeometry(twips_rect(0, 60, 675, 765));
  image1_->setPixmap(probe_emblem(image1_->size(), devicePixelRatioF()));
  image2_ = new QLabel(this);
  image2_->setGeometry(twips_rect(660, 0, 2520, 360));
  image2_->setPixmap(title_banner(image2_->size(), devicePixelRatioF()));

  // The event line's box lies under the animation and the speed option, as designed;
  // its text stops short of them (see the end of the constructor).
  lbl_ = new EventLine(QStringLiteral("Connecting, please wait ..."), this);
  lbl_->setGeometry(twips_rect(720, 360, 5955, 225));

  label2_ = new QLabel(this);
  label2_->setGeometry(twips_rect(720, 555, 2940, 225));
  // The frame around the progress bar covers the foot of the event line's box; the text
  // sits at the top of the box in a size whose line fits above that frame, so that no
  // descender is cut off.
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
  // A plain bar of blocks, as on Windows: the default style strokes its moving stripes
  // with a wide pen, which the raster engine shares out to helper threads and so wakes
  // two more threads at every step of the bar.
  if (QStyle* blocks = QStyleFactory::create(QStringLiteral("Windows"))) {
    blocks->setParent(pgb_);
    pgb_->setStyle(blocks);
  }

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

  // The event line's text may reach the first control beside it on its row.
  const QRect row(lbl_->x(), lbl_->y(), lbl_->width(), QFontMetrics(event_font).height());
  int room_right = lbl_->geometry().right() + 1;
  for (QWidget* control : {static_cast<QWidget*>(img_dumping_), static_cast<QWidget*>(label3_),
                           static_cast<QWidget*>(opt_speed_[0]), static_cast<QWidget*>(led_[0])}) {
    if (control->geometry().intersects(row) && control->x() > row.x()) {
      room_right = std::min(room_right, control->x());
    }
  }
  lbl_->set_room(room_right - px(60) - lbl_->x());

  count_timer_.setSingleShot(true);
  connect(&count_timer_, &QTimer::timeout, this, [this] { show_count(/*now=*/true); });

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
  show_count();
}

void FrmProbeServerDump::show_count(bool now) {
  // A download changes the line and the bar for every reading: they take the newest
  // text and value at most ten times a second, the rest later by the timer.
  if (!now && since_count_.isValid() && !since_count_.hasExpired(kCountIntervalMs)) {
    if (!count_timer_.isActive()) count_timer_.start(kCountIntervalMs);
    return;
  }
  since_count_.start();
  const QString text = QString::fromStdString(event_text_);
  lbl_->set_text(text);
  if (pgb_->value() != progress_) {
    pgb_->setValue(progress_);
    // The bar repaints itself only when the step looks wide enough to it, and it counts
    // a repaint of its top row (which the event line above overlaps) as a full one; so
    // a bar that moves by 1% at a time would never be drawn again. Ask for it outright.
    pgb_->update();
  }
}

void FrmProbeServerDump::paint_now(QWidget* widget) {
  // The run never stays on the line without the event loop turning: every wait for the
  // line runs it (and the one that may not, a legacy server's first byte, comes right
  // after a yield). A change asked for here is painted there, within milliseconds,
  // together with every other change since, once a screen frame at most, and never on
  // the way between a reply and the next request.
  widget->update();
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
  if (percent == progress_) return;
  progress_ = percent;
  show_count();
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

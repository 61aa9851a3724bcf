#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <cstdlib>

#include "platform/run_control.h"
#include "qt/indicator_art.h"
#include "qt/main_window.h"
#include "session/feedback.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

QString screenshot_dir() {
  const char* dir = std::getenv("TAVRIC_SCREENSHOT_DIR");
  const QString path = dir ? QString::fromLocal8Bit(dir) : QDir::tempPath();
  QDir().mkpath(path);
  return path;
}

TEST(MainWindow, ShowsItsIndicatorsAndRendersAFinishedWindow) {
  qt::FrmProbeServerDump window;
  window.show();
  EXPECT_EQ(window.event_line()->text(), "Connecting, please wait ...");
  EXPECT_EQ(window.progress_bar()->value(), 0);
  EXPECT_FALSE(window.speed_hi());

  // Drive it as a run would: the lamps and the animation change at once, the event line
  // and the bar within a tenth of a second.
  Feedback feedback(window);
  feedback.ShowEvent("Loading reading 37/100");
  feedback.SetLed(0, "N");
  feedback.SetLed(1, "G");
  for (int i = 0; i < 4; ++i) feedback.NextDumpImg();
  feedback.SetProgress(37);
  feedback.SetProgress(250);
  EXPECT_EQ(window.event_line()->text(), "Loading reading 37/100");
  QEventLoop tenth;
  QTimer::singleShot(150, &tenth, &QEventLoop::quit);
  tenth.exec();
  EXPECT_EQ(window.progress_bar()->value(), 37);

  // The bar is drawn in whole blocks up to 37 % of its width (to within a block, about
  // a twentieth of it) and empty from there on.
  const QImage bar = window.progress_bar()->grab().toImage();
  const int y = bar.height() / 2;
  const QColor empty = bar.pixelColor(bar.width() - 3, y);
  int filled = bar.width() - 3;
  while (filled > 0 && bar.pixelColor(filled, y) == empty) --filled;
  EXPECT_NEAR(static_cast<double>(filled) / bar.width(), 0.37, 0.05);

  // The animation shows its fourth frame.
  const QLabel* animation = nullptr;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (label->pixmap().deviceIndependentSize() == QSizeF(60, 21)) animation = label;
  }
  ASSERT_NE(animation, nullptr);
  const auto frame = [&](int n) {
    return qt::dump_frame(n, QSize(60, 21), window.devicePixelRatioF()).toImage();
  };
  EXPECT_TRUE(animation->pixmap().toImage() == frame(4));
  EXPECT_FALSE(frame(4) == frame(3));

  const QImage shot = window.grab().toImage();
  EXPECT_EQ(shot.width(), window.width() * shot.devicePixelRatio());
  EXPECT_GT(window.width(), 400);
  // The lamp area is not background: the lamp picture was painted there.
  const double dpr = shot.devicePixelRatio();
  const QColor lamp = shot.pixelColor(static_cast<int>((4020 + 112) / 15.0 * dpr),
                                      static_cast<int>((540 + 112) / 15.0 * dpr));
  EXPECT_GT(lamp.green(), lamp.red());
  EXPECT_TRUE(shot.save(screenshot_dir() + QString("/main-window@%1x.png").arg(dpr)));
}

// A long folder name is shortened in the middle and ends before the animation and the
// speed options; the whole text stays the line's text (its tooltip, and the trace). The
// window cannot grow, so it offers no maximize button.
TEST(MainWindow, EventLineStopsShortOfTheControlsBesideItAndTheWindowCannotBeMaximized) {
  qt::FrmProbeServerDump window;
  window.show();
  const QString path = QStringLiteral(
      "Waiting for the output folder /home/field-crew/probe-networks/north-paddock/2026/"
      "readings-from-the-server-on-the-hill (another run uses it) ...");
  window.event_line()->set_text(path);
  const QString shown = window.event_line()->shown_text();
  EXPECT_EQ(window.event_line()->text(), path);
  EXPECT_EQ(window.event_line()->toolTip(), path);
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Waiting for")));
  EXPECT_TRUE(shown.endsWith(QStringLiteral("...")));
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  const int text_right =
      window.event_line()->x() + QFontMetrics(window.event_line()->font()).horizontalAdvance(shown);
  for (const QWidget* control : window.findChildren<QWidget*>()) {
    const bool beside =
        control->inherits("QRadioButton") ||
        (qobject_cast<const QLabel*>(control) &&
         static_cast<const QLabel*>(control)->pixmap().deviceIndependentSize() == QSizeF(60, 21));
    if (beside) {
      EXPECT_LT(text_right, control->x()) << control->metaObject()->className();
    }
  }
  window.event_line()->set_text(QStringLiteral("Loading reading 37/100"));
  EXPECT_EQ(window.event_line()->shown_text(), QStringLiteral("Loading reading 37/100"));
  EXPECT_TRUE(window.event_line()->toolTip().isEmpty());

  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(MainWindow, ClosingRunsTheUnloadStepsOnceAndStopsTheRun) {
  qt::FrmProbeServerDump window;
  int unloads = 0;
  window.on_unload = [&] { ++unloads; };
  window.show();
  window.set_speed_hi(true);
  EXPECT_TRUE(window.speed_hi());
  window.close();
  window.close();
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(window.closed());
  EXPECT_THROW(window.yield(), WindowClosed);
}

}  // namespace
}  // namespace tavric

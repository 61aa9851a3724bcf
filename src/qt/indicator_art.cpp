#include "qt/indicator_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace tavric::qt {
namespace {

QPixmap blank(QSize size, qreal dpr) {
  QPixmap pm(size * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  return pm;
}

}  // namespace

QPixmap led_picture(LedColour colour, int size, qreal dpr) {
  QPixmap pm = blank(QSize(size, size), dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QColor lit;
  QColor dark;
  switch (colour) {
    case LedColour::Green:
      lit = QColor(120, 255, 110);
      dark = QColor(10, 130, 20);
      break;
    case LedColour::Red:
      lit = QColor(255, 120, 100);
      dark = QColor(170, 15, 10);
      break;
    case LedColour::Off:
      lit = QColor(150, 150, 150);
      dark = QColor(70, 70, 70);
      break;
  }
  const QRectF body(1, 1, size - 2, size - 2);
  // Bezel, lens with a radial glow, and a specular highlight.
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(90, 90, 90));
  p.drawEllipse(body);
  QRadialGradient lens(body.center() - QPointF(size * 0.12, size * 0.12), size * 0.5);
  lens.setColorAt(0, lit);
  lens.setColorAt(1, dark);
  p.setPen(Qt::NoPen);
  p.setBrush(lens);
  p.drawEllipse(body.adjusted(1.5, 1.5, -1.5, -1.5));
  QRadialGradient shine(body.center() - QPointF(size * 0.18, size * 0.2), size * 0.22);
  shine.setColorAt(0, QColor(255, 255, 255, colour == LedColour::Off ? 110 : 200));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  p.setBrush(shine);
  p.drawEllipse(body.adjusted(2, 2, -size * 0.35, -size * 0.35));
  return pm;
}

QPixmap dump_frame(int frame, QSize size, qreal dpr) {
  QPixmap pm = blank(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = size.width();
  const qreal h = size.height();
  // Server box on the left, computer on the right, data packets travelling between.
  p.setPen(QPen(QColor(50, 70, 90), 1));
  p.setBrush(QColor(70, 110, 150));
  p.drawRoundedRect(QRectF(1, h * 0.2, w * 0.17, h * 0.6), 2, 2);
  p.setBrush(QColor(200, 230, 255));
  p.drawRect(QRectF(w * 0.05, h * 0.32, w * 0.09, h * 0.12));
  p.setBrush(QColor(90, 90, 100));
  p.drawRoundedRect(QRectF(w * 0.8, h * 0.15, w * 0.19, h * 0.5), 2, 2);
  p.setBrush(QColor(160, 220, 160));
  p.drawRect(QRectF(w * 0.83, h * 0.22, w * 0.13, h * 0.32));
  p.setBrush(QColor(90, 90, 100));
  p.drawRect(QRectF(w * 0.86, h * 0.65, w * 0.07, h * 0.1));
  p.drawRect(QRectF(w * 0.82, h * 0.75, w * 0.15, h * 0.08));
  const qreal left = w * 0.22;
  const qreal right = w * 0.76;
  const qreal y = h * 0.5;
  p.setPen(QPen(QColor(170, 170, 170), 1, Qt::DotLine));
  p.drawLine(QPointF(left, y), QPointF(right, y));
  p.setPen(Qt::NoPen);
  for (int k = 0; k < 3; ++k) {
    const int step = (frame - 1 + k * 10 / 3) % 10;
    const qreal x = left + (right - left) * (step + 0.5) / 10.0;
    const int alpha = 255 - k * 60;
    p.setBrush(QColor(230, 150, 20, alpha));
    p.drawRoundedRect(QRectF(x - 2.5, y - 2.5, 5, 5), 1, 1);
  }
  return pm;
}

QPixmap probe_emblem(QSize size, qreal dpr) {
  QPixmap pm = blank(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = size.width();
  const qreal h = size.height();
  // Soil layers, and a probe standing in them with sensor rings.
  QLinearGradient soil(0, h * 0.45, 0, h);
  soil.setColorAt(0, QColor(140, 100, 60));
  soil.setColorAt(1, QColor(80, 55, 30));
  p.setPen(Qt::NoPen);
  p.setBrush(soil);
  p.drawRoundedRect(QRectF(1, h * 0.45, w - 2, h * 0.55 - 1), 3, 3);
  p.setBrush(QColor(80, 160, 60));
  p.drawRoundedRect(QRectF(1, h * 0.42, w - 2, h * 0.07), 2, 2);
  QLinearGradient body(w * 0.42, 0, w * 0.58, 0);
  body.setColorAt(0, QColor(200, 205, 210));
  body.setColorAt(0.5, QColor(250, 250, 250));
  body.setColorAt(1, QColor(150, 155, 160));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(w * 0.42, h * 0.12, w * 0.16, h * 0.8), 3, 3);
  p.setBrush(QColor(30, 110, 190));
  for (int i = 0; i < 4; ++i) {
    p.drawRect(QRectF(w * 0.42, h * (0.52 + i * 0.1), w * 0.16, h * 0.025));
  }
  p.setBrush(QColor(230, 150, 20));
  p.drawEllipse(QPointF(w * 0.5, h * 0.08), w * 0.09, w * 0.09);
  return pm;
}

QPixmap title_banner(QSize size, qreal dpr) {
  QPixmap pm = blank(size, dpr);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(static_cast<int>(size.height() * 0.55));
  p.setFont(f);
  p.setPen(QColor(30, 80, 130));
  p.drawText(QRectF(4, 0, size.width() - 4, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("Tavric Probe Server"));
  return pm;
}

}  // namespace tavric::qt

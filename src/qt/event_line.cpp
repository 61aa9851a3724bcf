#include "qt/event_line.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

namespace tavric::qt {

EventLine::EventLine(const QString& text, QWidget* parent) : QWidget(parent) {
  text_.setTextFormat(Qt::PlainText);
  text_.setPerformanceHint(QStaticText::AggressiveCaching);
  set_text(text);
}

void EventLine::set_text(const QString& text) {
  if (text == full_text_) return;
  full_text_ = text;
  lay_out();
}

void EventLine::set_room(int width) {
  if (width == room_) return;
  room_ = width;
  lay_out();
}

void EventLine::lay_out() {
  // Only where the old or the new text lies is painted again: the box reaches under the
  // speed options, the animation and the progress bar's frame, and each of them would be
  // painted again with it although a short text never comes near them.
  const QRectF old_area(QPointF(0, 0), text_.size());
  const QString shown = QFontMetrics(font()).elidedText(full_text_, Qt::ElideMiddle, room_);
  setToolTip(shown == full_text_ ? QString() : full_text_);
  text_.setText(shown);
  text_.prepare(QTransform(), font());
  const QRectF new_area(QPointF(0, 0), text_.size());
  update(old_area.united(new_area).toAlignedRect().adjusted(0, 0, 1, 1) & rect());
}

void EventLine::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  p.setClipRect(rect());
  p.drawStaticText(0, 0, text_);
}

void EventLine::changeEvent(QEvent* event) {
  // A new font (the window sizes it to fit the box) means a new layout.
  if (event->type() == QEvent::FontChange) lay_out();
  QWidget::changeEvent(event);
}

}  // namespace tavric::qt

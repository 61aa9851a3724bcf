#pragma once

#include <QStaticText>
#include <QWidget>

namespace tavric::qt {

// The event line: one line of text at the top left of its box. Its text is laid out
// once when it changes and drawn from that layout afterwards, because the box lies
// under the lamps, the animation and the progress bar, and each of their changes
// paints it again.
class EventLine : public QWidget {
 public:
  EventLine(const QString& text, QWidget* parent);
  QString text() const { return text_.text(); }
  void set_text(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QStaticText text_;
};

}  // namespace tavric::qt

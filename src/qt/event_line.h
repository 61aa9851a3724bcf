#pragma once

#include <QStaticText>
#include <QWidget>

namespace tavric::qt {

// The event line: one line of text at the top left of its box. Its text is laid out
// once when it changes and drawn from that layout afterwards, because the box lies
// under the lamps, the animation and the progress bar, and each of their changes
// paints it again. A text wider than the room left of those controls is shortened in
// the middle, so that a long folder name never runs over them; the whole text is in
// the tooltip (and the trace).
class EventLine : public QWidget {
 public:
  EventLine(const QString& text, QWidget* parent);
  // The whole text; shown_text() is what fits the room.
  QString text() const { return full_text_; }
  QString shown_text() const { return text_.text(); }
  void set_text(const QString& text);
  // How wide, in pixels, the shown text may be.
  void set_room(int width);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void lay_out();

  QString full_text_;
  QStaticText text_;
  int room_ = QWIDGETSIZE_MAX;
};

}  // namespace tavric::qt

#pragma once

#include <QPixmap>

#include "platform/window.h"

namespace tavric::qt {

// The pictures of the window, drawn by the program at the given device pixel ratio.
QPixmap led_picture(LedColour colour, int size, qreal dpr);  // round lamp, size × size
QPixmap dump_frame(int frame, QSize size, qreal dpr);        // frame 1..10 of the animation
QPixmap probe_emblem(QSize size, qreal dpr);                 // soil probe in the ground
QPixmap title_banner(QSize size, qreal dpr);                 // product name

}  // namespace tavric::qt

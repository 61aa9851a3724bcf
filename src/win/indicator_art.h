#pragma once

#include <windows.h>
// GDI+ needs the COM declarations of windows.h and the min/max it brings.
#include <gdiplus.h>

#include "platform/window.h"

namespace tavric::win {

// GDI+ for as long as the object lives.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

// The pictures of the window, drawn by the program into a box at the origin of `g`,
// in the units of its current transformation.
void draw_lamp(Gdiplus::Graphics& g, LedColour colour, float size);       // round lamp
void draw_dump_frame(Gdiplus::Graphics& g, int frame, float w, float h);  // frame 1..10
void draw_probe_emblem(Gdiplus::Graphics& g, float w, float h);           // soil probe
// The product name in `box` of `dc`, in device pixels.
void draw_title_banner(HDC dc, const RECT& box, const wchar_t* font_face);

}  // namespace tavric::win

#include "win/indicator_art.h"

#include <algorithm>

namespace tavric::win {
namespace {

using Gdiplus::Color;
using Gdiplus::GraphicsPath;
using Gdiplus::PointF;
using Gdiplus::RectF;

void add_rounded_rect(GraphicsPath& path, const RectF& r, float radius) {
  const float d = radius * 2;
  path.AddArc(r.X, r.Y, d, d, 180, 90);
  path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
  path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
  path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
  path.CloseFigure();
}

RectF adjusted(const RectF& r, float left, float top, float right, float bottom) {
  return RectF(r.X + left, r.Y + top, r.Width - left + right, r.Height - top + bottom);
}

// Fills `area` with a radial gradient from `inner` at `centre` to `outer` at `radius`
// and beyond, as a painter's padded radial gradient does.
void fill_radial(Gdiplus::Graphics& g, const RectF& area, PointF centre, float radius, Color inner,
                 Color outer) {
  GraphicsPath clip;
  clip.AddEllipse(area);
  const Gdiplus::GraphicsState saved = g.Save();
  g.SetClip(&clip, Gdiplus::CombineModeIntersect);
  Gdiplus::SolidBrush beyond(outer);
  g.FillEllipse(&beyond, area);
  GraphicsPath circle;
  circle.AddEllipse(centre.X - radius, centre.Y - radius, radius * 2, radius * 2);
  Gdiplus::PathGradientBrush glow(&circle);
  glow.SetCenterPoint(centre);
  glow.SetCenterColor(inner);
  INT count = 1;
  glow.SetSurroundColors(&outer, &count);
  g.FillPath(&glow, &circle);
  g.Restore(saved);
}

void fill_rounded(Gdiplus::Graphics& g, const Gdiplus::Brush& brush, const Gdiplus::Pen* pen,
                  const RectF& r, float radius) {
  GraphicsPath path;
  add_rounded_rect(path, r, radius);
  g.FillPath(&brush, &path);
  if (pen) g.DrawPath(pen, &path);
}

void fill_rect(Gdiplus::Graphics& g, Color fill, const Gdiplus::Pen& pen, const RectF& r) {
  Gdiplus::SolidBrush brush(fill);
  g.FillRectangle(&brush, r);
  g.DrawRectangle(&pen, r);
}

}  // namespace

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
  if (token_) Gdiplus::GdiplusShutdown(token_);
}

void draw_lamp(Gdiplus::Graphics& g, LedColour colour, float size) {
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Color lit;
  Color dark;
  switch (colour) {
    case LedColour::Green:
      lit = Color(120, 255, 110);
      dark = Color(10, 130, 20);
      break;
    case LedColour::Red:
      lit = Color(255, 120, 100);
      dark = Color(170, 15, 10);
      break;
    case LedColour::Off:
      lit = Color(150, 150, 150);
      dark = Color(70, 70, 70);
      break;
  }
  const RectF body(1, 1, size - 2, size - 2);
  const PointF centre(body.X + body.Width / 2, body.Y + body.Height / 2);
  // Bezel, lens with a radial glow, and a specular highlight.
  Gdiplus::SolidBrush bezel(Color(90, 90, 90));
  Gdiplus::Pen rim(Color(40, 40, 40), 1);
  g.FillEllipse(&bezel, body);
  g.DrawEllipse(&rim, body);
  fill_radial(g, adjusted(body, 1.5f, 1.5f, -1.5f, -1.5f),
              PointF(centre.X - size * 0.12f, centre.Y - size * 0.12f), size * 0.5f, lit, dark);
  const BYTE shine = colour == LedColour::Off ? 110 : 200;
  fill_radial(g, adjusted(body, 2, 2, -size * 0.35f, -size * 0.35f),
              PointF(centre.X - size * 0.18f, centre.Y - size * 0.2f), size * 0.22f,
              Color(shine, 255, 255, 255), Color(0, 255, 255, 255));
}

void draw_dump_frame(Gdiplus::Graphics& g, int frame, float w, float h) {
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  // Server box on the left, computer on the right, data packets travelling between.
  Gdiplus::Pen outline(Color(50, 70, 90), 1);
  Gdiplus::SolidBrush server(Color(70, 110, 150));
  fill_rounded(g, server, &outline, RectF(1, h * 0.2f, w * 0.17f, h * 0.6f), 2);
  fill_rect(g, Color(200, 230, 255), outline, RectF(w * 0.05f, h * 0.32f, w * 0.09f, h * 0.12f));
  Gdiplus::SolidBrush computer(Color(90, 90, 100));
  fill_rounded(g, computer, &outline, RectF(w * 0.8f, h * 0.15f, w * 0.19f, h * 0.5f), 2);
  fill_rect(g, Color(160, 220, 160), outline, RectF(w * 0.83f, h * 0.22f, w * 0.13f, h * 0.32f));
  fill_rect(g, Color(90, 90, 100), outline, RectF(w * 0.86f, h * 0.65f, w * 0.07f, h * 0.1f));
  fill_rect(g, Color(90, 90, 100), outline, RectF(w * 0.82f, h * 0.75f, w * 0.15f, h * 0.08f));
  const float left = w * 0.22f;
  const float right = w * 0.76f;
  const float y = h * 0.5f;
  Gdiplus::Pen track(Color(170, 170, 170), 1);
  track.SetDashStyle(Gdiplus::DashStyleDot);
  g.DrawLine(&track, left, y, right, y);
  for (int k = 0; k < 3; ++k) {
    const int step = (frame - 1 + k * 10 / 3) % 10;
    const float x = left + (right - left) * (static_cast<float>(step) + 0.5f) / 10.0f;
    Gdiplus::SolidBrush packet(Color(static_cast<BYTE>(255 - k * 60), 230, 150, 20));
    fill_rounded(g, packet, nullptr, RectF(x - 2.5f, y - 2.5f, 5, 5), 1);
  }
}

void draw_probe_emblem(Gdiplus::Graphics& g, float w, float h) {
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  // Soil layers, and a probe standing in them with sensor rings.
  Gdiplus::LinearGradientBrush soil(PointF(0, h * 0.45f), PointF(0, h), Color(140, 100, 60),
                                    Color(80, 55, 30));
  fill_rounded(g, soil, nullptr, RectF(1, h * 0.45f, w - 2, h * 0.55f - 1), 3);
  Gdiplus::SolidBrush grass(Color(80, 160, 60));
  fill_rounded(g, grass, nullptr, RectF(1, h * 0.42f, w - 2, h * 0.07f), 2);
  Gdiplus::LinearGradientBrush body(PointF(w * 0.42f, 0), PointF(w * 0.58f, 0),
                                    Color(200, 205, 210), Color(150, 155, 160));
  const Color shades[] = {Color(200, 205, 210), Color(250, 250, 250), Color(150, 155, 160)};
  const Gdiplus::REAL stops[] = {0.0f, 0.5f, 1.0f};
  body.SetInterpolationColors(shades, stops, 3);
  fill_rounded(g, body, nullptr, RectF(w * 0.42f, h * 0.12f, w * 0.16f, h * 0.8f), 3);
  Gdiplus::SolidBrush ring(Color(30, 110, 190));
  for (int i = 0; i < 4; ++i) {
    g.FillRectangle(
        &ring, RectF(w * 0.42f, h * (0.52f + static_cast<float>(i) * 0.1f), w * 0.16f, h * 0.025f));
  }
  Gdiplus::SolidBrush cap(Color(230, 150, 20));
  g.FillEllipse(&cap, RectF(w * 0.41f, h * 0.08f - w * 0.09f, w * 0.18f, w * 0.18f));
}

void draw_title_banner(HDC dc, const RECT& box, const wchar_t* font_face) {
  // Plain GDI text: the system's own font smoothing, and no dependence on which fonts
  // the picture library can load.
  const int h = box.bottom - box.top;
  LOGFONTW face{};
  face.lfHeight = -static_cast<LONG>(h * 0.55);
  face.lfWeight = FW_BOLD;
  face.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(face.lfFaceName, font_face, LF_FACESIZE);
  HFONT font = ::CreateFontIndirectW(&face);
  HGDIOBJ old = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(30, 80, 130));
  RECT text = box;
  text.left += std::max(1, h / 6);  // the banner's margin: 4 of its 24 pixels
  ::DrawTextW(dc, L"Tavric Probe Server", -1, &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::DeleteObject(font);
}

}  // namespace tavric::win

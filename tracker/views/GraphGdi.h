// The few drawing steps the graph's painters repeat, and owning wrappers for the GDI objects they make.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/Handles.h"

// A memory DC, deleted with its owner, with one object selected into it meanwhile.
class MemoryDc {
 public:
  MemoryDc(HDC reference, HGDIOBJ selected) : dc_(CreateCompatibleDC(reference)), old_(SelectObject(dc_, selected)) {}
  ~MemoryDc() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window's DC, released with its owner.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { ReleaseDC(window_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A pen selected while it lives; `width` in pixels.
class Pen {
 public:
  Pen(HDC dc, int style, int width, COLORREF colour) : dc_(dc), pen_(CreatePen(style, width, colour)) {
    old_ = SelectObject(dc, pen_.Get());
  }
  ~Pen() { SelectObject(dc_, old_); }
  Pen(const Pen&) = delete;
  Pen& operator=(const Pen&) = delete;

 private:
  HDC dc_;
  GdiObject<HPEN> pen_;
  HGDIOBJ old_;
};

const COLORREF Ink = RGB(32, 32, 32);
const COLORREF Faint = RGB(128, 128, 128);
const COLORREF Rule = RGB(220, 220, 220);

// One line in a box, in `colour`.
void Text(HDC dc, const std::wstring& text, RECT box, UINT format, COLORREF colour = Ink);
void Line(HDC dc, int x0, int y0, int x1, int y1);
// Separate two-point segments in one call, `width` pixels wide.
void PolylineSegments(HDC dc, const std::vector<POINT>& ends, int width, COLORREF colour);
void Fill(HDC dc, const RECT& box, COLORREF colour);
SIZE Extent(HDC dc, HFONT font, const std::wstring& text);

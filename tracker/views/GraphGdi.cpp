#include "views/GraphGdi.h"

// Without an ellipsis to fit, placed directly: a redraw writes a few hundred texts, and measuring each
// first would double the cost.
void Text(HDC dc, const std::wstring& text, RECT box, UINT format, COLORREF colour) {
  SetTextColor(dc, colour);
  if (format & DT_END_ELLIPSIS) {
    DrawTextW(dc, text.c_str(), (int)text.size(), &box, format | DT_NOPREFIX | DT_SINGLELINE);
    return;
  }
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  int height = metrics.tmHeight;
  UINT align = (format & DT_RIGHT) ? TA_RIGHT : (format & DT_CENTER) ? TA_CENTER : TA_LEFT;
  int x = align == TA_RIGHT ? box.right : align == TA_CENTER ? (box.left + box.right) / 2 : box.left;
  int y = (format & DT_VCENTER) ? (box.top + box.bottom - height) / 2 : (format & DT_BOTTOM) ? box.bottom - height : box.top;
  UINT previous = SetTextAlign(dc, align | TA_TOP | TA_NOUPDATECP);
  ExtTextOutW(dc, x, y, ETO_CLIPPED, &box, text.c_str(), (UINT)text.size(), nullptr);
  SetTextAlign(dc, previous);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

void PolylineSegments(HDC dc, const std::vector<POINT>& ends, int width, COLORREF colour) {
  if (ends.empty()) return;
  Pen pen(dc, PS_SOLID, width, colour);
  std::vector<DWORD> counts(ends.size() / 2, 2);
  PolyPolyline(dc, ends.data(), counts.data(), (DWORD)counts.size());
}

void Fill(HDC dc, const RECT& box, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FillRect(dc, &box, (HBRUSH)GetStockObject(DC_BRUSH));
}

SIZE Extent(HDC dc, HFONT font, const std::wstring& text) {
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
  SelectObject(dc, old);
  return size;
}

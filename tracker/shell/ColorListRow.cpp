#include "shell/ColorListRow.h"

#include "shell/AppState.h"

LRESULT ColorListRow(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      draw->clrText = RGB(0, 0, 0);
      if (g_app.colorization) {
        int key = ColourKeyOf(draw->nmcd.lItemlParam);
        draw->clrTextBk = key > 0 ? RGB(208, 220, 208) : key < 0 ? RGB(236, 208, 208) : RGB(255, 255, 255);
      } else {
        draw->clrTextBk = (draw->nmcd.dwItemSpec % 2 == 0) ? RGB(208, 220, 208) : RGB(255, 255, 255);
      }
      return CDRF_NOTIFYITEMDRAW;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

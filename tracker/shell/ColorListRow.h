#pragma once
#include <windows.h>
#include <commctrl.h>

// NM_CUSTOMDRAW handling shared by the record lists: by the sign of the colour key under Colorization,
// striped otherwise.
LRESULT ColorListRow(NMLVCUSTOMDRAW* draw);

// The colour key lives in the low 16 bits of a row's item data.
inline int ColourKeyOf(LPARAM itemData) { return (int)(short)(itemData & 0xFFFF); }

// The match history window: one query's records as a snapshot, oldest on top, never refreshed.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "RecordTable.h"
#include "ViewCommon.h"
#include "ViewWindows.h"
#include "resources/resource.h"
#include "shell/CharacterTable.h"
#include "shell/TextUtil.h"
#include "store/RecordQueries.h"

namespace {
struct HistoryColumn {
  int format;
  int width;
  const wchar_t* caption;
};
const HistoryColumn HistoryColumns[] = {
    {LVCFMT_LEFT, 130, L"タイムスタンプ"}, {LVCFMT_LEFT, 100, L"1Pプロフ"}, {LVCFMT_LEFT, 60, L"1Pキャラ"},
    {LVCFMT_RIGHT, 40, L"1P勝"},           {LVCFMT_LEFT, 100, L"2Pプロフ"}, {LVCFMT_LEFT, 60, L"2Pキャラ"},
    {LVCFMT_RIGHT, 40, L"2P勝"},
};

void InsertColumns(HWND list) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  int index = 0;
  for (const HistoryColumn& c : HistoryColumns) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = c.format;
    column.cx = c.width;
    column.pszText = const_cast<wchar_t*>(c.caption);
    SendMessageW(list, LVM_INSERTCOLUMNW, index++, (LPARAM)&column);
  }
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, row, (LPARAM)&item);
}

std::wstring NameText(const char* name) { return AnsiToWide(name).substr(0, 255); }

std::wstring ShortNameText(int id) {
  const CharacterEntry* entry = LookupCharacter(id);
  return entry ? entry->shortName : L"";
}

void InsertRecord(const MatchRecord& record, void* context) {
  HWND list = static_cast<HWND>(context);
  SYSTEMTIME t = TimestampToCalendar(record.timestamp);
  std::wstring stamp = FormatWide(L"%d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                                  t.wSecond);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = 0;
  item.pszText = const_cast<wchar_t*>(stamp.c_str());
  item.lParam = record.p1win > record.p2win ? 1 : 0;
  int row = (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
  if (row < 0) return;
  SetCell(list, row, 1, NameText(record.p1name));
  SetCell(list, row, 2, ShortNameText(record.p1id));
  SetCell(list, row, 3, FormatWide(L"%d", record.p1win));
  SetCell(list, row, 4, NameText(record.p2name));
  SetCell(list, row, 5, ShortNameText(record.p2id));
  SetCell(list, row, 6, FormatWide(L"%d", record.p2win));
}

void OnInit(HWND dialog, const RecordFilter* given) {
  HWND list = GetDlgItem(dialog, IDC_HISTORY_LIST);
  InsertColumns(list);
  RecordFilter filter;
  memset(&filter, 0, sizeof filter);
  if (given) filter = *given;
  // A failing query keeps what it delivered so far; the window says nothing.
  QueryMatchHistory(filter, InsertRecord, list);
  ShowWindow(dialog, SW_SHOW);
}

// Green for a won match whatever the colour switch says: this list shows results, not rates.
LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      draw->clrTextBk = draw->nmcd.lItemlParam ? RGB(208, 220, 208) : RGB(255, 255, 255);
      return CDRF_NEWFONT;
  }
  return CDRF_DODEFAULT;
}

INT_PTR CALLBACK HistoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const RecordFilter*>(lParam));
      return TRUE;
    case WM_SIZE:
      FillClientWithList(dialog, GetDlgItem(dialog, IDC_HISTORY_LIST));
      return TRUE;
    case WM_GETMINMAXINFO:
      AllowAnySize(lParam);
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom == IDC_HISTORY_LIST && header->code == NM_CUSTOMDRAW)
        return DialogResult(dialog, OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND OpenMatchHistoryWindow(HWND owner, const RecordFilter* filter) {
  return CreateDialogParamW(ViewResourceInstance(), MAKEINTRESOURCEW(IDD_HISTORY), owner, HistoryDialogProc,
                            (LPARAM)filter);
}

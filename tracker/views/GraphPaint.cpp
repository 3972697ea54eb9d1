#include "views/GraphPaint.h"

#include <algorithm>
#include <vector>

#include "common/CharacterTable.h"
#include "common/TextUtil.h"
#include "shell/AppState.h"
#include "store/RecordFilter.h"
#include "views/RecordTable.h"

std::wstring RatePercent(int wins, int losses) { return RateText(PerMilleRate(wins, losses), g_app.highPrecision); }

GraphText CellText(HDC dc, const GraphScene& g, const GraphLayout& l, int own, int opponent) {
  const PairingCell& cell = g.play.Cells()[own][opponent];
  RECT box = CellRect(l, own, opponent);
  GraphText none{L"", g.look.smallFont.Get(), box.right - box.left - g.Px(3), box.bottom - box.top - 1};
  if (cell.wins + cell.losses <= 0) return none;
  for (const std::wstring& text : {FormatWide(L"%d-%d", cell.wins, cell.losses), RatePercent(cell.wins, cell.losses)})
    for (HFONT font : {g.look.smallFont.Get(), g.look.tinyFont.Get()}) {
      SIZE size = g.look.Measure(dc, font, text);
      if (size.cx <= none.room && size.cy <= none.across) return {text, font, none.room, none.across};
    }
  return none;
}

GraphText HeaderText(const GraphScene& g, const GraphLayout& l, int character, bool column) {
  if (column) return {CharacterTable[character].fullName, g.look.columnFont.Get(), g.look.headerHeight - g.Px(2), l.cellWidth};
  return {CharacterTable[character].fullName, g.look.smallFont.Get(), g.look.labelWidth - g.Px(4), l.cellHeight};
}

std::wstring CellTip(const PairingCell& cell, int own, int opponent) {
  int games = cell.wins + cell.losses;
  std::wstring tip = std::wstring(CharacterTable[own].shortName) + L" 対 " + CharacterTable[opponent].shortName + L"\r\n";
  if (!games) return tip + L"対戦なし";
  RateInterval interval = WilsonInterval(cell.wins, games);
  int low = (int)(interval.low * 1000 + 0.5), high = (int)(interval.high * 1000 + 0.5);
  tip += FormatWide(L"%d戦 %d勝%d敗 勝率 ", games, cell.wins, cell.losses) + RatePercent(cell.wins, cell.losses);
  tip += FormatWide(L"\r\n95%%信頼区間 %d.%01d%% - %d.%01d%%", low / 10, low % 10, high / 10, high % 10);
  if (games < FewMatches) tip += FormatWide(L"\r\n%d戦未満のため参考値です", FewMatches);
  return tip;
}

namespace {
HFONT MakeFont(UINT dpi, int percent, bool upright = false) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = metrics.lfMessageFont;
  // The metrics are at the screen's DPI; the window may be on a screen of another.
  font.lfHeight = MulDiv(font.lfHeight, (int)dpi, (int)WindowDpi(nullptr)) * percent / 100;
  if (upright) font.lfEscapement = font.lfOrientation = 900;
  return CreateFontIndirectW(&font);
}
}  // namespace

SIZE GraphLook::Measure(HDC dc, HFONT font, const std::wstring& text) const {
  if (extents.size() > 4096) extents.clear();
  auto found = extents.emplace(std::make_pair(font, text), SIZE{});
  if (found.second) found.first->second = Extent(dc, font, text);
  return found.first->second;
}

void MakeGraphLook(GraphLook& look, HWND window, UINT dpi) {
  look.dpi = dpi;
  look.extents.clear();
  look.font.Reset(MakeFont(look.dpi, 100));
  look.smallFont.Reset(MakeFont(look.dpi, 85));
  look.tinyFont.Reset(MakeFont(look.dpi, 70));
  look.columnFont.Reset(MakeFont(look.dpi, 85, true));
  // The grid's headers get the room of the longest full name.
  WindowDc dc(window);
  int longest = 0;
  for (int k = 0; k < CharacterCount; ++k)
    longest = std::max(longest, (int)Extent(dc.Get(), look.smallFont.Get(), CharacterTable[k].fullName).cx);
  look.labelWidth = longest + look.Px(8);
  look.headerHeight = longest + look.Px(6);
}

namespace {
const wchar_t* PeriodText() {
  static const wchar_t* const texts[] = {L"全ての対戦", L"今日の対戦", L"昨日の対戦", L"カスタム対戦"};
  return SummaryPeriod >= 0 && SummaryPeriod <= 3 ? texts[SummaryPeriod] : texts[0];
}

// On screen the two choices are controls; the picture shows them as text.
void DrawTop(HDC dc, const GraphScene& g, const RECT& top) {
  std::wstring choice = FormatWide(L"過去%d戦", g.span) + L"  " +
                        (g.character == AllCharacters ? L"全キャラクター" : CharacterTable[g.character].shortName);
  if (g.picture) Text(dc, choice, {top.left + g.Px(4), top.top, top.left + g.Px(250), top.bottom}, DT_VCENTER);
  std::wstring summary = FormatWide(L"%s  %d戦", PeriodText(), (int)g.play.Tally().Matches());
  if (!g.play.Tally().Sessions().empty()) {
    const PlaySession& s = g.play.Tally().Sessions().back();
    summary += L"    最新セッション " + StartText(s.start) + L"から " + RecordText(s.wins, s.losses) + L" (" +
               RatePercent(s.wins, s.losses) + L")";
  }
  if (g.failed) summary = L"戦績グラフの更新に失敗しました";
  Text(dc, summary, {top.left + g.Px(270), top.top, top.right, top.bottom}, DT_VCENTER | DT_END_ELLIPSIS,
       g.failed ? RGB(192, 0, 0) : Ink);
}

void DrawGrid(HDC dc, const GraphScene& g, const GraphLayout& l) {
  Text(dc, L"キャラ相性（縦: 自分 / 横: 相手）", {l.grid.left, l.grid.top, l.grid.right, l.grid.top + g.Px(18)}, 0);
  SelectObject(dc, g.look.smallFont.Get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  for (int k = 0; k < 14; ++k) {
    RECT row = CellRect(l, k, 0);
    Text(dc, HeaderText(g, l, k, false).text, {l.grid.left, row.top, l.cellsAt.x - g.Px(4), row.bottom}, DT_RIGHT | DT_VCENTER);
  }
  // Upright text runs from its starting point upwards, its top to the left.
  SelectObject(dc, g.look.columnFont.Get());
  SetTextColor(dc, Ink);
  UINT previous = SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  for (int k = 0; k < 14; ++k) {
    RECT column = CellRect(l, 0, k);
    std::wstring name = HeaderText(g, l, k, true).text;
    int x = (column.left + column.right - metrics.tmHeight) / 2, y = l.cellsAt.y - g.Px(3);
    ExtTextOutW(dc, x, y, 0, nullptr, name.c_str(), (UINT)name.size(), nullptr);
  }
  SetTextAlign(dc, previous);
  for (int own = 0; own < 14; ++own)
    for (int opponent = 0; opponent < 14; ++opponent) {
      const PairingCell& cell = g.play.Cells()[own][opponent];
      RECT box = CellRect(l, own, opponent);
      Fill(dc, {box.left, box.top, box.right - 1, box.bottom - 1}, RateColour(cell.wins, cell.losses));
      GraphText figure = CellText(dc, g, l, own, opponent);
      if (figure.text.empty()) continue;
      SelectObject(dc, figure.font);
      Text(dc, figure.text, {box.left, box.top, box.right - 1, box.bottom - 1}, DT_CENTER | DT_VCENTER,
           cell.wins + cell.losses < FewMatches ? Faint : Ink);
    }
  SelectObject(dc, g.look.font.Get());
}

void DrawSide(HDC dc, const GraphScene& g, const RECT& side) {
  int lineHeight = g.Px(18), y = side.top;
  auto line = [&](const std::wstring& text, COLORREF colour = Ink) {
    Text(dc, text, {side.left, y, side.right, y + lineHeight}, DT_END_ELLIPSIS, colour);
    y += lineHeight;
  };
  const Streaks& s = g.play.Tally().StreaksOf();
  const std::vector<PlaySession>& sessions = g.play.Tally().Sessions();
  line(L"連勝・連敗");
  line(s.current > 0   ? FormatWide(L"  現在 %d連勝中", s.current)
       : s.current < 0 ? FormatWide(L"  現在 %d連敗中", -s.current)
                       : std::wstring(L"  現在 なし"));
  line(FormatWide(L"  最長連勝 %d    最長連敗 %d", s.longestWins, s.longestLosses));
  y += g.Px(6);
  line(L"セッション（30分空くと区切り、新しい順）");
  SelectObject(dc, g.look.smallFont.Get());
  int shown = 0, room = (side.bottom - y) / lineHeight;
  for (auto it = sessions.rbegin(); it != sessions.rend(); ++it) {
    const PlaySession& session = *it;
    if (shown + 1 >= room && sessions.size() > (size_t)room) break;
    int x = side.left + g.Px(8);
    Text(dc, StartText(session.start), {x, y, x + g.Px(110), y + lineHeight}, 0);
    Text(dc, LengthText(session), {x + g.Px(110), y, x + g.Px(180), y + lineHeight}, DT_RIGHT);
    Text(dc, RecordText(session.wins, session.losses), {x + g.Px(186), y, x + g.Px(266), y + lineHeight}, DT_RIGHT);
    Text(dc, RatePercent(session.wins, session.losses), {x + g.Px(266), y, std::max(x + g.Px(266), (int)side.right), y + lineHeight},
         DT_RIGHT);
    y += lineHeight;
    ++shown;
  }
  if ((size_t)shown < sessions.size())
    line(FormatWide(L"  ほか %d セッション", (int)(sessions.size() - shown)), Faint);
  if (sessions.empty()) line(L"  なし", Faint);
  SelectObject(dc, g.look.font.Get());
}

}  // namespace

void DrawGraph(HDC dc, const GraphScene& g, const RECT& client) {
  Fill(dc, client, GetSysColor(COLOR_WINDOW));
  GraphLayout l = LayOut(client, g.look.labelWidth, g.look.headerHeight, g.look.dpi);
  HGDIOBJ oldFont = SelectObject(dc, g.look.font.Get());
  SetBkMode(dc, TRANSPARENT);
  DrawTop(dc, g, l.top);
  DrawTrend(dc, g, l.trend, l.bars);
  DrawGrid(dc, g, l);
  DrawSide(dc, g, l.side);
  SelectObject(dc, oldFont);
}

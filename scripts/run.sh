#!/usr/bin/env bash
# The main job: installs what is missing, builds, and shows the tracker recording an evening of online
# matches that the stand-in game plays, then prints what the profile database holds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh"
  # The table at the end is laid out by column(1).
  if ! command -v column >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends bsdextrautils >/dev/null
  fi
  if [ -z "${DISPLAY:-}" ]; then
    export CORVENKA_IN_DISPLAY=1
    echo "No display here: the evening runs on a virtual screen (Xvfb)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
source "$here/scripts/wine-env.sh"
trap wine_down EXIT
wine_up

build="$here/build/cross"
demo="$here/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$build/tracker/Corvenka.exe" "$build/probe/MirrowAddr.dll" "$build/standin/mirrow.exe" \
   "$build/standin/mirrow_report.exe" "$build/standin/tray_click.exe" "$demo/"
windemo=$(winepath -w "$demo")
# The game's auto-start is on without a file name: the tracker starts nothing itself but still ends when
# the game goes away. The game is started below with an evening paced for the probe, whose requests take
# tens of milliseconds each under Wine; at its built-in pace a match's values change before they are read.
printf '[Autorun]\r\nGameProgram.Enabled=1\r\nReportTool.Enabled=1\r\nReportTool.FileName=%s\\mirrow_report.exe\r\n' \
  "$windemo" > "$demo/Corvenka.ini"
# Names are the game's Shift-JIS bytes in hex. After each last round the players linger on the result.
linger=$'nop\nnop\nnop\ndisconnect\nmenu'
cat > "$demo/evening.txt" <<SCENARIO
title
menu
match host 3 7 x:837e83698367 x:834a8351838d8345
win 1
win 2
win 1
$linger
match host 3 11 x:837e83698367 x:82b582b882ad8adb
win 2
win 2
$linger
match client 0 3 x:8367834c838f x:837e83698367
win 1
win 2
win 2
$linger
match watch 1 2 x:8354834e8384 x:836e83848365
win 1
win 1
$linger
match client 12 5 x:83888343837d8360 x:837e83698367
win 2
win 1
win 1
$linger
match host 5 13 x:837e83698367 nagi_2026
win 2
win 1
win 2
$linger
match host 4 6 x:837e83698367 x:8386834c8356838d
win 1
win 1
$linger
title
SCENARIO

echo
echo "Starting Corvenka.exe and the stand-in game (mirrow.exe) in $demo."
echo "The game plays an evening of 7 online matches (one of them only watched) and then closes; the tracker"
echo "records each match the player plays, starts the report tool when the game has gone, and ends itself."
started=$(date +%s)
(cd "$demo" && timeout 300 wine Corvenka.exe) &
tracker=$!
sleep 2
(cd "$demo" && wine mirrow.exe --scenario "$windemo\\evening.txt" --auto 700) || echo "The game ended with an error." >&2
if wait "$tracker"; then code=0; else code=$?; fi
echo "The tracker ended after $(( $(date +%s) - started )) s with exit code $code."
[ -f "$demo/mirrow_report.log" ] && echo "The report tool was started: $(head -n 1 "$demo/mirrow_report.log" | tr -d '\r')"

db="$demo/Default.db"
if [ ! -f "$db" ]; then
  echo "No profile database was written ($db)." >&2
  exit 1
fi
# The character names as the tracker shows them, in the game's id order.
names=$(grep -o '{L"[^"]*", L"[^"]*"}' "$here/tracker/shell/CharacterTable.cpp" | sed 's/.*, L"\([^"]*\)"}/\1/')
values=$(echo "$names" | awk '{ printf "%s(%d,'"'"'%s'"'"')", (NR > 1 ? "," : ""), NR - 1, $0 }')
query="WITH chars(id, name) AS (VALUES $values)
SELECT strftime('%H:%M:%f', timestamp / 10000000.0 - 11644473600, 'unixepoch') AS time,
       p1name AS you, (SELECT name FROM chars WHERE id = p1id) AS your_character,
       p1win || '-' || p2win AS rounds, p2name AS opponent,
       (SELECT name FROM chars WHERE id = p2id) AS opponent_character,
       CASE WHEN p1win > p2win THEN 'win' ELSE 'loss' END AS result
FROM viziriduvozmirrow ORDER BY timestamp;"
echo
echo "Matches recorded in $db (read back with sqlite3):"
echo
# Profile names are stored as the game's Shift-JIS bytes; the query's texts are given in the same code page.
printf '%s' "$query" | iconv -f UTF-8 -t CP932 | sqlite3 -header -separator $'\t' "$db" |
  iconv -f CP932 -t UTF-8 | column -t -s $'\t'
echo
sqlite3 "$db" "SELECT count(*) || ' matches: ' || coalesce(sum(p1win > p2win), 0) || ' won, ' ||
               coalesce(sum(p1win < p2win), 0) || ' lost' FROM viziriduvozmirrow;"

# Last, the tracker is started again with the game's auto-start off, and the summary window is opened from the
# tray icon as a user would, to show the evening on screen.
echo
echo "Starting Corvenka.exe again and double-clicking its tray icon to open the summary window."
sed -i 's/^GameProgram\.Enabled=1/GameProgram.Enabled=0/' "$demo/Corvenka.ini"
(cd "$demo" && timeout 120 wine Corvenka.exe) &
tracker=$!
shot="$demo/summary.png"
if box=$(cd "$demo" && wine tray_click.exe open 60000 | tr -d '\r') && [ -n "$box" ]; then
  read -r x y w h <<< "$box"
  # Wine hands the painted window to the X server a moment after the tracker has painted it.
  sleep 1
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"
  if (cd "$demo" && wine tray_click.exe copy summary.txt); then
    echo
    echo "The summary window's table, as its window menu copies it to the clipboard:"
    echo
    tr -d '\r' < "$demo/summary.txt"
  fi
else
  echo "The summary window did not appear." >&2
fi
(cd "$demo" && wine tray_click.exe exit 60000) || echo "The tracker did not end when asked." >&2
wait "$tracker" || true
echo
echo "Profile database: $db"
echo "Settings file:    $demo/Corvenka.ini"
if [ -f "$shot" ]; then
  echo "Screenshot of the summary window: $shot"
else
  echo "No screenshot was saved." >&2
  exit 1
fi

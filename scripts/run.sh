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
# The tracker starts the game itself (its auto-start) and, when the game has gone, the report tool; then it
# ends. Started with no arguments, the stand-in game plays its built-in evening at its own pace.
printf '[Autorun]\r\nGameProgram.Enabled=1\r\nGameProgram.FileName=%s\\mirrow.exe\r\nReportTool.Enabled=1\r\nReportTool.FileName=%s\\mirrow_report.exe\r\n' \
  "$windemo" "$windemo" > "$demo/Corvenka.ini"

echo
echo "Starting Corvenka.exe in $demo; it starts the stand-in game (mirrow.exe)."
echo "The game plays an evening of 13 online matches (one of them only watched) and then closes; the tracker"
echo "records each match the player plays, starts the report tool when the game has gone, and ends itself."
started=$(date +%s)
if (cd "$demo" && timeout 300 wine Corvenka.exe); then code=0; else code=$?; fi
echo "The tracker ended after $(( $(date +%s) - started )) s with exit code $code."
# The report tool writes its log a moment after the tracker that started it has gone.
for _ in $(seq 50); do [ -s "$demo/mirrow_report.log" ] && break; sleep 0.1; done
[ -s "$demo/mirrow_report.log" ] && echo "The report tool was started: $(head -n 1 "$demo/mirrow_report.log" | tr -d '\r')"

db="$demo/Default.db"
if [ ! -f "$db" ]; then
  echo "No profile database was written ($db)." >&2
  exit 1
fi
# The character names as the tracker shows them, in the game's id order.
names=$(grep -o '{L"[^"]*", L"[^"]*"}' "$here/tracker/common/CharacterTable.cpp" | sed 's/.*, L"\([^"]*\)"}/\1/')
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
graphshot="$demo/graph.png"
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
  # Then the graph window, from the summary's window menu.
  if gbox=$(cd "$demo" && wine tray_click.exe graph 60000 | tr -d '\r') && [ -n "$gbox" ]; then
    read -r x y w h <<< "$gbox"
    sleep 1
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$graphshot"
  else
    echo "The graph window did not appear." >&2
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
  if [ -f "$graphshot" ]; then
    echo "Screenshot of the graph window:   $graphshot"
  else
    echo "No screenshot of the graph window was saved." >&2
    exit 1
  fi
else
  echo "No screenshot was saved." >&2
  exit 1
fi

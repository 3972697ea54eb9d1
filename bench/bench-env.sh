# What every benchmark's run.sh does first, sourced as the script's first step (its arguments pass through):
# build, enter a virtual display when there is none (the Wine server must start inside it, or no window can
# be made), say how 32-bit code runs, start Wine and stop it on exit, and go to build/bench-data, where
# generated profiles are kept between runs.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh" >/dev/null
  if [ -z "${DISPLAY:-}" ]; then
    export CORVENKA_IN_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
# The folder as the Windows programs name it.
bench_data=$(echo 'Z:'"$(pwd)" | sed 's|/|\\|g')

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A new user's first start on a real X server with a window manager: the program started as the
# desktop menu starts it (the Exec line of its .desktop file, in the home folder), an empty home,
# the default site not running, and every question answered with Enter alone. It must end at the
# first daily quote file, and its summary must be readable whole (copied from the form's summary
# line, which a user can select).
#   tests/app/first_start_xvfb.sh BUILD_DIR
# Exits 77 (skipped) when Xvfb, openbox, xdotool or the Tk clipboard reader are missing, or when
# something already answers on the default site's port.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
STEP_SECONDS=${TICKORA_XVFB_STEP_SECONDS:-30}   # the longest wait for one window or offer
RUN_SECONDS=${TICKORA_XVFB_RUN_SECONDS:-300}    # the longest wait for the day file
SKIP=77

for tool in Xvfb openbox xdotool python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit $SKIP; }
done
python3 -c 'import tkinter' 2>/dev/null || { echo "skipped: python3-tk is not installed"; exit $SKIP; }
[ -x "$BUILD/app/tickora" ] && [ -x "$BUILD/site/tickora-site" ] ||
  { echo "skipped: build tickora and tickora-site first"; exit $SKIP; }
# The default site, which the program offers to start for a trial; a site already there would
# leave nothing to offer.
if (exec 3<>/dev/tcp/127.0.0.1/8053) 2>/dev/null; then
  echo "skipped: something answers on 127.0.0.1:8053, the default site's port"
  exit $SKIP
fi

work=$(mktemp -d)
pids=()
app_pid=""
cleanup() {
  # The trial site the program started dies with it only when the program ends in order.
  if [ -n "$app_pid" ]; then
    for child in $(pgrep -P "$app_pid"); do kill "$child" 2>/dev/null; done
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null && wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$work/failed.png" 2>/dev/null &&
    cp "$work/failed.png" "$BUILD/first_start_xvfb_failed.png" &&
    echo "screen at the failure: $BUILD/first_start_xvfb_failed.png"
  exit 1
}

# until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds; fails after SECONDS.
until_true() {
  local end=$((SECONDS + $1)); shift
  until "$@" 2>/dev/null; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.2
  done
}

# A display of our own: Xvfb picks a free number and says which (no other helper's display is
# touched).
exec 4>"$work/display"
Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_true "$STEP_SECONDS" test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
echo "display $DISPLAY"

home=$work/home
mkdir -p "$home"
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config \
       XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
unset TICKORA_HOME TICKORA_SITE QT_QPA_PLATFORM WAYLAND_DISPLAY
export LANG=C.UTF-8 TZ=${TZ:-Asia/Tokyo}
# The installed programs: the menu finds tickora on PATH, and tickora finds tickora-site there.
mkdir -p "$work/bin"
ln -s "$BUILD/app/tickora" "$work/bin/tickora"
ln -s "$BUILD/site/tickora-site" "$work/bin/tickora-site"
export PATH=$work/bin:$PATH

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
# The window manager is up once it has taken the root window's focus handling.
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
until_true "$STEP_SECONDS" wm_up ||
  fail "openbox did not start"

# The menu's command, as the .desktop file gives it (field codes dropped).
exec_line=$(sed -n 's/^Exec=//p' "$ROOT/res/tickora.desktop" | sed 's/ %[fFuUik]//g')
[ -n "$exec_line" ] || fail "no Exec line in res/tickora.desktop"
(cd "$home" && exec $exec_line) >"$work/tickora.out" 2>"$work/tickora.err" &
pids+=($!)
app_pid=${pids[-1]}

main_window() { xdotool search --onlyvisible --pid "$app_pid" --name ' - Tickora$' | head -n1 | grep .; }
until_true "$STEP_SECONDS" main_window >/dev/null || fail "the main window did not appear"
main=$(main_window)
echo "main window $main: $(xdotool getwindowname "$main")"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
# Enter on the form: Fetch.
xdotool key --clearmodifiers Return

# Every window that comes up in front of the main one is an offer: Enter takes its default.
day_file() { find "$home" -name 'DS[0-9]*.DAT' -size +0 2>/dev/null | grep -q .; }
answered=()
end=$((SECONDS + RUN_SECONDS))
until day_file; do
  [ $SECONDS -ge $end ] && fail "no day file after ${RUN_SECONDS}s; offers answered: ${answered[*]:-none}"
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended: $(tail -n5 "$work/tickora.err")"
  active=$(xdotool getactivewindow 2>/dev/null || true)
  if [ -n "$active" ] && [ "$active" != "$main" ] &&
     [[ " ${answered[*]:-} " != *" $active "* ]]; then
    sleep 0.3  # the box has its focus and default button once it is mapped
    answered+=("$active")
    echo "offer $active: $(xdotool getwindowname "$active" 2>/dev/null) - Enter"
    xdotool key --clearmodifiers Return
  fi
  sleep 0.3
done
echo "day file: $(find "$home" -name 'DS[0-9]*.DAT' | head -n1)"
[ ${#answered[@]} -ge 2 ] || fail "expected the offers of a first start, answered ${#answered[@]}"

# The job's summary, whole: the summary lines (on the form, and in 結果 when it is open) can be
# selected and copied. Triple-click selects a line's one paragraph wherever it wrapped, Ctrl+C
# copies it. Where the lines stand depends on the font and the panel: the left margin is tried
# from the lower part of the window down, where nothing but text and lists lie.
sleep 1
xdotool windowactivate --sync "$main" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$main")"
import -display "$DISPLAY" -window "$main" "$BUILD/first_start_xvfb.png" 2>/dev/null
echo "window ${WIDTH}x${HEIGHT}; picture: $BUILD/first_start_xvfb.png"
clipboard() {
  timeout 5 python3 -c 'import tkinter; r = tkinter.Tk(); r.withdraw(); print(r.clipboard_get())'
}
copied=""
for ((y = Y + HEIGHT * 2 / 5; y < Y + HEIGHT - 30; y += 12)); do
  xdotool mousemove $((X + 22)) "$y" click --repeat 3 --delay 60 1 key ctrl+c
  copied=$(clipboard 2>/dev/null || true)
  [[ "$copied" == 株価取得:* ]] && break
done
echo "summary: $copied"
# The program ends as a user ends it, and stops the trial site it started; whatever is left of
# its children is ended with it.
children=$(pgrep -P "$app_pid" || true)
xdotool windowactivate --sync "$main" 2>/dev/null && xdotool key --clearmodifiers alt+F4
until_true "$STEP_SECONDS" test ! -e "/proc/$app_pid" ||
  echo "the program did not end on its window's close"
for child in $children; do
  kill "$child" 2>/dev/null
done
[[ "$copied" == 株価取得:*書いたファイル:*DS*.DAT* ]] ||
  fail "the form's summary could not be read whole: '$copied'"
echo "PASS"

#!/usr/bin/env bash
# Takes pictures of Merrowind for the documentation: runs the program on a virtual
# X server against a demonstration database and saves PNG files into screenshots/:
#   logon.png  the logon window, as the program shows it at start-up;
#   main.png   the main window, after logging on as JSMITH;
#   menu.png   his Process menu;
#   notifygroup.png  the window choosing the group for the notices;
#   importform.png   the import window of File > Import > All Data, before a run;
#   reportpreview.png  the preview of Reports > RIF, its first page;
#   purgeform.png    the purge window "Perge/Delete" of Process > Delete Old
#                    Requisitions, logged on as ADMIN, held at its web step by an
#                    FTP server that never answers (a copy of the database is used).
#
# Environment:
#   MERROWIND_BIN       the program (default build/bin/merrowind)
#   MERROWIND_DEMO_DIR  a database directory to use; without one (or when it holds no
#                       database) a demonstration database is made in a temporary
#                       directory and removed afterwards
#   SCREENSHOT_DIR      where the pictures go (default screenshots/)
#   SCREENSHOT_WAIT     seconds to wait for a window to appear (default 3)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
script="$root/scripts/$(basename "$0")"

# ---- inside the virtual X server: start, capture, log on, capture, stop
if [ "${1:-}" = "--inside" ]; then
  app_pid=""
  # shellcheck disable=SC2317  # called by the trap
  stop_app() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
      kill "$app_pid" 2>/dev/null || true
      sleep 0.5
      kill -9 "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$app_pid" ]; then
      wait "$app_pid" 2>/dev/null || true
    fi
  }
  trap stop_app EXIT

  capture() {
    import -window root "png:$SHOT_DIR/$1"
    echo "saved $SHOT_DIR/$1"
  }
  # Fails when the program has ended (a refused start, a crash).
  still_running() {
    if ! kill -0 "$app_pid" 2>/dev/null; then
      echo "screenshots: the program ended early ($1); its output:" >&2
      cat "$WORK_DIR/program.log" >&2 || true
      exit 1
    fi
  }
  # Gives keyboard input to the window of that title, or failing that to whatever
  # window is in the middle of the screen (windows open centred; without a window
  # manager the keyboard follows the pointer).
  focus_window() {
    local id
    id="$(timeout "$WAIT" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)"
    if [ -n "$id" ]; then
      eval "$(xdotool getwindowgeometry --shell "$id")"
      # shellcheck disable=SC2153  # X, Y, WIDTH and HEIGHT come from the eval above
      xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
      xdotool windowfocus --sync "$id" 2>/dev/null || true
    else
      echo "screenshots: no window titled \"$1\"; typing into the middle of the screen" >&2
      eval "$(xdotool getdisplaygeometry --shell)"
      xdotool mousemove $((WIDTH / 2)) $((HEIGHT / 2))
    fi
  }

  cd "$WORK_DIR"
  "$APP" >"$WORK_DIR/program.log" 2>&1 &
  app_pid=$!
  sleep "$WAIT"
  still_running "before the logon window"
  capture logon.png

  focus_window Logon
  xdotool type --delay 60 JSMITH
  xdotool key Tab
  xdotool type --delay 60 hr2026
  xdotool key Return
  sleep "$WAIT"
  still_running "after logging on"
  capture main.png

  # The Process menu as this user sees it: commands greyed by his rights.
  focus_window Merrowind
  xdotool key alt+p
  sleep 1
  capture menu.png
  xdotool key Escape

  # The Import menu's notices to one group: the window that chooses it.
  xdotool key alt+f
  sleep 0.5
  xdotool key i
  sleep 0.5
  xdotool key n
  sleep "$WAIT"
  still_running "after opening Send Notification List To Group"
  capture notifygroup.png
  xdotool key Escape

  # The Import menu's All Data: the import window, waiting for Import.
  focus_window Merrowind
  xdotool key alt+f
  sleep 0.5
  xdotool key i
  sleep 0.5
  xdotool key a
  sleep "$WAIT"
  still_running "after opening Import All Data"
  focus_window "Import All Data"
  capture importform.png
  xdotool key Escape

  # The Reports menu's RIF report, in its preview at the first page.
  focus_window Merrowind
  xdotool key alt+e
  sleep 0.5
  xdotool key i
  sleep "$WAIT"
  still_running "after opening the RIF report"
  focus_window "Merrowind RIF Report"
  capture reportpreview.png
  xdotool key Escape

  # The purge window, in a second run of the program on the copy of the database
  # made for it: ADMIN deletes the old requisitions, and the web server's silence
  # keeps the window up at the step that removes a requisition's web pages.
  stop_app
  app_pid=""
  MERROWIND_DATABASE="$PURGE_DB" "$APP" >"$WORK_DIR/purge.log" 2>&1 &
  app_pid=$!
  sleep "$WAIT"
  still_running "before the logon window (purge)"
  focus_window Logon
  xdotool type --delay 60 ADMIN
  xdotool key Tab
  xdotool type --delay 60 admin
  xdotool key Return
  sleep "$WAIT"
  still_running "after logging on as ADMIN"
  focus_window Merrowind
  xdotool key alt+p
  sleep 0.5
  xdotool key d
  sleep 1
  xdotool key Return # Yes: Are You Sure You Want To Delete Old Requistions?
  sleep "$WAIT"
  still_running "after starting Delete Old Requisitions"
  capture purgeform.png
  exit 0
fi

# ---- outside: tools, program, database, then the virtual X server
"$root/scripts/install-deps.sh" # Xvfb, xdotool and ImageMagick come with the rest

bin="${MERROWIND_BIN:-$root/build/bin/merrowind}"
case "$bin" in
  /*) ;;
  */*) bin="$(pwd)/$bin" ;;
  *) bin="$(command -v "$bin" || echo "$bin")" ;;
esac
if [ ! -x "$bin" ]; then
  echo "screenshots: no program at $bin; build it first (cmake --build build) or set MERROWIND_BIN" >&2
  exit 1
fi

shot_dir="${SCREENSHOT_DIR:-$root/screenshots}"
mkdir -p "$shot_dir"
shot_dir="$(cd "$shot_dir" && pwd)"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/merrowind-shots.XXXXXX")"
# shellcheck disable=SC2317  # called by the trap
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT

demo="${MERROWIND_DEMO_DIR:-}"
if [ -z "$demo" ] || [ ! -f "$demo/merrowind.db" ]; then
  demo="${demo:-$tmp/demo}"
  echo "screenshots: making a demonstration database in $demo"
  # No display is needed for this, whatever kind of application object the program makes.
  QT_QPA_PLATFORM=offscreen "$bin" --create-database "$demo" --demo >"$tmp/create.log" 2>&1 || {
    cat "$tmp/create.log" >&2
    exit 1
  }
fi
demo="$(cd "$demo" && pwd)"

# The program runs in a working directory of its own, with the help file beside it
# so that the windows show their Help buttons.
work="$tmp/work"
mkdir -p "$work"
if [ -f "$root/docs/Merrowind.hlp" ]; then
  cp "$root/docs/Merrowind.hlp" "$work/"
fi

# The purge window's copy of the database: one requisition with web pages marked for
# deletion, and the FTP server a port that takes the connection and never answers
# (the program waits for its greeting up to the time-out).
mkdir -p "$tmp/purge"
sqlite3 "$demo/merrowind.db" ".backup '$tmp/purge/merrowind.db'"
silent_port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
/usr/bin/python3 -c 'import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(8)
time.sleep(600)' "$silent_port" &
silent_pid=$!
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  kill "$silent_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
sqlite3 "$tmp/purge/merrowind.db" "UPDATE settings SET FTPHost = '127.0.0.1', FTPPort = $silent_port, FTPTimeout = 120;
  UPDATE requisitions SET PurgeReq = 1 WHERE rid = (SELECT MIN(rid) FROM requisitions WHERE WebAddress <> '');"

export APP="$bin" WORK_DIR="$work" SHOT_DIR="$shot_dir" WAIT="${SCREENSHOT_WAIT:-3}"
export PURGE_DB="$tmp/purge"
export MERROWIND_DATABASE="$demo"
xvfb-run -a -s "-screen 0 1280x800x24" bash "$script" --inside

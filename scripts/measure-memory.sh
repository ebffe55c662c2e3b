#!/usr/bin/env bash
# Memory of the resident program: starts a private X server with a tray, runs `vexmor /tray` from a
# build directory, waits until its memory has settled and prints RSS, PSS and anonymous memory with
# the biggest mappings. With --captures N it then opens N captures with the capture hot key, confirms
# each (save to the desktop, discarded after the save) or cancels it (--cancel), and prints the idle
# figure after each one and the peak the capture reached. The copy to the clipboard after each capture
# is off unless --clipboard: the clipboard's picture lives in the program that owns the clipboard, so
# with it the program holds the last capture's flat picture as long as nothing else takes the
# clipboard.
#
#   scripts/measure-memory.sh [--build DIR] [--captures N] [--cancel] [--clipboard] [--linger SECS]
#                             [--screen WxHxD] [--top N]
#
# After the last capture it waits --linger seconds (default 40: the grab keeps its shared buffer
# 30 s for captures in quick succession) and prints the idle figure again.
#
# Everything it starts is stopped by PID when it ends.
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
CAPTURES=0
CANCEL=0
CLIPBOARD=0
SCREEN=""
TOP=20
LINGER=40
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --captures) CAPTURES=$2; shift 2 ;;
  --cancel) CANCEL=1; shift ;;
  --clipboard) CLIPBOARD=1; shift ;;
  --screen) SCREEN=$2; shift 2 ;;
  --top) TOP=$2; shift 2 ;;
  --linger) LINGER=$2; shift 2 ;;
  -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
# Captures are measured on a 4K desktop: that is where the overlay's images are largest.
if [ -z "$SCREEN" ]; then
  if [ "$CAPTURES" -gt 0 ]; then SCREEN=3840x2160x24; else SCREEN=1920x1080x24; fi
fi

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-memory
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"

kib_to_mib() { awk -v k="$1" 'BEGIN{printf "%.1f", k / 1024}'; }
status_kib() { awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status"; }
rollup_kib() { awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/smaps_rollup"; }

# Waits until the resident size has stayed the same for two seconds (sampled every quarter second),
# at most the given number of seconds.
wait_settled() {
  local pid=$1 secs=$2 last="" same=0 rss deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    rss=$(status_kib "$pid" VmRSS)
    if [ "$rss" = "$last" ]; then
      same=$((same + 1))
      [ $same -ge 8 ] && return 0
    else
      same=0
      last=$rss
    fi
    sleep 0.25
  done
  e2e_log "memory still moving after ${secs}s"
}

# One line: RSS, PSS, anonymous, file-backed resident and the high-water mark.
summary() {
  local pid=$1 label=$2
  printf '%-22s RSS %6s MiB  PSS %6s MiB  anon %6s MiB  file+shm %6s MiB  peak RSS %6s MiB\n' "$label" \
    "$(kib_to_mib "$(rollup_kib "$pid" Rss)")" "$(kib_to_mib "$(rollup_kib "$pid" Pss)")" \
    "$(kib_to_mib "$(rollup_kib "$pid" Anonymous)")" \
    "$(kib_to_mib $(($(status_kib "$pid" RssFile) + $(status_kib "$pid" RssShmem))))" \
    "$(kib_to_mib "$(status_kib "$pid" VmHWM)")"
}

# The mappings summed per file (anonymous ones by their kind), biggest resident first.
breakdown() {
  local pid=$1
  awk -v top="$TOP" '
    /^[0-9a-f]+-[0-9a-f]+ / {
      name = (NF >= 6) ? $6 : "[anonymous]"
      for (i = 7; i <= NF; i++) name = name " " $i
      next
    }
    $1 == "Rss:" { rss[name] += $2 }
    $1 == "Pss:" { pss[name] += $2 }
    $1 == "Anonymous:" { anon[name] += $2 }
    END {
      n = 0
      for (k in rss) keys[++n] = k
      # Insertion sort by resident size, biggest first; a few hundred entries at most.
      for (i = 2; i <= n; i++) {
        v = keys[i]; j = i - 1
        while (j > 0 && rss[keys[j]] < rss[v]) { keys[j + 1] = keys[j]; j-- }
        keys[j + 1] = v
      }
      printf "%8s %8s %8s  %s\n", "Rss KiB", "Pss KiB", "Anon KiB", "mapping"
      for (i = 1; i <= n && i <= top; i++) {
        k = keys[i]
        printf "%8d %8d %8d  %s\n", rss[k], pss[k], anon[k], k
        trss += rss[k]; tpss += pss[k]; tanon += anon[k]
      }
      for (i = top + 1; i <= n; i++) { orss += rss[keys[i]]; opss += pss[keys[i]]; oanon += anon[keys[i]] }
      printf "%8d %8d %8d  (%d other mappings)\n", orss, opss, oanon, (n > top) ? (n - top) : 0
    }' "/proc/$pid/smaps"
}

e2e_start_x "$SCREEN"
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
e2e_wait_for "the tray" 20 bash -c 'xwininfo -root -tree | grep -q "\"panel\""'

# A desktop that is not one flat colour, so that a saved capture costs what a real one does.
convert -size 3840x2160 plasma:fractal -seed 3 -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null &&
  display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
{
  printf '[Software\\Vexmor]\nAlwaysCBBox=%d\n' "$CLIPBOARD"
  [ "$CANCEL" = 1 ] || printf 'AfterCaptureSel=1\nFormatSel=0\nPurgeAfterOpBox=1\n'
} >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"

e2e_start_vexmor /tray
e2e_wait_for "the main window" 30 e2e_main_windows
e2e_wait_for "the tray icon" 30 bash -c 'xwininfo -root -tree | awk "/\"panel\"/ {p = 1} p && /\"Vexmor\"/ {f = 1} END {exit !f}"'
sleep 1
wait_settled "$VEXMOR_PID" 30

echo "vexmor /tray on a ${SCREEN%x*} screen ($VEXMOR_BIN)"
summary "$VEXMOR_PID" "idle after start"
breakdown "$VEXMOR_PID"
first_rss=$(rollup_kib "$VEXMOR_PID" Rss)

DESK="$XDG_DESKTOP_DIR"
png_written() { compgen -G "$DESK/*.png" >/dev/null; }
for i in $(seq 1 "$CAPTURES"); do
  # Each capture's own peak: the high-water mark starts again from the present size.
  echo 5 >"/proc/$VEXMOR_PID/clear_refs"
  xdotool key Print
  e2e_wait_for "the overlay of capture $i" 30 e2e_overlay_shown
  sleep 1
  if [ "$CANCEL" = 1 ]; then
    xdotool key Escape
    e2e_wait_for "the overlay of capture $i to close" 30 e2e_overlay_gone
  else
    # The capture key while the overlay shows confirms the whole desktop.
    xdotool key Print
    e2e_wait_for "the overlay of capture $i to close" 30 e2e_overlay_gone
    e2e_wait_for "the picture of capture $i" 60 png_written
    rm -f "$DESK"/*
  fi
  wait_settled "$VEXMOR_PID" 30
  summary "$VEXMOR_PID" "idle after capture $i"
  peak=$(status_kib "$VEXMOR_PID" VmHWM)
  [ "${max_peak:-0}" -ge "$peak" ] || max_peak=$peak
done
if [ "$CAPTURES" -gt 0 ]; then
  if [ "$LINGER" -gt 0 ]; then
    sleep "$LINGER"
    wait_settled "$VEXMOR_PID" 30
    summary "$VEXMOR_PID" "idle ${LINGER}s later"
  fi
  last_rss=$(rollup_kib "$VEXMOR_PID" Rss)
  echo "growth over $CAPTURES captures: $(kib_to_mib $((last_rss - first_rss))) MiB;" \
    "highest peak of a capture: $(kib_to_mib "$max_peak") MiB"
  breakdown "$VEXMOR_PID"
fi
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the program did not end on SIGTERM"

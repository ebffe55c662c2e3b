# Ink and the magnifier: over a small report on the frozen desktop the right button draws ink (strokes,
# with Ctrl a rectangle; the wheel widens the pen into a translucent highlighter), then Page Up zooms to
# 8 where the pixel grid, the crosshair bands and the read-out panel follow the mouse.
# A right-button stroke through the given points, with the pen given time to catch up.
demo_ink_stroke() {
  local x y i px=$1 py=$2
  xdotool mousemove "$1" "$2" mousedown 3
  shift 2
  while [ $# -ge 2 ]; do
    for i in $(seq 1 12); do
      x=$((px + ($1 - px) * i / 12))
      y=$((py + ($2 - py) * i / 12))
      xdotool mousemove "$x" "$y"
      sleep 0.02
    done
    px=$1 py=$2
    shift 2
  done
  xdotool mouseup 3
  sleep 0.4
}

demo_ink() {
  local report
  convert -size 640x360 gradient:'#2d4d76-#8fa7c0' -fill '#f6f2ea' -draw 'roundrectangle 24,24 616,336 10,10' \
    -fill '#1d1d1d' -font DejaVu-Sans -pointsize 30 -annotate +60+90 'Release checklist' \
    -pointsize 22 -annotate +60+150 'Build warnings clean' -annotate +60+195 'Overlay under 10 ms' \
    -annotate +60+240 'Ink lands on the right pixels' \
    -fill '#d04010' -draw 'rectangle 470,170 560,260' -fill '#30a050' -draw 'rectangle 490,190 540,240' \
    -depth 8 "$E2E_DIR/ink-report.png" 2>/dev/null || return 1
  e2e_spawn display -title report -geometry +380+260 "$E2E_DIR/ink-report.png"
  report=$E2E_LAST_PID
  e2e_poll 20 bash -c "xdotool search --onlyvisible --name '^report\$' | grep -q ." || return 1
  sleep 0.5

  # A program of its own that captures at its start, with the report on the desktop.
  kill -TERM "$VEXMOR_PID" 2>/dev/null
  e2e_wait_exit "$VEXMOR_PID" 10 || return 1
  mkdir -p "$XDG_CONFIG_HOME/Vexmor"
  printf '[Software\\Vexmor]\nAfterCaptureSel=0\nCapCursorBox=0\nAutoTitleBox=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
  e2e_start_vexmor
  e2e_wait_for "the capture overlay" 20 e2e_overlay_shown
  sleep 0.3

  # A red underline at the default pen; twenty wheel notches up make the pen 17 wide and translucent, a
  # highlighter, for every stroke; then a stroke through a line of text and a rectangle.
  demo_ink_stroke 440 372 560 376 700 370
  xdotool mousemove 1200 700
  sleep 0.3
  for _ in $(seq 1 20); do
    xdotool click 4
    sleep 0.05
  done
  demo_ink_stroke 436 447 600 449 760 446
  xdotool mousemove 840 420 keydown ctrl mousedown 3 mousemove 900 480 mousemove 960 540 mouseup 3 keyup ctrl
  xdotool mousemove 1200 700
  sleep 0.5
  demo_shot 35-ink "Ink: right-button strokes and a Ctrl rectangle; the wheel turned the pen 17 wide and translucent, for every stroke"

  # Zoom 8 about the mouse over the coloured squares; hovering shows the pick's read-out.
  xdotool mousemove 870 470
  sleep 0.2
  # Each step from a settled view, so that the point under the mouse stays there.
  for _ in 1 2 3; do
    xdotool key Page_Up
    sleep 1
  done
  xdotool mousemove 880 480
  sleep 0.2
  xdotool mousemove 883 483
  sleep 0.4
  demo_shot 36-magnifier "Page Up three times: zoom 8 with the pixel grid; the pick's crosshair and read-out panel (position, colour, RGB, HLS)"
  xdotool key Escape
  e2e_poll 10 e2e_overlay_gone
  kill -TERM "$report" 2>/dev/null
  return 0
}
demo_ink

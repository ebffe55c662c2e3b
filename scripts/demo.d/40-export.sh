# Export: a rectangle capture is named and commented in the main window, Enter saves it on the desktop
# as a PNG with the comment as its caption, and the written file is shown.
demo_export() {
  local file document viewer
  kill -TERM "$VEXMOR_PID" 2>/dev/null
  e2e_wait_exit "$VEXMOR_PID" 10 || return 1
  # Something worth capturing: a small report in a window.
  convert -size 960x560 gradient:'#30507a-#c08a4a' -fill '#f4f0e8' -draw 'roundrectangle 40,40 900,500 12,12' \
    -fill '#2a2a2a' -font DejaVu-Sans -pointsize 34 -annotate +80+120 'Quarterly figures' \
    -pointsize 24 -annotate +80+190 'North   1.204   +4 %' -annotate +80+240 'South   0.981   -2 %' \
    -fill '#b03020' -annotate +80+290 'East    1.530   +9 %' -depth 8 "$E2E_DIR/export-report.png" 2>/dev/null
  e2e_spawn display -title report -geometry +200+120 "$E2E_DIR/export-report.png"
  document=$E2E_LAST_PID
  sleep 1.5
  mkdir -p "$XDG_CONFIG_HOME/Vexmor"
  printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=0\nTransPNGBox=1\nScalingSel=100\nCapCursorBox=0\nAutoTitleBox=0\n' \
    >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
  e2e_start_vexmor
  main() { xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null | grep -q .; }
  e2e_poll 30 e2e_overlay_shown || return 1
  xdotool mousemove 240 160 keydown ctrl mousedown 1 mousemove 600 400 mousemove 1079 659 mouseup 1 keyup ctrl
  e2e_poll 20 main || return 1
  sleep 0.5
  xdotool type --delay 15 'Quarterly figures'
  xdotool key Tab
  xdotool type --delay 15 'East grew fastest this quarter'
  sleep 0.3
  demo_shot 40-export-named "A rectangle capture in the main window: file name and comment typed, Enter saves to the desktop"
  xdotool key Return
  kill -TERM "$document" 2>/dev/null
  file="$XDG_DESKTOP_DIR/Quarterly figures.png"
  e2e_poll 20 test -s "$file" || return 1
  sleep 0.3
  cp "$file" "$DEMO_OUT/40-export-file.png"
  e2e_spawn display -title 'saved file' -geometry +420+220 "$file"
  viewer=$E2E_LAST_PID
  sleep 1.5
  demo_shot 41-export-shown "The written file ($(identify -format '%wx%h %m' "$file")): the comment as caption, bottom left"
  kill -TERM "$viewer" 2>/dev/null
  echo "  $DEMO_OUT/40-export-file.png (the file as written)"
}
demo_export

#!/usr/bin/env bash
# Redraws the program's pictures (About logo, tray icon, menu icon strip) with ImageMagick.
# The PNGs are committed; run this only to change the artwork.
set -euo pipefail
cd "$(dirname "$0")"

# About logo, 195 x 177: a framed, rounded picture with a lasso outline and a stroke of red ink,
# on a soft shadow so that its edges blend with any page colour.
convert -size 195x177 xc:none \
  \( -size 195x177 xc:none -fill 'rgba(0,0,0,0.55)' -draw 'roundrectangle 22,24 180,166 22,22' -blur 0x7 \) -composite \
  \( -size 195x177 xc:none -fill 'gradient:' \
     -draw 'roundrectangle 14,12 172,154 20,20' \) -composite \
  \( -size 158x142 gradient:'#4fa3e0-#1d4e89' \
     \( -size 158x142 xc:black -fill white -draw 'roundrectangle 0,0 157,141 20,20' \) -alpha off -compose CopyOpacity -composite \
  \) -geometry +14+12 -compose Over -composite \
  -fill none -stroke 'rgba(255,255,255,0.95)' -strokewidth 4 -draw 'stroke-dasharray 9 6 ellipse 93,66 52,36 0,360' \
  -stroke '#d80000' -strokewidth 7 -draw "path 'M 60,100 C 82,80 102,116 130,88'" \
  -stroke none -fill white -font DejaVu-Sans-Bold -pointsize 26 -draw "text 40,142 'Vexmor'" \
  PNG32:logo.png

# Tray icon, 16 x 16 and 32 x 32: the same picture, small.
for s in 16 32; do
  convert -size ${s}x${s} xc:none \
    \( -size ${s}x${s} gradient:'#4fa3e0-#1d4e89' \
       \( -size ${s}x${s} xc:black -fill white -draw "roundrectangle 0,0 $((s-1)),$((s-1)) $((s/4)),$((s/4))" \) \
       -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
    -fill none -stroke white -strokewidth $((s/12+1)) -draw "ellipse $((s/2)),$((s*7/16)) $((s*5/16)),$((s/4)) 0,360" \
    -stroke '#ff3030' -strokewidth $((s/8+1)) -draw "line $((s/4)),$((s*3/4)) $((s*3/4)),$((s*5/8))" \
    PNG32:tray$s.png
done

# Menu icon strip, 90 x 15: nine cells of 10 x 15 for the menu entries, in this order:
# capture now, in 5 s, in 30 s, settings, exit, save, e-mail, edit, clipboard.
cell() { convert -size 10x15 xc:none "$@" PNG32:-; }
cell -fill '#2f6fb5' -draw 'rectangle 1,3 8,11' -fill white -draw 'rectangle 3,5 6,9' > c0.png
cell -fill none -stroke '#2f6fb5' -draw 'circle 5,7 5,2' -stroke '#c00000' -draw 'line 5,7 5,4' > c1.png
cell -fill '#2f6fb5' -draw 'circle 5,7 5,2' -stroke white -draw 'line 5,7 8,7' -draw 'line 5,7 5,4' > c2.png
cell -fill '#606060' -draw 'circle 5,7 5,3' -fill white -draw 'circle 5,7 5,6' > c3.png
cell -stroke '#c00000' -strokewidth 2 -draw 'line 2,4 8,11' -draw 'line 8,4 2,11' > c4.png
cell -fill '#2f6fb5' -draw 'rectangle 1,2 8,12' -fill white -draw 'rectangle 3,2 6,6' > c5.png
cell -fill '#f0d070' -stroke '#806020' -draw 'rectangle 1,4 8,10' -draw 'line 1,4 5,8' -draw 'line 8,4 5,8' > c6.png
cell -stroke '#c07020' -strokewidth 2 -draw 'line 2,12 8,3' -stroke '#303030' -draw 'point 2,12' > c7.png
cell -fill '#a07040' -draw 'rectangle 1,3 8,13' -fill white -draw 'rectangle 2,5 7,12' -fill '#606060' -draw 'rectangle 3,2 6,4' > c8.png
convert c0.png c1.png c2.png c3.png c4.png c5.png c6.png c7.png c8.png +append +repage PNG32:menuicons.png
rm -f c?.png

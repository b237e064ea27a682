#!/usr/bin/env bash
# Makes the client's pictures with ImageMagick: the logo, the cart animation
# "syscrt.sys" and the two banners "ad1.sys" and "ad2.sys" (GIF files all).
set -euo pipefail
cd "$(dirname "$0")"
FONT=DejaVu-Sans-Bold

convert -size 193x44 xc:'#c0c0c0' -font "$FONT" -pointsize 26 -fill '#1a3a8a' \
  -gravity center -annotate +0-2 'Korvandel' -pointsize 9 -annotate +84-12 'TM' \
  -transparent '#c0c0c0' logo.gif

# The cart rolls a few pixels to and fro with turning wheels: the same cart
# as the animation server's clip (a wire basket, a handle with a red grip,
# two wheels), at the panel's size.
frames=()
for f in 0 1 2 3 4 5 6 7; do
  x=$(( f < 4 ? f : 8 - f ))
  spoke=$(( f % 2 ))
  cart=(-fill '#9cb2e6' -stroke '#9cb2e6'
    -draw "line $((x+18)),16 $((x+47)),16" -draw "line $((x+19)),20 $((x+46)),20" -draw "line $((x+20)),24 $((x+45)),24"
    -draw "line $((x+23)),12 $((x+24)),27" -draw "line $((x+29)),12 $((x+29)),27" -draw "line $((x+35)),12 $((x+35)),27"
    -draw "line $((x+41)),12 $((x+40)),27"
    -fill none -stroke '#1a3a8a' -draw "polygon $((x+16)),11 $((x+50)),11 $((x+46)),28 $((x+20)),28"
    -draw "line $((x+16)),11 $((x+12)),5" -draw "line $((x+20)),28 $((x+18)),32" -draw "line $((x+18)),32 $((x+48)),32"
    -fill '#cc2222' -stroke '#cc2222' -draw "rectangle $((x+7)),4 $((x+12)),5")
  for cx in $((x+23)) $((x+43)); do
    cart+=(-fill '#303030' -stroke '#303030' -draw "circle $cx,35 $cx,31" -fill '#a0a0a0' -stroke '#a0a0a0'
      -draw "circle $cx,35 $cx,33" -stroke white)
    if [ "$spoke" = 0 ]; then
      cart+=(-draw "line $((cx-2)),35 $((cx+2)),35" -draw "line $cx,33 $cx,37")
    else
      cart+=(-draw "line $((cx-2)),33 $((cx+2)),37" -draw "line $((cx-2)),37 $((cx+2)),33")
    fi
  done
  convert -size 64x40 xc:white +antialias "${cart[@]}" "cart_$f.gif"
  frames+=("cart_$f.gif")
done
convert -delay 12 -loop 0 "${frames[@]}" syscrt.sys
rm -f "${frames[@]}"

banner() {
  local out=$1 bg=$2 line1=$3 line2=$4
  convert -size 234x62 xc:"$bg" -font "$FONT" -pointsize 15 -fill white -gravity center \
    -annotate +0-10 "$line1" -pointsize 11 -annotate +0+12 "$line2" b1.gif
  convert -size 234x62 xc:"$bg" -font "$FONT" -pointsize 15 -fill yellow -gravity center \
    -annotate +0-10 "$line1" -pointsize 11 -annotate +0+12 "$line2" b2.gif
  convert -delay 80 -loop 0 b1.gif b2.gif "$out"
  rm -f b1.gif b2.gif
}
banner ad1.sys '#1a3a8a' 'Korvandel' 'Every shop in one search'
banner ad2.sys '#2a7a3a' 'Parts in stock?' 'Compare prices and stock'

# The result list's pictures, as strips of equal cells that the window cuts:
# row and cell images (16 x 16: plain row, row with a page, datasheet, in
# stock, call, not in stock, two spare, blank), header images (16 x 16:
# ascending, descending, datasheet) and the two 8 x 8 sort glyphs.
convert -size 144x16 xc:none \
  -fill white -stroke '#606060' -draw "rectangle 3,1 12,14" -stroke '#a0a0a0' -draw "line 5,5 10,5" -draw "line 5,8 10,8" -draw "line 5,11 10,11" \
  -fill '#3a78d8' -stroke '#1a3a8a' -draw "circle 23,8 23,1" -fill none -stroke white -draw "line 17,8 29,8" -draw "ellipse 23,8 3,7 0,360" \
  -fill white -stroke '#606060' -draw "rectangle 35,1 44,14" -fill '#cc2222' -stroke '#cc2222' -draw "rectangle 35,6 44,9" \
  -fill none -stroke '#1e8c1e' -strokewidth 2 -draw "polyline 51,8 54,12 60,3" -strokewidth 1 \
  -fill '#f0a000' -stroke '#a06000' -draw "circle 71,8 71,2" -fill white -stroke white -draw "rectangle 70,4 72,9" -draw "point 71,11" -draw "point 71,12" \
  -fill none -stroke '#cc2222' -strokewidth 2 -draw "line 84,4 92,12" -draw "line 92,4 84,12" \
  PNG32:listimages.png
convert -size 48x16 xc:none -fill '#404040' -stroke none \
  -draw "polygon 3,11 13,11 8,4" -draw "polygon 19,5 29,5 24,12" \
  -fill white -stroke '#606060' -draw "rectangle 35,1 44,14" -fill '#cc2222' -stroke '#cc2222' -draw "rectangle 35,6 44,9" \
  PNG32:headerimages.png
convert -size 16x8 xc:none -fill '#404040' -stroke none -draw "polygon 0,6 7,6 3,1" -draw "polygon 8,1 15,1 11,6" \
  PNG32:sortglyphs.png

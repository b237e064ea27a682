#!/usr/bin/env bash
# Makes the client's pictures with ImageMagick: the logo, the cart animation
# "syscrt.sys" and the two banners "ad1.sys" and "ad2.sys" (GIF files all).
set -euo pipefail
cd "$(dirname "$0")"
FONT=DejaVu-Sans-Bold

convert -size 193x44 xc:'#c0c0c0' -font "$FONT" -pointsize 26 -fill '#1a3a8a' \
  -gravity center -annotate +0-2 'Korvandel' -pointsize 9 -annotate +84-12 'TM' \
  -transparent '#c0c0c0' logo.gif

frames=()
for x in 0 8 16 24 32 40; do
  convert -size 64x40 xc:white -fill '#1a3a8a' -draw "rectangle $((x+4)),12 $((x+20)),24" \
    -fill '#cc2222' -draw "circle $((x+7)),30 $((x+9)),30" -draw "circle $((x+17)),30 $((x+19)),30" \
    -fill '#808080' -draw "line 0,34 63,34" "cart_$x.gif"
  frames+=("cart_$x.gif")
done
convert -delay 15 -loop 0 "${frames[@]}" syscrt.sys
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

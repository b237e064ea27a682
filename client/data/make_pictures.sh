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

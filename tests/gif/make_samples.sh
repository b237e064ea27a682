#!/bin/sh
# Makes a varied set of real GIF files with ImageMagick: make_samples.sh DIR [bench]
set -e
out=$1
mkdir -p "$out"
cd "$out"
c=${CONVERT:-convert}
if [ "$2" = bench ]; then
  $c -seed 1 -size 1024x768 plasma:fractal -colors 256 plasma_1024.gif
  $c -seed 2 -size 800x600 xc: +noise Random -colors 256 noise_800.gif
  $c -size 640x480 gradient:yellow-navy -colors 16 gradient_640.gif
  $c -seed 3 -size 1000x700 plasma:fractal -colors 64 -interlace GIF interlaced_1000.gif
  $c -seed 4 -size 320x240 plasma:fractal \( +clone -roll +16+8 \) \( +clone -roll +16+8 \) \
     \( +clone -roll +16+8 \) \( +clone -roll +16+8 \) \( +clone -roll +16+8 \) -loop 0 anim_320.gif
  $c -seed 5 -size 320x240 plasma:fractal \( +clone -roll +16+8 \) \( +clone -roll +16+8 \) \
     \( +clone -roll +16+8 \) -loop 0 -layers Optimize optimized_320.gif
else
  $c -seed 7 -size 120x90 plasma:fractal -colors 256 plasma256.gif
  $c -size 64x200 gradient:yellow-navy -colors 16 -interlace GIF gradient_interlaced.gif
  $c -seed 3 -size 100x100 xc: +noise Random -colors 200 noise.gif
  $c -size 60x40 xc:none -fill red -draw "circle 30,20 30,5" -fill blue -draw "rectangle 2,2 12,12" transparent.gif
  $c -dispose Background -delay 7 -size 32x32 xc:red -delay 0 xc:lime -delay 125 xc:blue -loop 3 anim_loop3.gif
  $c -seed 5 -size 80x60 plasma:fractal \( +clone -roll +10+5 \) \( +clone -roll +10+5 \) -loop 0 -layers Optimize optimized.gif
  $c -size 50x33 xc:white -fill black -draw "line 0,0 49,32" -draw "rectangle 20,3 30,9" -monochrome mono.gif
  $c -size 1x1 xc:orange one_pixel.gif
  $c -seed 9 -size 400x3 plasma:fractal -colors 64 wide.gif
  $c -seed 11 -size 48x48 plasma:fractal plasma:fractal plasma:fractal -loop 2 local_tables.gif
  $c -seed 2 -size 128x128 plasma:fractal -dither FloydSteinberg -colors 128 -interlace GIF dithered_interlaced.gif
  $c -dispose Previous -delay 10 -size 40x30 xc:none -fill green -draw "circle 20,15 20,5" \
     \( -size 40x30 xc:none -fill red -draw "rectangle 5,5 20,20" \) -loop 1 dispose_previous.gif
  $c -size 7x300 gradient:red-blue -colors 5 -interlace GIF tall_interlaced.gif
fi
touch stamp

#!/usr/bin/env bash
# Draws the product's pictures into resources/ with ImageMagick. Run by hand when a picture
# changes and commit the PNGs: the build uses the committed files and never runs this.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/resources"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
light=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
accent_top='#3BC4B4'
accent_bottom='#1C6E8F'

# The icon: a rounded tile in the accent gradient with a white play glyph, drawn at size $1.
icon() {
  local size=$1 file=$2
  local r=$((size / 5)) m=$((size / 32))
  local x1=$((size * 38 / 100)) y1=$((size * 28 / 100)) y2=$((size * 72 / 100)) x3=$((size * 74 / 100))
  convert -size "${size}x${size}" "gradient:${accent_top}-${accent_bottom}" \
    \( -size "${size}x${size}" xc:none -fill white \
       -draw "roundrectangle $m,$m $((size - 1 - m)),$((size - 1 - m)) $r,$r" \) \
    -alpha set -compose DstIn -composite \
    -fill white -stroke white -strokewidth $((size / 32 + 1)) \
    -draw "polygon $x1,$y1 $x1,$y2 $x3,$((size / 2))" \
    -strip "PNG32:$file"
}

icon 128 "$out/tavisto-for-web.png"
icon 64 "$out/about.png"

# The splash picture: the glyph in a light ring and the wordmark, light on transparent so it reads
# on the dark splash background.
convert -size 360x120 xc:none \
  -fill none -stroke "${accent_top}" -strokewidth 5 -draw "circle 58,60 58,22" \
  -fill '#EEF3F6' -stroke '#EEF3F6' -strokewidth 3 -draw "polygon 47,40 47,80 80,60" \
  -stroke none -fill '#EEF3F6' -font "$font" -pointsize 50 -annotate +112+72 'Tavisto' \
  -fill '#9FB2BF' -font "$light" -pointsize 17 -annotate +115+98 'for Web' \
  -strip PNG32:"$out/splash.png"

ls -l "$out"/splash.png "$out"/about.png "$out"/tavisto-for-web.png

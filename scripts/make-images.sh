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

# The desktop's icon theme sizes, and the same drawing as SVG for the scalable one.
mkdir -p "$out/icons"
for size in 16 22 24 32 48 64 128 256; do
  icon "$size" "$out/icons/tavisto-for-web-$size.png"
done
cat >"$out/icons/tavisto-for-web.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="accent" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="${accent_top}"/>
      <stop offset="1" stop-color="${accent_bottom}"/>
    </linearGradient>
  </defs>
  <rect x="8" y="8" width="240" height="240" rx="51" fill="url(#accent)"/>
  <polygon points="97,71 97,184 189,128" fill="#fff" stroke="#fff" stroke-width="9"/>
</svg>
SVG

# The splash picture: the glyph in a light ring and the wordmark, light on transparent so it reads
# on the dark splash background. Drawn at scale $1 (2 for screens of two device pixels a pixel).
splash() {
  local s=$1 file=$2
  convert -size "$((360 * s))x$((120 * s))" xc:none \
    -fill none -stroke "${accent_top}" -strokewidth $((5 * s)) \
    -draw "circle $((58 * s)),$((60 * s)) $((58 * s)),$((22 * s))" \
    -fill '#EEF3F6' -stroke '#EEF3F6' -strokewidth $((3 * s)) \
    -draw "polygon $((47 * s)),$((40 * s)) $((47 * s)),$((80 * s)) $((80 * s)),$((60 * s))" \
    -stroke none -fill '#EEF3F6' -font "$font" -pointsize $((50 * s)) \
    -annotate "+$((112 * s))+$((72 * s))" 'Tavisto' \
    -fill '#9FB2BF' -font "$light" -pointsize $((17 * s)) \
    -annotate "+$((115 * s))+$((98 * s))" 'for Web' \
    -strip PNG32:"$file"
}

splash 1 "$out/splash.png"
splash 2 "$out/splash@2x.png"

ls -l "$out"/splash.png "$out"/splash@2x.png "$out"/about.png "$out"/tavisto-for-web.png "$out"/icons

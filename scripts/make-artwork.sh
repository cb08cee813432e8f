#!/usr/bin/env bash
# Draws the program's artwork with ImageMagick and the WenQuanYi Micro Hei font:
#   resources/splash.jpg      380 x 278 start-up picture with the title
#   resources/splash_en.jpg   the same in English
#   resources/login-icon.png  32 x 32 icon of the login dialog, 16 colours
#   dist/icons/kolvane-N.png  the application icon (the splash's staff card) at the
#                             hicolor theme's sizes, for the desktop entry
# Run it again after changing a drawing; the images are committed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/resources"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -r "$font" ] || { echo "missing font: $font (package fonts-wqy-microhei)" >&2; exit 1; }
convert -version 2>/dev/null | grep -q ImageMagick || { echo "missing ImageMagick convert (package imagemagick)" >&2; exit 1; }
mkdir -p "$out"

# Splash: a deep blue field with a lighter band, a stylised staff card on the
# right, the title and a subtitle on the left. One picture per language: Qt
# picks splash_en.jpg for English locales (see kolvane.qrc).
# splash FILE TITLE TITLE-SIZE SUBTITLE STATUS
splash() {
    convert -size 380x278 gradient:'#0d3b66'-'#1b6ca8' \
        \( -size 380x278 xc:none -fill 'rgba(255,255,255,0.08)' \
           -draw 'polygon 0,190 380,120 380,160 0,230' \
           -draw 'polygon 0,240 380,175 380,185 0,250' \) -composite \
        -fill 'rgba(0,0,0,0.25)' -draw 'roundrectangle 252,62 352,192 10,10' \
        -fill '#f4f7fb' -draw 'roundrectangle 246,56 346,186 10,10' \
        -fill '#1b6ca8' -draw 'roundrectangle 246,56 346,84 10,10' -draw 'rectangle 246,74 346,84' \
        -fill '#f4f7fb' -draw 'roundrectangle 284,66 308,72 3,3' \
        -fill '#c9d6e3' -draw 'circle 296,114 296,132' \
        -fill '#9fb3c8' -draw 'ellipse 296,168 30,20 180,360' \
        -fill '#f4f7fb' -draw 'rectangle 246,168 346,186' \
        -fill '#1b6ca8' -draw 'roundrectangle 256,172 336,180 3,3' \
        -fill '#f2a541' -draw 'rectangle 24,76 30,122' \
        -font "$font" -fill white -pointsize "$3" -annotate +40+112 "$2" \
        -font "$font" -fill '#d6e6f5' -pointsize 15 -annotate +42+146 "$4" \
        -font "$font" -fill '#a9c4de' -pointsize 12 -annotate +24+258 "$5" \
        -quality 90 -sampling-factor 4:4:4 -strip "$out/$1"
}
splash splash.jpg '一卡通软件' 36 '员工考勤 · 排班 · 卡务管理' '正在启动，请稍候……'
splash splash_en.jpg 'One-Card Suite' 26 'Attendance · Shifts · Cards' 'Starting, please wait…'

# Login icon: a card with a key, drawn large and reduced to 16 colours.
convert -size 128x128 xc:none \
    -fill '#0d3b66' -draw 'roundrectangle 8,24 120,104 12,12' \
    -fill '#1b6ca8' -draw 'roundrectangle 12,28 116,100 8,8' \
    -fill '#f2a541' -draw 'rectangle 12,40 116,52' \
    -fill '#f4f7fb' -draw 'circle 44,78 44,94' \
    -fill '#1b6ca8' -draw 'circle 44,78 44,86' \
    -fill '#f4f7fb' -draw 'rectangle 58,74 104,82' -draw 'rectangle 88,82 96,92' -draw 'rectangle 100,82 104,90' \
    -resize 32x32 -channel A -threshold 50% +channel -colors 16 -strip PNG8:"$out/login-icon.png"

# Application icon: the splash's staff card on the splash's blue field, drawn at
# 512 x 512 and reduced to each size the desktop looks for.
icons="$root/dist/icons"
mkdir -p "$icons"
convert -size 512x512 xc:none \
    \( -size 480x480 gradient:'#1b6ca8'-'#0d3b66' \
       \( -size 480x480 xc:black -fill white -draw 'roundrectangle 0,0 479,479 96,96' \) \
       -alpha off -compose CopyOpacity -composite \) -geometry +16+16 -compose Over -composite \
    -fill 'rgba(0,0,0,0.30)' -draw 'roundrectangle 152,108 384,420 26,26' \
    -fill '#f4f7fb' -draw 'roundrectangle 140,96 372,408 26,26' \
    -fill '#f2a541' -draw 'roundrectangle 140,96 372,168 26,26' -draw 'rectangle 140,140 372,168' \
    -fill '#f4f7fb' -draw 'roundrectangle 220,118 292,134 8,8' \
    -fill '#9fb3c8' -draw 'ellipse 256,348 84,56 180,360' \
    -fill '#f4f7fb' -draw 'rectangle 140,348 372,408' \
    -fill '#c9d6e3' -draw 'circle 256,250 256,298' \
    -fill '#1b6ca8' -draw 'roundrectangle 176,362 336,382 8,8' \
    -strip "$icons/kolvane-512.png"
for size in 16 22 24 32 48 64 128 256; do
    convert "$icons/kolvane-512.png" -filter Lanczos -resize "${size}x${size}" -strip PNG32:"$icons/kolvane-$size.png"
done
rm "$icons/kolvane-512.png"

echo "wrote $out/splash.jpg, $out/splash_en.jpg, $out/login-icon.png and $icons/kolvane-*.png"

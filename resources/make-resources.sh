#!/bin/sh
# Draws the program's button glyphs (bmp/*.bmp), banners (jpg/*.jpg) and the program
# icon for the desktop (icons/hicolor/: PNG from 16 to 256 pixels and an SVG) into the
# folder of this script. The text templates in txt/ are edited by hand.
#
# Needs ImageMagick's convert (Debian: imagemagick) and the Noto Sans CJK font
# (Debian: fonts-noto-cjk) for the Chinese captions. Run it from anywhere:
#   sh resources/make-resources.sh
# The results are committed; the program never runs this script.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

font=Noto-Sans-CJK-SC
fontbold=Noto-Sans-CJK-SC-Bold
if ! convert -list font | grep -q "Font: $font\$"; then
    echo "make-resources: font $font not found (install fonts-noto-cjk)" >&2
    exit 1
fi

# The look: the window colour, a soft blue accent, a light fill and dark text.
window='#F5FAFE'
accent='#3B82C4'
accentlight='#CFE3F6'
face='#EAF3FC'
edge='#B5D3EE'
ink='#1F3B57'

# Icon shapes, drawn on a 64x64 canvas and scaled to 16x16 for smooth edges.
icon_draw() {
    case "$1" in
    globe) echo "fill none stroke $accent stroke-width 5 circle 32,32 32,6 ellipse 32,32 11,26 0,360
          line 6,32 58,32 line 11,19 53,19 line 11,45 53,45" ;;
    folder) echo "fill $accentlight stroke $accent stroke-width 4 stroke-linejoin round
          polygon 6,14 25,14 31,21 58,21 58,52 6,52" ;;
    folderopen) echo "fill $accentlight stroke $accent stroke-width 4 stroke-linejoin round
          polygon 6,12 24,12 30,19 52,19 52,52 6,52
          fill $accent polygon 16,29 62,29 52,52 6,52" ;;
    foldernew) echo "fill $accentlight stroke $accent stroke-width 4 stroke-linejoin round
          polygon 6,14 25,14 31,21 58,21 58,52 6,52
          stroke $accent stroke-width 6 line 32,27 32,47 line 22,37 42,37" ;;
    search) echo "fill none stroke $accent stroke-width 6 circle 26,26 26,8
          stroke-width 9 stroke-linecap round line 39,39 56,56" ;;
    save) echo "fill $accentlight stroke $accent stroke-width 4 stroke-linejoin round
          polygon 8,8 48,8 56,16 56,56 8,56
          fill $accent stroke none rectangle 18,8 42,24 rectangle 16,36 48,56" ;;
    saveall) echo "fill $face stroke $accent stroke-width 4 stroke-linejoin round
          polygon 2,2 34,2 40,8 40,38 2,38
          fill $accentlight polygon 18,20 52,20 60,28 60,62 18,62
          fill $accent stroke none rectangle 27,20 47,32 rectangle 26,46 52,62" ;;
    saveas) echo "fill $accentlight stroke $accent stroke-width 4 stroke-linejoin round
          polygon 4,10 40,10 48,18 48,58 4,58
          fill $accent stroke none rectangle 13,10 35,24 rectangle 12,40 40,58
          stroke $ink stroke-width 7 stroke-linecap round line 34,46 58,20" ;;
    info) echo "fill none stroke $accent stroke-width 5 circle 32,32 32,6
          stroke-width 7 line 32,28 32,47 fill $accent stroke none circle 32,18 32,13" ;;
    help) echo "fill none stroke $accent stroke-width 5 circle 32,32 32,6
          fill $accent stroke none font $fontbold font-size 40 gravity center text 0,1 '?'" ;;
    update) echo "fill none stroke $accent stroke-width 5 circle 32,32 32,6
          stroke-width 6 stroke-linecap round stroke-linejoin round line 32,46 32,19
          polyline 21,30 32,19 43,30" ;;
    power) echo "fill none stroke $accent stroke-width 6 stroke-linecap round
          arc 9,11 55,57 300,600 line 32,6 32,32" ;;
    cross) echo "fill none stroke $accent stroke-width 8 stroke-linecap round
          line 16,16 48,48 line 48,16 16,48" ;;
    check) echo "fill none stroke $accent stroke-width 8 stroke-linecap round stroke-linejoin round
          polyline 11,34 26,49 53,17" ;;
    gear) echo "fill none stroke $accent stroke-width 9 stroke-linecap round
          line 32,4 32,14 line 32,50 32,60 line 4,32 14,32 line 50,32 60,32
          line 12,12 19,19 line 45,45 52,52 line 12,52 19,45 line 45,19 52,12
          stroke-width 6 circle 32,32 32,16" ;;
    fullscreen) echo "fill none stroke $accent stroke-width 6 stroke-linecap round stroke-linejoin round
          polyline 8,22 8,8 22,8 polyline 42,8 56,8 56,22
          polyline 56,42 56,56 42,56 polyline 22,56 8,56 8,42" ;;
    reset) echo "fill none stroke $accent stroke-width 6 stroke-linecap round
          arc 10,10 54,54 -60,230 fill $accent stroke none polygon 44,4 60,16 42,24" ;;
    grid) echo "fill $accent stroke none roundrectangle 8,8 28,28 3,3 roundrectangle 36,8 56,28 3,3
          roundrectangle 8,36 28,56 3,3 fill $accentlight stroke $accent stroke-width 4
          roundrectangle 36,36 56,56 3,3" ;;
    document) echo "fill $face stroke $accent stroke-width 4 stroke-linejoin round
          polygon 12,4 40,4 52,16 52,60 12,60 fill none polyline 40,4 40,16 52,16
          stroke-width 4 line 20,28 44,28 line 20,38 44,38 line 20,48 36,48" ;;
    *) echo "make-resources: unknown icon $1" >&2; exit 1 ;;
    esac
}

# icon NAME SIZE OUT: the icon on a transparent square of SIZE pixels.
icon() {
    convert -size 64x64 xc:none -draw "$(icon_draw "$1")" -resize "$2x$2" "$3"
}

# glyph NAME WIDTH ICON CAPTION [HEIGHT]: a flat button face WIDTH x HEIGHT (25 unless
# given) with the icon at the left and the caption centred in the rest, saved as a
# 24-bit BMP.
glyph() {
    name=$1 width=$2 shape=$3 caption=$4 height=${5:-25}
    icon "$shape" 16 "$work/icon.png"
    convert -background none -fill "$ink" -font "$font" -pointsize 12 label:"$caption" -trim +repage "$work/label.png"
    lw=$(identify -format '%w' "$work/label.png")
    lh=$(identify -format '%h' "$work/label.png")
    left=24
    room=$((width - 3 - left))
    if [ "$lw" -gt "$room" ]; then
        echo "make-resources: caption of $name is $lw pixels wide, room for $room" >&2
        exit 1
    fi
    x=$((left + (room - lw) / 2))
    y=$(((height - lh) / 2))
    convert -size "${width}x${height}" "xc:$window" \
        -fill "$face" -stroke "$edge" -strokewidth 1 -draw "roundrectangle 0,0 $((width - 1)),$((height - 1)) 4,4" \
        "$work/icon.png" -geometry "+5+$(((height - 16) / 2))" -composite \
        "$work/label.png" -geometry "+$x+$y" -composite \
        -background "$window" -alpha remove -alpha off -type truecolor "BMP3:$here/bmp/$name.bmp"
}

# jpeg SOURCE NAME: stores the picture as a JPEG without metadata.
jpeg() {
    convert "$1" -background "$window" -alpha remove -alpha off -strip -sampling-factor 1x1 -quality 95 \
        "$here/jpg/$2.jpg"
}

# title NAME WIDTH CAPTION: a 22 pixels high title strip with an accent bar.
title() {
    convert -size "$2x22" "gradient:$face-#DCEBF8" \
        -fill "$accent" -draw "rectangle 0,0 3,21" \
        -fill "$edge" -draw "line 0,21 $(($2 - 1)),21" \
        -fill "$ink" -font "$fontbold" -pointsize 13 -gravity West -annotate +12+0 "$3" \
        "$work/title.png"
    jpeg "$work/title.png" "$1"
}

mkdir -p "$here/bmp" "$here/jpg"

# Button glyphs: 25 pixels high, each a little narrower than the button that shows it.
glyph btnopenwebpage 99 globe "打开网页"
glyph opendir 120 folderopen "打开文件夹"
glyph selectpath 87 search "选择路径"
glyph newdir 96 foldernew "新建文件夹"
glyph btnsave 64 save "保存"
glyph btnsaveall 80 saveall "全部保存"
glyph btnsaveallas 95 saveas "全部另存为"
glyph btnhelp 118 help "帮助"
glyph btnonlineupdate 118 update "在线升级"
glyph btnexit 118 power "退出"
glyph btnclose 56 cross "关闭"
glyph btnabout 80 info "关于"
glyph btnaboutsmall 56 info "关于"
glyph btnzeltabout 80 info "关于"
glyph btnzelthelp 80 help "帮助"
glyph btnhelpdoc2 90 document "帮助文档"
glyph zelt_exit 64 power "退出"
glyph confirm 64 check "确定"
glyph cancel 64 cross "取消"
glyph buttonconfig 80 gear "设置"
glyph btndefault 80 reset "默认"
glyph btnfullscreen 80 fullscreen "全屏"
glyph btnotherfun 90 grid "其他功能"
glyph btnrestart 70 reset "重启" 22

# Title strips over the lists of the main window's left column.
title restypetitle 355 "资源类型"
title ressavetitle 396 "已保存资源列表"
title imgpreviewtitle 406 "图片预览"

# The brand picture: product name on the accent colour with a globe.
saved=$accent
accent=white
icon globe 30 "$work/globe.png"
accent=$saved
convert -size 120x55 "gradient:#4A90D0-#2F6FB0" \
    "$work/globe.png" -geometry +84+5 -composite \
    -fill white -font "$fontbold" -pointsize 22 -gravity NorthWest -annotate +8+2 "NUV" \
    -fill white -font "$font" -pointsize 12 -gravity NorthWest -annotate +8+34 "网页提取助手" \
    "$work/tesvarn.png"
jpeg "$work/tesvarn.png" tesvarn

# The help banner.
icon document 40 "$work/doc.png"
convert -size 160x98 "xc:$window" \
    -fill "$face" -stroke "$edge" -draw "roundrectangle 1,1 158,96 8,8" -stroke none \
    "$work/doc.png" -geometry +10+12 -composite \
    -fill "$ink" -font "$fontbold" -pointsize 16 -gravity NorthWest -annotate +58+14 "帮助文档" \
    -fill "$accent" -font "$font" -pointsize 11 -annotate +58+38 "使用说明" \
    -fill "$accent" -font "$font" -pointsize 11 -annotate +58+54 "常见问题" \
    -fill "$accent" -draw "rectangle 12,80 147,82" \
    "$work/helpdoc.png"
jpeg "$work/helpdoc.png" helpdoc

# Thin decorative strips above the brand panel.
convert -size 5x160 "gradient:$accent-$accentlight" -rotate -90 "$work/topavert.png"
jpeg "$work/topavert.png" topavert
convert -size 160x11 "gradient:#DCEBF8-$window" -fill "$edge" -draw "line 0,10 159,10" \
    -fill "$accent" -draw "rectangle 0,0 159,1" "$work/zelttop.png"
jpeg "$work/zelttop.png" zelttop

# The about window's frame, drawn whole and cut into the pieces the window puts along
# its edges: three across the top (12 high), three across the bottom (11 high), one
# down each side. The middle pieces are stretched, so they are uniform along their run.
convert -size 394x354 "xc:$window" \
    -fill none -stroke "$edge" -strokewidth 1 -draw "roundrectangle 0,0 393,353 6,6" \
    -fill "$accent" -stroke none -draw "roundrectangle 1,1 392,10 5,5" -draw "rectangle 1,6 392,10" \
    -fill "$accentlight" -draw "rectangle 3,11 5,349" -draw "rectangle 388,11 390,349" \
    -draw "rectangle 3,347 390,349" \
    -type truecolor "$work/aboutframe.png"
piece() {
    convert "$work/aboutframe.png" -crop "$2" +repage -type truecolor "BMP3:$here/bmp/$1.bmp"
}
piece aboutlefttop 11x12+0+0
piece abouttop 16x12+180+0
piece aboutrighttop 14x12+380+0
piece aboutleft 10x16+0+180
piece aboutright 14x16+380+180
piece aboutleftbottom 14x11+0+343
piece aboutbottom 16x11+180+343
piece aboutrightbottom 14x11+380+343

# The update window's banner, shown while no update page is.
saved=$accent
accent=white
icon update 56 "$work/update.png"
accent=$saved
convert -size 651x98 "gradient:#4A90D0-#2F6FB0" \
    "$work/update.png" -geometry +24+21 -composite \
    -fill white -font "$fontbold" -pointsize 24 -gravity NorthWest -annotate +98+20 "NUV网页提取助手 在线升级" \
    -fill "$accentlight" -font "$font" -pointsize 14 -gravity NorthWest -annotate +98+58 "检查并下载软件的新版本" \
    "$work/updatebanner.png"
jpeg "$work/updatebanner.png" updatebanner

# The program icon: a white globe on a blue rounded square with an orange badge holding
# a download arrow. One picture on a 256x256 canvas, written out twice: as the SVG of
# the scalable icon and as ImageMagick drawing commands for the PNG sizes.
appicon_svg() {
    cat <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="face" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#4A90D0"/>
      <stop offset="1" stop-color="#2F6FB0"/>
    </linearGradient>
  </defs>
  <rect x="12" y="12" width="232" height="232" rx="48" ry="48" fill="url(#face)"/>
  <g fill="none" stroke="#FFFFFF" stroke-width="12" stroke-linecap="round">
    <circle cx="108" cy="108" r="70"/>
    <ellipse cx="108" cy="108" rx="28" ry="70"/>
    <line x1="38" y1="108" x2="178" y2="108"/>
    <line x1="50" y1="72" x2="166" y2="72"/>
    <line x1="50" y1="144" x2="166" y2="144"/>
  </g>
  <circle cx="186" cy="186" r="52" fill="#F29B30" stroke="#FFFFFF" stroke-width="8"/>
  <g fill="none" stroke="#FFFFFF" stroke-width="14" stroke-linecap="round" stroke-linejoin="round">
    <line x1="186" y1="156" x2="186" y2="208"/>
    <polyline points="164,188 186,210 208,188"/>
  </g>
</svg>
SVG
}
appicon_mvg() {
    echo "fill none stroke #FFFFFF stroke-width 12 stroke-linecap round
          circle 108,108 178,108 ellipse 108,108 28,70 0,360
          line 38,108 178,108 line 50,72 166,72 line 50,144 166,144
          fill #F29B30 stroke #FFFFFF stroke-width 8 circle 186,186 238,186
          fill none stroke-width 14 stroke-linejoin round
          line 186,156 186,208 polyline 164,188 186,210 208,188"
}
# Drawn four times larger than the largest size, then scaled down for smooth edges.
convert -size 1024x1024 "gradient:#4A90D0-#2F6FB0" \
    \( -size 1024x1024 xc:none -fill white -draw "roundrectangle 48,48 975,975 192,192" \) \
    -alpha set -compose DstIn -composite -compose Over \
    -draw "scale 4,4 $(appicon_mvg)" "$work/appicon.png"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$here/icons/hicolor/${size}x${size}/apps"
    convert "$work/appicon.png" -filter Lanczos -resize "${size}x${size}" -strip \
        "PNG32:$here/icons/hicolor/${size}x${size}/apps/nuv-webextract.png"
done
mkdir -p "$here/icons/hicolor/scalable/apps"
appicon_svg >"$here/icons/hicolor/scalable/apps/nuv-webextract.svg"

echo "make-resources: done"

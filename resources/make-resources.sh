#!/usr/bin/env bash
# Regenerates the pictures and watermark presets shipped in this folder.
# The outputs are committed, so a normal build never runs this; run it by
# hand after changing a design below, then listen to and look at the results.
#
# Needs (Debian package names):
#   imagemagick        /usr/bin/convert (ImageMagick 6) or magick (7)
#   fonts-dejavu-core  DejaVu Sans / DejaVu Sans Bold
#   sox, libsox-fmt-mp3  synthesis, effects and MP3 encoding
#   espeak-ng          the spoken presets
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"

# Call ImageMagick by full path: a convert earlier in PATH may be something else.
if command -v magick >/dev/null 2>&1; then
    im=(magick)
elif [[ -x /usr/bin/convert ]]; then
    im=(/usr/bin/convert)
else
    echo "make-resources.sh: ImageMagick is missing (apt-get install imagemagick)" >&2
    exit 1
fi
for tool in sox espeak-ng; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make-resources.sh: $tool is missing" >&2
        exit 1
    }
done
fontdir=/usr/share/fonts/truetype/dejavu
font_bold=$fontdir/DejaVuSans-Bold.ttf
font_book=$fontdir/DejaVuSans.ttf
for f in "$font_bold" "$font_book"; do
    [[ -r $f ]] || { echo "make-resources.sh: font $f is missing (fonts-dejavu-core)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---------------------------------------------------------------- logo.png
# The header row is 50 px with a 5 px border, so the logo must stay 40 px high.
# The drop mark is drawn at 4x and scaled down for smooth edges; the text is
# drawn at its final size so the font hinting keeps it sharp.
wave=$(awk 'BEGIN {
    for (x = 36; x <= 108; x += 1.5) {
        t = (x - 72) / 36; a = 24 * (1 - t * t) * (1 - t * t)
        printf "%.1f,%.1f ", x, 106 - a * sin((x - 36) / 72 * 2.5 * 6.283185)
    }
}')
"${im[@]}" -size 144x160 xc:none -fill white \
    -draw "path 'M 72,6 C 60,30 24,62 24,104 A 48,48 0 0,0 120,104 C 120,62 84,30 72,6 Z'" \
    "$tmp/drop-mask.png"
"${im[@]}" -size 144x160 gradient:'#5cc0f5-#0a4a96' "$tmp/drop-mask.png" \
    -alpha off -compose CopyOpacity -composite -compose Over \
    -fill none -stroke white -strokewidth 9 \
    -draw "stroke-linecap round stroke-linejoin round polyline $wave" \
    "$tmp/mark-big.png"
"${im[@]}" "$tmp/mark-big.png" -resize 25% "$tmp/mark.png"
# The same mark, square, is the desktop entry's icon, at the sizes menus ask for.
"${im[@]}" "$tmp/mark-big.png" -resize x224 -background none -gravity center -extent 256x256 \
    -depth 8 -strip -define png:color-type=6 velisto-icon.png
for size in 48 128; do
    "${im[@]}" "$tmp/mark-big.png" -resize x$((size * 7 / 8)) -background none -gravity center \
        -extent ${size}x${size} -depth 8 -strip -define png:color-type=6 velisto-icon-$size.png
done
"${im[@]}" -size 340x40 xc:none "$tmp/mark.png" -geometry +2+0 -composite \
    -font "$font_bold" -pointsize 18 -fill '#0b5aa8' -annotate +44+27 'Fenwaro' \
    -font "$font_book" -pointsize 18 -fill '#2e3436' -annotate +137+27 'Watermark Generator' \
    -trim +repage -background none -gravity center -extent x40 \
    -depth 8 -strip -define png:color-type=6 logo.png

# ------------------------------------------------------------ button icons
# 32x32 plain 24-bit BMP without alpha, the form every BMP loader reads, on a colour
# close to a light button face. Drawn at 8x and box-filtered down; shapes sit
# on the 8 px grid (minus half the stroke) so straight edges land on pixels.
icon_bg='#ececec'
icon_fg='#2e3436'
icon() {
    "${im[@]}" -size 256x256 xc:"$icon_bg" -fill "$icon_fg" -stroke "$icon_fg" \
        -strokewidth 12 -draw "stroke-linejoin round $2" \
        -filter box -resize 32x32 -alpha off -type TrueColor "BMP3:$1.bmp"
}
icon play   "polygon 86,70 86,185 193,127.5"
icon stop   "roundrectangle 78,78 177,177 4,4"
icon pause  "roundrectangle 78,70 105,185 3,3 roundrectangle 150,70 177,185 3,3"
icon resume "roundrectangle 62,70 81,185 3,3 polygon 110,70 110,185 209,127.5"

# ------------------------------------------------------- watermark presets
mkdir -p Presets
# Intermediates use sox's own 32-bit format so nothing is requantised on the way.
S() { sox -V1 "$@"; }

# Every preset ends here: 44.1 kHz, short fades against clicks, peak -1 dBFS.
# The short pad at the end is there because MP3 decoders may drop the last
# frame's worth of samples; without it they would cut the fade off mid-way.
# LAME shaves a few tenths of a dB off the peaks at these bit rates, so the
# level is measured after a first encode and the second encode makes up for it.
finish() {
    local in=$1 out=$2 fade_out=${3:-0.05} peak
    S "$in" -r 44100 "$tmp/final.sox" \
        rate -v 44100 fade t 0.01 -0 "$fade_out" pad 0 0.06 gain -n -1
    S "$tmp/final.sox" -C 160 "Presets/$out"
    peak=$(sox "Presets/$out" -n stats 2>&1 | awk '/^Pk lev dB/ { print $4 }')
    S "$tmp/final.sox" -C 160 "Presets/$out" gain "$(awk "BEGIN { print -1 - ($peak) }")"
}

# Cuts the lead-in and tail espeak-ng leaves around the words.
trim_silence=(silence 1 0.01 0.3% reverse silence 1 0.01 0.3% reverse)

# Spoken words, trimmed tight; the tiny fades keep the cut edges from clicking
# when the voice is mixed into something else.
speak() { # out.sox voice speed pitch text...
    local out=$1 voice=$2 speed=$3 pitch=$4
    shift 4
    espeak-ng -v "$voice" -s "$speed" -p "$pitch" -w "$tmp/speech.wav" "$*"
    S "$tmp/speech.wav" -r 44100 "$tmp/speech.sox" rate -v 44100 "${trim_silence[@]}"
    S "$tmp/speech.sox" "$out" fade h 0.005 -0 0.02
}

# Bell-like note: a fundamental and a quieter inharmonic partial, a soft 5 ms
# attack, then an exponential decay of about 20 dB per 0.4 s.
bell() { # out.sox freq delay gain
    local f2
    f2=$(awk "BEGIN { print $2 * 2.76 }")
    S -n -r 44100 -c 1 "$tmp/p1.sox" synth 2 sine "$2" fade h 0.005 fade l 0 2 2
    S -n -r 44100 -c 1 "$tmp/p2.sox" synth 2 sine "$f2" fade h 0.005 fade l 0 1 1
    S -m -v 1 "$tmp/p1.sox" -v 0.25 "$tmp/p2.sox" "$1" gain "$4" pad "$3"@0
}

# Beep Sound 1: one clean 1 kHz beep.
S -n -r 44100 -c 1 "$tmp/beep1.sox" synth 0.4 sine 1000 fade h 0.01 0.4 0.03
finish "$tmp/beep1.sox" "Beep Sound 1.mp3" 0.01

# Beep Sound 2: a rising two-tone double beep.
S -n -r 44100 -c 1 "$tmp/b2a.sox" synth 0.16 sine 880 fade h 0.008 0.16 0.02
S -n -r 44100 -c 1 "$tmp/b2b.sox" synth 0.2 sine 1320 fade h 0.008 0.2 0.03 pad 0.09@0
S "$tmp/b2a.sox" "$tmp/b2b.sox" "$tmp/beep2.sox"
finish "$tmp/beep2.sox" "Beep Sound 2.mp3" 0.01

# Sine+Delay: a short gliding sine ping and its repeats dying away. The ping
# is shorter than the delay so every repeat stands on its own.
S -n -r 44100 -c 1 "$tmp/ping.sox" synth 0.16 sine 784:1046.5 fade h 0.006 0.16 0.1 \
    pad 0 1.5 gain -6 echos 0.8 0.5 260 0.55 520 0.33 780 0.2 1040 0.12 \
    reverse silence 1 0.01 0.2% reverse
finish "$tmp/ping.sox" "Sine+Delay.mp3" 0.1

# Low-Fi Preview: "preview" through a narrow telephone band, driven a little
# and squeezed through 8 bits at 11 kHz for grit; a short slapback makes it
# sound like a cheap speaker in a small room.
speak "$tmp/lofi-voice.sox" en-us 125 50 "preview"
S "$tmp/lofi-voice.sox" "$tmp/lofi-band.sox" gain -n -3 sinc 300-3400 equalizer 1600 1q +6 \
    overdrive 14 echo 0.8 0.8 110 0.25 gain -n -3
S -D "$tmp/lofi-band.sox" -r 11025 -b 8 "$tmp/lofi-8bit.wav" rate 11025
S "$tmp/lofi-8bit.wav" -r 44100 "$tmp/lofi.sox" rate -v 44100 sinc -4000
finish "$tmp/lofi.sox" "Low-Fi Preview.mp3"

# This Is A PF: a plain spoken sentence with a hint of room.
speak "$tmp/pf-voice.sox" en-us 150 50 "this is a preview file"
S "$tmp/pf-voice.sox" "$tmp/pf.sox" gain -n -6 highpass 90 reverb 15 50 60 \
    reverse silence 1 0.01 0.3% reverse
finish "$tmp/pf.sox" "This Is A PF.mp3"

# Whispering: a breathy voice, slowed a touch, with a small soft room.
speak "$tmp/wh-voice.sox" en+whisper 110 50 "preview"
S "$tmp/wh-voice.sox" "$tmp/wh.sox" gain -n -6 highpass 150 reverb 20 70 50 \
    reverse silence 1 0.01 0.5% reverse
finish "$tmp/wh.sox" "Whispering.mp3" 0.08

# Alex(Mac) Preview File: a calm, lower male voice, unhurried and warm.
speak "$tmp/calm-voice.sox" en-us+m3 130 32 "preview file"
S "$tmp/calm-voice.sox" "$tmp/calm.sox" gain -n -6 highpass 70 bass +3 180 \
    treble -2 6000 reverb 12 50 40 reverse silence 1 0.01 0.3% reverse
finish "$tmp/calm.sox" "Alex(Mac) Preview File.mp3"

# Market Tag Watermark: a rising three-note chime (G, B, D), then "preview"
# spoken while the chime rings out.
bell "$tmp/n1.sox" 784.0 0.00 -1
bell "$tmp/n2.sox" 987.8 0.12 -2
bell "$tmp/n3.sox" 1174.7 0.24 -2
S -m "$tmp/n1.sox" "$tmp/n2.sox" "$tmp/n3.sox" "$tmp/chime.sox" gain -n -11
speak "$tmp/tag-voice.sox" en-us 155 45 "preview"
S "$tmp/tag-voice.sox" "$tmp/tag-voice-pad.sox" gain -n -6 highpass 90 pad 0.55@0
S -m -v 1 "$tmp/chime.sox" -v 1 "$tmp/tag-voice-pad.sox" "$tmp/tag.sox" \
    reverb 10 50 50 reverse silence 1 0.01 0.2% reverse
finish "$tmp/tag.sox" "Market Tag Watermark.mp3" 0.15

echo "make-resources.sh: resources written to $here"

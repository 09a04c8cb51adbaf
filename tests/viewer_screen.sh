#!/usr/bin/env bash
# Starts the real viewer on a virtual X screen (1024 x 768, white desktop) and
# checks what is on the screen: the window centred, shaped by its region (the
# desktop shows outside it), the skin around the pane, picture 0 in the pane
# at (40, 40) once its automatic scroll has ended, picture 1 after Right, and
# the music silent after M and back after another M (through SDL's disk audio
# driver), a clean exit with code 0 after Escape; then, on a 640 x 480
# screen, the window centred at negative coordinates.
#
#   tests/viewer_screen.sh PROGRAM ASSET_DIR [KEEP_DIR]
#
# KEEP_DIR, when given, receives the screenshots. Exits 77 (skipped) only
# when the virtual screen cannot start.
set -uo pipefail

program=$1
assets=$2
keep=${3:-}

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is not installed (scripts/install-deps.sh test installs it)"
    exit 77
fi
for tool in xdotool import convert compare; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed (scripts/install-deps.sh test installs it)"
        exit 1
    fi
done

work=$(mktemp -d)
xvfb_pid=""
viewer_pid=""
cleanup() {
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Starts a virtual screen of the given size and makes it the display.
start_screen() {  # WIDTHxHEIGHT
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -wr 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/display" ]; then
        echo "SKIP: Xvfb did not start: $(tail -1 "$work/xvfb.log")"
        exit 77
    fi
    export DISPLAY=":$(cat "$work/display")"
}

# Starts the program and waits for its window (its id in $window).
start_viewer() {
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" "$program" >"$work/viewer.log" 2>&1 &
    viewer_pid=$!
    window=""
    # Up to 30 s: a loaded machine (or a sanitizer build) starts it slowly.
    for _ in $(seq 300); do
        window=$(xdotool search --name '^Orna Art Pack Viewer$' 2>/dev/null | head -1)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    echo "FAIL: no window appeared"
    cat "$work/viewer.log"
    exit 1
}

# Reads the window's geometry into X, Y, WIDTH, HEIGHT once it stands at the
# expected place (the window is created off screen and moved to its place as
# it takes its shape, so the first look may come too early).
window_geometry() {
    for _ in $(seq 50); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        [ "$X" = "$1" ] && [ "$Y" = "$2" ] && return 0
        sleep 0.1
    done
}

# Presses Escape and checks that the program ends with code 0.
quit_viewer() {
    xdotool key Escape
    for _ in $(seq 50); do
        kill -0 "$viewer_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$viewer_pid" 2>/dev/null; then
        fail "the program still runs 5 s after Escape"
        return
    fi
    wait "$viewer_pid"
    local code=$?
    viewer_pid=""
    [ "$code" = 0 ] || fail "the program exited with code $code after Escape"
}

start_screen 1024x768
screen_w=1024
screen_h=768
import -window root "$work/desktop.png"

start_viewer

# --- Position ---------------------------------------------------------------
wx=$(((screen_w - 720) / 2))
wy=$(((screen_h - 700) / 2))
window_geometry "$wx" "$wy"
[ "$X" = "$wx" ] && [ "$Y" = "$wy" ] || fail "window at $X,$Y, expected centred at $wx,$wy"
[ "$WIDTH" = 720 ] && [ "$HEIGHT" = 700 ] || fail "window is ${WIDTH}x$HEIGHT, expected 720x700"

# Differing pixels between a screen area (WxH+X+Y relative to the window)
# and the same-sized area of a reference image at +RX+RY.
differing() {  # shot size+x+y reference +rx+ry
    local shot=$1 size=$2 at=$3 ref=$4 ref_at=$5
    local x=${at%%+*} y=${at#*+}
    convert "$shot" -crop "$size+$((wx + x))+$((wy + y))" +repage "$work/a.png"
    convert "$ref" -crop "$size+$ref_at" +repage "$work/b.png"
    compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1
}

# Waits until the pane shows the 640x500 area of a picture starting at row
# `row`; the screenshot taken last is left in $work/shot.png.
pane_shows() {  # picture row
    for _ in $(seq 150); do
        import -window root "$work/shot.png"
        [ "$(differing "$work/shot.png" 640x500 40+40 "$1" "0+$2")" = 0 ] && return 0
        sleep 0.05
    done
    return 1
}

# --- Picture 0 after its automatic scroll of 190 rows ------------------------
pane_shows "$assets/picture_1200.bmp" 190 ||
    fail "the pane does not show picture 0 scrolled up by 190 rows ($(differing "$work/shot.png" 640x500 40+40 "$assets/picture_1200.bmp" 0+190) pixels differ)"
cp "$work/shot.png" "$work/first.png"

# --- The skin around the pane --------------------------------------------------
for area in "720x40 0+0 0+0" "40x500 0+40 0+40" "40x500 680+40 680+40" "720x40 0+540 0+540"; do
    set -- $area
    n=$(differing "$work/first.png" "$1" "$2" "$assets/skin.bmp" "$3")
    [ "$n" = 0 ] || fail "skin area $1 at $2: $n pixels differ from skin.bmp"
done

# --- The shape: outside the region the desktop shows, inside it the skin ------
# Below row 580 only the emblem between x 231 and 467 belongs to the window,
# and nothing of the bottom 34 rows does.
for area in "720x34 0+666" "231x120 0+580" "253x120 467+580"; do
    set -- $area
    n=$(differing "$work/first.png" "$1" "$2" "$work/desktop.png" "$((wx + ${2%%+*}))+$((wy + ${2#*+}))")
    [ "$n" = 0 ] || fail "area $1 at $2 outside the region: $n pixels do not show the desktop"
done
# Every emblem rectangle's middle pixel (rectangles after the first, from the
# region resource) shows the skin.
count=$(od -An -t u4 -j 8 -N 4 "$assets/shape.bin" | tr -d ' ')
read -r -a r <<<"$(od -An -v -t d4 -j 48 -N $(((count - 1) * 16)) "$assets/shape.bin" | tr -s ' \n' '  ')"
at_shot=""
at_skin=""
for ((i = 0; i + 3 < ${#r[@]}; i += 4)); do
    ex=$(((r[i] + r[i + 2]) / 2))
    ey=$(((r[i + 1] + r[i + 3]) / 2))
    at_shot+="%[pixel:p{$((wx + ex)),$((wy + ey))}] "
    at_skin+="%[pixel:p{$ex,$ey}] "
done
emblem_seen=$(convert "$work/first.png" -format "$at_shot" info:)
emblem_skin=$(convert "$assets/skin.bmp" -format "$at_skin" info:)
[ -n "$emblem_seen" ] && [ "$emblem_seen" = "$emblem_skin" ] ||
    fail "the emblem's rectangles do not all show the skin"

# --- Right shows picture 1 from its top -----------------------------------------
xdotool key Right
pane_shows "$assets/picture_1201.bmp" 0 ||
    fail "after Right the pane does not show picture 1 ($(differing "$work/shot.png" 640x500 40+40 "$assets/picture_1201.bmp" 0+0) pixels differ)"
cp "$work/shot.png" "$work/right.png"

# --- M pauses the music and M again resumes it ------------------------------------
# The sound device writes what it plays to audio.raw (48000 Hz, 16-bit stereo).
# What was queued before a press (at most 16 blocks of 4096 bytes, plus the
# device's own buffer) still plays; after that a pause is exact silence.
audio="$work/audio.raw"
queued=131072
audio_size() { stat -c %s "$audio" 2>/dev/null || echo 0; }
audio_grows_to() {  # bytes
    for _ in $(seq 200); do
        [ "$(audio_size)" -ge "$1" ] && return 0
        sleep 0.05
    done
    return 1
}
sounding_bytes() {  # from to: the bytes of audio.raw in [from, to) that are not zero
    tail -c +$(($1 + 1)) "$audio" | head -c $(($2 - $1)) | tr -d '\0' | wc -c
}
before_pause=$(audio_size)
[ "$before_pause" -gt 192000 ] && [ "$(sounding_bytes $((before_pause - 192000)) "$before_pause")" -gt 0 ] ||
    fail "no music in the second before M (audio.raw has $before_pause bytes)"
xdotool key m
audio_grows_to $((before_pause + queued + 192000)) || fail "the sound device stopped after M"
before_resume=$(audio_size)
n=$(sounding_bytes $((before_pause + queued)) "$before_resume")
[ "$n" = 0 ] || fail "after M the music goes on ($n sounding bytes)"
xdotool key m
audio_grows_to $((before_resume + queued + 192000)) || fail "the sound device stopped after the second M"
n=$(sounding_bytes $((before_resume + queued)) "$(audio_size)")
[ "$n" -gt 0 ] || fail "after the second M the music stays silent"

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp "$work/desktop.png" "$work/first.png" "$work/right.png" "$keep/"
fi

# --- Escape fades out and ends the program with code 0 ---------------------------
quit_viewer
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null
xvfb_pid=""

# --- On a screen smaller than the window, the position is still centred -----------
start_screen 640x480
start_viewer
window_geometry -40 -110
[ "$X" = -40 ] && [ "$Y" = -110 ] || fail "on a 640x480 screen the window is at $X,$Y, expected -40,-110"
quit_viewer

if [ "$failures" != 0 ]; then
    echo "--- program output"
    cat "$work/viewer.log"
    exit 1
fi
echo "PASS: centred at $wx,$wy, shaped, skin and picture 0 at (40, 40), picture 1 after Right, M pauses and resumes, exit 0 after Escape; at -40,-110 on 640x480"

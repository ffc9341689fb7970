# Helpers for the end-to-end tests: a virtual X server with a window
# manager, the real game in a scratch working directory, and input through
# xdotool. Sourced by tests/e2e/*_test.sh.
#
#   <test>_test.sh QVOX_BINARY SOURCE_DIR ARTIFACT_DIR

set -euo pipefail

QVOX_BIN=$1
SOURCE_DIR=$2
ARTIFACTS=$3
TEST_NAME=$(basename "$0" _test.sh)

# Each test runs on its own X server: re-enter under xvfb-run.
if [ -z "${QVOX_E2E_DISPLAY_READY:-}" ]; then
    exec env QVOX_E2E_DISPLAY_READY=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

mkdir -p "$ARTIFACTS"
WORK=$(mktemp -d /tmp/qvox-e2e-XXXXXX)
ln -s "$SOURCE_DIR/assets" "$WORK/assets"
GAME_PID=""
WM_PID=""
WID=""

fail() {
    echo "FAIL [$TEST_NAME]: $*" >&2
    shot "failure" || true
    exit 1
}

cleanup() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then kill "$GAME_PID" 2>/dev/null || true; fi
    if [ -n "$WM_PID" ] && kill -0 "$WM_PID" 2>/dev/null; then kill "$WM_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

openbox >/dev/null 2>&1 &
WM_PID=$!

# wait_for_window STDERR_FILE: sets WID once the game's window shows its first frame.
wait_for_window() {
    local i
    for i in $(seq 1 100); do
        WID=$(xdotool search --name "^qvox 0.0.17-beta$" 2>/dev/null | head -n 1 || true)
        [ -n "$WID" ] && break
        sleep 0.1
    done
    [ -n "$WID" ] || fail "the game window did not appear: $(cat "$1" 2>/dev/null)"
    wait_until_drawn first_frame
    sleep 1.0
}

# wait_until_drawn NAME: takes screenshot NAME until the window shows more than
# black, for at most about fifteen seconds. On a busy machine the first frame
# can take seconds, and a click before it goes unseen although the screen
# changes afterwards. The whole screen grab has once stayed black for a minute
# in a CI run, cause unknown, so the wait only warns: the clicks that follow tell.
wait_until_drawn() {
    local i
    for i in $(seq 1 20); do
        shot "$1"
        [ "$(convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region 0 0 1200 800)" -colorspace Gray \
            -format "%[fx:mean>0.02]" info:)" = 1 ] && return 0
        sleep 0.5
    done
    echo "warning [$TEST_NAME]: the window still looks black ($1)" >&2
}

# Starts the game in the scratch directory and waits for its window.
start_game() {
    (cd "$WORK" && exec "$QVOX_BIN" >"$WORK/stdout.log" 2>"$WORK/stderr.log") &
    GAME_PID=$!
    wait_for_window "$WORK/stderr.log"
}

# click X Y: left button held for a tenth of a second at window coordinates.
click() {
    xdotool mousemove --window "$WID" "$1" "$2"
    sleep 0.1
    xdotool mousedown 1
    sleep 0.1
    xdotool mouseup 1
    sleep 0.3
}

# drag X1 X2 Y: press at X1, move to X2 while holding, release.
drag() {
    xdotool mousemove --window "$WID" "$1" "$3"
    sleep 0.1
    xdotool mousedown 1
    sleep 0.1
    xdotool mousemove --window "$WID" "$2" "$3"
    sleep 0.3
    xdotool mouseup 1
    sleep 0.3
}

# key NAME: held for a tenth of a second.
key() {
    xdotool keydown --window "$WID" "$1"
    sleep 0.1
    xdotool keyup --window "$WID" "$1"
    sleep 0.3
}

type_text() {
    local i
    for ((i = 0; i < ${#1}; i++)); do
        local c=${1:i:1}
        [ "$c" = " " ] && c=space
        key "$c"
    done
}

# shot NAME: screenshot of the whole screen into the artefacts.
shot() {
    import -window root "$ARTIFACTS/${TEST_NAME}_$1.png"
}

# Mean brightness (0..1) of a region of the last screenshot NAME.
region_mean() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$2" -colorspace Gray -format "%[fx:mean]" info:
}

# click_until_changed X Y NAME [CLICK_FUNCTION]: clicks until the window looks
# different, since a click in the first slow frames after start-up can go unseen.
click_until_changed() {
    local try before click_fn=${4:-click}
    for try in 1 2 3; do
        wait_until_drawn "$3_before"
        before=$(region_sum "$3_before" 0 0 1200 800)
        "$click_fn" "$1" "$2"
        sleep 1
        shot "$3"
        [ "$(region_sum "$3" 0 0 1200 800)" != "$before" ] && return 0
    done
    fail "the click at $1,$2 ($3) changed nothing"
}

# Fraction of the window's pixels in screenshot NAME that have the sky colour.
sky_share() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region 0 0 1200 800)" \
        -fill black +opaque "rgb(102,191,255)" -fill white -opaque "rgb(102,191,255)" \
        -colorspace Gray -format "%[fx:mean]" info:
}

# Colour "srgb(r,g,b)" of one pixel, in window coordinates, of screenshot NAME.
window_pixel() {
    local x y
    x=$(xwininfo -id "$WID" | awk '/Absolute upper-left X/ {print $4}')
    y=$(xwininfo -id "$WID" | awk '/Absolute upper-left Y/ {print $4}')
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -format "%[pixel:p{$((x + $2)),$((y + $3))}]" info:
}

# Fails unless screenshot NAME is a game frame that shows terrain: the hotbar
# (the grey left edge of its ninth slot) and a world area that is not one flat
# colour. A fresh world's clock seed may open a cave under the spawn, so the
# sky is not required.
expect_game_frame() {
    [ "$(window_pixel "$1" 815 745)" = "srgb(100,100,100)" ] || fail "$1 shows no hotbar"
    local spread
    spread=$(convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region 0 0 1200 700)" -colorspace Gray \
        -format "%[fx:standard_deviation]" info:)
    expect_at_least "$spread" 0.02 "$1: the world area is one flat colour"
}

# wait_for_exit WHAT: after WHAT, the game must end within ten seconds, with status 0.
wait_for_exit() {
    local i
    for i in $(seq 1 100); do
        kill -0 "$GAME_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$GAME_PID" 2>/dev/null; then fail "$1 did not end the game"; fi
    wait "$GAME_PID" || fail "the game ended with status $?"
    GAME_PID=""
}

close_window() {
    wmctrl -c "qvox 0.0.17-beta"
    wait_for_exit "closing the window"
}

expect_line() {
    grep -qxF -- "$2" "$1" || fail "$1 lacks the line '$2': $(cat "$1" 2>/dev/null)"
}

# Crop geometry "WxH+X+Y" of a region given in window coordinates.
window_region() {
    local x y
    x=$(xwininfo -id "$WID" | awk '/Absolute upper-left X/ {print $4}')
    y=$(xwininfo -id "$WID" | awk '/Absolute upper-left Y/ {print $4}')
    echo "${3}x${4}+$((x + $1))+$((y + $2))"
}

# Brightest pixel (0..1) of a window region in screenshot NAME.
region_max() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region "$2" "$3" "$4" "$5")" \
        -colorspace Gray -format "%[fx:maxima]" info:
}

# Checksum of a window region in screenshot NAME, to tell screens apart.
region_sum() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region "$2" "$3" "$4" "$5")" \
        -format "%#" info:
}

# Fails unless the value printed by a command is at least a threshold.
expect_at_least() {
    awk -v v="$1" -v t="$2" 'BEGIN { exit !(v >= t) }' || fail "$3: $1 < $2"
}

wait_for_file() {
    local i
    for i in $(seq 1 50); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    fail "$1 did not appear"
}

# A software-rendered game on a busy machine may draw only a few frames a
# second, so the helpers below hold keys and buttons for several frames.

# hold NAME: a key held long enough to be seen in a slow frame.
hold() {
    xdotool keydown --window "$WID" "$1"
    sleep 0.35
    xdotool keyup --window "$WID" "$1"
    sleep 0.3
}

# press X Y: the left button held at window coordinates.
press() {
    xdotool mousemove --window "$WID" "$1" "$2"
    sleep 0.2
    xdotool mousedown 1
    sleep 0.35
    xdotool mouseup 1
    sleep 0.4
}

# button N: a mouse button held where the pointer is (moving it would turn the view).
button() {
    xdotool mousedown "$1"
    sleep 0.4
    xdotool mouseup "$1"
    sleep 0.6
}

# say TEXT: T, the text, Enter. Typed characters queue up in the game, so they
# need no per-key hold; but a frame slowed down by a save can see T late, and
# characters typed before the line opens are lost: give it time.
say() {
    hold t
    sleep 0.5
    xdotool type --delay 40 -- "$1"
    sleep 0.3
    hold Return
    sleep 0.5
}

# look DX DY: mouse motion in small steps, so that every frame sees some of it.
look() {
    local steps=$(( (${1#-} > ${2#-} ? ${1#-} : ${2#-}) / 20 + 1 ))
    local i
    for i in $(seq 1 "$steps"); do
        xdotool mousemove_relative -- $(($1 / steps)) $(($2 / steps))
        sleep 0.1
    done
    sleep 0.3
}

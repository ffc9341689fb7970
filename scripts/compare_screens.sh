#!/usr/bin/env bash
# Shows that two builds of the game look and write the same: both are driven
# through every screen the same way under Xvfb, in scratch folders with the
# same assets (one background and one splash line, so nothing is random) and
# the same prepared world; then every screenshot is compared pixel by pixel
# and every file they wrote byte by byte (world.txt without its save time).
# For refactorings that must not change what a player sees.
#
#   scripts/compare_screens.sh OLD_QVOX NEW_QVOX [OUT_DIR]
set -euo pipefail

old_bin=$(realpath "$1")
new_bin=$(realpath "$2")
out=$(realpath -m "${3:-/tmp/qvox-compare}")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ -z "${QVOX_COMPARE_DISPLAY:-}" ]; then
    exec env QVOX_COMPARE_DISPLAY=1 LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
        bash "$0" "$old_bin" "$new_bin" "$out"
fi

rm -rf "$out"
mkdir -p "$out"
# A window mapped while openbox is still starting up can stay unmapped for
# good; openbox runs its --startup command once it is ready for windows.
ready=$(mktemp -u /tmp/qvox-compare-wm-XXXXXX)
openbox --startup "touch $ready" >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 200); do [ -e "$ready" ] && break; sleep 0.05; done
[ -e "$ready" ] || { echo "openbox did not start" >&2; exit 1; }
rm -f "$ready"
trap 'kill $wm 2>/dev/null || true' EXIT

# A scratch game folder: the assets with one background and one splash line,
# the installed fonts, and world "cmp" of seed 1 with the player standing still
# on open ground (a fall would end at a height that depends on the frame times).
prepare() {
    local dir=$1
    mkdir -p "$dir/assets" "$dir/worlds/cmp"
    cp -r "$root/assets/textures" "$root/assets/text" "$dir/assets/"
    cp -rL "$root/assets/fonts" "$dir/assets/"
    mkdir -p "$dir/assets/mainmenubackground" "$dir/assets/splashtexts"
    cp "$root/assets/mainmenubackground/night.png" "$dir/assets/mainmenubackground/"
    echo "Same picture!" >"$dir/assets/splashtexts/splashs.txt"
    printf '%s\n' "name=cmp" "seed=1" "last_saved=2025-01-01 00:00:00" "chunk_count=0" \
        "player_x=8.500000" "player_y=92.950607" "player_z=8.500000" >"$dir/worlds/cmp/world.txt"
}

# run NAME BINARY: one session through every screen; screenshots land in $out/NAME.
run() {
    local name=$1 bin=$2 dir="$out/$1-game" shots="$out/$1"
    mkdir -p "$shots"
    prepare "$dir"
    (cd "$dir" && exec "$bin" >"$dir/stdout.log" 2>"$dir/stderr.log") &
    local pid=$! wid=""
    for _ in $(seq 1 200); do
        wid=$(xdotool search --name "^qvox 0.0.17-beta$" 2>/dev/null | head -n 1 || true)
        [ -n "$wid" ] && break
        sleep 0.05
    done
    [ -n "$wid" ] || { echo "$name: no window"; return 1; }
    xdotool windowmove --sync "$wid" 0 0
    # The pointer rests where no button is, so nothing is drawn hovered.
    park() { xdotool mousemove --window "$wid" 5 5; }
    settle() { sleep 1.5; }
    shot() { settle; import -window "$wid" "$shots/$1.png"; }
    # Keys and buttons are held for a few frames so that a slow frame sees them.
    key() {
        xdotool keydown --window "$wid" "$1"
        sleep 0.2
        xdotool keyup --window "$wid" "$1"
    }
    click() {
        xdotool mousemove --window "$wid" "$1" "$2" mousedown 1
        sleep 0.2
        xdotool mouseup 1
        park
    }
    # Waits until the worker has lit and listed the chunks around the player:
    # its log stays still for two seconds.
    wait_quiet() {
        local size=-1 still=0
        for _ in $(seq 1 600); do
            local now
            now=$(stat -c %s "$dir/stderr.log")
            if [ "$now" = "$size" ]; then still=$((still + 1)); else still=0; size=$now; fi
            [ "$still" -ge 20 ] && return 0
            sleep 0.1
        done
    }
    wait_log() {
        for _ in $(seq 1 300); do grep -qF "$1" "$dir/stdout.log" && return 0; sleep 0.1; done
        echo "$name: no '$1' in the log"
        return 1
    }
    park
    shot main_menu
    click 600 590 && shot settings && key Escape
    click 600 510 && shot credits && key Escape
    click 600 430 && shot world_list
    click 375 655 && shot create_world && key Escape
    click 600 430 && settle
    # The world's row, without parking the pointer: in the game it turns the view.
    xdotool mousemove --window "$wid" 600 145 mousedown 1
    sleep 0.2
    xdotool mouseup 1
    wait_log "[world] Loaded world cmp"
    wait_quiet
    shot in_game
    for page in F3 F4 F5 F2; do key "$page" && shot "hud_$page"; done
    key i && shot inventory && key Escape
    key p && shot pause_menu
    click 600 490 && shot pause_settings
    click 600 380 && shot pause_again
    click 600 570
    wait_log "[world] Saved world cmp"
    shot main_after_game
    wmctrl -c "qvox 0.0.17-beta"
    wait "$pid" || echo "$name: the game ended with status $?"
}

run old "$old_bin"
run new "$new_bin"

# The HUD lines that show this frame's measurements (frame rate, frame time,
# memory) differ between any two runs, and so does the blinking caret of the
# name field; they are blacked out in both pictures.
measured_rows() {
    case $1 in
    hud_F3.png) echo "rectangle 0,50 600,125 rectangle 0,170 600,205" ;;
    hud_F4.png) echo "rectangle 0,50 600,85" ;;
    create_world.png) echo "rectangle 405,355 415,395" ;;
    hud_F5.png | credits.png | main_*.png | settings.png | world_list.png) echo "" ;;
    *) echo "rectangle 0,250 600,285" ;;  # the help page under the game's other screens
    esac
}

status=0
for image in "$out"/old/*.png; do
    shot=$(basename "$image")
    rows=$(measured_rows "$shot")
    for side in old new; do
        if [ -n "$rows" ]; then
            convert "$out/$side/$shot" -fill black -draw "$rows" "$out/$side-masked-$shot"
        else
            cp "$out/$side/$shot" "$out/$side-masked-$shot"
        fi
    done
    differing=$(compare -metric AE "$out/old-masked-$shot" "$out/new-masked-$shot" null: 2>&1 || true)
    echo "$shot: $differing pixels differ"
    [ "$differing" = 0 ] || status=1
done
for file in options.txt $(cd "$out/old-game" && find worlds -type f | sort); do
    if [ "$(basename "$file")" = world.txt ]; then
        same=$(diff <(grep -v '^last_saved=' "$out/old-game/$file") <(grep -v '^last_saved=' "$out/new-game/$file") \
            >/dev/null && echo same || echo DIFFERENT)
    else
        same=$(cmp -s "$out/old-game/$file" "$out/new-game/$file" && echo same || echo DIFFERENT)
    fi
    echo "$file: $same"
    [ "$same" = same ] || status=1
done
[ "$(cd "$out/old-game" && find worlds -type f | sort)" = "$(cd "$out/new-game" && find worlds -type f | sort)" ] ||
    { echo "the two games wrote different sets of files"; status=1; }
exit "$status"

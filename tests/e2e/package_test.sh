# The Debian package: built from this build tree, checked (desktop entry,
# AppStream metadata, icons, lintian), installed with dpkg, started as qvox
# from / by a player with a scratch home, a world created through the menu,
# the window closed; the world and options.txt must be in the player's data
# folder and nothing in /. A player whose data folder cannot be made is told
# so. The package is removed again however the test ends.
#
# Needs root for dpkg; skipped (77) without it, and when a qvox package is
# already installed, which is not this test's to remove.
if [ "$(id -u)" != 0 ]; then echo "SKIP [package]: dpkg needs root"; exit 77; fi
if dpkg-query -W -f='${db:Status-Status}' qvox 2>/dev/null | grep -qx installed; then
    echo "SKIP [package]: a qvox package is already installed"
    exit 77
fi
source "$(dirname "$0")/lib.sh"

BUILD=$(dirname "$QVOX_BIN")
DATA="$WORK/home/.local/share/qvox"
INSTALLED=""
rm "$WORK/assets"

# dpkg does not wait for a lock that another apt or dpkg run holds: retry.
dpkg_retry() {
    local i out
    for i in $(seq 1 60); do
        out=$(dpkg "$@" 2>&1) && return 0
        grep -q "lock" <<<"$out" || { echo "$out"; return 1; }
        sleep 1
    done
    echo "$out"
    return 1
}

remove_and_clean() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then kill "$GAME_PID" 2>/dev/null || true; fi
    GAME_PID=""
    if [ -n "$INSTALLED" ]; then dpkg_retry -r qvox >"$WORK/dpkg-remove.log" 2>&1 || cat "$WORK/dpkg-remove.log" >&2; fi
    cleanup
}
trap remove_and_clean EXIT

# --- the package and its metadata ---------------------------------------------
cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$WORK/cpack.log")"
deb=$(ls "$WORK"/pkg/qvox_*.deb)
dpkg-deb -x "$deb" "$WORK/root" || fail "dpkg-deb cannot unpack $deb"
desktop-file-validate "$WORK/root/usr/share/applications/qvox.desktop" || fail "desktop-file-validate"
appstreamcli validate-tree --no-net "$WORK/root" || fail "appstreamcli validate-tree"
for size in 32 64 128 256; do
    icon="$WORK/root/usr/share/icons/hicolor/${size}x${size}/apps/qvox.png"
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ] || fail "no ${size}x${size} icon"
done
# Kept infos: hardening flags, .comment sections and the game's text files
# outside /usr/share/doc; warnings and errors fail.
lintian --fail-on error,warning "$deb" >"$ARTIFACTS/package_lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$ARTIFACTS/package_lintian.txt")"

# Every path of the package, and which of them exist before it is installed.
dpkg-deb -c "$deb" | awk '{ sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }' >"$WORK/paths"
present() {
    local p
    while read -r p; do
        if [ -e "$p" ] || [ -L "$p" ]; then echo "$p"; fi
    done <"$WORK/paths"
}
before_paths=$(present)
before_root=$(ls -A /)

dpkg_retry -i "$deb" >"$WORK/dpkg-install.log" 2>&1 || fail "dpkg -i: $(cat "$WORK/dpkg-install.log")"
INSTALLED=yes

# --- a player on a desktop --------------------------------------------------------
mkdir -p "$WORK/home"
# launch_installed [ENV...]: qvox from the PATH in /, with a clean environment.
launch_installed() {
    (cd / && exec env -i DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" LIBGL_ALWAYS_SOFTWARE=1 \
        PATH=/usr/local/bin:/usr/bin:/bin:/usr/games HOME="$WORK/home" "$@" qvox \
        >"$WORK/stdout.log" 2>"$WORK/stderr.log") &
    GAME_PID=$!
}

started=$(date +%s.%N)
launch_installed
wait_for_window "$WORK/stderr.log"
awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "[package] first menu frame after at most %.1f s\n", b - a - 1.0 }'
click_until_changed 600 430 world_list      # Select World
click_until_changed 375 655 create_world    # Create
type_text "pkg"
key Return
for i in $(seq 1 40); do
    shot in_world
    [ "$(window_pixel in_world 815 745)" = "srgb(100,100,100)" ] && break
    sleep 0.5
done
expect_game_frame in_world
close_window

[ -f "$DATA/worlds/pkg/world.txt" ] || fail "no world in $DATA: $(ls -R "$WORK/home" | head -20)"
[ -n "$(ls "$DATA/worlds/pkg/chunks" 2>/dev/null)" ] || fail "the world has no chunk files"
grep -q '^render_distance=' "$DATA/options.txt" || fail "no options.txt in $DATA"
[ "$(stat -c %a "$DATA")" = 700 ] || fail "$DATA has mode $(stat -c %a "$DATA"), not 700"
[ "$(readlink "$DATA/assets")" = /usr/share/games/qvox/assets ] || fail "$DATA/assets is $(readlink "$DATA/assets")"
[ "$(ls -A /)" = "$before_root" ] || fail "the game wrote into /: $(diff <(echo "$before_root") <(ls -A /))"

# --- a player whose data folder cannot be made -------------------------------------
: >"$WORK/not_a_folder"
launch_installed XDG_DATA_HOME="$WORK/not_a_folder/data"
wait_for_window "$WORK/stderr.log"
grep -q "^\[data\] Failed to create the data folder $WORK/not_a_folder: " "$WORK/stderr.log" ||
    fail "no data folder failure on standard error: $(cat "$WORK/stderr.log")"
expect_at_least "$(region_max first_frame 40 40 300 40)" 0.9 "the window does not say that the game cannot start"
wmctrl -c "qvox 0.0.17-beta"
for i in $(seq 1 100); do kill -0 "$GAME_PID" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$GAME_PID" || status=$?
GAME_PID=""
[ "$status" = 1 ] || fail "the game without a data folder ended with status $status, not 1"
[ "$(ls -A /)" = "$before_root" ] || fail "the game without a data folder wrote into /"

# --- and gone again ----------------------------------------------------------------
INSTALLED=""
dpkg_retry -r qvox >"$WORK/dpkg-remove.log" 2>&1 || fail "dpkg -r: $(cat "$WORK/dpkg-remove.log")"
[ "$(dpkg-query -W -f='${db:Status-Status}' qvox 2>/dev/null)" != installed ] || fail "qvox is still installed"
[ "$(present)" = "$before_paths" ] ||
    fail "dpkg -r left files behind: $(diff <(echo "$before_paths") <(present) | head -20)"
echo "PASS [$TEST_NAME]"

# A player in a directory they cannot write to: the game directory, ./worlds
# (with a world saved there by a first run), options.txt and chathistory all belong
# to root and have no write bits. The game starts, the saved world is entered
# from the list and played, /save reports its failure in the console, the
# settings and history failures are reported on standard error, closing the
# window ends the game with status 0, and nothing in the directory changes.
#
# Root ignores permission bits, so as root the game runs as the unprivileged
# user nobody; where that user cannot be taken on, a read-only bind mount of
# the game directory stands in for the missing permissions.
source "$(dirname "$0")/lib.sh"

GAME="$WORK/game"
WORLD_NAME="ro"
chmod 755 "$WORK"
mkdir -p "$GAME" "$WORK/bin" "$WORK/home"
rm "$WORK/assets"
cp -r "$SOURCE_DIR/assets" "$GAME/assets"

# The binary and its graphics library are copied where any user may read them:
# the build tree's parent directories need not be open to others.
cp "$QVOX_BIN" "$WORK/bin/qvox"
raylib=$(ldd "$QVOX_BIN" | awk '/libraylib/ {print $3}')
if [ -n "$raylib" ] && [ -f "$raylib" ]; then cp -L "$raylib" "$WORK/bin/"; fi
chmod -R a+rX "$WORK/bin" "$GAME"

# The display's cookie file of xvfb-run is readable by root alone.
if [ -n "${XAUTHORITY:-}" ]; then
    cp "$XAUTHORITY" "$WORK/xauthority"
    chmod 644 "$WORK/xauthority"
    export XAUTHORITY="$WORK/xauthority"
fi

RUN_AS=()
READ_ONLY_MOUNT=""
if [ "$(id -u)" = 0 ]; then
    nobody_id=$(id -u nobody)
    nobody_gid=$(id -g nobody)
    if setpriv --reuid="$nobody_id" --regid="$nobody_gid" --clear-groups --inh-caps=-all true 2>/dev/null; then
        RUN_AS=(setpriv --reuid="$nobody_id" --regid="$nobody_gid" --clear-groups --inh-caps=-all)
        chown "$nobody_id:$nobody_gid" "$WORK/home"
    else
        READ_ONLY_MOUNT=yes
    fi
fi

# launch NAME [RUN_AS...]: the copied game in $GAME, logs outside it.
launch() {
    local name=$1
    shift
    (cd "$GAME" && exec "$@" env HOME="$WORK/home" LD_LIBRARY_PATH="$WORK/bin" "$WORK/bin/qvox" \
        >"$WORK/$name.stdout" 2>"$WORK/$name.stderr") &
    GAME_PID=$!
    wait_for_window "$WORK/$name.stderr"
    sleep 1
}

# Everything a write could change: names, sizes, modes, owners, times, contents.
tree_state() {
    (cd "$GAME" && find . -printf '%p %y %s %m %u %T@\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 md5sum)
}

# The scratch directory goes however the test ends, read-only or not.
restore_and_clean() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        kill "$GAME_PID" 2>/dev/null || true
        wait "$GAME_PID" 2>/dev/null || true
    fi
    GAME_PID=""
    if [ -n "$READ_ONLY_MOUNT" ]; then umount "$GAME" 2>/dev/null || true; fi
    chmod -R u+w "$GAME" 2>/dev/null || true
    cleanup
}
trap restore_and_clean EXIT

# First run, as a player with a writable directory: a prepared world of
# seed 1 (open ground around the origin, no cave under the spawn) is entered
# and saved with its chunks.
mkdir -p "$GAME/worlds/$WORLD_NAME"
printf '%s\n' "name=$WORLD_NAME" "seed=1" "last_saved=2025-01-01 00:00:00" "chunk_count=0" \
    "player_x=8.500000" "player_y=105.000000" "player_z=8.500000" >"$GAME/worlds/$WORLD_NAME/world.txt"
launch first
click_until_changed 600 430 first_world_list press   # Select World
click_until_changed 600 145 first_world press        # the world's row
sleep 3
close_window
[ -n "$(ls "$GAME/worlds/$WORLD_NAME/chunks" 2>/dev/null)" ] || fail "the first run did not save the world's chunks"
[ -f "$GAME/options.txt" ] || fail "the first run wrote no options.txt"

# The history holds a line to recall; then nothing is writable any more.
printf '%s\n' "/save recalled_copy" >"$GAME/chathistory"
if [ "$(id -u)" = 0 ]; then chown -R root:root "$GAME"; fi
chmod -R a-w "$GAME"
if [ -n "$READ_ONLY_MOUNT" ]; then
    mount --bind "$GAME" "$GAME" || fail "neither another user nor a read-only mount is available"
    mount -o remount,bind,ro "$GAME" || { umount "$GAME"; fail "the game directory cannot be mounted read-only"; }
fi
before=$(tree_state)

launch second "${RUN_AS[@]}"
shot main_menu
click_until_changed 600 430 world_list press          # Select World lists the saved world
click_until_changed 600 145 in_world press            # its row opens it
sleep 2
shot in_world
expect_at_least "$(sky_share in_world)" 0.001 "no sky colour in the game frame"

# Break a block a few steps ahead: a modified chunk that cannot be saved later.
look 0 900
look 0 -210
xdotool mousedown 1
sleep 0.4
xdotool mouseup 1
sleep 0.5
look 0 -500

# The message list sits at the lower left, above the hotbar.
shot before_save
say "/save typed_copy"
sleep 0.3
shot save_failed
[ "$(region_sum before_save 0 440 700 200)" != "$(region_sum save_failed 0 440 700 200)" ] ||
    fail "/save posted no message"
# Up recalls the newest line of the read-only history.
hold t
hold Up
hold Return
sleep 0.3
shot recalled_save_failed

close_window

err="$WORK/second.stderr"
cp "$err" "$ARTIFACTS/${TEST_NAME}_stderr.log"
grep -qxF "Failed to save options.txt" "$err" || fail "no options.txt failure on standard error: $(cat "$err")"
[ "$(grep -cxF "Failed to save options.txt" "$err")" -ge 2 ] ||
    fail "options.txt failure not reported both at start and at shutdown"
grep -q '^\[chat\] Failed to open ./chathistory for appending' "$err" || fail "no chathistory failure reported"
grep -q '^\[world\] .*typed_copy' "$err" || fail "the typed /save reported no world failure"
grep -q '^\[world\] .*recalled_copy' "$err" || fail "the recalled history line did not run /save"
grep -q "Failed to save world $WORLD_NAME" "$err" || fail "the failed save at shutdown was not reported"
[ "$(tree_state)" = "$before" ] || fail "the read-only directory changed: $(diff <(echo "$before") <(tree_state) | head -20)"
echo "PASS [$TEST_NAME]"

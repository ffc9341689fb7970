# A game that dies without warning keeps what its autosave wrote: edits typed
# at the console, then edits made with the mouse, each followed by SIGKILL once
# the autosave after the last edit is logged. Then SIGTERM, which must end the
# game like closing its window: world saved, exit status 0.
source "$(dirname "$0")/lib.sh"

LOG="$WORK/stdout.log"

# wait_for_log TEXT SECONDS [SKIP]: waits for a line starting with TEXT among
# the log's lines after the first SKIP.
wait_for_log() {
    local i
    for i in $(seq 1 $(($2 * 10))); do
        tail -n +$((${3:-0} + 1)) "$LOG" | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    fail "no line '$1' within $2 s: $(tail -n 5 "$LOG")"
}

# enter_new_world NAME: from the main menu through the world list into a new world.
enter_new_world() {
    start_game
    click_until_changed 600 430 world_list press
    click_until_changed 375 655 create_world press
    type_text "$1"
    hold Return
    wait_for_log "[world] Loaded world $1" 60
}

# edits_then_autosave WORLD COUNT: waits for COUNT edits, then for the autosave
# that follows the last of them.
edits_then_autosave() {
    local i
    for i in $(seq 1 200); do
        [ "$(grep -c '^\[edit\] Set block' "$LOG")" -ge "$2" ] && break
        sleep 0.1
    done
    [ "$(grep -c '^\[edit\] Set block' "$LOG")" -ge "$2" ] || fail "fewer than $2 edits: $(grep '^\[edit\]' "$LOG")"
    wait_for_log "[world] Autosaved world $1" 12 "$(grep -n '^\[edit\] Set block' "$LOG" | tail -n 1 | cut -d: -f1)"
}

kill_game() {
    kill -KILL "$GAME_PID"
    wait "$GAME_PID" 2>/dev/null || true
    GAME_PID=""
}

# Every block the log says was set must be in the world's chunk files, the
# last value of each cell winning; world.txt must be whole.
expect_edits_on_disk() {
    local world=$1 x y z value chunk offset found
    while read -r x y z value; do
        chunk="$WORK/worlds/$world/chunks/chunk_$((x >> 5))_$((y >> 6))_$((z >> 5)).chunk"
        offset=$(( (((y & 63) * 32 + (z & 31)) * 32 + (x & 31)) * 4 ))
        found=$(od -A n -t d4 -j "$offset" -N 4 "$chunk" 2>/dev/null | tr -d ' ')
        [ "$found" = "$value" ] || fail "block ($x,$y,$z) of $world is '$found' on disk, not $value"
    done < <(sed -n "s/^\[edit\] Set block (\(-*[0-9]*\),\(-*[0-9]*\),\(-*[0-9]*\)) to \([0-9]*\) in world $world$/\1 \2 \3 \4/p" \
        "$LOG" | awk '{ last[$1 " " $2 " " $3] = $4 } END { for (c in last) print c, last[c] }')
    local key
    for key in name seed last_saved chunk_count player_x player_y player_z; do
        grep -q "^$key=" "$WORK/worlds/$world/world.txt" || fail "world.txt of $world lacks $key: $(cat "$WORK/worlds/$world/world.txt")"
    done
}

# Round 1: console edits.
enter_new_world typed
say "/setblock 8 110 8 glowstone"
say "/setblock 40 100 -20 wood"
say "/setblock -5 90 3 sand"
edits_then_autosave typed 3
kill_game
expect_edits_on_disk typed

# Round 2: blocks broken and placed with the mouse, looking down.
enter_new_world mouse
say "/give stone 20"
look 0 500
for i in 1 2 3; do
    button 1
    button 3
done
edits_then_autosave mouse 2
kill_game
expect_edits_on_disk mouse

# Round 3: SIGTERM saves and ends the game with status 0.
enter_new_world term
say "/setblock 8 110 8 glowstone"
say "/tp 20.5 120 -7.25"
wait_for_log "[edit] Set block (8,110,8) to 7 in world term" 20
for i in $(seq 1 100); do
    grep -qxF "/tp 20.5 120 -7.25" "$WORK/chathistory" 2>/dev/null && break
    sleep 0.1
done
kill -TERM "$GAME_PID"
for i in $(seq 1 200); do
    kill -0 "$GAME_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$GAME_PID" 2>/dev/null && fail "SIGTERM did not end the game within 20 s"
wait "$GAME_PID" || fail "after SIGTERM the game ended with status $?"
GAME_PID=""
expect_line "$WORK/worlds/term/world.txt" "player_x=20.500000"
expect_edits_on_disk term
grep -qF "[main] Signal 15 received; saving and quitting" "$LOG" || fail "no signal line: $(tail -n 5 "$LOG")"
echo "PASS [$TEST_NAME]"

# Playing in a world: the player starts on the surface, walks, and breaks and
# places blocks with the mouse; the saved world shows all of it.
source "$(dirname "$0")/lib.sh"

WORLD="$WORK/worlds/play"

# position: "x y z" of the player in world.txt.
position() {
    awk -F= '/^player_x=/ {x = $2} /^player_y=/ {y = $2} /^player_z=/ {z = $2} END {print x, y, z}' "$WORLD/world.txt"
}

# A software-rendered game on a busy machine may draw only a few frames a
# second; keys and buttons are held long enough for several frames to see them.
hold_key() {
    xdotool keydown --window "$WID" "$1"
    sleep 0.4
    xdotool keyup --window "$WID" "$1"
    sleep 0.5
}

slow_click() {
    xdotool mousemove --window "$WID" "$1" "$2"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.4
    xdotool mouseup 1
    sleep 0.6
}

# leave: pause menu, Back to Menu (saves the world and ends the game).
leave() {
    hold_key Escape
    slow_click 600 570
    sleep 1
}

# enter: the first row of the world list opens the world.
enter() {
    slow_click 600 430
    slow_click 600 145
    sleep 3
}

# Fraction of the pixels of screenshot NAME in the outline colour.
outline_share() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -fuzz 6% -fill white -opaque "rgb(253,249,0)" \
        -fill black +opaque white -colorspace Gray -format "%[fx:mean]" info:
}

# A prepared world of seed 1, whose spawn lies on open ground: a fresh world's
# clock seed may open a cave under the spawn, and the walk below needs ground.
mkdir -p "$WORLD"
printf '%s\n' "name=play" "seed=1" "last_saved=2025-01-01 00:00:00" "chunk_count=0" \
    "player_x=8.500000" "player_y=105.000000" "player_z=8.500000" >"$WORLD/world.txt"
start_game
click_until_changed 600 430 world_list slow_click     # Select World
click_until_changed 600 145 in_world slow_click       # the world's row
sleep 4
shot spawn
leave
[ -f "$WORLD/world.txt" ] || fail "leaving the game did not write world.txt"
read -r x0 y0 z0 < <(position)
# The surface lies between 85 and 120; a player standing on it is 0.95 above.
awk -v y="$y0" 'BEGIN { f = y - 0.95 - int(y - 0.95); exit !(y >= 85.9 && y <= 121 && (f < 0.06 || f > 0.99)) }' ||
    fail "the player did not start standing on the surface: y = $y0"

# Walk: W for two seconds, with Space held so that steps of the terrain are hopped.
enter
xdotool keydown space keydown w
sleep 2
xdotool keyup w keyup space
sleep 1.5
leave
read -r x1 y1 z1 < <(position)
moved=$(awk -v a="$x0" -v b="$z0" -v c="$x1" -v d="$z1" 'BEGIN { print sqrt((c - a) ^ 2 + (d - b) ^ 2) }')
expect_at_least "$moved" 3 "horizontal distance walked in two seconds"
rm -rf "$WORK/before"
cp -r "$WORLD/chunks" "$WORK/before"

# Break the block a few steps ahead, turn, and place it back on the ground there.
enter
look 0 900             # straight down (the pitch stops just short of it)
look 0 -210            # up by about 1.05 rad: the ground about three blocks ahead
sleep 0.5
shot looking_down
share=$(outline_share looking_down)
expect_at_least "$share" 0.0001 "share of the screen in the outline colour"
button 1
look 120 0             # turn right by about 0.6 rad
button 3
look 0 -140            # up to just above the horizon: terrain, fog and clouds
shot horizon
leave

python3 - "$WORK/before" "$WORLD/chunks" <<'EOF' || fail "the saved chunks do not show one broken and one placed block"
import os, struct, sys
before, after = sys.argv[1], sys.argv[2]
changes = []
for name in sorted(os.listdir(before)):
    path = os.path.join(after, name)
    if not os.path.exists(path):
        continue
    old = open(os.path.join(before, name), "rb").read()
    new = open(path, "rb").read()
    for i in range(0, min(len(old), len(new)), 4):
        a, b = struct.unpack_from("<i", old, i)[0], struct.unpack_from("<i", new, i)[0]
        if a != b:
            changes.append((name, i // 4, a, b))
print("changed cells:", changes)
broken = [c for c in changes if c[2] != 0 and c[3] == 0]
placed = [c for c in changes if c[2] == 0 and c[3] != 0]
ok = len(changes) == 2 and len(broken) == 1 and len(placed) == 1 and broken[0][2] == placed[0][3]
sys.exit(0 if ok else 1)
EOF
close_window
echo "PASS [$TEST_NAME]"

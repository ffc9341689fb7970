# A game whose asset tree lacks its fonts, its menu backgrounds, its language
# texts and the sand texture: the menus come up in the library's font on a
# plain fill, the settings and credits screens open, a world is created, a
# world is played (a sand block placed and broken, a walk, /save), and closing
# the window ends the game with status 0 after saving.
source "$(dirname "$0")/lib.sh"

rm "$WORK/assets"
cp -r "$SOURCE_DIR/assets" "$WORK/assets"
rm -r "$WORK/assets/fonts" "$WORK/assets/mainmenubackground" "$WORK/assets/text"
rm "$WORK/assets/textures/blocks/sand.png"
# A saved world of seed 1, whose ground around the origin is open to the sky.
mkdir -p "$WORK/worlds/play"
printf '%s\n' "name=play" "seed=1" "last_saved=2025-01-01 00:00:00" "chunk_count=0" \
    "player_x=8.500000" "player_y=105.000000" "player_z=8.500000" >"$WORK/worlds/play/world.txt"

# Colour "r,g,b" of one window pixel in screenshot NAME.
pixel() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region "$2" "$3" 1 1)" -depth 8 \
        -format "%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]" info:
}

# Fraction of the pixels above the hotbar in screenshot NAME near the colour "rgb(...)".
colour_share() {
    convert "$ARTIFACTS/${TEST_NAME}_$1.png" -crop "$(window_region 0 0 1200 700)" -fuzz "$3" \
        -fill white -opaque "$2" -fill black +opaque white -colorspace Gray -format "%[fx:mean]" info:
}

start_game
shot main_menu
[ "$(pixel main_menu 5 5)" = "20,20,20" ] || fail "the main menu without backgrounds is not the plain fill: $(pixel main_menu 5 5)"
# The logo and subtitle are the program's own words, drawn in the library's font.
expect_at_least "$(region_max main_menu 400 55 400 80)" 0.95 "brightest pixel of the logo"

click_until_changed 600 590 settings press          # Settings
press 817 356                                         # next font family: the only one, again
shot settings_family
hold Escape
# Without any language every text of the menus is empty: the buttons carry no
# labels and the credits box stays blank, but each screen still opens and closes.
click_until_changed 600 510 credits press             # Credits
hold Escape

click_until_changed 600 430 world_list press          # Select World
click_until_changed 375 655 create_world press        # Create
type_text "bare"
hold Return
sleep 3
shot in_created
# The selected hotbar slot has a white outline: the game frame is up.
expect_at_least "$(region_max in_created 335 720 50 50)" 0.9 "brightest pixel of the first hotbar slot"

# A fresh world's seed comes from the clock, and its spawn column may open
# into a cave; the rest is played in a prepared world of a known, open terrain.
say "/save bare"
say "/loadworld play"
sleep 3
shot in_world
expect_at_least "$(sky_share in_world)" 0.001 "no sky colour in the game frame"
say "/save play_start"

# A sand block, drawn in its flat colour for want of a texture, placed on
# the ground a few steps ahead and broken again.
say "/give sand 5"
look 0 900
look 0 -210
# sand_shown NAME: "1" when screenshot NAME shows the sand block.
sand_shown() {
    awk -v s="$(colour_share "$1" "rgb(238,214,175)" 25%)" 'BEGIN { print (s >= 0.002) ? 1 : 0 }'
}

# click_until_sand BUTTON NAME WANTED: presses BUTTON until screenshot NAME shows
# the sand ("1") or not ("0"). On a loaded machine a frame can take longer than
# the button is held, and a change can take a few frames to show.
click_until_sand() {
    local try i
    for try in 1 2 3; do
        button "$1"
        for i in 1 2 3; do
            shot "$2"
            [ "$(sand_shown "$2")" = "$3" ] && return 0
            sleep 1
        done
    done
    fail "$2: the sand block did not $( [ "$3" = 1 ] && echo appear || echo go )"
}

click_until_sand 3 sand_placed 1
click_until_sand 1 sand_broken 0
look 0 -300

xdotool keydown space keydown w
sleep 2
xdotool keyup w keyup space
sleep 1
close_window

for world in bare play play_start; do
    [ -f "$WORK/worlds/$world/world.txt" ] || fail "world $world was not saved"
done
# position WORLD: "x z" of the player in its world.txt.
position() {
    awk -F= '/^player_x=/ {x = $2} /^player_z=/ {z = $2} END {print x, z}' "$WORK/worlds/$1/world.txt"
}
read -r x0 z0 < <(position play_start)
read -r x1 z1 < <(position play)
moved=$(awk -v a="$x0" -v b="$z0" -v c="$x1" -v d="$z1" 'BEGIN { print sqrt((c - a) ^ 2 + (d - b) ^ 2) }')
expect_at_least "$moved" 2 "distance walked in two seconds"
expect_line "$WORK/stdout.log" "[textures] sand texture id: 0"
grep -qF "[textures] Failed to load texture ./assets/textures/blocks/sand.png" "$WORK/stderr.log" ||
    fail "the missing sand texture was not reported: $(cat "$WORK/stderr.log")"
expect_line "$WORK/options.txt" "language="
expect_line "$WORK/options.txt" "font_family=JetBrainsMono"
expect_line "$WORK/options.txt" "font_variant=Regular"
echo "PASS [$TEST_NAME]"

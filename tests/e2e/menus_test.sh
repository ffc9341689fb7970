# The menu screens of the real game: main menu, settings slider, language
# button, credits, world list, create-world, Escape, window close.
source "$(dirname "$0")/lib.sh"

start_game
shot main_menu
# White logo letters around (600, 100), grey subtitle below it.
expect_at_least "$(region_max main_menu 480 60 240 90)" 0.95 "logo QVOX is not drawn"
wait_for_file "$WORK/options.txt"
expect_line "$WORK/options.txt" "render_distance=50.0"
logo=$(region_sum main_menu 480 60 240 90)

# Settings: drag the view-distance knob from 50 to the middle of the track (55).
click 600 590
shot settings
drag 572 600 160
expect_line "$WORK/options.txt" "render_distance=55.0"
drag 600 840 260
expect_line "$WORK/options.txt" "max_fps=0 # 0 means unlimited"
# The next-family button switches the font; the game reloads it next frame.
click 817 356
family=$(grep '^font_family=' "$WORK/options.txt")
[ "$family" != "font_family=JetBrainsMono" ] || fail "the font family button changed nothing"
sleep 0.5
shot settings_other_font
click 367 356
expect_line "$WORK/options.txt" "font_family=JetBrainsMono"
expect_line "$WORK/options.txt" "font_variant=JetBrainsMono-Regular.ttf"
shot settings_changed
key Escape
shot after_settings_escape
[ "$(region_sum after_settings_escape 480 60 240 90)" = "$logo" ] || fail "Escape did not return from the settings"

# Credits, then Escape.
click 600 510
shot credits
key Escape
shot after_credits_escape
[ "$(region_sum after_credits_escape 480 60 240 90)" = "$logo" ] || fail "Escape did not return from the credits"

# World list, its Create button, the create-world screen, Escape back.
click 600 430
shot world_list
key Escape
shot after_list_escape
[ "$(region_sum after_list_escape 480 60 240 90)" = "$logo" ] || fail "Escape did not return from the world list"
click 600 430
click 375 655
type_text "ab"
shot create_world
key Escape
shot after_create_escape
[ "$(region_sum after_create_escape 480 60 240 90)" = "$logo" ] || fail "Escape did not return from create-world"

# The language button visits every installed language once and wraps around.
languages=$(ls -1 "$SOURCE_DIR/assets/text" | wc -l)
start_language=$(grep '^language=' "$WORK/options.txt")
seen=""
labels=""
for i in $(seq 1 "$languages"); do
    click 50 770
    xdotool mousemove --window "$WID" 1100 100
    sleep 0.3
    shot "language_$i"
    seen="$seen $(grep '^language=' "$WORK/options.txt")"
    labels="$labels $(region_sum "language_$i" 400 400 400 60)"
done
[ "$(grep '^language=' "$WORK/options.txt")" = "$start_language" ] || fail "the language button did not wrap around: $seen"
[ "$(echo "$seen" | tr ' ' '\n' | sed '/^$/d' | sort -u | wc -l)" = "$languages" ] || fail "languages visited: $seen"
[ "$(echo "$labels" | tr ' ' '\n' | sed '/^$/d' | sort -u | wc -l)" = "$languages" ] || fail "button texts did not follow the language"

# Closing the window leaves a normalised settings file.
printf 'max_fps = 60\n' >> "$WORK/options.txt"
close_window
expected=$(printf '%s\n' "# QVOX Game Settings" "render_distance=55.0" "max_fps=0 # 0 means unlimited" \
    "$start_language" "# do not change fonts manually i made a nice little interface for that :c" \
    "font_family=JetBrainsMono" "font_variant=JetBrainsMono-Regular.ttf")
[ "$(cat "$WORK/options.txt")" = "$expected" ] || fail "options.txt after close: $(cat "$WORK/options.txt")"
echo "PASS [$TEST_NAME]"

# Entering and leaving a world through the menus: create a world from the
# world list, pause, look at the settings panel, quit to the main menu,
# enter the world again from the list and close the window while playing.
source "$(dirname "$0")/lib.sh"

start_game
click_until_changed 600 430 world_list      # Select World
click_until_changed 375 655 create_world    # Create
type_text "e2e world"
key Return
sleep 4
shot in_world
expect_game_frame in_world

key Escape
shot pause_menu
click 600 490          # Settings
shot pause_settings
click 600 380          # Back to the pause menu
shot pause_again
click 600 570          # Back to Menu: saves the world and ends the game
sleep 0.5
shot main_after_game
meta="$WORK/worlds/e2e world/world.txt"
[ -f "$meta" ] || fail "leaving the game did not write $meta"
chunks=$(ls "$WORK/worlds/e2e world/chunks" 2>/dev/null | wc -l)
[ "$chunks" -gt 0 ] || fail "leaving the game wrote no chunk files"
grep -q '^last_saved=' "$meta" || fail "world.txt has no last_saved line: $(cat "$meta")"
first_save=$(stat -c %Y "$meta")

sleep 1.1
click 600 430          # Select World
shot world_list
click 600 145          # the first row opens the world
sleep 3
shot in_world_again
expect_game_frame in_world_again
close_window
[ "$(stat -c %Y "$meta")" -gt "$first_save" ] || fail "closing the window during a game did not save the world"
grep -q '^render_distance=' "$WORK/options.txt" || fail "options.txt missing after close"
echo "PASS [$TEST_NAME]"

# The console as a player uses it: commands typed after T, their effects on
# the inventory, the world files and the chat history, the four HUD pages
# and the inventory screen.
source "$(dirname "$0")/lib.sh"

start_game
sleep 2
# World list, Create, name the world, Enter: the game starts.
click_until_changed 600 430 world_list press
click_until_changed 375 655 create_world press
type_text "e2e"
hold Return
sleep 3
shot started

for page in F3 F4 F5 F2; do
    hold "$page"
    sleep 0.5
    shot "hud_$page"
done

say "/give stone 10"
say "/give glowstone 70"
hold i
sleep 0.5
shot inventory
# Move the stone stack from hotbar slot 1 into the first backpack slot.
press 424 552
press 424 312
shot inventory_moved
hold Escape

say "/setblock 8 110 8 glowstone"
say "/tp 100 120 -50"
hold t
xdotool type --delay 40 "typing"
shot console_open
hold Escape
hold F4
shot player_page_after_tp
say "/save e2e_copy"
say "/createworld e2e_new"
say "/loadworld e2e_new"
say "/fly enable"
shot console_messages
# The game ends while Enter is still held, so the key release may find no window.
say "/quit" || true

wait_for_exit "/quit"

history=$(printf '%s\n' "/give stone 10" "/give glowstone 70" "/setblock 8 110 8 glowstone" "/tp 100 120 -50" \
    "/save e2e_copy" "/createworld e2e_new" "/loadworld e2e_new" "/fly enable" "/quit")
[ "$(cat "$WORK/chathistory")" = "$history" ] || fail "chathistory: $(cat "$WORK/chathistory")"

# /createworld and /loadworld save the running world before replacing it,
# so the world made from the menu is on disk too.
for world in e2e e2e_copy e2e_new; do
    [ -f "$WORK/worlds/$world/world.txt" ] || fail "world $world was not saved"
done
expect_line "$WORK/worlds/e2e_new/world.txt" "name=e2e_new"
expect_line "$WORK/worlds/e2e_copy/world.txt" "name=e2e_copy"

# Block (8, 110, 8) lives in chunk (0, 1, 0) at local (8, 46, 8); cells are
# little-endian 32-bit values in [y][z][x] order.
chunk="$WORK/worlds/e2e_copy/chunks/chunk_0_1_0.chunk"
[ -f "$chunk" ] || fail "$chunk was not written"
offset=$(( ((46 * 32 + 8) * 32 + 8) * 4 ))
value=$(od -A n -t u4 -j "$offset" -N 4 "$chunk" | tr -d ' ')
[ "$value" = "7" ] || fail "block (8, 110, 8) in $chunk is $value, not glowstone"
echo "PASS [$TEST_NAME]"

# A play session by the seeded play bot (tests/e2e/playbot.py): two minutes of
# restless play by default, then every block changed before the last save of
# a world must be in that world's files. QVOX_PLAYBOT_SECONDS and
# QVOX_PLAYBOT_SEED change the length and the script; the report with the
# memory figures lands in the artefacts as playbot_report.json.
source "$(dirname "$0")/lib.sh"

SECONDS_TO_PLAY=${QVOX_PLAYBOT_SECONDS:-120}
SEED=${QVOX_PLAYBOT_SEED:-1}
REPORT="$ARTIFACTS/playbot_report.json"
BOT="$(dirname "$0")/playbot.py"

keep_logs() {
    local f
    for f in stdout.log stderr.log chathistory; do
        if [ -f "$WORK/$f" ]; then cp "$WORK/$f" "$ARTIFACTS/playbot_$f"; fi
    done
    return 0
}
# Whatever fails, the game's logs go to the artefacts before the scratch directory goes.
eval "$(declare -f fail | sed '1s/^fail/lib_fail/')"
fail() {
    keep_logs
    lib_fail "$@"
}

start_game
sleep 2
click_until_changed 600 430 world_list click
click_until_changed 375 655 create_world click
xdotool type --delay 60 "bot_home"
key Return
for i in $(seq 1 100); do
    grep -q '^\[world\] Loaded world bot_home$' "$WORK/stdout.log" && break
    sleep 0.2
done
grep -q '^\[world\] Loaded world bot_home$' "$WORK/stdout.log" || fail "the world bot_home did not open"
sleep 2
echo "play bot: seed $SEED, $SECONDS_TO_PLAY s"
python3 "$BOT" play --wid "$WID" --pid "$GAME_PID" --work "$WORK" --seconds "$SECONDS_TO_PLAY" --seed "$SEED" \
    --report "$REPORT" ${QVOX_PLAYBOT_SHOTS_AFTER:+--shots-after "$QVOX_PLAYBOT_SHOTS_AFTER"} || fail "the play bot stopped: see $REPORT"
shot end
close_window
keep_logs

if grep -E 'AddressSanitizer|LeakSanitizer|runtime error:|ThreadSanitizer|\[ERROR\]' "$WORK/stderr.log" >&2; then
    fail "the game reported errors on standard error"
fi
python3 "$BOT" check --work "$WORK" --report "$REPORT" || fail "the saved worlds lack recorded edits"

# Resident memory may grow by at most a fifth after the first minute.
python3 - "$REPORT" <<'PY' || fail "resident memory kept growing"
import json, sys
peaks = [p for p in json.load(open(sys.argv[1]))["rss_peak_kib_per_minute"] if p]
print("peak resident memory per minute (MiB):", [round(p / 1024) for p in peaks])
sys.exit(0 if len(peaks) < 2 or max(peaks[1:]) <= peaks[0] * 1.2 else 1)
PY
echo "PASS [$TEST_NAME]"

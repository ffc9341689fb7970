"""The end-to-end scenarios, one a test: python3 scenarios.py NAME QVOX_BINARY SOURCE_DIR ARTIFACT_DIR."""
import json
import os
import pwd
import re
import shutil
import signal
import struct
import subprocess
import sys

from driver import FILL, SKY, run
from playbot import Bot, expected_cells

def prepared_world(folder, name):
    """A saved world of seed 1, whose spawn lies on open ground: a fresh world's clock seed may open a cave there."""
    os.makedirs(os.path.join(folder, name))
    with open(os.path.join(folder, name, "world.txt"), "w") as f:
        f.write(f"name={name}\nseed=1\nlast_saved=2025-01-01 00:00:00\nchunk_count=0\n"
                "player_x=8.500000\nplayer_y=105.000000\nplayer_z=8.500000\n")


def terrain(shot):
    """A game frame with terrain: the hotbar and a world area that is not one flat colour."""
    return shot.px(815, 745) == (100, 100, 100) and shot.spread(0, 0, 1200, 700) >= 0.02


def sky(shot):
    return shot.share(SKY, 0, 0, 0, 1200, 700, step=3) >= 0.001


def at_rest(s):
    """Whether the ground ahead stays the same over five frames: the player stands still."""
    before = s.grab()
    s.frames(5)
    after = s.grab()
    return before and after and before.digest(300, 450, 600, 250) == after.digest(300, 450, 600, 250)


def aim_ahead(s):
    s.look(0, 900)  # straight down (the pitch stops just short of it)
    s.look(0, -210)  # the ground about three blocks ahead


def break_and_place(s):
    """Breaks the block ahead, turns a little and places one: two edits, each waited for in the log."""
    aim_ahead(s)
    s.wait_shot(lambda shot: shot.share((253, 249, 0), 0.06, 0, 0, 1200, 700) >= 0.0001, "the outline of a block")
    s.button(1, log="[edit] Set block")
    s.look(120, 0)
    s.button(3, log="[edit] Set block")


def setting(s, folder, key, name="world.txt"):
    lines = s.log(os.path.join(folder, name))
    return next((line.split("=", 1)[1] for line in lines if line.startswith(key + "=")), None)


def distance(s, folder_a, folder_b):
    (xa, za), (xb, zb) = ([float(setting(s, f, k)) for k in ("player_x", "player_z")] for f in (folder_a, folder_b))
    return ((xb - xa) ** 2 + (zb - za) ** 2) ** 0.5


def cell(folder, x, y, z):
    """The stored value of block (x, y, z): chunks of 32x64x32 little-endian int32 cells in [y][z][x] order."""
    try:
        with open(os.path.join(folder, "chunks", f"chunk_{x >> 5}_{y >> 6}_{z >> 5}.chunk"), "rb") as f:
            f.seek((((y & 63) * 32 + (z & 31)) * 32 + (x & 31)) * 4)
            return struct.unpack("<i", f.read(4))[0]
    except (OSError, struct.error):
        return None


def lost_edits(s):
    """The blocks the log says were set before a save of their world that are not in its files."""
    return [(world, where, value) for world, cells in expected_cells(s.log()).items() for where, value in cells.items()
            if cell(os.path.join(s.work, "worlds", world), *where) != value]


def console(s):
    """Commands typed after T, their effects on the inventory, the world files and the chat history."""
    s.launch()
    s.create_world("e2e")
    for page in ("F3", "F4", "F5", "F2"):
        s.key(page)
    said = ["/give stone 10", "/give glowstone 70", "/setblock 8 110 8 glowstone", "/tp 100 120 -50",
            "/save e2e_copy", "/createworld e2e_new", "/loadworld e2e_new", "/fly enable", "/quit"]
    for line in said[:2]:
        s.say(line)
    s.key("i", screen="inventory")
    s.click(424, 552)  # the stone stack from the first hotbar slot into the first backpack slot
    s.click(424, 312)
    moved = s.wait_shot(lambda shot: shot.px(424, 312) == (128, 128, 128), "the stone stack in the backpack")
    s.check(moved.px(424, 552) != (128, 128, 128), "the stone stack is still in the hotbar")
    s.key("Escape", screen="game")
    for line in said[2:4]:
        s.say(line)
    s.key("t", screen="chat")
    s.type("typing")
    s.key("Escape", screen="game")  # closes the console without running the line
    for line in said[4:]:
        s.say(line)
    s.wait_exit(0, "/quit")
    s.check({"[world] Created world e2e_new", "[world] Loaded world e2e_new"} <= set(s.log()), "no e2e_new made")
    s.check(s.log(os.path.join(s.work, "chathistory")) == said, "chathistory differs from the lines typed")
    # /createworld and /loadworld save the running world first, so the world made from the menu is on disk too.
    for world in ("e2e", "e2e_copy", "e2e_new"):
        s.check(setting(s, os.path.join(s.work, "worlds", world), "name") == world, f"world {world} was not saved")
    s.check(cell(os.path.join(s.work, "worlds", "e2e_copy"), 8, 110, 8) == 7, "no glowstone at (8,110,8) in e2e_copy")


def crash(s):
    """SIGKILL keeps what the autosave wrote after console and mouse edits; SIGTERM saves and ends with status 0."""
    def expect_whole(world):  # every edit the log reports saved is on disk, and world.txt is whole
        s.check(not lost_edits(s), f"edits missing from the files: {lost_edits(s)}")
        for key in ("name", "seed", "last_saved", "chunk_count", "player_x", "player_y", "player_z"):
            s.check(setting(s, os.path.join(s.work, "worlds", world), key), f"world.txt of {world} lacks {key}")

    def edits_then_autosave(world, count):
        s.wait(lambda: s.count("[edit] Set block") >= count, f"{count} edits in {world}")
        last = max(i for i, line in enumerate(s.log()) if line.startswith("[edit] Set block"))
        s.wait_log(f"[world] Autosaved world {world}", last + 1)
        s.game.kill()
        s.wait(lambda: not s.running(), "the killed game to end")
        expect_whole(world)

    s.launch(logs="typed")
    s.create_world("typed")
    for line in ("/setblock 8 110 8 glowstone", "/setblock 40 100 -20 wood", "/setblock -5 90 3 sand"):
        s.say(line)
    edits_then_autosave("typed", 3)
    # Mouse edits need a player standing on known ground and a block in the outline, as in the playing test.
    shutil.rmtree(os.path.join(s.work, "worlds", "typed"))  # checked; the list now shows "mouse" alone
    prepared_world(os.path.join(s.work, "worlds"), "mouse")
    s.launch(logs="mouse")
    s.enter_listed("mouse")
    s.wait(lambda: at_rest(s), "the player to land")
    break_and_place(s)
    edits_then_autosave("mouse", 2)
    s.launch(logs="term")
    s.create_world("term")
    s.say("/setblock 8 110 8 glowstone")
    s.say("/tp 20.5 120 -7.25")
    s.wait_log("[edit] Set block (8,110,8) to 7 in world term")
    s.game.send_signal(signal.SIGTERM)
    s.wait_exit(0, "SIGTERM")
    s.check(setting(s, os.path.join(s.work, "worlds", "term"), "player_x") == "20.500000", "SIGTERM lost the /tp")
    expect_whole("term")
    s.check("[main] Signal 15 received; saving and quitting" in s.log(), "no signal line in the log")


def menus(s):
    """Main menu, settings sliders and font buttons, credits, world list, create-world, languages, closing."""
    options = os.path.join(s.work, "options.txt")
    print(f"[menus] first menu frame {s.launch():.1f} s after start")
    s.check(max(s.grab().grey(480, 60, 240, 90)) >= 0.95, "the logo QVOX is not drawn")
    s.wait_line(options, "render_distance=50.0")
    s.click(600, 590, "settings")
    s.drag(572, 600, 160)  # the view-distance knob from 50 to the middle of the track
    s.wait_line(options, "render_distance=55.0")
    s.drag(600, 840, 260)
    s.wait_line(options, "max_fps=0 # 0 means unlimited")
    s.click(817, 356)  # the next font family
    s.wait(lambda: setting(s, s.work, "font_family", "options.txt") != "JetBrainsMono", "another font family")
    s.click(367, 356)
    s.wait_line(options, "font_family=JetBrainsMono")
    s.wait_line(options, "font_variant=JetBrainsMono-Regular.ttf")
    s.key("Escape", screen="main")
    # Credits, the world list, and the create-world screen reached through it: Escape leads back each time.
    for steps in (((600, 510, "credits"),), ((600, 430, "worlds"),), ((600, 430, "worlds"), (375, 655, "create"))):
        for x, y, name in steps:
            s.click(x, y, name)
        s.type("ab" if name == "create" else "")
        s.key("Escape", screen="main")
    # The language button visits every installed language once and wraps around, the labels following.
    language = lambda: setting(s, s.work, "language", "options.txt")
    start, seen, labels = language(), [], set()
    for _ in os.listdir(os.path.join(s.source, "assets", "text")):
        s.click(50, 770)
        s.wait(lambda: language() != (seen or [start])[-1], "the language button to change the language")
        s.xdo("mousemove", "--window", s.wid, 1100, 100)
        s.frames()
        seen.append(language())
        labels.add(s.grab().digest(400, 400, 400, 60))
    s.check(seen[-1] == start and len(set(seen)) == len(seen) == len(labels), f"languages {seen}, {len(labels)} labels")
    with open(options, "a") as f:
        f.write("max_fps = 60\n")
    s.close()
    expected = ["# QVOX Game Settings", "render_distance=55.0", "max_fps=0 # 0 means unlimited", f"language={start}",
                "# do not change fonts manually i made a nice little interface for that :c",
                "font_family=JetBrainsMono", "font_variant=JetBrainsMono-Regular.ttf"]
    s.check(s.log(options) == expected, f"options.txt after closing: {s.log(options)}")


def playing(s):
    """Starts on the surface, walks, breaks and places blocks with the mouse; the saved world shows all of it."""
    folder = os.path.join(s.work, "worlds", "play")
    prepared_world(os.path.join(s.work, "worlds"), "play")
    s.launch()
    s.enter_listed("play")
    s.wait(lambda: at_rest(s), "the player to land")
    s.leave("play")
    shutil.copytree(folder, os.path.join(s.work, "start"))
    y = float(setting(s, folder, "player_y"))
    # The surface lies between 85 and 120; a player standing on it is 0.95 above a whole block.
    s.check(85.9 <= y <= 121 and ((y - 0.95) % 1 < 0.06 or (y - 0.95) % 1 > 0.99), f"not on the surface: y = {y}")
    s.enter_listed("play")
    s.key("space", "w", seconds=2)  # Space hops the steps of the terrain
    s.wait(lambda: at_rest(s), "the player to stop")
    s.leave("play")
    s.check(distance(s, os.path.join(s.work, "start"), folder) >= 3, "walked less than three blocks in two seconds")
    chunks = lambda: {n: open(os.path.join(folder, "chunks", n), "rb").read() for n in os.listdir(f"{folder}/chunks")}
    before = chunks()
    s.enter_listed("play")
    break_and_place(s)
    s.leave("play")
    after = chunks()
    changes = [(a[0], b[0]) for n, old in before.items() for a, b in
               zip(struct.iter_unpack("<i", old), struct.iter_unpack("<i", after[n])) if a != b]
    s.check(len(changes) == 2 and [a for a, b in changes if not b] == [b for a, b in changes if not a],
            f"the saved chunks changed in {changes}, not one broken and one placed block")
    s.close()


def missing_assets(s):
    """No fonts, menu backgrounds, language texts or sand texture: menus, a world, a sand block, a walk, closing."""
    os.remove(os.path.join(s.work, "assets"))
    shutil.copytree(os.path.join(s.source, "assets"), os.path.join(s.work, "assets"),
                    ignore=lambda d, names: set(names) & {"fonts", "mainmenubackground", "text", "sand.png"})
    worlds = os.path.join(s.work, "worlds")
    prepared_world(worlds, "play")
    s.launch()
    menu = s.grab()
    s.check(menu.px(5, 5) == FILL, f"the main menu without backgrounds is not the plain fill: {menu.px(5, 5)}")
    s.check(max(menu.grey(400, 55, 400, 80)) >= 0.95, "the logo is not drawn in the library's font")
    # Without any language every text is empty, but each screen still opens and closes.
    for x, y, name in ((600, 590, "settings"), (600, 510, "credits")):
        s.click(x, y, name)
        if name == "settings":
            s.click(817, 356)  # the next font family: the only one, again
        s.key("Escape", screen="main")
    s.create_world("bare")
    s.wait_shot(lambda shot: max(shot.grey(335, 720, 50, 50)) >= 0.9, "the outline of the selected hotbar slot")
    s.say("/save bare")
    s.say("/loadworld play")
    s.wait_shot(sky, "sky in the game frame")
    s.say("/save play_start")
    s.say("/give sand 5")
    aim_ahead(s)
    sand = lambda shot: shot.share((238, 214, 175), 0.25, 0, 0, 1200, 700, step=2) >= 0.002  # its flat colour
    s.button(3, log="[edit] Set block")
    s.wait_shot(sand, "the placed sand block")
    s.button(1, log="[edit] Set block")
    s.wait_shot(lambda shot: not sand(shot), "the sand block to be broken")
    s.look(0, -300)
    s.key("space", "w", seconds=2)
    s.close()
    for world in ("bare", "play", "play_start"):
        s.check(setting(s, os.path.join(worlds, world), "name"), f"world {world} was not saved")
    s.check(distance(s, os.path.join(worlds, "play_start"), os.path.join(worlds, "play")) >= 2, "walked under 2 blocks")
    s.check("[textures] sand texture id: 0" in s.log(), "the sand texture was not left out")
    s.check("[textures] Failed to load texture ./assets/textures/blocks/sand.png" in s.log(s.err), "no sand failure")
    for line in ("language=", "font_family=JetBrainsMono", "font_variant=Regular"):
        s.check(line in s.log(os.path.join(s.work, "options.txt")), f"options.txt lacks {line}")


def unwritable(s):
    """A game folder nobody may write to: the saved world is played, every failed write is reported, nothing changes."""
    game, home, binary = (os.path.join(s.work, d) for d in ("game", "home", "bin"))
    os.chmod(s.work, 0o755)
    shutil.copytree(os.path.join(s.source, "assets"), os.path.join(game, "assets"))
    os.makedirs(home)
    os.makedirs(binary)  # the binary and its graphics library where any user may read them
    libraries = subprocess.check_output(["ldd", s.binary], text=True).split()
    for path in [s.binary] + [p for p in libraries if p.startswith("/") and "libraylib" in p]:
        shutil.copy(path, binary)
    subprocess.run(["chmod", "-R", "a+rX", binary, game], check=True)
    prepared_world(os.path.join(game, "worlds"), "ro")
    argv = ["env", f"HOME={home}", f"LD_LIBRARY_PATH={binary}", os.path.join(binary, "qvox")]
    s.launch(argv, cwd=game, logs="first")  # first as a player who may write there
    s.enter_listed("ro")
    s.close()
    s.check(os.listdir(os.path.join(game, "worlds", "ro", "chunks")), "the first run saved no chunks")
    s.check(os.path.exists(os.path.join(game, "options.txt")), "the first run wrote no options.txt")
    with open(os.path.join(game, "chathistory"), "w") as f:
        f.write("/save recalled_copy\n")
    # Root ignores permission bits: the game runs as nobody, or else in a read-only bind mount.
    subprocess.run(["sh", "-c", 'chown -R root:root "$0" && chmod -R a-w "$0"', game], check=True)
    s.cleanups.append(lambda: subprocess.run(["chmod", "-R", "u+w", game]))
    nobody = pwd.getpwnam("nobody")
    as_nobody = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups", "--inh-caps=-all"]
    if subprocess.run(as_nobody + ["true"]).returncode == 0:
        os.chown(home, nobody.pw_uid, nobody.pw_gid)
        argv = as_nobody + argv
    else:
        s.check(subprocess.run(["mount", "--bind", game, game]).returncode == 0, "no other user and no bind mount")
        s.cleanups.append(lambda: subprocess.run(["umount", game]))
        s.check(subprocess.run(["mount", "-o", "remount,bind,ro", game]).returncode == 0, "no read-only mount")
    state = lambda: subprocess.check_output(f"cd '{game}' && find . -printf '%p %y %s %m %u %T@\\n' | sort && "
                                            "find . -type f -print0 | sort -z | xargs -0 md5sum", shell=True)
    before = state()
    s.launch(argv, cwd=game, logs="second")
    s.enter_listed("ro")
    s.wait_shot(sky, "sky in the game frame")
    aim_ahead(s)
    s.button(1, log="[edit] Set block")  # a block a few steps ahead: a changed chunk that cannot be saved
    s.look(0, -500)
    messages = s.grab().digest(0, 440, 700, 200)  # the message list, lower left above the hotbar
    s.say("/save typed_copy")
    s.check(s.grab().digest(0, 440, 700, 200) != messages, "/save posted no message")
    s.key("t", screen="chat")
    s.key("Up")  # recalls the newest line of the read-only history
    s.key("Return")
    s.wait(lambda: s.screen() != "chat", "the recalled line to run")
    s.close()
    err = s.log(s.err)
    s.check(err.count("Failed to save options.txt") >= 2, "options.txt failures not reported at start and at shutdown")
    for start, text in (("[chat] Failed to open ./chathistory for appending", ""), ("[world] ", "typed_copy"),
                        ("[world] ", "recalled_copy"), ("", "Failed to save world ro")):
        s.check(any(line.startswith(start) and text in line for line in err), f"no failure reported: {start}{text}")
    s.check(state() == before, "the read-only folder changed")


def package(s):
    """The Debian package: checked, installed, played from / by a player with a scratch home, removed again."""
    status = lambda: subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "qvox"],
                                    capture_output=True, text=True).stdout
    if os.geteuid() != 0 or status() == "installed":  # an installed qvox package is not this test's to remove
        s.finish()
        sys.exit(print("SKIP [package]: dpkg needs root and no qvox package installed") or 77)
    work, data = s.work, os.path.join(s.work, "home", ".local", "share", "qvox")

    sh = lambda *argv: subprocess.check_output(argv, text=True, stderr=subprocess.STDOUT)

    def dpkg(*argv):  # dpkg does not wait for a lock another apt or dpkg run holds
        ran = lambda r: s.check(r.returncode == 0 or "lock" in r.stderr, f"dpkg: {r.stderr}") or r.returncode == 0
        s.wait(lambda: ran(subprocess.run(["dpkg", *argv], capture_output=True, text=True)), "dpkg's lock", every=1)

    sh("cpack", "--config", os.path.join(os.path.dirname(s.binary), "CPackConfig.cmake"), "-B", f"{work}/pkg")
    deb = next(os.path.join(work, "pkg", f) for f in os.listdir(f"{work}/pkg") if f.endswith(".deb"))
    for argv in (("dpkg-deb", "-x", deb, f"{work}/root"), ("appstreamcli", "validate-tree", "--no-net", f"{work}/root"),
                 ("desktop-file-validate", f"{work}/root/usr/share/applications/qvox.desktop")):
        sh(*argv)
    for size in (32, 64, 128, 256):
        with open(f"{work}/root/usr/share/icons/hicolor/{size}x{size}/apps/qvox.png", "rb") as f:
            s.check(struct.unpack(">II", f.read(24)[16:]) == (size, size), f"no {size}x{size} icon")
    # Kept infos: hardening flags, .comment sections, the game's text files outside /usr/share/doc.
    with open(os.path.join(s.artifacts, "package_lintian.txt"), "w") as f:
        f.write(sh("lintian", "--fail-on", "error,warning", deb))
    paths = ["/" + line.split()[5].lstrip("./").rstrip("/") for line in sh("dpkg-deb", "-c", deb).splitlines()]
    present = lambda: [p for p in paths if os.path.lexists(p)]
    before_paths, before_root = present(), os.listdir("/")
    dpkg("-i", deb)
    s.cleanups.append(lambda: subprocess.run(["dpkg", "-r", "qvox"], capture_output=True))
    os.makedirs(f"{work}/home")
    s.start_display()
    installed = lambda *extra: ["env", "-i", f"DISPLAY={os.environ['DISPLAY']}", "LIBGL_ALWAYS_SOFTWARE=1",
                                "PATH=/usr/local/bin:/usr/bin:/bin:/usr/games", f"HOME={work}/home", *extra, "qvox"]
    print(f"[package] first menu frame {s.launch(installed(), cwd='/'):.1f} s after start")
    s.create_world("pkg")
    s.wait_shot(terrain, "terrain in the new world")
    s.close()
    s.check(setting(s, f"{data}/worlds/pkg", "name") and os.listdir(f"{data}/worlds/pkg/chunks"), f"no world in {data}")
    s.check(setting(s, data, "render_distance", "options.txt"), f"no options.txt in {data}")
    s.check(os.stat(data).st_mode & 0o777 == 0o700, f"{data} is not private")
    s.check(os.readlink(f"{data}/assets") == "/usr/share/games/qvox/assets", f"{data}/assets leads elsewhere")
    s.check(os.listdir("/") == before_root, "the game wrote into /")
    # A player whose data folder cannot be made is told so, in the window and on standard error.
    open(f"{work}/not_a_folder", "w").close()
    s.launch(installed(f"XDG_DATA_HOME={work}/not_a_folder/data"), cwd="/", screen=None)
    s.wait_shot(lambda shot: max(shot.grey(40, 40, 300, 40)) >= 0.9, "the window to say that the game cannot start")
    s.check(any(l.startswith(f"[data] Failed to create the data folder {work}/not_a_folder: ") for l in s.log(s.err)),
            f"no data folder failure on standard error: {s.log(s.err)}")
    s.close(1)
    s.check(os.listdir("/") == before_root, "the game without a data folder wrote into /")
    dpkg("-r", "qvox")
    s.cleanups.pop()
    s.check(status() != "installed" and present() == before_paths, f"dpkg -r left {set(present()) - set(before_paths)}")


def playbot(s):
    """A seeded play session (QVOX_PLAYBOT_SECONDS, QVOX_PLAYBOT_SEED), left through the pause menu; then every block
    changed before the last save of a world must be in its files, and resident memory must level off."""
    seconds, seed = float(os.environ.get("QVOX_PLAYBOT_SECONDS", 60)), int(os.environ.get("QVOX_PLAYBOT_SEED", 1))
    s.launch()
    s.create_world("bot_home")
    bot = Bot(s, seed)
    try:
        bot.play(seconds)
        s.leave()
        s.close()
    finally:  # the report and the game's logs go to the artefacts however the session ends
        report = {"seed": seed, "seconds": seconds, "actions": bot.actions, "rss_peaks_kib": bot.peaks,
                  "edits": s.count("[edit] Set block"), "saves": s.count("[world] Saved world"), "lost": lost_edits(s),
                  "worlds_saved": len(expected_cells(s.log())),
                  "frames": next((l for l in s.log() if l.startswith("[main] ")), ""), "trace": bot.trace[-40:]}
        with open(os.path.join(s.artifacts, "playbot_report.json"), "w") as f:
            json.dump(report, f, indent=1)
        for path in filter(os.path.exists, (s.out, s.err, os.path.join(s.work, "chathistory"))):
            shutil.copy(path, os.path.join(s.artifacts, "playbot_" + os.path.basename(path)))
    errors = [l for l in s.log(s.err) if re.search(r"AddressSanitizer|runtime error:|ThreadSanitizer|\[ERROR\]", l)]
    s.check(not errors, f"the game reported errors: {errors[:5]}")
    s.check(report["edits"] and not report["lost"], f"{report['edits']} edits; not saved: {report['lost'][:10]}")
    peaks = [p for p in bot.peaks if p]
    print(f"[playbot] {bot.actions}; peak resident memory per minute (MiB): {[p // 1024 for p in peaks]}")
    s.check(len(peaks) < 2 or max(peaks[1:]) <= peaks[0] * 1.2, "resident memory kept growing")


if __name__ == "__main__":
    run(globals())

"""The end-to-end scenarios, one a test, run by tests/e2e/driver.py:

    python3 scenarios.py NAME QVOX_BINARY SOURCE_DIR ARTIFACT_DIR
"""
import json
import os
import pwd
import re
import shutil
import signal
import struct
import subprocess
import sys

from driver import FILL, SKY, Skip, run
from playbot import Bot, expected_cells

SCENARIOS = {}


def scenario(f):
    SCENARIOS[f.__name__] = f
    return f


# ---------------------------------------------------------------- shared steps

def prepared_world(folder, name):
    """A saved world of seed 1, whose spawn lies on open ground: a fresh world's clock seed may open a cave there."""
    os.makedirs(os.path.join(folder, name))
    with open(os.path.join(folder, name, "world.txt"), "w") as f:
        f.write(f"name={name}\nseed=1\nlast_saved=2025-01-01 00:00:00\nchunk_count=0\n"
                "player_x=8.500000\nplayer_y=105.000000\nplayer_z=8.500000\n")


def create_world(s, name):
    """From the main menu through the world list and Create into a new world."""
    s.click(600, 430)
    s.wait_screen("worlds")
    s.click(375, 655)
    s.wait_screen("create")
    s.type(name)
    s.key("Return")
    s.wait_log(f"[world] Loaded world {name}")
    s.wait_screen("game")


def enter_listed(s, name):
    """From the main menu into the first world of the list."""
    loads = len(s.log())
    s.click(600, 430)
    s.wait_screen("worlds")
    s.click(600, 145)
    s.wait_log(f"[world] Loaded world {name}", loads)
    s.wait_screen("game")


def leave(s, name):
    """Pause menu, Back to Menu: the world is saved and the main menu comes back."""
    lines = len(s.log())
    s.key("Escape")
    s.wait_screen("paused")
    s.click(600, 570)
    s.wait_log(f"[world] Saved world {name}", lines)
    s.wait_screen("main")


def terrain(shot):
    """A game frame that shows terrain: the hotbar and a world area that is not one flat colour."""
    return shot.px(815, 745) == (100, 100, 100) and shot.spread(0, 0, 1200, 700) >= 0.02


def sky(shot):
    return shot.share(SKY, 0, 0, 0, 1200, 700, step=3) >= 0.001


def at_rest(s):
    """Whether the ground ahead stays the same over a few frames: the player stands still."""
    before = s.grab()
    s.frames(5)
    after = s.grab()
    return before and after and before.digest(300, 450, 600, 250) == after.digest(300, 450, 600, 250)


def read_world(s, folder, key, name="world.txt"):
    lines = s.log(os.path.join(folder, name))
    return next((line.split("=", 1)[1] for line in lines if line.startswith(key + "=")), None)


def cell(folder, x, y, z):
    """The stored value of block (x, y, z): 32x64x32 cells of little-endian int32 in [y][z][x] order."""
    path = os.path.join(folder, "chunks", f"chunk_{x >> 5}_{y >> 6}_{z >> 5}.chunk")
    try:
        with open(path, "rb") as f:
            f.seek((((y & 63) * 32 + (z & 31)) * 32 + (x & 31)) * 4)
            return struct.unpack("<i", f.read(4))[0]
    except (OSError, struct.error):
        return None


def logged_edits(s, world):
    """The last value the log says each cell of world was set to."""
    cells = {}
    for line in s.log():
        if line.startswith("[edit] Set block (") and line.endswith(f" in world {world}"):
            where, value = line[len("[edit] Set block ("):].split(")")[0], line.split(" to ")[1].split()[0]
            cells[tuple(map(int, where.split(",")))] = int(value)
    return cells


def expect_edits_on_disk(s, world):
    folder = os.path.join(s.work, "worlds", world)
    for (x, y, z), value in logged_edits(s, world).items():
        s.check(cell(folder, x, y, z) == value, f"block ({x},{y},{z}) of {world} is {cell(folder, x, y, z)} on disk, not {value}")
    for key in ("name", "seed", "last_saved", "chunk_count", "player_x", "player_y", "player_z"):
        s.check(read_world(s, folder, key) is not None, f"world.txt of {world} lacks {key}")


# ---------------------------------------------------------------- the scenarios

@scenario
def console(s):
    """Commands typed after T, their effects on the inventory, the world files and the chat history."""
    s.launch()
    create_world(s, "e2e")
    for page in ("F3", "F4", "F5", "F2"):
        s.key(page)
    s.say("/give stone 10")
    s.say("/give glowstone 70")
    s.key("i")
    s.wait_screen("inventory")
    # The stone stack moves from the first hotbar slot into the first backpack slot.
    s.click(424, 552)
    s.click(424, 312)
    s.frames()
    moved = s.grab()
    s.check(moved.px(424, 312) == (128, 128, 128) and moved.px(424, 552) != (128, 128, 128),
            "the stone stack did not move into the backpack")
    s.key("Escape")
    s.wait_screen("game")
    s.say("/setblock 8 110 8 glowstone")
    s.say("/tp 100 120 -50")
    s.key("t")
    s.wait_screen("chat")
    s.type("typing")
    s.key("Escape")  # closes the console without running the line
    s.wait_screen("game")
    for line in ("/save e2e_copy", "/createworld e2e_new", "/loadworld e2e_new", "/fly enable"):
        s.say(line)
    s.check("[world] Created world e2e_new" in s.log() and "[world] Loaded world e2e_new" in s.log(),
            "/createworld or /loadworld did not run")
    s.key("t")
    s.wait_screen("chat")
    s.type("/quit")
    s.xdo("keydown", "Return")  # the game ends while Enter is held
    s.wait_exit(0, "/quit")
    s.xdo("keyup", "Return")
    history = ["/give stone 10", "/give glowstone 70", "/setblock 8 110 8 glowstone", "/tp 100 120 -50",
               "/save e2e_copy", "/createworld e2e_new", "/loadworld e2e_new", "/fly enable", "/quit"]
    s.check(s.log(os.path.join(s.work, "chathistory")) == history, f"chathistory: {s.log(os.path.join(s.work, 'chathistory'))}")
    # /createworld and /loadworld save the running world first, so the world made from the menu is on disk too.
    for world in ("e2e", "e2e_copy", "e2e_new"):
        s.check(read_world(s, os.path.join(s.work, "worlds", world), "name") == world, f"world {world} was not saved")
    s.check(cell(os.path.join(s.work, "worlds", "e2e_copy"), 8, 110, 8) == 7, "no glowstone at (8,110,8) in e2e_copy")


@scenario
def crash(s):
    """SIGKILL keeps what the autosave wrote after console and mouse edits; SIGTERM saves and exits 0."""
    def edits_then_autosave(world, count):
        s.wait(lambda: s.count("[edit] Set block") >= count, f"{count} edits in {world}")
        last = max(i for i, line in enumerate(s.log()) if line.startswith("[edit] Set block"))
        s.wait_log(f"[world] Autosaved world {world}", last + 1)
        s.kill(signal.SIGKILL)
        s.wait(lambda: not s.running(), "the killed game to end")
        expect_edits_on_disk(s, world)

    s.launch(logs="typed")
    create_world(s, "typed")
    for line in ("/setblock 8 110 8 glowstone", "/setblock 40 100 -20 wood", "/setblock -5 90 3 sand"):
        s.say(line)
    edits_then_autosave("typed", 3)

    s.launch(logs="mouse")
    create_world(s, "mouse")
    s.say("/give stone 20")
    s.look(0, 500)
    for _ in range(3):
        s.button(1)
        s.button(3)
    edits_then_autosave("mouse", 2)

    s.launch(logs="term")
    create_world(s, "term")
    s.say("/setblock 8 110 8 glowstone")
    s.say("/tp 20.5 120 -7.25")
    s.wait_log("[edit] Set block (8,110,8) to 7 in world term")
    s.kill(signal.SIGTERM)
    s.wait_exit(0, "SIGTERM")
    s.check(read_world(s, os.path.join(s.work, "worlds", "term"), "player_x") == "20.500000", "SIGTERM lost the /tp")
    expect_edits_on_disk(s, "term")
    s.check("[main] Signal 15 received; saving and quitting" in s.log(), "no signal line in the log")


@scenario
def menus(s):
    """Main menu, settings sliders and font buttons, credits, world list, create-world, languages, closing."""
    options = os.path.join(s.work, "options.txt")
    main = s.launch()
    s.check(max(s.grab().grey(480, 60, 240, 90)) >= 0.95, "the logo QVOX is not drawn")
    s.wait_file_line(options, "render_distance=50.0")
    s.click(600, 590)
    s.wait_screen("settings")
    s.drag(572, 600, 160)  # the view-distance knob from 50 to the middle of the track
    s.wait_file_line(options, "render_distance=55.0")
    s.drag(600, 840, 260)
    s.wait_file_line(options, "max_fps=0 # 0 means unlimited")
    s.click(817, 356)  # the next font family
    s.wait(lambda: any(l.startswith("font_family=") and l != "font_family=JetBrainsMono" for l in s.log(options)),
           "another font family")
    s.click(367, 356)
    s.wait_file_line(options, "font_family=JetBrainsMono")
    s.wait_file_line(options, "font_variant=JetBrainsMono-Regular.ttf")
    s.key("Escape")
    s.wait_screen("main")
    # Credits, the world list and the create-world screen reached through the list: Escape leads back.
    for steps in (((600, 510, "credits"),), ((600, 430, "worlds"),), ((600, 430, "worlds"), (375, 655, "create"))):
        for x, y, name in steps:
            s.click(x, y)
            s.wait_screen(name)
        if name == "create":
            s.type("ab")
        s.key("Escape")
        s.wait_screen("main")
    # The language button visits every installed language once and wraps around.
    languages = len(os.listdir(os.path.join(s.source, "assets", "text")))
    language = lambda: next(l for l in s.log(options) if l.startswith("language="))
    start, seen, labels = language(), [], set()
    for _ in range(languages):
        before = language()
        s.click(50, 770)
        s.wait(lambda: language() != before, "the language button to change the language")
        s.xdo("mousemove", "--window", s.wid, 1100, 100)
        s.frames()
        seen.append(language())
        labels.add(s.grab().digest(400, 400, 400, 60))
    s.check(language() == start and len(set(seen)) == languages, f"languages visited: {seen}")
    s.check(len(labels) == languages, "the button texts did not follow the language")
    with open(options, "a") as f:
        f.write("max_fps = 60\n")
    s.close()
    expected = ["# QVOX Game Settings", "render_distance=55.0", "max_fps=0 # 0 means unlimited", start,
                "# do not change fonts manually i made a nice little interface for that :c",
                "font_family=JetBrainsMono", "font_variant=JetBrainsMono-Regular.ttf"]
    s.check(s.log(options) == expected, f"options.txt after closing: {s.log(options)}")
    print(f"[menus] first menu frame {main:.1f} s after start")


@scenario
def world(s):
    """Create a world, pause, its settings panel, back to the menu (saved), enter again, close (saved)."""
    folder = os.path.join(s.work, "worlds", "e2e world")
    s.launch()
    create_world(s, "e2e world")
    s.wait_shot(terrain, "terrain in the new world")
    s.key("Escape")
    s.wait_screen("paused")
    s.click(600, 490)
    s.wait_screen("pause_settings")
    s.click(600, 380)
    s.wait_screen("paused")
    lines = len(s.log())
    s.click(600, 570)
    s.wait_log("[world] Saved world e2e world", lines)
    s.wait_screen("main")
    s.check(read_world(s, folder, "last_saved") is not None, "leaving the game wrote no world.txt with last_saved")
    s.check(os.listdir(os.path.join(folder, "chunks")), "leaving the game wrote no chunk files")
    first = os.stat(os.path.join(folder, "world.txt"))
    enter_listed(s, "e2e world")
    s.wait_shot(terrain, "terrain in the world entered again")
    s.close()
    again = os.stat(os.path.join(folder, "world.txt"))
    s.check((again.st_ino, again.st_mtime_ns) != (first.st_ino, first.st_mtime_ns), "closing the window did not save")
    s.check(s.count("[world] Saved world e2e world") == 2, "closing the window did not save the world")
    s.check(read_world(s, s.work, "render_distance", "options.txt"), "options.txt missing after close")


@scenario
def playing(s):
    """Starts on the surface, walks, breaks and places blocks with the mouse; the saved world shows all of it."""
    folder = os.path.join(s.work, "worlds", "play")
    prepared_world(os.path.join(s.work, "worlds"), "play")
    s.launch()
    enter_listed(s, "play")
    s.wait(lambda: at_rest(s), "the player to land")
    leave(s, "play")
    x0, y0, z0 = (float(read_world(s, folder, k)) for k in ("player_x", "player_y", "player_z"))
    # The surface lies between 85 and 120; a player standing on it is 0.95 above a whole block.
    s.check(85.9 <= y0 <= 121 and ((y0 - 0.95) % 1 < 0.06 or (y0 - 0.95) % 1 > 0.99), f"not on the surface: y = {y0}")

    enter_listed(s, "play")
    s.key("space", "w", seconds=2)  # Space hops the steps of the terrain
    s.wait(lambda: at_rest(s), "the player to stop")
    leave(s, "play")
    x1, z1 = (float(read_world(s, folder, k)) for k in ("player_x", "player_z"))
    s.check(((x1 - x0) ** 2 + (z1 - z0) ** 2) ** 0.5 >= 3, "walked less than three blocks in two seconds")
    before = {n: open(os.path.join(folder, "chunks", n), "rb").read() for n in os.listdir(os.path.join(folder, "chunks"))}

    enter_listed(s, "play")
    s.look(0, 900)  # straight down (the pitch stops just short of it)
    s.look(0, -210)  # the ground about three blocks ahead
    s.wait_shot(lambda shot: shot.share((253, 249, 0), 0.06, 0, 0, 1200, 700) >= 0.0001, "the outline of a block")
    edits = s.count("[edit] Set block")
    s.button(1)
    s.look(120, 0)
    s.button(3)
    s.wait(lambda: s.count("[edit] Set block") == edits + 2, "a block broken and one placed")
    leave(s, "play")
    changes = []
    for name, old in before.items():
        new = open(os.path.join(folder, "chunks", name), "rb").read()
        changes += [(a, b) for a, b in zip(struct.iter_unpack("<i", old), struct.iter_unpack("<i", new)) if a != b]
    broken = [a[0] for a, b in changes if a[0] and not b[0]]
    placed = [b[0] for a, b in changes if b[0] and not a[0]]
    s.check(len(changes) == 2 and broken == placed, f"the saved chunks changed in {changes}")
    s.close()


@scenario
def missing_assets(s):
    """No fonts, menu backgrounds, language texts or sand texture: menus, a world, a sand block, a walk, closing."""
    os.remove(os.path.join(s.work, "assets"))
    shutil.copytree(os.path.join(s.source, "assets"), os.path.join(s.work, "assets"))
    for gone in ("fonts", "mainmenubackground", "text"):
        shutil.rmtree(os.path.join(s.work, "assets", gone))
    os.remove(os.path.join(s.work, "assets", "textures", "blocks", "sand.png"))
    worlds = os.path.join(s.work, "worlds")
    prepared_world(worlds, "play")
    s.launch()
    menu = s.grab()
    s.check(menu.px(5, 5) == FILL, f"the main menu without backgrounds is not the plain fill: {menu.px(5, 5)}")
    s.check(max(menu.grey(400, 55, 400, 80)) >= 0.95, "the logo is not drawn in the library's font")
    # Without any language every text is empty, but each screen still opens and closes.
    for x, y, name in ((600, 590, "settings"), (600, 510, "credits")):
        s.click(x, y)
        s.wait_screen(name)
        if name == "settings":
            s.click(817, 356)  # the next font family: the only one, again
        s.key("Escape")
        s.wait_screen("main")
    create_world(s, "bare")
    s.wait_shot(lambda shot: max(shot.grey(335, 720, 50, 50)) >= 0.9, "the outline of the selected hotbar slot")
    s.say("/save bare")
    s.say("/loadworld play")
    s.wait_log("[world] Loaded world play")
    s.wait_shot(sky, "sky in the game frame")
    s.say("/save play_start")
    s.say("/give sand 5")
    s.look(0, 900)
    s.look(0, -210)
    # Sand without a texture is drawn in its flat colour.
    sand = lambda shot: shot.share((238, 214, 175), 0.25, 0, 0, 1200, 700, step=2) >= 0.002
    s.button(3)
    s.wait_shot(sand, "the placed sand block")
    s.button(1)
    s.wait_shot(lambda shot: not sand(shot), "the sand block to be broken")
    s.look(0, -300)
    s.key("space", "w", seconds=2)
    s.close()
    for world in ("bare", "play", "play_start"):
        s.check(os.path.exists(os.path.join(worlds, world, "world.txt")), f"world {world} was not saved")
    (x0, z0), (x1, z1) = ([float(read_world(s, os.path.join(worlds, w), k)) for k in ("player_x", "player_z")]
                          for w in ("play_start", "play"))
    s.check(((x1 - x0) ** 2 + (z1 - z0) ** 2) ** 0.5 >= 2, "walked less than two blocks in two seconds")
    s.check("[textures] sand texture id: 0" in s.log(), "the sand texture was not left out")
    s.check("[textures] Failed to load texture ./assets/textures/blocks/sand.png" in "\n".join(s.log(s.err)),
            "the missing sand texture was not reported")
    options = s.log(os.path.join(s.work, "options.txt"))
    for line in ("language=", "font_family=JetBrainsMono", "font_variant=Regular"):
        s.check(line in options, f"options.txt lacks {line}: {options}")


@scenario
def unwritable(s):
    """A game folder nobody may write to: the saved world is played, every failed write is reported, nothing changes."""
    game, home, binary = (os.path.join(s.work, d) for d in ("game", "home", "bin"))
    os.chmod(s.work, 0o755)
    os.remove(os.path.join(s.work, "assets"))
    shutil.copytree(os.path.join(s.source, "assets"), os.path.join(game, "assets"))
    # The binary and its graphics library go where any user may read them.
    os.makedirs(binary)
    shutil.copy(s.binary, binary)
    libs = subprocess.run(["ldd", s.binary], capture_output=True, text=True).stdout.split()
    for lib in [p for p in libs if "libraylib" in p and p.startswith("/")]:
        shutil.copy(lib, binary)
    os.makedirs(home)
    subprocess.run(["chmod", "-R", "a+rX", binary, game], check=True)
    prepared_world(os.path.join(game, "worlds"), "ro")
    argv = ["env", f"HOME={home}", f"LD_LIBRARY_PATH={binary}", os.path.join(binary, "qvox")]
    s.launch(argv, cwd=game, logs="first")
    enter_listed(s, "ro")
    s.close()
    s.check(os.listdir(os.path.join(game, "worlds", "ro", "chunks")), "the first run saved no chunks")
    s.check(os.path.exists(os.path.join(game, "options.txt")), "the first run wrote no options.txt")

    with open(os.path.join(game, "chathistory"), "w") as f:
        f.write("/save recalled_copy\n")
    # Root ignores permission bits: the game runs as nobody, or else in a read-only bind mount.
    subprocess.run(["chown", "-R", "root:root", game], check=True)
    subprocess.run(["chmod", "-R", "a-w", game], check=True)
    s.cleanups.append(lambda: subprocess.run(["chmod", "-R", "u+w", game], check=False))
    nobody = pwd.getpwnam("nobody")
    as_nobody = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups", "--inh-caps=-all"]
    if subprocess.run(as_nobody + ["true"], capture_output=True).returncode == 0:
        os.chown(home, nobody.pw_uid, nobody.pw_gid)
        argv = as_nobody + argv
    else:
        s.check(subprocess.run(["mount", "--bind", game, game]).returncode == 0, "no other user and no bind mount")
        s.cleanups.append(lambda: subprocess.run(["umount", game], check=False))
        s.check(subprocess.run(["mount", "-o", "remount,bind,ro", game]).returncode == 0, "no read-only mount")
    state = lambda: subprocess.run(f"cd '{game}' && find . -printf '%p %y %s %m %u %T@\\n' | sort && "
                                   "find . -type f -print0 | sort -z | xargs -0 md5sum", shell=True,
                                   capture_output=True, text=True).stdout
    before = state()
    s.launch(argv, cwd=game, logs="second")
    enter_listed(s, "ro")
    s.wait_shot(sky, "sky in the game frame")
    s.look(0, 900)
    s.look(0, -210)
    edits = s.count("[edit] Set block")
    s.button(1)  # a block a few steps ahead: a changed chunk that cannot be saved
    s.wait(lambda: s.count("[edit] Set block") > edits, "the block to break")
    s.look(0, -500)
    messages = s.grab().digest(0, 440, 700, 200)
    s.say("/save typed_copy")
    s.check(s.grab().digest(0, 440, 700, 200) != messages, "/save posted no message")
    s.key("t")  # Up recalls the newest line of the read-only history
    s.wait_screen("chat")
    s.key("Up")
    s.key("Return")
    s.wait(lambda: s.screen() != "chat", "the recalled line to run")
    s.close()
    err = s.log(s.err)
    s.check(err.count("Failed to save options.txt") >= 2, f"options.txt failures not reported at start and end: {err}")
    for what, start, text in (("chathistory", "[chat] Failed to open ./chathistory for appending", ""),
                              ("the typed /save", "[world] ", "typed_copy"), ("the recalled /save", "[world] ", "recalled_copy"),
                              ("the save at shutdown", "", "Failed to save world ro")):
        s.check(any(line.startswith(start) and text in line for line in err), f"no failure reported for {what}")
    s.check(state() == before, "the read-only folder changed")


@scenario
def package(s):
    """The Debian package: checked, installed, played from / by a player with a scratch home, removed again."""
    if os.geteuid() != 0:
        raise Skip("dpkg needs root")
    if subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "qvox"], capture_output=True, text=True).stdout == "installed":
        raise Skip("a qvox package is already installed")
    work, data = s.work, os.path.join(s.work, "home", ".local", "share", "qvox")

    def sh(*argv, what=None):
        result = subprocess.run(argv, capture_output=True, text=True)
        s.check(result.returncode == 0, f"{what or argv[0]}: {result.stdout[-2000:]}{result.stderr[-2000:]}")
        return result.stdout

    def dpkg(*argv):
        """dpkg does not wait for a lock that another apt or dpkg run holds: its run is retried until it gets it."""
        def ran():
            result = subprocess.run(["dpkg", *argv], capture_output=True, text=True)
            s.check(result.returncode == 0 or "lock" in result.stderr, f"dpkg {argv[0]}: {result.stderr}")
            return result.returncode == 0
        s.wait(ran, f"dpkg {argv[0]} to get the lock", every=1)

    sh("cpack", "--config", os.path.join(os.path.dirname(s.binary), "CPackConfig.cmake"), "-B", f"{work}/pkg")
    deb = next(os.path.join(work, "pkg", f) for f in os.listdir(f"{work}/pkg") if f.endswith(".deb"))
    sh("dpkg-deb", "-x", deb, f"{work}/root")
    sh("desktop-file-validate", f"{work}/root/usr/share/applications/qvox.desktop")
    sh("appstreamcli", "validate-tree", "--no-net", f"{work}/root")
    for size in (32, 64, 128, 256):
        with open(f"{work}/root/usr/share/icons/hicolor/{size}x{size}/apps/qvox.png", "rb") as f:
            s.check(struct.unpack(">II", f.read(24)[16:24]) == (size, size), f"no {size}x{size} icon")
    # Kept infos: hardening flags, .comment sections, the game's text files outside /usr/share/doc.
    lintian = subprocess.run(["lintian", "--fail-on", "error,warning", deb], capture_output=True, text=True)
    with open(os.path.join(s.artifacts, "package_lintian.txt"), "w") as f:
        f.write(lintian.stdout + lintian.stderr)
    s.check(lintian.returncode == 0, f"lintian: {lintian.stdout}")
    paths = ["/" + line.split()[5].lstrip("./").rstrip("/") for line in sh("dpkg-deb", "-c", deb).splitlines()]
    present = lambda: [p for p in paths if os.path.lexists(p)]
    before_paths, before_root = present(), sorted(os.listdir("/"))
    dpkg("-i", deb)
    s.cleanups.append(lambda: subprocess.run(["dpkg", "-r", "qvox"], capture_output=True))

    def installed(*extra):
        return ["env", "-i", f"DISPLAY={os.environ['DISPLAY']}", "LIBGL_ALWAYS_SOFTWARE=1",
                "PATH=/usr/local/bin:/usr/bin:/bin:/usr/games", f"HOME={work}/home", *extra, "qvox"]
    os.makedirs(f"{work}/home")
    s.start_display()
    print(f"[package] first menu frame {s.launch(installed(), cwd='/'):.1f} s after start")
    create_world(s, "pkg")
    s.wait_shot(terrain, "terrain in the new world")
    s.close()
    s.check(os.path.exists(f"{data}/worlds/pkg/world.txt") and os.listdir(f"{data}/worlds/pkg/chunks"),
            f"no world with chunks in {data}")
    s.check(read_world(s, data, "render_distance", "options.txt"), f"no options.txt in {data}")
    s.check(oct(os.stat(data).st_mode & 0o777) == "0o700", f"{data} is not private")
    s.check(os.readlink(f"{data}/assets") == "/usr/share/games/qvox/assets", f"{data}/assets is {os.readlink(f'{data}/assets')}")
    s.check(sorted(os.listdir("/")) == before_root, "the game wrote into /")

    # A player whose data folder cannot be made is told so, in the window and on standard error.
    open(f"{work}/not_a_folder", "w").close()
    s.launch(installed(f"XDG_DATA_HOME={work}/not_a_folder/data"), cwd="/", screen=None)
    s.wait_shot(lambda shot: max(shot.grey(40, 40, 300, 40)) >= 0.9, "the window to say the game cannot start")
    s.check(any(l.startswith(f"[data] Failed to create the data folder {work}/not_a_folder: ") for l in s.log(s.err)),
            f"no data folder failure on standard error: {s.log(s.err)}")
    s.close(1)
    s.check(sorted(os.listdir("/")) == before_root, "the game without a data folder wrote into /")
    dpkg("-r", "qvox")
    s.cleanups.pop()
    s.check(subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "qvox"], capture_output=True, text=True).stdout
            != "installed", "qvox is still installed")
    s.check(present() == before_paths, f"dpkg -r left files behind: {set(present()) - set(before_paths)}")


@scenario
def playbot(s):
    """A seeded play session (QVOX_PLAYBOT_SECONDS, QVOX_PLAYBOT_SEED); then every block changed before the
    last save of a world must be in its files, and resident memory must level off after the first minute."""
    seconds, seed = float(os.environ.get("QVOX_PLAYBOT_SECONDS", 60)), int(os.environ.get("QVOX_PLAYBOT_SEED", 1))
    s.launch()
    create_world(s, "bot_home")
    bot = Bot(s, seed)
    report = {"seed": seed, "seconds": seconds, "actions": bot.actions, "rss_peaks_kib": bot.peaks}

    def write_report(**more):
        report.update(more, trace=bot.trace[-40:])
        with open(os.path.join(s.artifacts, "playbot_report.json"), "w") as f:
            json.dump(report, f, indent=1)
    try:
        bot.play(seconds)
        bot.pause()
        lines = len(s.log())
        s.click(600, 570)
        s.wait_log("[world] Saved world", lines)
        s.close()
    finally:
        write_report()
    for path in (s.out, s.err, os.path.join(s.work, "chathistory")):
        shutil.copy(path, os.path.join(s.artifacts, "playbot_" + os.path.basename(path)))
    errors = [l for l in s.log(s.err) if re.search(r"AddressSanitizer|runtime error:|ThreadSanitizer|\[ERROR\]", l)]
    s.check(not errors, f"the game reported errors: {errors[:5]}")
    worlds = expected_cells(s.log())
    lost = [(world, where, value) for world, cells in worlds.items() for where, value in cells.items()
            if cell(os.path.join(s.work, "worlds", world), *where) != value]
    write_report(edits=s.count("[edit] Set block"), worlds_saved=len(worlds), saves=s.count("[world] Saved world"),
                 frames=next((l for l in s.log() if l.startswith("[main] ")), ""), lost=lost[:20])
    s.check(report["edits"], "the session made no edit")
    s.check(not lost, f"{len(lost)} recorded edits are missing from the saved worlds: {lost[:10]}")
    peaks = [p for p in bot.peaks if p]
    print(f"[playbot] {bot.actions}; peak resident memory per minute (MiB): {[p // 1024 for p in peaks]}")
    s.check(len(peaks) < 2 or max(peaks[1:]) <= peaks[0] * 1.2, "resident memory kept growing")


if __name__ == "__main__":
    run(SCENARIOS)

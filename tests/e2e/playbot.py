"""A play bot: drives the running game like a restless player, from a seeded
random script, through xdotool on a virtual X server.

    playbot.py play  --wid W --pid P --work DIR --seconds N --seed S --report FILE
    playbot.py check --work DIR --report FILE

`play` walks, sneaks, sprints, jumps, flies, looks around, breaks and places
blocks, picks hotbar slots, moves stacks on the inventory screen, types every
console command (world ones with names of its own), pauses, drags the
settings sliders, leaves to the main menu and enters worlds again from the
list, turns HUD pages and resizes the window. It ends by leaving through the
pause menu. Every minute it notes the game's peak resident memory.

`check` replays the game's own log lines ("[edit] Set block ...", "[world]
Saved/Loaded/Created world ...") against the world folders the session left:
every block changed before the last save of a world must be in that world's
chunk files. Blocks changed after a world's last save are not expected there.
"""
import argparse
import json
import os
import random
import re
import struct
import subprocess
import threading
import time

WIDTH, HEIGHT = 1200, 800
BLOCKS = ["stone", "dirt", "grass", "sand", "wood", "glowstone"]
SAVE_NAMES = ["bot_save_a", "bot_save_b", "bot_save_c"]
CHUNK_SIZE, CHUNK_HEIGHT = 32, 64
CHUNK_BYTES = CHUNK_SIZE * CHUNK_HEIGHT * CHUNK_SIZE * 4


def xdo(*args):
    try:
        subprocess.run(["xdotool", *[str(a) for a in args]], check=False, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        pass


class GameLog:
    """Follows the game's standard output, which it writes line by line."""

    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path, errors="replace") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def count(self, prefix):
        return sum(1 for line in self.lines() if line.startswith(prefix))

    def wait_for_more(self, prefix, before, seconds):
        end = time.time() + seconds
        while time.time() < end:
            if self.count(prefix) > before:
                return True
            time.sleep(0.2)
        return False


class MemoryWatch(threading.Thread):
    """Peak resident memory of the game for each minute of the session."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid = pid
        self.start_time = time.time()
        self.peaks = []
        self.stop = False

    def rss_kib(self):
        try:
            with open(f"/proc/{self.pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return None

    def run(self):
        while not self.stop:
            rss = self.rss_kib()
            if rss is None:
                return
            minute = int((time.time() - self.start_time) // 60)
            while len(self.peaks) <= minute:
                self.peaks.append(0)
            self.peaks[minute] = max(self.peaks[minute], rss)
            time.sleep(1.0)


class Bot:
    def __init__(self, args):
        self.wid = args.wid
        self.work = args.work
        self.rng = random.Random(args.seed)
        self.log = GameLog(os.path.join(args.work, "stdout.log"))
        self.state = "game"
        self.flight = False
        self.created = 0
        self.actions = {}
        self.typed = []
        self.trace = []  # "seconds-since-start action" lines, for reading a failed session
        self.start = time.time()
        self.shots_after = args.shots_after
        self.shots_dir = os.path.dirname(args.report)

    # ------------------------------------------------------------ input

    def hold(self, keys, seconds=0.35):
        # Keys, typed text and the mouse all go through the X test extension,
        # to the window that has the focus, as a real keyboard's would.
        for k in keys:
            xdo("keydown", k)
        time.sleep(seconds)
        for k in reversed(keys):
            xdo("keyup", k)
        time.sleep(0.15)

    def button(self, which, seconds=0.3):
        xdo("mousedown", which)
        time.sleep(seconds)
        xdo("mouseup", which)
        time.sleep(0.2)

    def click(self, x, y):
        xdo("mousemove", "--window", self.wid, x, y)
        time.sleep(0.25)
        self.button(1)
        time.sleep(0.3)

    def say(self, text):
        self.note(f"say {text}")
        self.hold(["t"])
        xdo("type", "--delay", 40, "--", text)
        time.sleep(0.2)
        self.hold(["Return"])
        self.typed.append(text)

    # ------------------------------------------------------------ screen probes

    def grab(self):
        """The window's pixels as (width, height, rgb bytes), or None."""
        try:
            out = subprocess.run(["import", "-window", str(self.wid), "-depth", "8", "ppm:-"], capture_output=True,
                                 timeout=20).stdout
        except subprocess.TimeoutExpired:
            return None
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", out)
        if not m:
            return None
        return int(m.group(1)), int(m.group(2)), out[m.end():]

    def pixel(self, image, x, y):
        w, h, data = image
        if not (0 <= x < w and 0 <= y < h):
            return (0, 0, 0)
        i = (y * w + x) * 3
        return tuple(data[i:i + 3])

    def is_button_grey(self, rgb, low, high):
        return rgb[0] == rgb[1] == rgb[2] and low <= rgb[0] <= high

    def paused(self):
        image = self.grab()
        if image is None:
            return False
        # The left margins of the three pause buttons; the veil keeps the world below 106.
        return all(self.is_button_grey(self.pixel(image, 380, y), 120, 200) for y in (385, 465, 545))

    def on_world_list(self):
        image = self.grab()
        return image is not None and self.pixel(image, 5, 5) == (20, 20, 20) and \
            self.is_button_grey(self.pixel(image, 305, 635), 50, 120)

    def on_main_menu(self):
        image = self.grab()
        return image is not None and all(self.is_button_grey(self.pixel(image, 405, y), 50, 120)
                                         for y in (405, 485, 565))

    # ------------------------------------------------------------ menus

    def pause(self):
        # Escape first closes the console or the inventory screen, whichever is open.
        for _ in range(6):
            if self.paused():
                return True
            self.note("Escape")
            self.hold(["Escape"])
            time.sleep(0.5)
        if self.paused():
            return True
        image = self.grab()
        if image is not None:
            self.note(f"no pause menu: pixels {[self.pixel(image, 380, y) for y in (385, 465, 545)]}")
        return False

    def resume(self):
        self.click(600, 410)
        time.sleep(0.3)
        if self.paused():
            self.hold(["Escape"])

    def leave_to_menu(self):
        saves = self.log.count("[world] Saved world")
        if not self.pause():
            return False
        self.click(600, 570)
        if not self.log.wait_for_more("[world] Saved world", saves, 60):
            return False
        self.state = "menu"
        self.flight = False
        return True

    def open_world_list(self):
        for _ in range(4):
            if self.on_world_list():
                return True
            self.click(600, 430)
            time.sleep(0.6)
        return self.on_world_list()

    def entered(self, loads):
        """Whether the game logged one more world load than `loads` within a minute."""
        if not self.log.wait_for_more("[world] Loaded world", loads, 60):
            return False
        self.state = "game"
        time.sleep(1.5)
        return True

    def enter_from_list(self):
        loads = self.log.count("[world] Loaded world")
        if not self.open_world_list():
            return False
        worlds = [d for d in os.listdir(os.path.join(self.work, "worlds"))
                  if os.path.isfile(os.path.join(self.work, "worlds", d, "world.txt"))]
        if not worlds:
            return False
        self.click(600, 145 + 60 * self.rng.randrange(min(len(worlds), 8)))
        return self.entered(loads)

    def create_from_list(self):
        loads = self.log.count("[world] Loaded world")
        if not self.open_world_list():
            return False
        self.click(375, 655)
        self.created += 1
        xdo("type", "--delay", 60, "--", f"bot menu {self.created}")
        time.sleep(0.3)
        self.hold(["Return"])
        return self.entered(loads)

    # ------------------------------------------------------------ actions in a world

    def walk(self):
        keys = self.rng.sample(["w", "a", "s", "d"], self.rng.choice([1, 1, 2]))
        extra = self.rng.choice([None, None, "shift", "ctrl", "space"])
        if extra:
            keys.append(extra)
        self.hold(keys, self.rng.uniform(0.5, 2.5))

    def jump(self):
        self.hold(["space"], 0.3)

    def fly(self):
        if not self.flight:
            self.say("/fly enable")
            self.flight = True
        for _ in range(2):
            self.hold(["space"], 0.12)
        self.hold([self.rng.choice(["space", "shift", "w"])], self.rng.uniform(0.5, 1.5))

    def look(self):
        dx, dy = self.rng.randint(-300, 300), self.rng.randint(-200, 200)
        steps = max(abs(dx), abs(dy)) // 20 + 1
        for _ in range(steps):
            xdo("mousemove_relative", "--", dx // steps, dy // steps)
            time.sleep(0.05)

    def aim_lower(self):
        # The view drifts; a glance downwards finds a block within reach more often.
        if self.rng.random() < 0.5:
            for _ in range(5):
                xdo("mousemove_relative", "--", 0, self.rng.randint(10, 40))
                time.sleep(0.05)
            time.sleep(0.2)

    def break_block(self):
        self.aim_lower()
        self.button(1)

    def place_block(self):
        self.aim_lower()
        self.button(3)

    def number_key(self):
        self.hold([str(self.rng.randint(1, 9))], 0.2)

    def inventory(self):
        self.hold(["i"])
        time.sleep(0.4)
        for _ in range(self.rng.randint(1, 3)):
            for _ in range(2):
                col = self.rng.randrange(9)
                row = self.rng.randrange(5)
                y = 552 if row == 4 else 312 + 44 * row
                self.click(424 + 44 * col, y)
        # I only opens the screen; Escape closes it.
        self.hold(["Escape"])

    def hud(self):
        self.hold([self.rng.choice(["F2", "F3", "F4", "F5"])], 0.25)

    def reset(self):
        self.hold(["r"], 0.25)

    COMMANDS = ["give", "select", "setblock", "tp", "fly", "noclip", "save", "load", "createworld", "loadworld",
                "junk"]

    def command(self, kind=None):
        r = self.rng
        kind = kind or r.choice(self.COMMANDS + ["give", "setblock", "setblock", "save"])
        if kind == "give":
            self.say(f"/give {r.choice(BLOCKS)} {r.randint(1, 128)}")
        elif kind == "select":
            self.say(f"/select {r.choice(BLOCKS)}")
        elif kind == "setblock":
            block = r.choice(BLOCKS + ["air", ""])
            self.say(f"/setblock {r.randint(-40, 40)} {r.randint(40, 140)} {r.randint(-40, 40)} {block}".rstrip())
        elif kind == "tp":
            self.say(f"/tp {r.uniform(-80, 80):.1f} {r.uniform(100, 130):.1f} {r.uniform(-80, 80):.1f}")
        elif kind == "fly":
            self.flight = r.random() < 0.7
            self.say("/fly enable" if self.flight else "/fly disable")
        elif kind == "noclip":
            # A player without collision sinks through the ground and out of the
            # world: on, a short walk, off, and R back to the spawn.
            self.say("/noclip enable")
            self.walk()
            self.say("/noclip disable")
            self.reset()
        elif kind == "save":
            self.say(f"/save {r.choice(SAVE_NAMES)}")
        elif kind == "load":
            self.say(f"/load {r.choice(SAVE_NAMES + self.known_worlds())}")
        elif kind == "createworld":
            self.created += 1
            self.say(f"/createworld bot_world_{self.created}")
            self.flight_after_world_change()
        elif kind == "loadworld":
            self.say(f"/loadworld {r.choice(SAVE_NAMES + self.known_worlds())}")
            self.flight_after_world_change()
        else:
            self.say(r.choice(["/unknown", "hello there", "/save", "/tp 1 2", "/setblock 1 300 1 stone"]))

    def flight_after_world_change(self):
        time.sleep(1.0)
        # Flight permission survives world commands; a new body starts on foot.
        self.hold(["space"], 0.2)

    def known_worlds(self):
        names = []
        try:
            for d in os.listdir(os.path.join(self.work, "worlds")):
                if re.fullmatch(r"[A-Za-z0-9_]+", d):
                    names.append(d)
        except OSError:
            pass
        return names

    def settings(self):
        if not self.pause():
            return
        self.click(600, 490)
        for y in (160, 260):
            if self.rng.random() < 0.7:
                # Render distances up to about 40 keep frames bearable in a sanitizer build.
                x = self.rng.randint(350, 520) if y == 160 else self.rng.randint(350, 850)
                xdo("mousemove", "--window", self.wid, x, y)
                time.sleep(0.2)
                self.button(1, 0.4)
        self.click(600, 380)
        self.resume()

    def pause_and_resume(self):
        if self.pause():
            time.sleep(self.rng.uniform(0.2, 1.0))
            self.resume()

    def resize(self):
        w, h = self.rng.choice([(900, 600), (1400, 900), (700, 500)])
        xdo("windowsize", self.wid, w, h)
        time.sleep(0.8)
        for _ in range(3):
            self.rng.choice([self.walk, self.look, self.break_block, self.place_block, self.hud])()
        xdo("windowsize", self.wid, WIDTH, HEIGHT)
        time.sleep(0.8)

    def menu_round_trip(self):
        if not self.leave_to_menu():
            return
        time.sleep(0.5)
        for _ in range(4):
            if self.on_main_menu():
                break
            time.sleep(0.5)
        if self.rng.random() < 0.3:
            self.create_from_list()
        else:
            self.enter_from_list()

    # ------------------------------------------------------------ the session

    def table(self):
        return [
            (self.walk, 20), (self.jump, 5), (self.fly, 4), (self.look, 15), (self.break_block, 15),
            (self.place_block, 15), (self.number_key, 5), (self.inventory, 3), (self.hud, 3),
            (self.command, 16), (self.settings, 2), (self.pause_and_resume, 2), (self.resize, 2),
            (self.menu_round_trip, 2), (self.reset, 1),
        ]

    def note(self, text):
        self.trace.append(f"{time.time() - self.start:7.1f} {text}")

    def act(self, action):
        name = action.__name__
        self.note(name)
        # A click that landed outside a shrunken window gives the focus to the
        # desktop; the window gets it back first, as a player would click into it.
        xdo("windowactivate", "--sync", self.wid)
        if self.shots_after is not None and time.time() - self.start > self.shots_after:
            subprocess.run(["import", "-window", "root",
                            os.path.join(self.shots_dir, f"bot_{len(self.trace):04d}_{name}.png")])
        self.actions[name] = self.actions.get(name, 0) + 1
        action()

    def tour(self):
        """Every action and every command once, in a seeded order, before chance takes over."""
        steps = [a for a, _ in self.table() if a != self.command]
        for kind in self.COMMANDS:
            step = lambda kind=kind: self.command(kind)
            step.__name__ = "command"
            steps.append(step)
        self.rng.shuffle(steps)
        return steps

    def run(self, seconds):
        end = time.time() + seconds
        xdo("windowactivate", "--sync", self.wid)
        # Something to place from the start.
        self.say("/give stone 64")
        self.say("/give glowstone 20")
        planned = self.tour()
        while time.time() < end:
            if self.state != "game":
                if not (self.enter_from_list() or self.create_from_list()):
                    raise SystemExit("the bot could not get back into a world")
                continue
            if planned:
                self.act(planned.pop())
                continue
            table = self.table()
            self.act(self.rng.choices([a for a, _ in table], weights=[w for _, w in table])[0])
        if self.state == "game" and not self.leave_to_menu():
            raise SystemExit("the bot could not leave through the pause menu")


def play(args):
    watch = MemoryWatch(args.pid)
    watch.start()
    bot = Bot(args)
    started = time.time()
    try:
        bot.run(args.seconds)
    finally:
        watch.stop = True
        watch.join(timeout=5)
        report = {"seed": args.seed, "seconds": round(time.time() - started, 1), "actions": bot.actions,
                  "typed": len(bot.typed), "rss_peak_kib_per_minute": watch.peaks,
                  "trace": bot.trace[-40:]}
        with open(args.report, "w") as f:
            json.dump(report, f, indent=1)


# ---------------------------------------------------------------- the check

EDIT = re.compile(r"^\[edit\] Set block \((-?\d+),(-?\d+),(-?\d+)\) to (\d+) in world (.*)$")
WORLD = re.compile(r"^\[world\] (Saved|Loaded|Created) world (.*)$")


def expected_cells(lines):
    """For each world folder, the cells whose value the files must hold."""
    definite = {}   # world name -> {cell: value} as of its last save
    running = None  # name of the world in memory
    memory = {}     # cell -> value for every edit the world in memory holds
    edits = 0
    for line in lines:
        m = EDIT.match(line)
        if m:
            x, y, z, value, name = m.groups()
            if name != running:
                raise SystemExit(f"an edit in world {name} while {running} was running: {line}")
            memory[(int(x), int(y), int(z))] = int(value)
            edits += 1
            continue
        m = WORLD.match(line)
        if not m:
            continue
        event, name = m.groups()
        if event == "Loaded":
            running = name
            memory = dict(definite.get(name, {}))
        elif event == "Created":
            running = name
            memory = {}
            definite[name] = {}
        elif event == "Saved":
            # A copy under another name carries everything the running world holds.
            cells = dict(definite.get(name, {})) if name == running else {}
            cells.update(memory)
            definite[name] = cells
    return definite, edits


def read_cell(work, world, cell):
    x, y, z = cell
    cx, cy, cz = x >> 5, y >> 6, z >> 5
    path = os.path.join(work, "worlds", world, "chunks", f"chunk_{cx}_{cy}_{cz}.chunk")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None, path
    if len(data) != CHUNK_BYTES:
        return None, path
    index = ((y & 63) * CHUNK_SIZE + (z & 31)) * CHUNK_SIZE + (x & 31)
    return struct.unpack_from("<i", data, index * 4)[0], path


def check(args):
    lines = GameLog(os.path.join(args.work, "stdout.log")).lines()
    definite, edits = expected_cells(lines)
    missing = []
    checked = 0
    for world, cells in definite.items():
        for cell, value in cells.items():
            found, path = read_cell(args.work, world, cell)
            checked += 1
            if found != value:
                missing.append(f"{world} {cell}: expected {value}, found {found} in {path}")
    frames = next((line for line in lines if line.startswith("[main] ")), "[main] no frame count")
    with open(args.report) as f:
        report = json.load(f)
    report.update({"edits": edits, "cells_checked": checked, "worlds_saved": len(definite),
                   "saves": sum(1 for line in lines if line.startswith("[world] Saved world")),
                   "frames": frames[len("[main] "):], "lost": missing[:20]})
    with open(args.report, "w") as f:
        json.dump(report, f, indent=1)
    print(json.dumps(report, indent=1))
    if missing:
        raise SystemExit(f"{len(missing)} recorded edits are missing from the saved worlds")
    if edits == 0:
        raise SystemExit("the session made no edit")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["play", "check"])
    parser.add_argument("--wid")
    parser.add_argument("--pid", type=int)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--report", required=True)
    parser.add_argument("--shots-after", type=float, help="screenshot before every action after this many seconds")
    args = parser.parse_args()
    play(args) if args.mode == "play" else check(args)


if __name__ == "__main__":
    main()

"""The play bot: a restless player from a seeded random script, on the driver's input helpers.

It walks, sneaks, sprints, jumps, flies, looks around, breaks and places blocks,
picks hotbar slots, moves stacks on the inventory screen, types every console
command, pauses, drags the settings sliders, leaves to the main menu and
enters or creates worlds from the list, turns HUD pages and resizes the window.
Afterwards the game's own log ("[edit] Set block ...", "[world] Saved/Loaded/
Created world ...") is replayed against the world folders: every block changed
before the last save of a world must be in that world's chunk files.
"""
import os
import random
import re
import time

BLOCKS = ["stone", "dirt", "grass", "sand", "wood", "glowstone"]
SAVES = ["bot_save_a", "bot_save_b", "bot_save_c"]
COMMANDS = ["give", "select", "setblock", "tp", "fly", "noclip", "save", "load", "createworld", "loadworld", "junk"]


class Bot:
    def __init__(self, s, seed):
        self.s, self.rng, self.created, self.flight = s, random.Random(seed), 0, False
        self.actions, self.trace, self.peaks, self.start = {}, [], [], time.monotonic()

    def worlds(self):
        return [d for d in os.listdir(os.path.join(self.s.work, "worlds")) if re.fullmatch(r"[A-Za-z0-9_]+", d)]

    def walk(self):
        keys = self.rng.sample("wasd", self.rng.choice([1, 1, 2])) + [self.rng.choice(["", "", "shift", "ctrl", "space"])]
        self.s.key(*filter(None, keys), seconds=self.rng.uniform(0.5, 2.5))

    def jump(self):
        self.s.key("space")

    def fly(self):
        if not self.flight:
            self.s.say("/fly enable")
            self.flight = True
        self.s.key("space")
        self.s.key("space")
        self.s.key(self.rng.choice(["space", "shift", "w"]), seconds=self.rng.uniform(0.5, 1.5))

    def look(self):
        self.s.look(self.rng.randint(-300, 300), self.rng.randint(-200, 200))

    def aim_lower(self):
        if self.rng.random() < 0.5:  # the view drifts; a glance down finds a block within reach more often
            self.s.look(0, self.rng.randint(50, 200))

    def break_block(self):
        self.aim_lower()
        self.s.button(1)

    def place_block(self):
        self.aim_lower()
        self.s.button(3)

    def number_key(self):
        self.s.key(str(self.rng.randint(1, 9)))

    def inventory(self):
        self.s.key("i")
        self.s.wait_screen("inventory")
        for _ in range(2 * self.rng.randint(1, 3)):
            row = self.rng.randrange(5)
            self.s.click(424 + 44 * self.rng.randrange(9), 552 if row == 4 else 312 + 44 * row)
        self.s.key("Escape")  # I only opens the screen
        self.s.wait_screen("game")

    def hud(self):
        self.s.key(self.rng.choice(["F2", "F3", "F4", "F5"]))

    def reset(self):
        self.s.key("r")

    def command(self, kind=None):
        r, say = self.rng, self.s.say
        kind = kind or r.choice(COMMANDS + ["give", "setblock", "setblock", "save"])
        if kind == "give":
            say(f"/give {r.choice(BLOCKS)} {r.randint(1, 128)}")
        elif kind == "select":
            say(f"/select {r.choice(BLOCKS)}")
        elif kind == "setblock":
            say(f"/setblock {r.randint(-40, 40)} {r.randint(40, 140)} {r.randint(-40, 40)} {r.choice(BLOCKS + ['air', ''])}".rstrip())
        elif kind == "tp":
            say(f"/tp {r.uniform(-80, 80):.1f} {r.uniform(100, 130):.1f} {r.uniform(-80, 80):.1f}")
        elif kind == "fly":
            self.flight = r.random() < 0.7
            say("/fly enable" if self.flight else "/fly disable")
        elif kind == "noclip":  # without collision the player sinks out of the world: on, a walk, off, R
            say("/noclip enable")
            self.walk()
            say("/noclip disable")
            self.reset()
        elif kind in ("save", "load", "loadworld"):
            say(f"/{kind} {r.choice(SAVES + ([] if kind == 'save' else self.worlds()))}")
        elif kind == "createworld":
            self.created += 1
            say(f"/createworld bot_world_{self.created}")
        else:
            say(r.choice(["/unknown", "hello there", "/save", "/tp 1 2", "/setblock 1 300 1 stone"]))

    def pause(self):
        self.s.key("Escape")
        self.s.wait_screen("paused")

    def resume(self):
        self.s.click(600, 410)
        self.s.wait_screen("game")

    def pause_and_resume(self):
        self.pause()
        self.resume()

    def settings(self):
        self.pause()
        self.s.click(600, 490)
        self.s.wait_screen("pause_settings")
        # Render distances up to about 40 keep frames bearable in a sanitizer build.
        self.s.click(self.rng.randint(350, 520), 160)
        self.s.click(self.rng.randint(350, 850), 260)
        self.s.click(600, 380)
        self.s.wait_screen("paused")
        self.resume()

    def resize(self):
        for size in (self.rng.choice([(900, 600), (1400, 900), (700, 500)]), (1200, 800)):
            self.s.xdo("windowsize", self.s.wid, *size)
            self.s.wait(lambda: self.s.x.size(self.s.wid) == size, f"the window at {size}")
            self.s.frames()
            if size != (1200, 800):
                for _ in range(3):
                    self.rng.choice([self.walk, self.look, self.break_block, self.place_block, self.hud])()
        self.s.xdo("windowactivate", "--sync", self.s.wid)

    def menu_round_trip(self):
        lines = len(self.s.log())
        self.pause()
        self.s.click(600, 570)
        self.s.wait_log("[world] Saved world", lines)
        self.s.wait_screen("main")
        self.flight = False
        lines = len(self.s.log())
        self.s.click(600, 430)
        self.s.wait_screen("worlds")
        if self.rng.random() < 0.3:
            self.s.click(375, 655)
            self.s.wait_screen("create")
            self.created += 1
            self.s.type(f"bot menu {self.created}")
            self.s.key("Return")
        else:
            self.s.click(600, 145 + 60 * self.rng.randrange(min(len(os.listdir(os.path.join(self.s.work, "worlds"))), 8)))
        self.s.wait_log("[world] Loaded world", lines)
        self.s.wait_screen("game")

    def table(self):
        return [(self.walk, 20), (self.jump, 5), (self.fly, 4), (self.look, 15), (self.break_block, 15),
                (self.place_block, 15), (self.number_key, 5), (self.inventory, 3), (self.hud, 3), (self.command, 16),
                (self.settings, 2), (self.pause_and_resume, 2), (self.resize, 2), (self.menu_round_trip, 2),
                (self.reset, 1)]

    def act(self, action, name):
        self.trace.append(f"{time.monotonic() - self.start:7.1f} {name}")
        self.actions[name] = self.actions.get(name, 0) + 1
        action()
        with open(f"/proc/{self.s.game.pid}/status") as f:
            rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
        minute = int((time.monotonic() - self.start) // 60)
        self.peaks += [0] * (minute + 1 - len(self.peaks))
        self.peaks[minute] = max(self.peaks[minute], rss)

    def play(self, seconds):
        """Every action and command once in a seeded order, then chance, until the time is up."""
        self.s.say("/give stone 64")
        self.s.say("/give glowstone 20")
        tour = [(a, a.__name__) for a, _ in self.table() if a != self.command]
        tour += [(lambda kind=kind: self.command(kind), f"command {kind}") for kind in COMMANDS]
        self.rng.shuffle(tour)
        while time.monotonic() - self.start < seconds:
            table = self.table()
            action = tour.pop() if tour else (lambda a: (a, a.__name__))(
                self.rng.choices([a for a, _ in table], [w for _, w in table])[0])
            self.act(*action)


EDIT = re.compile(r"^\[edit\] Set block \((-?\d+),(-?\d+),(-?\d+)\) to (\d+) in world (.*)$")
WORLD = re.compile(r"^\[world\] (Saved|Loaded|Created) world (.*)$")


def expected_cells(lines):
    """For each world folder, the cells whose value its files must hold as of its last save."""
    definite, running, memory = {}, None, {}
    for line in lines:
        edit, event = EDIT.match(line), WORLD.match(line)
        if edit:
            x, y, z, value, name = edit.groups()
            if name != running:
                raise AssertionError(f"an edit in world {name} while {running} was running")
            memory[(int(x), int(y), int(z))] = int(value)
        elif event and event.group(1) == "Loaded":
            running, memory = event.group(2), dict(definite.get(event.group(2), {}))
        elif event and event.group(1) == "Created":
            running, memory, definite[event.group(2)] = event.group(2), {}, {}
        elif event:  # a copy under another name carries everything the running world holds
            name = event.group(2)
            definite[name] = {**(definite.get(name, {}) if name == running else {}), **memory}
    return definite

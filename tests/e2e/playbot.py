"""The play bot: a restless player from a seeded random script, on the driver's input helpers. It walks, sneaks,
sprints, jumps, flies, looks around, breaks and places blocks, picks hotbar slots, moves stacks on the inventory
screen, types every console command, pauses, drags the settings sliders, leaves to the main menu and enters or
creates worlds from the list, turns HUD pages and resizes the window."""
import os
import random
import re
import time

BLOCKS = ["stone", "dirt", "grass", "sand", "wood", "glowstone"]
SAVES = ["bot_save_a", "bot_save_b", "bot_save_c"]
COMMANDS = ["give", "select", "setblock", "tp", "fly", "noclip", "save", "load", "createworld", "loadworld", "junk"]


class Bot:
    def __init__(self, s, seed):
        self.s, self.rng, self.created = s, random.Random(seed), 0
        self.actions, self.trace, self.peaks, self.start = {}, [], [], time.monotonic()

    def worlds(self):
        return [d for d in os.listdir(os.path.join(self.s.work, "worlds")) if re.fullmatch(r"[A-Za-z0-9_]+", d)]

    def walk(self):
        extra = self.rng.choice(["", "", "shift", "ctrl", "space"])  # walk, sneak, sprint or hop
        keys = self.rng.sample("wasd", self.rng.choice([1, 1, 2])) + [extra]
        self.s.key(*filter(None, keys), seconds=self.rng.uniform(0.5, 2.5))

    def fly(self):
        self.s.say("/fly enable")
        self.s.key("space")
        self.s.key("space")
        self.s.key(self.rng.choice(["space", "shift", "w"]), seconds=self.rng.uniform(0.5, 1.5))

    def edit(self, button):
        if self.rng.random() < 0.5:  # the view drifts; a glance down finds a block within reach more often
            self.s.look(0, self.rng.randint(50, 200))
        self.s.button(button)

    def inventory(self):
        self.s.key("i", screen="inventory")
        for _ in range(2 * self.rng.randint(1, 3)):
            row = self.rng.randrange(5)
            self.s.click(424 + 44 * self.rng.randrange(9), 552 if row == 4 else 312 + 44 * row)
        self.s.key("Escape", screen="game")  # I only opens the screen

    def command(self, kind=None):
        r, s = self.rng, self.s
        kind = kind or r.choice(COMMANDS + ["give", "setblock", "setblock", "save"])
        if kind == "noclip":  # without collision the player sinks out of the world: on, a walk, off, and R
            s.say("/noclip enable")
            self.walk()
            s.say("/noclip disable")
            return s.key("r")
        self.created += kind == "createworld"
        s.say({"give": f"/give {r.choice(BLOCKS)} {r.randint(1, 128)}", "select": f"/select {r.choice(BLOCKS)}",
               "setblock": f"/setblock {r.randint(-40, 40)} {r.randint(40, 140)} {r.randint(-40, 40)} "
                           f"{r.choice(BLOCKS + ['air', ''])}".rstrip(),
               "tp": f"/tp {r.uniform(-80, 80):.1f} {r.uniform(100, 130):.1f} {r.uniform(-80, 80):.1f}",
               "fly": r.choice(["/fly enable", "/fly disable"]), "save": f"/save {r.choice(SAVES)}",
               "load": f"/load {r.choice(SAVES + self.worlds())}",
               "loadworld": f"/loadworld {r.choice(SAVES + self.worlds())}",
               "createworld": f"/createworld bot_world_{self.created}",
               "junk": r.choice(["/unknown", "hello there", "/save", "/tp 1 2", "/setblock 1 300 1 stone"])}[kind])

    def pause(self):
        self.s.key("Escape", screen="paused")

    def resume(self):
        self.s.click(600, 410, "game")

    def settings(self):
        self.pause()
        self.s.click(600, 490, "pause_settings")
        # Render distances up to about 40 keep frames bearable in a sanitizer build.
        self.s.click(self.rng.randint(350, 520), 160)
        self.s.click(self.rng.randint(350, 850), 260)
        self.s.click(600, 380, "paused")
        self.resume()

    def resize(self):
        for size in (self.rng.choice([(900, 600), (1400, 900), (700, 500)]), (1200, 800)):
            self.s.xdo("windowsize", self.s.wid, *size)
            self.s.wait(lambda: self.s.x.window(self.s.wid)[:2] == size, f"the window at {size}")
            self.s.frames()
            for _ in range(3 if size != (1200, 800) else 0):
                self.rng.choice([self.walk, lambda: self.edit(1), lambda: self.edit(3)])()
        self.s.xdo("windowactivate", "--sync", self.s.wid)

    def menu_round_trip(self):
        self.s.leave()
        self.created += 1
        if self.rng.random() < 0.3:
            self.s.create_world(f"bot menu {self.created}")
        else:
            self.s.enter_listed(row=self.rng.randrange(min(len(os.listdir(os.path.join(self.s.work, "worlds"))), 8)))

    def table(self):
        s, r = self.s, self.rng
        return [(self.walk, 20), (lambda: s.key("space"), 5, "jump"), (self.fly, 4), (lambda: s.look(
            r.randint(-300, 300), r.randint(-200, 200)), 15, "look"), (lambda: self.edit(1), 15, "break"),
            (lambda: self.edit(3), 15, "place"), (lambda: s.key(str(r.randint(1, 9))), 5, "number_key"),
            (self.inventory, 3), (lambda: s.key(r.choice(["F2", "F3", "F4", "F5"])), 3, "hud"), (self.command, 16),
            (self.settings, 2), (lambda: (self.pause(), self.resume()), 2, "pause"), (self.resize, 2),
            (self.menu_round_trip, 2), (lambda: s.key("r"), 1, "reset")]

    def act(self, action, weight=0, name=None):
        name = name or action.__name__
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
        tour = [a for a in self.table() if a[0] != self.command]
        tour += [(lambda kind=kind: self.command(kind), 0, f"command {kind}") for kind in COMMANDS]
        self.rng.shuffle(tour)
        while time.monotonic() - self.start < seconds:
            table = self.table()
            self.act(*(tour.pop() if tour else self.rng.choices(table, [a[1] for a in table])[0]))


EDIT = re.compile(r"^\[edit\] Set block \((-?\d+),(-?\d+),(-?\d+)\) to (\d+) in world (.*)$")
WORLD = re.compile(r"^\[world\] (Saved|Autosaved|Loaded|Created) world (.*)$")


def expected_cells(lines):
    """Replays the game's log: for each world folder, the cells whose value its files must hold as of its last save."""
    definite, running, memory = {}, None, {}
    for line in lines:
        edit, event = EDIT.match(line), WORLD.match(line)
        if edit:
            x, y, z, value, name = edit.groups()
            assert name == running, f"an edit in world {name} while {running} was running"
            memory[(int(x), int(y), int(z))] = int(value)
        elif event and event.group(1) == "Loaded":
            running, memory = event.group(2), dict(definite.get(event.group(2), {}))
        elif event and event.group(1) == "Created":
            running, memory, definite[event.group(2)] = event.group(2), {}, {}
        elif event:  # a save; a copy under another name carries everything the running world holds
            name = event.group(2)
            definite[name] = {**(definite.get(name, {}) if name == running else {}), **memory}
    return definite

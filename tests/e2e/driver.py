"""The end-to-end driver: Xvfb with a window manager, the real game in a scratch folder, input through xdotool.
Every wait is on a condition with a timeout (a log line, a file, the game's end, its window's pixels). Frames are
counted through the DAMAGE extension; keys and buttons are held for two frames, so a slow frame still sees the press."""
import ctypes as C
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time

TIMEOUT = 90  # seconds one condition may take on a loaded machine
WHITE, SKY, FILL = (255, 255, 255), (102, 191, 255), (20, 20, 20)


class Fail(Exception):
    """A check that failed or a condition that never came."""


def _struct(*fields):
    kinds = {"i": C.c_int, "l": C.c_long, "u": C.c_ulong, "p": C.c_void_p}
    return type("S", (C.Structure,), {"_fields_": [(f"f{n}", kinds[k]) for n, k in enumerate(fields)]})


_Attrs = _struct(*"iiiiiipuiiiiuuiuiilllip")  # XWindowAttributes: width f2, height f3, map_state f17
_Image = _struct(*"iiiipiiiiiii")  # XImage: width f0, height f1, data f4, bytes_per_line f10
P, UL, I, IP = C.c_void_p, C.c_ulong, C.c_int, C.POINTER(C.c_int)
_ERRORS = C.CFUNCTYPE(I, P, P)


def _lib(name, protos):
    lib = C.CDLL(name)
    for fn, (res, *args) in protos.items():
        getattr(lib, fn).restype, getattr(lib, fn).argtypes = res, args
    return lib


X = _lib("libX11.so.6", {
    "XOpenDisplay": (P, C.c_char_p), "XSetErrorHandler": (P, _ERRORS),
    "XGetWindowAttributes": (I, P, UL, C.POINTER(_Attrs)), "XDestroyImage": (I, C.POINTER(_Image)),
    "XGetImage": (C.POINTER(_Image), P, UL, I, I, C.c_uint, C.c_uint, UL, I), 
    "XPending": (I, P), "XNextEvent": (I, P, P), "XSync": (I, P, I), "XAutoRepeatOff": (I, P)})
XD = _lib("libXdamage.so.1", {"XDamageQueryExtension": (I, P, IP, IP), "XDamageCreate": (UL, P, UL, I),
                              "XDamageSubtract": (I, P, UL, UL, UL)})
_ignore = _ERRORS(lambda display, event: 0)  # a window gone between two requests is no reason to stop
X.XSetErrorHandler(_ignore)


class Shot:
    """The window's pixels at one moment: rows of 32-bit BGRX."""

    def __init__(self, image):
        self.w, self.h, self.bpl, self.data = image.f0, image.f1, image.f10, C.string_at(image.f4, image.f10 * image.f1)

    def px(self, x, y):
        i = y * self.bpl + 4 * x
        return self.data[i + 2], self.data[i + 1], self.data[i]

    def pixels(self, x, y, w, h, step=1):
        return [self.px(xx, yy) for yy in range(y, y + h, step) for xx in range(x, x + w, step)]

    def grey(self, *region, step=1):
        return [(0.2126 * r + 0.7152 * g + 0.0722 * b) / 255 for r, g, b in self.pixels(*region, step)]

    def share(self, colour, fuzz, *region, step=1):
        """Fraction of the region's pixels within fuzz (0..1, as ImageMagick measures it) of colour."""
        values = self.pixels(*region, step)
        return sum(sum((a - b) ** 2 for a, b in zip(p, colour)) <= 3 * (fuzz * 255) ** 2 for p in values) / len(values)

    def spread(self, *region):
        g = self.grey(*region, step=2)
        return (sum(v * v for v in g) / len(g) - (sum(g) / len(g)) ** 2) ** 0.5

    def digest(self, x, y, w, h):
        return hash(b"".join(self.data[(y + r) * self.bpl + 4 * x:(y + r) * self.bpl + 4 * (x + w)] for r in range(h)))

    def save(self, path):
        subprocess.run(["convert", "-size", f"{self.bpl // 4}x{self.h}", "-depth", "8", "bgra:-", "-alpha", "off",
                        "-crop", f"{self.w}x{self.h}+0+0", path], input=self.data, check=False)


def is_button(rgb, normal=(60, 60, 60)):
    return rgb in (normal, (200, 200, 200))  # the second is the fill under the mouse


def classify(s):
    """Which screen of the game a 1200x800 window shows, or None."""
    p = s.px
    if all(is_button(p(405, y)) for y in (405, 485, 565, 645)):
        return "main"
    if is_button(p(505, 735)) and p(20, 300) == WHITE:
        return "credits"
    if p(300, 120) == (40, 40, 40):
        return "pause_settings" if is_button(p(380, 355), (130, 130, 130)) else \
            "settings" if is_button(p(530, 585)) else None
    if all(is_button(p(380, y), (130, 130, 130)) for y in (385, 465, 545)):
        return "paused"
    if p(5, 5) == FILL and is_button(p(305, 635)) and is_button(p(755, 635)):
        return "worlds"
    if p(5, 5) == FILL and p(405, 355) == (60, 60, 60) and is_button(p(445, 505)):
        return "create"
    if p(394, 400) == (100, 100, 100) and p(600, 282) == (100, 100, 100):
        return "inventory"
    if p(11, 760) == WHITE and p(1188, 760) == WHITE:
        return "chat"
    return "game" if p(815, 745) in ((100, 100, 100), WHITE) else None


class Display:  # the driver's own connection to the test's X server
    def __init__(self, name):
        self.dpy = X.XOpenDisplay(name.encode())
        if not self.dpy:
            raise Fail(f"cannot open display {name}")
        base, error = C.c_int(), C.c_int()
        X.XAutoRepeatOff(self.dpy)  # a held key repeating in a slow frame would type a second character
        if not XD.XDamageQueryExtension(self.dpy, C.byref(base), C.byref(error)):
            raise Fail("the X server lacks the DAMAGE extension")
        self.damage_event, self.damage, self.frames, self.event = base.value, 0, 0, C.create_string_buffer(192)

    def window(self, wid):  # width, height, viewable
        a = _Attrs()
        X.XGetWindowAttributes(self.dpy, wid, C.byref(a))
        return a.f2, a.f3, a.f17 == 2

    def grab(self, wid):
        w, h, viewable = self.window(wid)
        image = X.XGetImage(self.dpy, wid, 0, 0, w, h, 0xFFFFFFFF, 2) if viewable else None
        if not image:
            return None
        shot = Shot(image.contents)
        X.XDestroyImage(image)
        return shot

    def watch(self, wid):
        """From now on, counts the frames the game presents in window wid."""
        self.damage = XD.XDamageCreate(self.dpy, wid, 3)  # an event each time the damage turns non-empty

    def count(self):
        while X.XPending(self.dpy):
            X.XNextEvent(self.dpy, self.event)
            if struct.unpack_from("i", self.event.raw)[0] == self.damage_event:
                self.frames += 1
                XD.XDamageSubtract(self.dpy, self.damage, 0, 0)
        return self.frames


class Session:
    """One test: its X server, window manager and scratch folder, and the game in it."""

    def __init__(self, name, argv):
        self.name, (self.binary, self.source, self.artifacts) = name, argv
        os.makedirs(self.artifacts, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="qvox-e2e-")
        os.symlink(os.path.join(self.source, "assets"), os.path.join(self.work, "assets"))
        self.helpers, self.cleanups, self.game, self.wid, self.x = [], [], None, None, None
        self.out = self.err = os.path.join(self.work, "none")
        os.environ.setdefault("LIBGL_ALWAYS_SOFTWARE", "1")

    def wait(self, condition, what, timeout=TIMEOUT, every=0.05):
        end = time.monotonic() + timeout
        while not (value := condition()):
            if time.monotonic() > end:
                raise Fail(f"waited {timeout} s in vain for {what() if callable(what) else what}")
            time.sleep(every)
        return value

    def check(self, ok, message):
        if not ok:
            raise Fail(message)

    def running(self):
        return self.game is not None and self.game.poll() is None

    def frames(self, n=2):
        """Waits until the game has presented n more frames, or has ended."""
        X.XSync(self.x.dpy, 0)
        goal = self.x.count() + n
        self.wait(lambda: self.x.count() >= goal or not self.running(), f"{n} frames of the game")

    def grab(self):
        return self.x.grab(self.wid) if self.running() else None

    def screen(self):
        return (lambda s: s and classify(s))(self.grab())

    def wait_screen(self, name):
        self.wait(lambda: self.screen() == name, lambda: f"the {name} screen (seen: {self.screen()})")

    def wait_shot(self, test, what):
        return self.wait(lambda: (lambda s: s if s and test(s) else None)(self.grab()), what)

    def log(self, path=None):
        try:
            with open(path or self.out, errors="replace") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def count(self, prefix):
        return sum(line.startswith(prefix) for line in self.log())

    def wait_log(self, prefix, after=0):
        """Waits for a line of the game's standard output that starts with prefix, after its first `after` lines."""
        self.wait(lambda: any(line.startswith(prefix) for line in self.log()[after:]), f"the log line '{prefix}'")

    def wait_line(self, path, line):
        self.wait(lambda: line in self.log(path), lambda: f"the line '{line}' in {path}: {self.log(path)}")

    def start_display(self):
        read, write = os.pipe()
        # -displayfd: the server takes a free display number itself and names it once it accepts clients.
        self.helpers.append(subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                                              "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL))
        os.close(write)
        self.check(select.select([read], [], [], TIMEOUT)[0], "the X server did not start")
        os.environ["DISPLAY"] = ":" + os.read(read, 32).decode().strip()
        self.x = Display(os.environ["DISPLAY"])
        # Openbox drops a window mapped while it starts up, well after it names itself the window manager: the
        # window stays unmapped until some other event wakes it, and the game hangs in InitWindow waiting for it
        # to show. Openbox runs the --startup command once it is done starting.
        ready = os.path.join(self.work, "openbox-started")
        self.helpers.append(subprocess.Popen(["openbox", "--startup", f"touch {ready}"], stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))
        self.wait(lambda: os.path.exists(ready), "the window manager to start")

    def launch(self, argv=None, cwd=None, env=None, logs="game", screen="main"):
        """Starts the game; returns once its window is mapped, has the focus and shows screen."""
        if self.x is None:
            self.start_display()
        self.out, self.err = (os.path.join(self.work, f"{logs}.{e}") for e in ("stdout", "stderr"))
        with open(self.out, "w") as out, open(self.err, "w") as err:
            self.game = subprocess.Popen(argv or [self.binary], cwd=cwd or self.work, stdout=out, stderr=err, env=env)
        started = time.monotonic()

        def mapped():
            self.check(self.running(), f"the game ended at start: {self.log(self.err)[-5:]}")
            windows = map(int, self.xdo("search", "--pid", self.game.pid).split())
            return next((w for w in windows if self.x.window(w)[2]), 0)
        self.wid = self.wait(mapped, "the game's window to be mapped")
        self.x.watch(self.wid)
        self.xdo("windowactivate", "--sync", self.wid)
        if screen:
            self.wait_screen(screen)
        return time.monotonic() - started

    def close(self, status=0):
        """Closes the window as a player does and expects the game to end with status."""
        subprocess.run(["wmctrl", "-i", "-c", str(self.wid)], check=False)
        self.wait_exit(status, "closing the window")

    def wait_exit(self, status=0, after="the last input"):
        self.wait(lambda: not self.running(), f"the game to end after {after}")
        self.check(self.game.returncode == status, f"after {after} the game ended with status {self.game.returncode}")

    # ------------------------------------------------------------ input

    def xdo(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=TIMEOUT).stdout

    def hold(self, down, up, seconds=0, screen=None, log=None):
        """Presses, holds for seconds and at least two frames, releases; then waits for the screen named and for a
        new log line that starts with log."""
        lines = len(self.log())
        self.xdo(*down)
        time.sleep(seconds)  # holding the keys is the input itself
        self.frames()
        self.xdo(*up)
        self.frames()
        if log is not None:
            self.wait_log(log, lines)
        if screen:
            self.wait_screen(screen)

    def key(self, *keys, seconds=0, screen=None, log=None):
        self.hold(("keydown", *keys), ("keyup", *keys), seconds, screen, log)

    def button(self, which=1, screen=None, log=None):
        """A mouse button pressed where the pointer is: in a world, moving it would turn the view."""
        self.hold(("mousedown", which), ("mouseup", which), 0, screen, log)

    def click(self, x, y, screen=None, log=None):
        self.xdo("mousemove", "--window", self.wid, x, y)
        self.frames(1)
        self.button(1, screen, log)

    def drag(self, x1, x2, y):
        for step in (("mousemove", "--window", self.wid, x1, y), ("mousedown", 1),
                     ("mousemove", "--window", self.wid, x2, y), ("mouseup", 1)):
            self.xdo(*step)
            self.frames()

    def type(self, text):
        self.xdo("type", "--delay", 40, "--", text)  # characters queue up in the game, sixteen a frame
        self.frames()

    def say(self, text):
        """T, the text, Enter: returns once the console has run the line and closed."""
        self.key("t", screen="chat")
        self.type(text)
        self.key("Return")
        self.wait(lambda: self.screen() != "chat", f"the console to run '{text}'")

    def look(self, dx, dy):
        """Turns the view by mouse motion, a step a frame."""
        steps = max(abs(dx), abs(dy)) // 40 + 1
        for _ in range(steps):
            self.xdo("mousemove_relative", "--", dx // steps, dy // steps)
            self.frames(1)
        self.frames()

    # ------------------------------------------------------------ ways through the menus

    def create_world(self, name):
        """From the main menu through the world list and Create into a new world."""
        self.click(600, 430, "worlds")
        self.click(375, 655, "create")
        self.type(name)
        self.key("Return", log=f"[world] Loaded world {name}", screen="game")

    def enter_listed(self, name="", row=0):
        """From the main menu into a world of the list."""
        self.click(600, 430, "worlds")
        self.click(600, 145 + 60 * row, "game", f"[world] Loaded world {name}")

    def leave(self, name=""):
        """Pause menu, Back to Menu: the world is saved and the main menu comes back."""
        self.key("Escape", screen="paused")
        self.click(600, 570, "main", f"[world] Saved world {name}")

    def finish(self, error=None):
        if error is not None:
            print(f"FAIL [{self.name}]: {error}", file=sys.stderr)
            if shot := self.x and self.grab():
                shot.save(os.path.join(self.artifacts, f"{self.name}_failure.png"))
            for path in filter(os.path.exists, (self.out, self.err)):
                shutil.copy(path, os.path.join(self.artifacts, f"{self.name}_{os.path.basename(path)}"))
        for proc in ([self.game] if self.running() else []) + self.helpers[::-1]:
            proc.kill()
            proc.wait()
        for cleanup in self.cleanups[::-1]:
            cleanup()
        shutil.rmtree(self.work, ignore_errors=True)


def run(scenarios):
    """python3 SCRIPT NAME QVOX_BINARY SOURCE_DIR ARTIFACT_DIR runs the scenario NAME."""
    session = Session(sys.argv[1], sys.argv[2:5])
    try:
        scenarios[session.name](session)
    except (Fail, AssertionError, OSError, subprocess.SubprocessError) as error:
        session.finish(f"{error} {getattr(error, 'output', None) or ''}")  # a failed command says why
        sys.exit(1)
    session.finish()
    print(f"PASS [{session.name}]")

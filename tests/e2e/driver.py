"""The end-to-end driver: a virtual X server with a window manager, the real
game in a scratch working directory, input through xdotool, and waits.

Nothing here sleeps for a fixed time except a key held for a while on purpose.
Every wait is on a condition with a timeout: a line of the game's own log, a
file, the end of the game, or what the game's window shows. The window is read
straight from the server (its own pixels, in its own coordinates, the same
ones xdotool clicks in), and the game's frames are counted through the X
DAMAGE extension: a key or button is held until the game has drawn two frames,
so that however slow a frame is, the game polls the press before the release.
"""
import ctypes as C
import os
import select
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TIMEOUT = 90  # seconds any one condition may take on a loaded machine
SCREEN = (1280, 1024)
WHITE, SKY, FILL = (255, 255, 255), (102, 191, 255), (20, 20, 20)


class Fail(Exception):
    pass


class Skip(Exception):
    pass


class _Attrs(C.Structure):
    _fields_ = [(n, C.c_int) for n in ("x", "y", "width", "height", "border", "depth")] + [
        ("visual", C.c_void_p), ("root", C.c_ulong)] + [(n, C.c_int) for n in ("cls", "bit_g", "win_g", "bs")] + [
        ("planes", C.c_ulong), ("pixel", C.c_ulong), ("save_under", C.c_int), ("colormap", C.c_ulong),
        ("installed", C.c_int), ("map_state", C.c_int), ("all_masks", C.c_long), ("mask", C.c_long),
        ("no_propagate", C.c_long), ("override", C.c_int), ("screen", C.c_void_p)]


class _Image(C.Structure):
    _fields_ = [(n, C.c_int) for n in ("width", "height", "xoffset", "format")] + [("data", C.c_void_p)] + [
        (n, C.c_int) for n in ("byte_order", "unit", "bit_order", "pad", "depth", "bytes_per_line", "bpp")]


def _lib(name, protos):
    lib = C.CDLL(name)
    for fn, (res, *args) in protos.items():
        getattr(lib, fn).restype, getattr(lib, fn).argtypes = res, args
    return lib


P, UL, I, IP = C.c_void_p, C.c_ulong, C.c_int, C.POINTER(C.c_int)
_ERRORS = C.CFUNCTYPE(I, P, P)
X = _lib("libX11.so.6", {
    "XOpenDisplay": (P, C.c_char_p), "XDefaultRootWindow": (UL, P), "XSetErrorHandler": (P, _ERRORS),
    "XGetWindowAttributes": (I, P, UL, C.POINTER(_Attrs)), "XDestroyImage": (I, C.POINTER(_Image)),
    "XGetImage": (C.POINTER(_Image), P, UL, I, I, C.c_uint, C.c_uint, UL, I), "XInternAtom": (UL, P, C.c_char_p, I),
    "XGetWindowProperty": (I, P, UL, UL, C.c_long, C.c_long, I, UL, C.POINTER(UL), IP, C.POINTER(UL),
                           C.POINTER(UL), C.POINTER(P)),
    "XFree": (I, P), "XPending": (I, P), "XNextEvent": (I, P, P), "XSync": (I, P, I), "XAutoRepeatOff": (I, P)})
XD = _lib("libXdamage.so.1", {"XDamageQueryExtension": (I, P, IP, IP), "XDamageCreate": (UL, P, UL, I),
                              "XDamageSubtract": (I, P, UL, UL, UL)})
# A window that goes away between two requests is no reason to end the test.
_ignore = _ERRORS(lambda display, event: 0)
X.XSetErrorHandler(_ignore)


class Shot:
    """Pixels of the window at one moment, 32-bit BGRX rows."""

    def __init__(self, image):
        self.w, self.h, self.bpl = image.width, image.height, image.bytes_per_line
        self.data = C.string_at(image.data, self.bpl * self.h)

    def px(self, x, y):
        i = y * self.bpl + 4 * x
        return self.data[i + 2], self.data[i + 1], self.data[i]

    def pixels(self, x=0, y=0, w=None, h=None, step=1):
        for yy in range(y, y + (h or self.h - y), step):
            for xx in range(x, x + (w or self.w - x), step):
                yield self.px(xx, yy)

    def grey(self, *region, step=1):
        return [(0.2126 * r + 0.7152 * g + 0.0722 * b) / 255 for r, g, b in self.pixels(*region, step=step)]

    def share(self, colour, fuzz=0, *region, step=1):
        """Fraction of the region's pixels within fuzz (0..1, ImageMagick's measure) of colour."""
        limit, values = 3 * (fuzz * 255) ** 2, list(self.pixels(*region, step=step))
        near = sum(1 for p in values if sum((a - b) ** 2 for a, b in zip(p, colour)) <= limit)
        return near / len(values)

    def spread(self, *region):
        g = self.grey(*region, step=2)
        mean = sum(g) / len(g)
        return (sum((v - mean) ** 2 for v in g) / len(g)) ** 0.5

    def digest(self, x, y, w, h):
        return hash(b"".join(self.data[(y + r) * self.bpl + 4 * x:(y + r) * self.bpl + 4 * (x + w)] for r in range(h)))

    def save(self, path):
        rgb = bytearray(self.w * self.h * 3)
        rows = b"".join(self.data[r * self.bpl:r * self.bpl + 4 * self.w] for r in range(self.h))
        rgb[0::3], rgb[1::3], rgb[2::3] = rows[2::4], rows[1::4], rows[0::4]
        raw = b"".join(b"\0" + rgb[r * 3 * self.w:(r + 1) * 3 * self.w] for r in range(self.h))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)) +
                    chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b""))


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


class Display:
    """One connection to the test's X server, through which the driver looks."""

    def __init__(self, name):
        self.dpy = X.XOpenDisplay(name.encode())
        if not self.dpy:
            raise Fail(f"cannot open display {name}")
        self.root = X.XDefaultRootWindow(self.dpy)
        # Held keys must not repeat: a frame slower than the repeat delay would type a second character.
        X.XAutoRepeatOff(self.dpy)
        base, error = C.c_int(), C.c_int()
        if not XD.XDamageQueryExtension(self.dpy, C.byref(base), C.byref(error)):
            raise Fail("the X server lacks the DAMAGE extension")
        self.damage_event, self.damage, self.frames = base.value, 0, 0
        self.event = C.create_string_buffer(192)

    def viewable(self, wid):
        a = _Attrs()
        return X.XGetWindowAttributes(self.dpy, wid, C.byref(a)) != 0 and a.map_state == 2

    def size(self, wid):
        a = _Attrs()
        return (a.width, a.height) if X.XGetWindowAttributes(self.dpy, wid, C.byref(a)) else (0, 0)

    def prop(self, wid, name):
        kind, fmt, n, rest, data = UL(), C.c_int(), UL(), UL(), P()
        atom = X.XInternAtom(self.dpy, name.encode(), 0)
        if X.XGetWindowProperty(self.dpy, wid, atom, 0, 64, 0, 0, C.byref(kind), C.byref(fmt), C.byref(n),
                                C.byref(rest), C.byref(data)) != 0 or not data.value:
            return None
        X.XFree(data)
        return n.value

    def grab(self, wid):
        w, h = self.size(wid)
        image = X.XGetImage(self.dpy, wid, 0, 0, w, h, 0xFFFFFFFF, 2) if w and h else None
        if not image:
            return None
        shot = Shot(image.contents)
        X.XDestroyImage(image)
        return shot

    def watch(self, wid):
        """From now on, count the frames the game presents in window wid."""
        self.damage = XD.XDamageCreate(self.dpy, wid, 3)  # one event whenever the damage becomes non-empty

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

    # ------------------------------------------------------------ waiting

    def wait(self, condition, what, timeout=TIMEOUT, every=0.05):
        end = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() > end:
                raise Fail(f"waited {timeout} s in vain for {what() if callable(what) else what}")
            time.sleep(every)

    def running(self):
        return self.game is not None and self.game.poll() is None

    def frames(self, n=2):
        """Waits until the game has presented n more frames (or has ended)."""
        X.XSync(self.x.dpy, 0)
        goal = self.x.count() + n
        self.wait(lambda: self.x.count() >= goal or not self.running(), f"{n} frames of the game")

    def grab(self):
        return self.x.grab(self.wid) if self.running() else None

    def screen(self):
        s = self.grab()
        return s and classify(s)

    def wait_screen(self, name):
        self.wait(lambda: self.screen() == name, lambda: f"the {name} screen (seen: {self.screen()})")

    def wait_shot(self, test, what):
        """Waits for a frame of which test(shot) holds, and returns that frame."""
        return self.wait(lambda: (lambda s: s if s and test(s) else None)(self.grab()), what)

    def log(self, path=None):
        try:
            with open(path or self.out, errors="replace") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def count(self, prefix):
        return sum(1 for line in self.log() if line.startswith(prefix))

    def wait_log(self, prefix, after=0):
        """Waits for a line of the game's standard output starting with prefix, after the first `after` lines."""
        self.wait(lambda: any(line.startswith(prefix) for line in self.log()[after:]), f"the log line '{prefix}'")

    def wait_file_line(self, path, line):
        self.wait(lambda: line in self.log(path), lambda: f"the line '{line}' in {path}: {self.log(path)}")

    def check(self, ok, message):
        if not ok:
            raise Fail(message)

    # ------------------------------------------------------------ display and game

    def start_display(self):
        read, write = os.pipe()
        # -displayfd: the server takes a free display number itself and names it once it accepts clients.
        self.helpers.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write)
        self.check(select.select([read], [], [], TIMEOUT)[0], "the X server did not start")
        os.environ["DISPLAY"] = ":" + os.read(read, 32).decode().strip()
        self.x = Display(os.environ["DISPLAY"])
        self.helpers.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        self.wait(lambda: self.x.prop(self.x.root, "_NET_SUPPORTING_WM_CHECK"), "the window manager")

    def launch(self, argv=None, cwd=None, env=None, logs="game", screen="main"):
        """Starts the game and waits until its window is mapped, has the focus and shows screen."""
        if self.x is None:
            self.start_display()
        self.out, self.err = (os.path.join(self.work, f"{logs}.{e}") for e in ("stdout", "stderr"))
        with open(self.out, "w") as out, open(self.err, "w") as err:
            self.game = subprocess.Popen(argv or [self.binary], cwd=cwd or self.work, stdout=out, stderr=err,
                                         env=env or os.environ)
        started = time.monotonic()

        def window():
            self.check(self.running(), f"the game ended at start: {self.log(self.err)[-5:]}")
            found = self.xdo("search", "--pid", self.game.pid).split()
            return next((int(w) for w in found if self.x.viewable(int(w))), None)
        self.wid = self.wait(window, "the game's window to be mapped")
        self.x.watch(self.wid)
        self.xdo("windowactivate", "--sync", self.wid)
        if screen:
            self.wait_screen(screen)
        return time.monotonic() - started

    def xdo(self, *args):
        result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=TIMEOUT)
        return result.stdout

    def close(self, status=0):
        """Closes the window as a player would and expects the game to end with status."""
        subprocess.run(["wmctrl", "-i", "-c", str(self.wid)], check=False)
        self.wait_exit(status, "closing the window")

    def wait_exit(self, status=0, after="the last input"):
        self.wait(lambda: not self.running(), f"the game to end after {after}")
        self.check(self.game.returncode == status, f"after {after} the game ended with {self.game.returncode}")

    def kill(self, sig):
        self.game.send_signal(sig)

    # ------------------------------------------------------------ input

    def key(self, *keys, seconds=0):
        """Keys pressed together, held for seconds and at least two frames."""
        self.xdo("keydown", *keys)
        if seconds:
            time.sleep(seconds)  # holding the keys is the input itself
        self.frames()
        self.xdo("keyup", *keys)
        self.frames()

    def button(self, which=1):
        """A mouse button pressed where the pointer is; in a world, moving it would turn the view."""
        self.xdo("mousedown", which)
        self.frames()
        self.xdo("mouseup", which)
        self.frames()

    def click(self, x, y):
        self.xdo("mousemove", "--window", self.wid, x, y)
        self.frames(1)
        self.button(1)

    def drag(self, x1, x2, y):
        self.xdo("mousemove", "--window", self.wid, x1, y)
        self.xdo("mousedown", 1)
        self.frames()
        self.xdo("mousemove", "--window", self.wid, x2, y)
        self.frames()
        self.xdo("mouseup", 1)
        self.frames()

    def type(self, text):
        # Typed characters queue up in the game (sixteen a frame), so they need no hold.
        self.xdo("type", "--delay", 40, "--", text)
        self.frames()

    def say(self, text):
        """A console line: T, the text, Enter; returns once the line has run and the console closed."""
        self.key("t")
        self.wait_screen("chat")
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

    # ------------------------------------------------------------ the end

    def finish(self, error=None):
        if error is not None:
            print(f"FAIL [{self.name}]: {error}", file=sys.stderr)
            shot = self.grab() if self.x else None
            if shot:
                shot.save(os.path.join(self.artifacts, f"{self.name}_failure.png"))
            for path in (self.out, self.err):
                if os.path.exists(path):
                    with open(path, "rb") as src, open(os.path.join(self.artifacts, f"{self.name}_{os.path.basename(path)}"), "wb") as dst:
                        dst.write(src.read())
        for proc in ([self.game] if self.running() else []) + self.helpers[::-1]:
            proc.kill()
            proc.wait()
        for cleanup in self.cleanups[::-1]:
            cleanup()
        subprocess.run(["rm", "-rf", self.work], check=False)


def run(scenarios):
    """python3 SCRIPT NAME QVOX_BINARY SOURCE_DIR ARTIFACT_DIR: runs the scenario NAME."""
    name = sys.argv[1]
    session = Session(name, sys.argv[2:5])
    try:
        scenarios[name](session)
    except Skip as skip:
        session.finish()
        print(f"SKIP [{name}]: {skip}")
        sys.exit(77)
    except (Fail, OSError, subprocess.SubprocessError) as error:
        session.finish(error)
        sys.exit(1)
    session.finish()
    print(f"PASS [{name}]")

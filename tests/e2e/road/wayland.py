"""A private Wayland desktop: sway in its headless mode with waybar as the tray host
(StatusNotifierItem), a session bus with the accessibility bus, grim for screenshots and the
Wayland clipboard. sway refuses to run as root, so a root caller hands the whole run to an
unprivileged user made for the purpose."""
import glob
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

from .waiting import Process, until

# The unprivileged user that runs the desktop, the app and the harness itself.
USER = "skerrow-road"
WIDTH, HEIGHT = 1280, 800
BAR_HEIGHT = 26
SWAY_CONFIG = f"""output HEADLESS-1 resolution {WIDTH}x{HEIGHT}
default_border none
focus_follows_mouse no
"""
# The bar holds the tray only; its colours are fixed here so that screenshots show a known bar.
WAYBAR_CONFIG = {"layer": "top", "position": "top", "height": BAR_HEIGHT,
                 "modules-right": ["tray"], "tray": {"icon-size": 18, "spacing": 6}}
WAYBAR_STYLE = {
    "dark": "window#waybar { background: #1e1e1e; } #tray { padding: 0 8px; }",
    "light": "window#waybar { background: #f2f2f2; } #tray { padding: 0 8px; }",
}
SNI_WATCHER = "org.kde.StatusNotifierWatcher"
OTHER_APP = "road-other"
# Longer than any run; the desktop ends it when it stops.
KEYBOARD_LIFETIME_MS = 3_600_000


def tools():
    return ("sway", "waybar", "grim", "wl-paste", "wtype", "foot", "dbus-daemon", "chromium")


def missing_tools():
    return [tool for tool in tools() if shutil.which(tool) is None]


def run_as_desktop_user(paths, env=None):
    """Re-runs this script as the desktop's user when started as root: it gets write access to
    `paths` (the artifacts), the same arguments and the variables in `env`. Returns None when
    already unprivileged, otherwise the exit status of the run."""
    if os.geteuid() != 0:
        return None
    try:
        pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", USER], check=True)
    for path in paths:
        os.makedirs(path, exist_ok=True)
        subprocess.run(["chown", "-R", f"{USER}:", path], check=True)
    keep = {k: v for k, v in os.environ.items()
            if k in ("PATH", "LANG", "LC_ALL", "TERM")}
    keep["PATH"] = "/usr/local/bin:/usr/bin:/bin"
    keep.update(env or {})
    return subprocess.run(["runuser", "-u", USER, "--", "env", "-i",
                           *[f"{k}={v}" for k, v in keep.items()],
                           sys.executable, *sys.argv]).returncode


class WaylandDesktop:
    platform = "wayland"

    def __init__(self, log_dir, bar="light"):
        self.log_dir = log_dir
        self.bar = bar
        self.processes = []
        self.home = tempfile.mkdtemp(prefix="skerrow-wayland-")
        self.runtime = os.path.join(self.home, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.env = {k: v for k, v in os.environ.items() if k in ("PATH", "LANG", "LC_ALL")}
        self.env.update({"HOME": self.home, "XDG_RUNTIME_DIR": self.runtime,
                         "XDG_SESSION_TYPE": "wayland", "QT_QPA_PLATFORM": "wayland"})

    def _spawn(self, name, args, **kwargs):
        process = Process(name, args, self.env, self.log_dir).start(**kwargs)
        self.processes.append(process)
        return process

    def _write(self, name, text):
        path = os.path.join(self.home, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self):
        bus = self._spawn("session-bus", ["dbus-daemon", "--session", "--nofork",
                                          "--print-address=1"], stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.popen.stdout.readline().decode().strip()
        sway_env = dict(self.env, WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                        WLR_LIBINPUT_NO_DEVICES="1")
        sway = Process("sway", ["sway", "-c", self._write("sway.conf", SWAY_CONFIG)], sway_env,
                       self.log_dir).start()
        self.processes.append(sway)
        socket = until("the compositor's socket", lambda: self._socket(sway), 15)
        # An absolute path, so clients with a runtime folder of their own (the app) find it too.
        self.env["WAYLAND_DISPLAY"] = socket
        self.env["SWAYSOCK"] = until("the compositor's control socket", lambda: next(
            iter(glob.glob(os.path.join(self.runtime, f"sway-ipc.*.{sway.pid}.sock"))), None), 15)
        # A keyboard for the whole session, as a real desktop has: without one the seat offers
        # apps no keyboard, and each key sent below would bring a keyboard that apps meet too late
        # to take its key. This one only waits.
        self._spawn("keyboard", ["wtype", "-s", str(KEYBOARD_LIFETIME_MS), "-k", "F13"])
        self._spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        until("the accessibility bus", lambda: self._call(
            "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"), 15)
        self.start_bar()
        return self

    def start_bar(self):
        config = self._write("waybar.json", json.dumps(WAYBAR_CONFIG))
        style = self._write("waybar.css", WAYBAR_STYLE[self.bar])
        self._spawn("waybar", ["waybar", "-c", config, "-s", style])
        until("the tray host", lambda: self._call(
            SNI_WATCHER, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
            "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"), 15)

    def _socket(self, sway):
        if not sway.running():
            raise RuntimeError(f"sway did not start: {sway.log()[-2000:]}")
        sockets = [p for p in glob.glob(os.path.join(self.runtime, "wayland-*"))
                   if not p.endswith(".lock")]
        return sockets[0] if sockets else None

    def _call(self, destination, path, method, *args):
        result = subprocess.run(["gdbus", "call", "--session", "--dest", destination,
                                 "--object-path", path, "--method", method, *args],
                                env=self.env, capture_output=True, text=True, timeout=10)
        return result.stdout.strip() if result.returncode == 0 else None

    def screenshot(self, path):
        subprocess.run(["grim", path], env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def clipboard(self):
        result = subprocess.run(["wl-paste", "--no-newline"], env=self.env, capture_output=True,
                                text=True, timeout=5)
        return result.stdout if result.returncode == 0 else None

    def press_key(self, key):
        subprocess.run(["wtype", "-k", key], env=self.env, check=True, timeout=10)

    def other_window(self):
        """Starts another program's window, which takes the focus as it maps."""
        return Process("foot", ["foot", "--app-id", OTHER_APP, "sleep", "600"], self.env,
                       self.log_dir).start()

    def focus_other(self):
        """Gives the other window the focus, as a click into it does."""
        subprocess.run(["swaymsg", f"[app_id={OTHER_APP}] focus"], env=self.env,
                       capture_output=True, timeout=10)

    def windows(self, pid):
        """The compositor's rectangles of the windows of process `pid`."""
        tree = json.loads(subprocess.run(["swaymsg", "-t", "get_tree"], env=self.env,
                                         capture_output=True, text=True, timeout=10).stdout)
        found, stack = [], [tree]
        while stack:
            node = stack.pop()
            if node.get("pid") == pid and node.get("visible"):
                found.append(node["rect"])
            stack += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def panel_rect(self, screen, panel, pid):
        """Where the panel is on screen: a Wayland client does not know where its window is, the
        compositor does."""
        windows = self.windows(pid)
        if not windows:
            return None
        r = windows[0]
        return r["x"], r["y"], r["width"], r["height"]

    def screen(self):
        from .wayland_screen import WaylandScreen
        return WaylandScreen(self.env)

    def stop(self):
        for process in reversed(self.processes):
            process.stop(timeout=3)
        self.processes.clear()
        shutil.rmtree(self.home, ignore_errors=True)

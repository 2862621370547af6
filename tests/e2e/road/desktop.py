"""A private virtual desktop: an X server, a window manager and a system tray, a session bus
with the accessibility bus, screenshots of the whole screen and the clipboard."""
import os
import shutil
import subprocess

from .waiting import Process, until

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
VIRTUAL_DESKTOP = os.path.join(ROOT, "scripts", "virtual-desktop.sh")
SCREEN = "1280x800x24"
OTHER_WINDOW = "road-other"


def _tool_ok(env, *args):
    return subprocess.run(args, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


class Desktop:
    platform = "xcb"

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS",
                     "AT_SPI_BUS_ADDRESS"):
            self.env.pop(name, None)
        self.env["QT_QPA_PLATFORM"] = self.platform
        self.processes = []
        # The display started by the project's virtual desktop script, which also stops it.
        self.display = None

    def _spawn(self, name, args, **kwargs):
        process = Process(name, args, self.env, self.log_dir).start(**kwargs)
        self.processes.append(process)
        return process

    def start(self):
        if os.path.exists(VIRTUAL_DESKTOP):
            started = subprocess.run([VIRTUAL_DESKTOP, "start"], env=self.env,
                                     capture_output=True, text=True, timeout=60)
            if started.returncode != 0:
                raise RuntimeError(f"the virtual desktop did not start: {started.stderr.strip()}")
            self.display = started.stdout.split()[-1]
            self.env["DISPLAY"] = self.display
        else:
            self._start_own_display()

        bus = self._spawn("session-bus", ["dbus-daemon", "--session", "--nofork",
                                          "--print-address=1"], stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.popen.stdout.readline().decode().strip()
        self._spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        until("the accessibility bus", lambda: _tool_ok(
            self.env, "dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
            "/org/a11y/bus", "org.a11y.Bus.GetAddress"), 15)
        return self

    def _start_own_display(self):
        # The server picks a free display number and writes it to the pipe once it accepts
        # clients.
        read_end, write_end = os.pipe()
        with open(os.path.join(self.log_dir, "xvfb.log"), "wb") as log:
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                     SCREEN, "-nolisten", "tcp", "-noreset"],
                                    pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start; see xvfb.log")
        holder = Process("xvfb", [], self.env, self.log_dir)
        holder.popen = xvfb
        self.processes.append(holder)
        self.env["DISPLAY"] = f":{number}"
        self._spawn("openbox", ["openbox"])
        until("the window manager", lambda: "window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env, capture_output=True,
            text=True).stdout, 15)
        self._spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                               "request", "--height", "24", "--SetDockType", "true",
                               "--SetPartialStrut", "true", "--transparent", "false",
                               "--tint", "0xe8e8e8"])
        until("the system tray", lambda: _tool_ok(self.env, "xdotool", "search", "--class",
                                                  "trayer"), 15)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def clipboard(self):
        result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=self.env,
                                capture_output=True, text=True, timeout=5)
        return result.stdout if result.returncode == 0 else None

    def press_key(self, key):
        subprocess.run(["xdotool", "key", key], env=self.env, check=True, timeout=10)

    def other_window(self):
        """Starts another program's window, which takes the focus as it maps."""
        return Process("other-window", ["xmessage", "-name", OTHER_WINDOW, "-center",
                                        "another window"], self.env, self.log_dir).start()

    def focus_other(self):
        """Gives the other window the focus, as a click into it does."""
        subprocess.run(["xdotool", "search", "--classname", OTHER_WINDOW, "windowactivate"],
                       env=self.env, capture_output=True, timeout=10)

    def panel_rect(self, screen, panel, pid):
        box = screen.extents(panel)
        return box.x, box.y, box.width, box.height

    def screen(self):
        from .screen import Screen
        return Screen(self.env)

    def stop(self):
        for process in reversed(self.processes):
            process.stop(timeout=3)
        self.processes.clear()
        if self.display:
            subprocess.run([VIRTUAL_DESKTOP, "stop", self.display], env=self.env, check=False,
                           timeout=30)
            self.display = None


def missing_tools():
    return [tool for tool in ("Xvfb", "openbox", "trayer", "xdotool", "xprop", "import", "xclip",
                              "xmessage", "dbus-daemon", "chromium")
            if shutil.which(tool) is None]

#!/usr/bin/python3
"""The whole road through the app's real interface: a development server found, shared on a
public link, visited by a browser and a WebSocket client, renewed, repaired after its parties
fail, restored after the app itself is killed, stopped, and every link ended at quit.

usage: road_test.py [--wayland] BUILD_DIR ARTIFACT_DIR
On X11 by default; with --wayland on sway with waybar as the tray host, run by an unprivileged
user that a root caller makes for it. Screenshots of every step and the logs of every process are written to ARTIFACT_DIR.
"""
import asyncio
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

# Keep the source tree free of compiled files.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from road import desktop as x11, wayland  # noqa: E402
from road.parties import (API_PORT, APP_PORTS, CONTROL_PORT, TUNNEL_PORT, App,  # noqa: E402
                          DevServer, LinkService, http_get, port_free)
from road.waiting import WaitTimeout, pid_alive, until  # noqa: E402

PROJECT = "harbor-notes"
PAGE_TEXT = b"Harbor notes"
# How long a share waits for its link to answer before copying the address anyway.
SHARE_WAIT = 60
PROBE_HEADER = "X-Skerrow-Probe"
OPEN_ATTEMPTS = 4
# The exit status that tells CTest the road started but none of its steps could run.
SKIPPED = 77
# How long a quit may take to end every link.
QUIT_LIMIT = 3.0
# Steps left out of the run, each with its reason.
NOT_YET = {}


class Road:
    def __init__(self, build_dir, artifacts, desktop):
        self.build_dir = build_dir
        self.artifacts = artifacts
        self.work = tempfile.mkdtemp(prefix="skerrow-road-")
        self.logs = os.path.join(artifacts, "logs")
        os.makedirs(self.logs, exist_ok=True)
        self.desktop = desktop(self.logs)
        self.service = None
        self.dev = None
        self.app = None
        self.screen = None
        self.host = None
        # How often the harness found the panel closed and opened it.
        self.openings = 0

    # --- set-up ---------------------------------------------------------------------------

    def start(self):
        self.desktop.start()
        # The accessibility library in this process talks to the desktop's session bus.
        os.environ.update(self.desktop.env)
        self.screen = self.desktop.screen()
        self.service = LinkService(self.build_dir, self.work, self.logs, self.desktop.env).start()
        self.dev = DevServer(PROJECT, self.work, self.logs, self.desktop.env).start()
        self.app = App(self.build_dir, self.work, self.logs, self.desktop.env)
        self.start_app()

    def start_app(self):
        self.app.start()
        self.screen.pid = self.app.pid

    def stop(self):
        for party in (self.app, self.dev, self.service):
            if party:
                party.stop()
        self.desktop.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    # --- helpers --------------------------------------------------------------------------

    def shot(self, name):
        self.desktop.screenshot(os.path.join(self.artifacts, f"{name}.png"))

    def url(self, host=None):
        return f"http://{host or self.host}/"

    def public_get(self, host=None):
        # Marked as a probe, so the app does not count the harness's own checks as visitors.
        return http_get(self.url(host), timeout=3, headers={PROBE_HEADER: "1"})

    def answers(self, host=None):
        """The public address answers with the dev server's page."""
        answer = self.public_get(host)
        return answer is not None and answer.status == 200 and PAGE_TEXT in answer.body

    def answers_ended(self, host):
        answer = self.public_get(host)
        return answer is not None and answer.ended

    def panel_open(self):
        # Open means on screen: a panel laid out with no height shows nothing to click.
        quit_button = self.screen.find(name="Quit", role="push button")
        return quit_button is not None and self.screen.extents(quit_button).height > 0

    def open_panel(self):
        if self.panel_open():
            return
        self.openings += 1
        # A click that lands while the tray is still embedding the icon goes nowhere; the user
        # clicks again, and so does this.
        for attempt in range(OPEN_ATTEMPTS):
            self.screen.click_tray_icon(self.app.pid)
            try:
                until("the panel", self.panel_open, 5 if attempt < OPEN_ATTEMPTS - 1 else 10,
                      interval=0.2)
                return
            except WaitTimeout:
                if attempt == OPEN_ATTEMPTS - 1:
                    raise

    def panel_names(self):
        """The names of the panel's controls, opening it when it has closed: a click on a
        control that rebuilds the panel can close it, and then the user opens it again."""
        self.open_panel()
        return self.screen.names()

    def panel_find(self, what, timeout, **query):
        def probe():
            self.open_panel()
            return self.screen.find(**query)
        return until(what, probe, timeout, interval=0.2)

    def link_hosts(self):
        """The public hosts the panel lists under "Active"."""
        return [name for name in self.panel_names() if name.startswith("localhost:")]

    def panel_host(self, timeout, other_than=None):
        def one():
            hosts = [h for h in self.link_hosts() if h != other_than]
            return hosts[0] if len(hosts) == 1 else None
        return until("one link row in the panel", one, timeout, interval=0.2)

    def panel_click(self, what, timeout, **query):
        """Clicks a control of the panel, opening the panel again when it closed meanwhile (it
        closes when it loses the focus, as a user's popup does)."""
        def attempt():
            self.open_panel()
            try:
                self.screen.click(timeout=2, **query)
                return True
            except WaitTimeout:
                return False
        until(what, attempt, timeout, interval=0.2)

    def visitors_line(self, text, timeout):
        return self.panel_find(f"the visitors line {text!r}", timeout, name=text)

    def click_switch(self, action):
        query = {"description": f"{action} {PROJECT}"}
        until(f"the switch '{action} {PROJECT}' to be enabled",
              lambda: self.screen.enabled(self.panel_find("the switch", 5, **query)), 60,
              interval=0.2)
        self.panel_click("the switch to take a click", 20, **query)

    def share(self):
        self.open_panel()
        started = time.monotonic()
        self.click_switch("Share")
        self.host = self.panel_host(30)
        until(f"{self.url()} to answer", self.answers, SHARE_WAIT + 5, interval=0.2)
        return time.monotonic() - started

    def unshare(self):
        """Turns the switch off and waits until the link is gone and the switch usable again."""
        self.open_panel()
        self.click_switch("Stop sharing")
        until("the link row to leave", lambda: not self.link_hosts(), 30, interval=0.2)
        until("the share switch to be enabled", lambda: self.screen.enabled(
            self.panel_find("the share switch", 5, description=f"Share {PROJECT}")), 30,
            interval=0.2)

    # --- the steps ------------------------------------------------------------------------

    def step_1_local_apps(self):
        """The dev server appears in "Local apps" named after its folder."""
        self.open_panel()
        self.panel_find("the section 'Local apps'", 10, name="Local apps")
        self.panel_find(f"the app row '{PROJECT}'", 30, name=PROJECT)

    def step_2_share(self):
        """The share switch makes a link; the address answers and is on the clipboard. The panel
        stays open while it changes under the user's eyes."""
        self.open_panel()
        openings = self.openings
        self.share()
        until("the address on the clipboard",
              lambda: (self.desktop.clipboard() or "").strip().endswith(f"//{self.host}"),
              SHARE_WAIT + 5, interval=0.3)
        assert self.openings == openings, "the panel closed by itself while the link was made"
        self.open_panel()
        until("the link row's time left",
              lambda: any(n.endswith(" left") for n in self.panel_names()), 20, interval=0.2)
        self.crop_panel("panel-sharing")

    def step_3_browser(self):
        """A headless browser loads the address and the panel counts it as a visitor."""
        self.open_panel()
        self.visitors_line("No visitors yet", 15)
        profile = os.path.join(self.work, "browser")
        result = subprocess.run(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             f"--user-data-dir={profile}", "--dump-dom", self.url()],
            env=self.desktop.env, capture_output=True, timeout=90)
        assert PAGE_TEXT in result.stdout, f"the browser got {result.stdout[:300]!r}"
        # The browser has exited; its visit stays counted for the router's activity window.
        self.open_panel()
        self.visitors_line("1 active visitor", 15)

    def step_4_websocket(self):
        """A WebSocket session through the address exchanges frames both ways."""
        import websockets

        async def session():
            address = f"ws://{self.host}/echo"
            async with websockets.connect(address, open_timeout=10) as connection:
                received = []
                for frame in ("ping one", b"\x00\x01binary\xff", "x" * 70000):
                    await connection.send(frame)
                    received.append(await asyncio.wait_for(connection.recv(), 10))
                return received

        received = asyncio.run(session())
        assert received == ["ping one", b"\x00\x01binary\xff", "x" * 70000], received

    def step_5_renew(self):
        """Renew gives a new address; the old one answers as ended."""
        old = self.host
        self.open_panel()
        self.panel_click("the renew button to take a click", 20,
                         description="New URL, kill old")
        self.host = self.panel_host(30, other_than=old)
        until("the old row to leave", lambda: old not in self.link_hosts(), 30, interval=0.2)
        until(f"{self.url()} to answer", self.answers, SHARE_WAIT + 5, interval=0.2)
        until(f"{old} to answer as ended", lambda: self.answers_ended(old), 15)

    def step_6_tunnel_killed(self):
        """The tunnel client is killed with SIGKILL: the link is live again without a click."""
        old = until("the tunnel client's pid", self.app.tunnel_pid, 10)
        os.kill(old, signal.SIGKILL)
        until("the tunnel client to be gone", lambda: not pid_alive(old), 10)
        until("a new tunnel client", lambda: (self.app.tunnel_pid() or old) != old, 60)
        until(f"{self.url()} to answer again", self.answers, 90, interval=0.3)

    def step_7_service_restarted(self):
        """The link service stops and starts again: the link is live again without a click."""
        self.service.stop()
        until("the address to stop answering", lambda: not self.answers(), 10)
        self.service.start()
        until(f"{self.url()} to answer again", self.answers, 90, interval=0.3)

    def step_8_app_killed(self):
        """The app is killed with SIGKILL and started again: its link comes back, reconciled."""
        self.app.process.kill9()
        self.start_app()
        self.open_panel()
        assert self.panel_host(30) == self.host
        until(f"{self.url()} to answer", self.answers, 90, interval=0.3)
        until("the link row's time left",
              lambda: any(n.endswith(" left") for n in self.panel_names()), 30, interval=0.2)
        until("the service to hold exactly this link",
              lambda: self.service.active_hosts() == {self.host}, 30, interval=0.3)

    def step_9_panel_closes(self):
        """The panel closes on Escape and when another window takes the focus; the tray opens
        it again each time."""
        self.open_panel()
        self.desktop.press_key("Escape")
        until("the panel to close on Escape", lambda: not self.panel_open(), 10, interval=0.2)
        self.open_panel()
        other = self.desktop.other_window()

        def closed():
            # On X11 the panel takes back a focus lost in the first moment after it opened (the
            # tray host may hold it for the click); the user clicks into the other window again.
            if self.panel_open():
                self.desktop.focus_other()

                return False
            return True

        try:
            until("the panel to close when it loses the focus", closed, 15, interval=0.3)
        finally:
            other.stop()
        self.open_panel()

    def step_10_stop_and_quit(self):
        """Stop ends the link at the service; Quit ends every link within 3 s, no process left."""
        stopped = self.host
        self.unshare()
        until(f"{stopped} to answer as ended", lambda: self.answers_ended(stopped), 15)
        assert stopped not in self.service.active_hosts()

        self.share()
        shared = self.host
        self.open_panel()
        self.open_panel()
        started = time.monotonic()
        self.panel_click("the Quit button to take a click", 20, name="Quit", role="push button")
        until(f"{shared} to end at the service", lambda: shared not in self.service.active_hosts(),
              QUIT_LIMIT + 2, interval=0.05)
        took = time.monotonic() - started
        assert took <= QUIT_LIMIT, f"the quit took {took:.2f} s to end the link"
        assert self.answers_ended(shared), "the link's address does not answer as ended"
        assert self.app.process.wait_exit(10) is not None, "the app still runs after Quit"
        until("no process of the app to be left", lambda: not self.app.processes_left(), 5)

    # --- reporting ------------------------------------------------------------------------

    def crop_panel(self, name):
        """Saves the panel's own area as an image, for the README."""
        panel = self.screen.find(name="Skerrow", role="filler")
        full = os.path.join(self.artifacts, f"{name}-screen.png")
        self.desktop.screenshot(full)
        if panel is None:
            return
        rect = self.desktop.panel_rect(self.screen, panel, self.app.pid)
        if rect is None:
            return
        x, y, width, height = rect
        subprocess.run(["convert", full, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                        os.path.join(self.artifacts, f"{name}.png")], check=False)


STEPS = [
    (1, "local apps", Road.step_1_local_apps),
    (2, "share", Road.step_2_share),
    (3, "browser visit", Road.step_3_browser),
    (4, "websocket", Road.step_4_websocket),
    (5, "renew", Road.step_5_renew),
    (6, "tunnel client killed", Road.step_6_tunnel_killed),
    (7, "link service restarted", Road.step_7_service_restarted),
    (8, "app killed", Road.step_8_app_killed),
    (9, "panel closes", Road.step_9_panel_closes),
    (10, "stop and quit", Road.step_10_stop_and_quit),
]


def main():
    arguments = sys.argv[1:]
    desktop = wayland if arguments[:1] == ["--wayland"] else x11
    arguments = arguments[1:] if desktop is wayland else arguments
    if len(arguments) != 2:
        print(__doc__)
        return 2
    build_dir, artifacts = map(os.path.abspath, arguments)
    os.makedirs(artifacts, exist_ok=True)
    if desktop is wayland:
        handed_on = wayland.run_as_desktop_user([artifacts])
        if handed_on is not None:
            return handed_on
    missing = desktop.missing_tools()
    if missing:
        print(f"missing tools: {' '.join(missing)} (scripts/setup.sh installs them)")
        return 1
    busy = [p for p in (API_PORT, CONTROL_PORT, TUNNEL_PORT, *APP_PORTS) if not port_free(p)]
    if busy:
        print(f"ports in use, the road needs them free: {busy}")
        return 1

    road = Road(build_dir, artifacts,
                wayland.WaylandDesktop if desktop is wayland else x11.Desktop)
    failed = None
    ran = 0
    try:
        road.start()
        for number, title, step in STEPS:
            if number in NOT_YET:
                print(f"step {number} {title}: NOT RUN — {NOT_YET[number]}", flush=True)
                continue
            began = time.monotonic()
            try:
                step(road)
            except (AssertionError, WaitTimeout, Exception) as error:
                failed = f"step {number} {title}: FAILED after {time.monotonic() - began:.1f} s"
                print(failed, flush=True)
                traceback.print_exception(error)
                road.shot(f"step-{number}-failed")
                try:
                    print("showing controls:\n" + road.screen.describe())
                except Exception:
                    pass
                break
            ran += 1
            road.shot(f"step-{number}")
            print(f"step {number} {title}: ok in {time.monotonic() - began:.1f} s", flush=True)
    finally:
        road.stop()
    if failed:
        print(f"logs and screenshots: {artifacts}")
        return 1
    return 0 if ran else SKIPPED


if __name__ == "__main__":
    sys.exit(main())

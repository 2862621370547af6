#!/usr/bin/python3
"""Review screenshots on Wayland: the tray icon on a light and a dark waybar, and the panel in a
light and a dark theme, from the real app on sway, with the local link service and a dev server.
Writes docs/panel/wayland-*.png and docs/panel/tray-wayland-*.png. Takes the fixed ports of the
app and the service; run it under `flock -o /work/ports.lock` on a shared machine.

usage: scripts/wayland-screenshots.py [BUILD_DIR]   (default build/dev)
"""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from road import wayland  # noqa: E402
from road.parties import App, DevServer, LinkService  # noqa: E402
from road.waiting import until  # noqa: E402

# The bar's right end, where waybar keeps the tray, shown 4 times larger.
TRAY_CROP = (120, wayland.BAR_HEIGHT)
TRAY_ZOOM = "400%"
SYMBOLIC_ICON = "dev.skerrow.Skerrow-symbolic.svg"


def shoot(build_dir, out, bar, theme):
    logs = os.path.join(out, "logs")
    os.makedirs(logs, exist_ok=True)
    work = tempfile.mkdtemp(prefix="skerrow-shots-")
    desktop = wayland.WaylandDesktop(logs, bar=bar)
    parties = []
    try:
        install_icon(desktop.home)
        desktop.start()
        os.environ.update(desktop.env)
        screen = desktop.screen()
        parties.append(LinkService(build_dir, work, logs, desktop.env).start())
        parties.append(DevServer("harbor-notes", work, logs, desktop.env).start())
        app = App(build_dir, work, logs, desktop.env)
        install_icon(app.home)
        if theme == "dark":
            # The GTK platform theme hands the app Adwaita-dark's palette.
            app.env.update(QT_QPA_PLATFORMTHEME="gtk3", GTK_THEME="Adwaita:dark")
        parties.append(app.start())
        screen.pid = app.pid
        until("the app's item in the tray", lambda: screen.tray_item(app.pid), 20)
        full = os.path.join(work, "screen.png")
        screen.click_tray_icon(app.pid)
        until("the app row", lambda: screen.find(name="harbor-notes"), 30, interval=0.2)
        until("the panel on screen", lambda: desktop.windows(app.pid), 10, interval=0.2)
        desktop.screenshot(full)
        x, y, width, height = desktop.panel_rect(screen, None, app.pid)
        crop(full, f"{width}x{height}+{x}+{y}", os.path.join(out, f"wayland-{theme}.png"))
        width, height = TRAY_CROP
        crop(full, f"{width}x{height}+{wayland.WIDTH - width}+0",
             os.path.join(out, f"tray-wayland-{bar}-bar.png"), zoom=True)
    finally:
        for party in reversed(parties):
            party.stop()
        desktop.stop()
        shutil.rmtree(work, ignore_errors=True)


def install_icon(home):
    """The symbolic icon in the user's icon theme folder, as the package puts it in the system's:
    both the app and the bar look it up there."""
    icons = os.path.join(home, ".local", "share", "icons", "hicolor", "symbolic", "apps")
    os.makedirs(icons, exist_ok=True)
    shutil.copy(os.path.join(ROOT, "packaging", SYMBOLIC_ICON), icons)


def crop(full, geometry, path, zoom=False):
    args = ["convert", full, "-crop", geometry, "+repage"]
    if zoom:
        args += ["-filter", "point", "-resize", TRAY_ZOOM]
    subprocess.run(args + [path], check=True)


def main():
    build_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/dev")
    docs = os.path.join(ROOT, "docs", "panel")
    # The shots are taken by the desktop's own user; a root caller copies them into the tree.
    out = os.environ.get("SKERROW_SHOTS_OUT") or tempfile.mkdtemp(prefix="skerrow-shots-out-")
    handed_on = wayland.run_as_desktop_user([out], {"SKERROW_SHOTS_OUT": out})
    if handed_on is None:
        if len(sys.argv) > 3:
            shoot(build_dir, out, sys.argv[2], sys.argv[3])
            return 0
        # One process per desktop: the bus libraries keep their first session bus for good.
        # A light app on a dark bar is the case where a tray icon drawn in the app's own colours
        # would vanish.
        for bar, theme in (("dark", "light"), ("light", "dark")):
            subprocess.run([sys.executable, sys.argv[0], build_dir, bar, theme], check=True)
        return 0
    if handed_on == 0:
        for name in os.listdir(out):
            if name.endswith(".png"):
                shutil.copy(os.path.join(out, name), os.path.join(docs, name))
    shutil.rmtree(out, ignore_errors=True)
    return handed_on


if __name__ == "__main__":
    sys.exit(main())

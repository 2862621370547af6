"""Finding and using the app's controls from outside the app: the tray icon through the X
server, the panel's controls through the accessibility tree, clicks through the X server."""
import subprocess

from .waiting import until


class Screen:
    def __init__(self, env, app_name):
        # The accessibility library reads the session bus from the environment on first use, so
        # the caller has exported the desktop's environment before this import.
        import pyatspi
        from gi.repository import Atspi, GLib
        self.pyatspi = pyatspi
        self.atspi = Atspi
        self.glib = GLib
        self.env = env
        self.app_name = app_name

    # --- X server -------------------------------------------------------------------------

    def _xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True,
                              text=True, timeout=10).stdout

    def click_at(self, x, y):
        self._xdotool("mousemove", "--sync", int(x), int(y))
        self._xdotool("click", "1")

    def window_geometry(self, window):
        values = {}
        for line in self._xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.isdigit() else value
        return values

    def tray_icon(self, app_pid, tray_window):
        """The geometry of the app's icon inside the tray, or None while it is not embedded."""
        tray = self.window_geometry(tray_window)
        for window in self._xdotool("search", "--onlyvisible", "--pid", app_pid).split():
            g = self.window_geometry(window)
            if not g or g.get("WIDTH", 0) == 0 or g.get("WIDTH", 999) > 64:
                continue
            inside_x = tray["X"] <= g["X"] < tray["X"] + tray["WIDTH"]
            inside_y = tray["Y"] <= g["Y"] < tray["Y"] + tray["HEIGHT"]
            if inside_x and inside_y:
                return g
        return None

    def click_tray_icon(self, app_pid, tray_window, timeout=20):
        icon = until("the app's icon in the tray", lambda: self.tray_icon(app_pid, tray_window),
                     timeout)
        self.click_at(icon["X"] + icon["WIDTH"] / 2, icon["Y"] + icon["HEIGHT"] / 2)

    # --- accessibility tree ---------------------------------------------------------------

    def _settle(self):
        # Lets the library take in the change notifications that keep its cache current.
        context = self.glib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def app(self):
        self._settle()
        desktop = self.pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            child = desktop.getChildAtIndex(index)
            if child is not None and child.name == self.app_name:
                child.clearCache()
                return child
        return None

    def controls(self):
        """Every showing control of the app as (node, role, name, description)."""
        root = self.app()
        if root is None:
            return []
        found = []
        stack = [root]
        showing = self.pyatspi.STATE_SHOWING
        while stack:
            node = stack.pop()
            try:
                count = node.childCount
                children = [node.getChildAtIndex(i) for i in range(count)]
            except Exception:
                continue
            for child in reversed(children):
                if child is None:
                    continue
                try:
                    if not child.getState().contains(showing):
                        continue
                    found.append((child, child.getRoleName(), child.name or "",
                                  child.description or ""))
                except Exception:
                    continue
                stack.append(child)
        return found

    def find(self, name=None, description=None, role=None, starts_with=None):
        for node, node_role, node_name, node_description in self.controls():
            if role is not None and node_role != role:
                continue
            if name is not None and node_name != name:
                continue
            if description is not None and node_description != description:
                continue
            if starts_with is not None and not node_name.startswith(starts_with):
                continue
            return node
        return None

    def names(self):
        return [name for _, _, name, _ in self.controls() if name]

    def wait_for(self, what, timeout, **query):
        return until(what, lambda: self.find(**query), timeout, interval=0.2)

    def center(self, node):
        extents = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return extents.x + extents.width / 2, extents.y + extents.height / 2

    def click(self, node):
        x, y = self.center(node)
        self.click_at(x, y)

    def describe(self):
        """A readable listing of the showing controls, for failure reports."""
        lines = []
        for node, role, name, description in self.controls():
            try:
                extents = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
                where = f"{extents.x},{extents.y} {extents.width}x{extents.height}"
            except Exception:
                where = "?"
            lines.append(f"{role:<14} {name!r:<40} {description!r:<30} {where}")
        return "\n".join(lines)
